// The user's park airports.
#pragma once

#include <optional>
#include <string>

// The user's reserved stand at the current park airport, when one is set.
std::optional<std::string> gf_currentReservedStand();
