// The current airport as one engine tick sees it: copied once under the
// airport lock when the tick begins, instead of at every question of every
// aircraft. Outside a tick (a record applied by a test, say) the questions
// read the current airport under the lock as before. Main task only.
#pragma once

#include <optional>

#include "core/value_types.h"

// Holds the copy for the duration of one tick.
class TickAirportScope {
public:
    TickAirportScope();
    ~TickAirportScope();
    TickAirportScope(const TickAirportScope&) = delete;
    TickAirportScope& operator=(const TickAirportScope&) = delete;
};

// The current airport's altitude in feet (none without a valid airport).
std::optional<double> gf_tickAirportAltitude();
// True when the position lies within 10 nm of the current airport.
bool gf_tickNearAirport(const LatLon& position);
