// The airline, operator and model of an aircraft as log lines print them, and
// the two rules on callsigns and categories that the traffic decoders and the
// parking code share.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "liveries/model_database.h"

// The first three letters upper-cased when the callsign has at least four
// characters and is three letters followed by a digit.
std::optional<std::string> gf_airlineFromCallsign(std::string_view callsign);
// Light, TwoProps, HighPerf and Rotorcraft follow LIGHT_AIRCRAFT, TWO_PROPS,
// HIGH_PERF_AIRCRAFT and HELICOPTERS; Bizjet, Large and Heavy are always wanted.
bool gf_isCategoryIncluded(Category category);

// "{:3}{:4} {:4}{}{:3}": airline, ",operator" (empty without one), model,
// '.' for a marked kind (else a space) and "(C)" for cargo.
std::string lf_formatAirlOprModelText(const AirlOprModel& kind);
// The same text as a format argument.
struct AirlOprModelArg {
    const AirlOprModel& kind;
};
AirlOprModelArg lf_formatAirlOprModelArg(const AirlOprModel& kind);
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
