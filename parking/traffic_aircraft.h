// An aircraft record from a received traffic record (AircraftBase::fromTrafficRecord
// lives here), the two rules of the parking code that the traffic decoders
// apply, and the text forms of an aircraft in log lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "core/value_types.h"
#include "liveries/model_database.h"

struct AircraftBase;

// The first three letters upper-cased when the callsign has at least four
// characters and is three letters followed by a digit.
std::optional<std::string> gf_airlineFromCallsign(std::string_view callsign);
// Light, TwoProps, HighPerf and Rotorcraft follow LIGHT_AIRCRAFT, TWO_PROPS,
// HIGH_PERF_AIRCRAFT and HELICOPTERS; Bizjet, Large and Heavy are always wanted.
bool gf_isCategoryIncluded(Category category);

// ---- Text forms of an aircraft, for log lines ----

// "{:3}{:4} {:4}{}{:3}": airline, ",operator" (empty without one), model,
// '.' for a marked kind (else a space) and "(C)" for cargo.
std::string lf_formatAirlOprModelText(const AirlOprModel& kind);
// The same text as a format argument.
struct AirlOprModelArg {
    const AirlOprModel& kind;
};
AirlOprModelArg lf_formatAirlOprModelArg(const AirlOprModel& kind);
// "ORG->DST" (an unknown code prints empty), or 8 blanks when both are unknown.
std::string lf_formatRouteArg(const IataCode& origin, const IataCode& destination);
// "{:8} {:12} {} {}": callsign, registration, route and kind.
std::string lf_formatAcIdentity(const AircraftBase& aircraft);
// The kind and the registration, for the matcher's "No match found for:" list.
std::string lf_noMatchText(const AircraftBase& aircraft);
// `format` applied to the two texts and the kind's text.
std::string lf_formatWithAirlOprModel(std::string_view format, std::string_view text1, std::string_view text2,
                                      const AirlOprModel& kind);

template <>
struct fmt::formatter<AirlOprModelArg> : fmt::formatter<std::string_view> {
    template <typename FormatContext>
    auto format(const AirlOprModelArg& a, FormatContext& ctx) const
    {
        return fmt::formatter<std::string_view>::format(lf_formatAirlOprModelText(a.kind), ctx);
    }
};
