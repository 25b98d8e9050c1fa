// Stand-name prefixes of the parking name indices used by scenery and
// facility data.
#pragma once

#include <string>

// "" for 0, "PARKING ", "N_PARKING " .. "NW_PARKING ", "GATE ", "DOCK ",
// "GATE A" .. "GATE Z" for 12..37; "" for anything else.
std::string gf_parkingNamePrefix(int index);
