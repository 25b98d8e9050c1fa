// Rules of the parking code that the traffic decoders apply.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "liveries/model_database.h"

// The first three letters upper-cased when the callsign has at least four
// characters and is three letters followed by a digit.
std::optional<std::string> gf_airlineFromCallsign(std::string_view callsign);
// Light, TwoProps, HighPerf and Rotorcraft follow LIGHT_AIRCRAFT, TWO_PROPS,
// HIGH_PERF_AIRCRAFT and HELICOPTERS; Bizjet, Large and Heavy are always wanted.
bool gf_isCategoryIncluded(Category category);
