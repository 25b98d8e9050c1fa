// An aircraft record from a received traffic record (AircraftBase::fromTrafficRecord
// lives here) and the text forms of an aircraft in log lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "core/value_types.h"
#include "liveries/model_database.h"

struct TrafficSample;
#include "liveries/model_texts.h"

struct AircraftBase;

// ---- Text forms of an aircraft, for log lines ----

// "ORG->DST" (an unknown code prints empty), or 8 blanks when both are unknown.
std::string lf_formatRouteArg(const IataCode& origin, const IataCode& destination);
// "{:8} {:12} {} {}": callsign, registration, route and kind.
std::string lf_formatAcIdentity(const AircraftBase& aircraft);
// The kind and the registration, for the matcher's "No match found for:" list.
std::string lf_noMatchText(const AircraftBase& aircraft);

// Pitch (radians, negative nose up) that goes with the sample's vertical
// speed for the category.
double pitchFromVs(const TrafficSample& sample, Category category);

// The aircraft's destination is the current airport and its origin is not.
bool gf_inboundToCurrentAirport(const AircraftBase& aircraft);

// The IATA code of the current airport; empty without one.
IataCode lf_currentAirportIata();
