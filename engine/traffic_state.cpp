#include "engine/traffic_state.h"

std::atomic<int32_t> engineClock{0};
std::atomic<int64_t> weekdayHalfHourWord{0};
std::shared_mutex engineLock;

// No aircraft are tracked yet: the lists stay empty.
void gf_initTrafficState() {}
void gf_resetTrafficState() {}
size_t gf_countLiveInSim(bool)
{
    return 0;
}
std::optional<uint32_t> gf_takeNewLiveHexid()
{
    return std::nullopt;
}
LiveAircraft* gf_findLiveAircraft(uint32_t)
{
    return nullptr;
}
bool gf_standOptionsAdopted(const LiveAircraft&)
{
    return false;
}
void gf_markStandOptionsAdopted(LiveAircraft&) {}
void gf_clearLiveryChoiceCache() {}
void gf_clearGhostCallsigns() {}
void gf_removeBlockedAc() {}
