// The stand table of the current park airport and the read-only snapshot that
// other threads query.
#pragma once

#include <optional>
#include <string>

#include "core/value_types.h"

// The name of the stand at a position, from the published snapshot; any
// thread. No value when no stand is there (or no table is loaded).
std::optional<std::string> gf_findStandAtPosition(const LatLon& position);
