#include "engine/engine.h"

#include <exception>

#include "core/clock.h"
#include "core/ui_sink.h"
#include "engine/engine_reports.h"
#include "engine/live_at_stands.h"
#include "engine/parked_limits.h"
#include "engine/per_tick_update.h"
#include "engine/removal_operations.h"
#include "engine/sim_reactions.h"
#include "engine/stand_arrival.h"
#include "engine/stand_questions.h"
#include "engine/user_collisions.h"
#include "engine/quarantine.h"
#include "engine/static_placement.h"
#include "engine/traffic_state.h"
#include "feed/qnh.h"
#include "feed/traffic_mailbox.h"
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

void gf_engineTick()
{
    lf_handleAddingStack();
}

void gf_engineIdleTick()
{
    lf_processSimEvents();
}

namespace {

// A newly seen live aircraft adopts the stand option names of its airline
// once, and its static twin, if one stands at the airport, leaves.
void lf_welcomeNewLiveAircraft()
{
    const std::optional<uint32_t> hexid = gf_takeNewLiveHexid();
    if (!hexid)
        return;
    LiveAircraft* ac = gf_findLiveAircraft(*hexid);
    if (!ac)
        return;
    if (!gf_standOptionsAdopted(*ac)) {
        gf_adoptStandOptionNames(weekdayHalfHourWord.load(), *ac);
        gf_markStandOptionsAdopted(ac->reports);
    }
    lf_checkForStaticWithCallsignOrHexidAndRemove(*ac);
}

} // namespace

void gf_engineEverySecond(const EngineSecondInputs& in)
{
    lf_runParkedTimers();
    lf_welcomeNewLiveAircraft();
    if (in.staticQuotaLowered)
        gf_enforceParkedLimit(0);
    if (in.liveLimit) {
        const int64_t excess = static_cast<int64_t>(gf_countLiveInSim(false)) - *in.liveLimit;
        for (int64_t i = 0; i < excess; ++i)
            lf_isThisTheFurthestLive(-1.0);
    }
    if (in.flushStatic)
        gf_removeAllStatic();
    if (in.userCollisions)
        gf_checkUserCollisions();
    if (in.liveVsParkedCollisions)
        gf_checkLiveVsParkedCollisions();
    if (in.block)
        gf_removeBlockedAc();
}

void gf_engineEvery5Seconds(const EngineCategoriesOff& off, const std::optional<std::string>& userStand)
{
    if (off.twoProps)
        gf_removeLiveAircraftCategory(Category::TwoProps);
    if (off.light)
        gf_removeLiveAircraftCategory(Category::Light);
    if (off.helicopters) {
        gf_removeLiveAircraftCategory(Category::Rotorcraft);
        gf_removeStaticAircraftCategory();
    }
    if (off.highPerf)
        gf_removeLiveAircraftCategory(Category::HighPerf);
    if (userStand)
        gf_clearUserDestGate(*userStand);
}

void gf_engineEvery30Seconds()
{
    gf_removeTCASCoverageAcs();
}

void gf_engineEvery61Seconds()
{
    gf_checkForAllGndIfParkedVersionExistsAndRemove();
}

EngineCounts gf_engineCounts()
{
    EngineCounts counts;
    counts.liveInSim = gf_countLiveInSim(true);
    counts.liveParked = gf_countLiveParked(true);
    counts.staticParked = gf_countStaticParked(true);
    return counts;
}

size_t gf_plannedStaticCount()
{
    return gf_parkingPlanSize();
}

void gf_engineLeaveAirport()
{
    lf_removeAllStaticAndLiveAtAirport();
}

void gf_engineForgetGhosts()
{
    gf_clearGhostCallsigns();
}
