// Flags of the traffic feed that the window, the main task and both traffic
// sources share.
#pragma once

#include <atomic>

#include "core/clock.h"

// Set once the RT App handshake is done, when there is no RT App server, or
// once RT Direct is signed in.
extern std::atomic<bool> feedConnected;

// The RealTraffic account is at the professional level (level 2): the flag
// that the traffic clock reads, gf_trafficClockInputs().professionalLevel.
inline std::atomic<bool>& gf_professionalLevel()
{
    return gf_trafficClockInputs().professionalLevel;
}
