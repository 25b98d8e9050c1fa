#include "engine/engine.h"

#include "core/clock.h"
#include "core/ui_sink.h"
#include "engine/per_tick_update.h"
#include "engine/quarantine.h"
#include "engine/static_placement.h"
#include "engine/traffic_state.h"
#include "feed/qnh.h"
#include "feed/rt_app_readers.h"
#include "feed/traffic_mailbox.h"
#include "feed/traffic_records.h"
#include "liveries/livery_memory.h"
#include "simlink/sim_event.h"
#include "stands/stand_table.h"
#include "stands/week_slot.h"

namespace {

template <typename V>
void lf_reserve(V& v, size_t n)
{
    if (v.capacity() < n)
        v.reserve(n);
}

} // namespace

void gf_initTrafficState()
{
    TrafficState& s = gf_trafficState();
    s.aircraft.clear();
    gf_clearStandTable(); // also publishes the empty snapshot
    s.processingEvents.clear();
    gf_simEventQueue().clear();
    s.delayedCommands.clear();
    s.addingStack.clear();
    gf_clearPlannedStatics();
    s.ghostCallsigns.clear();
    s.parkedLimitHolds.clear();
    s.parkedTimers.clear();
    s.newLiveHexids.clear();
    s.staticDirty = false;
    gf_quarantineMap().clear();
    gf_resetTickCounters();
    s.aircraft.reserve(512, 256);
    lf_reserve(s.processingEvents, 256);
    lf_reserve(s.delayedCommands, 128);
    lf_reserve(s.addingStack, 64);
    lf_reserve(s.ghostCallsigns, 64);
    lf_reserve(s.parkedTimers, 24);
}

void gf_resetTrafficState()
{
    TrafficState& s = gf_trafficState();
    gf_uiSink().enqueueUpdate(GuiUpdate::LiveAircraftCount{0});
    gf_uiSink().enqueueUpdate(GuiUpdate::ParkCounts{0, 0});
    s.processingEvents.clear();
    gf_simEventQueue().clear();
    s.delayedCommands.clear();
    s.ghostCallsigns.clear();
    s.parkedLimitHolds.clear();
    gf_clearPlannedStatics();
    s.addingStack.clear();
    // Requests the simulator link has not been handed yet are dropped.
    s.removalQueue = {};
    s.liveCreations = {};
    s.staticCreations = {};
    s.parkedTimers.clear();
    s.newLiveHexids.clear();
    s.staticDirty = false;
    gf_trafficMailbox().reset();
    gf_uiSink().enqueueUpdate(GuiUpdate::Repaint{GuiBands::StatusPanel});
    s.aircraft.clear();
    gf_clearStandTable();
    CurrentQnh.store(1013);
    weekdayHalfHourWord.store(0);
}

void gf_clearLiveryChoiceCache()
{
    gf_clearLiveryMemory();
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
