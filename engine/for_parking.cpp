#include "engine/for_parking.h"

#include "engine/aircraft_commands.h"
#include "engine/parked_limits.h"
#include "engine/removal_operations.h"
#include "engine/traffic_log.h"
#include "engine/traffic_state.h"
#include "feed/rt_app_readers.h"
#include "feed/traffic_records.h"

std::span<const LiveAircraft> gf_liveAircraftView()
{
    return gf_trafficState().aircraft.live();
}

std::span<StaticAircraft> gf_staticAircraftView()
{
    return gf_trafficState().aircraft.statics();
}

void gf_removeForParking(const AircraftBase& aircraft)
{
    AircraftStore& store = gf_trafficState().aircraft;
    const uint32_t key = aircraft.key();
    AircraftBase* held = gf_isLiveKey(key) ? static_cast<AircraftBase*>(store.findLive(gf_hexidOfLiveKey(key)))
                                           : store.findStatic(key);
    if (held)
        removeAircraftFromSim(*held);
}

void gf_removeOldestLiveParkedForParking(int64_t n)
{
    lf_removeNOldestLiveParked(n);
}

void gf_leaveParkAirport()
{
    lf_removeAllStaticAndLiveAtAirport();
}

void lf_clearRtParkedTraffic()
{
    const bool rtDirect = gf_isRTDirect();
    ParkedTrafficShare& share = gf_parkedTrafficOf(rtDirect ? TrafficSource::rtDirect : TrafficSource::rtApp);
    share.received.store(false);
    std::lock_guard lock(share.mutex);
    share.list.clear();
    if (!rtDirect)
        gf_rtAppTrafficReader().parkedCollecting.clear(); // an answer half received
}

void gf_forgetParkedLimitHolds()
{
    gf_trafficState().parkedLimitHolds.clear();
}

void gf_reportParkingException(const char* function) noexcept
{
    gf_reportTrafficException(function);
}
