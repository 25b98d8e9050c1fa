// Who may use a stand: the competition between live aircraft, the arrival
// checks against neighbours, ghosts, static duplicates and the live stayers.
#include <gtest/gtest.h>

#include <string>

#include "core/clock.h"
#include "engine/aircraft_commands.h"
#include "engine/engine.h"
#include "engine/sim_reactions.h"
#include "engine/traffic_state.h"
#include "engine/live_at_stands.h"
#include "engine/removal_operations.h"
#include "engine/stand_arrival.h"
#include "parking/parking_plan.h"
#include "parking/parking_runs.h"
#include "stands/stand_table.h"
#include "stands/stand_uses.h"
#include "simlink/sim_command_mailbox.h"
#include "tests/simlink/sim_test_support.h"

namespace {

constexpr double kLat = 52.3;
constexpr double kLon = 4.76;

Stand stand(int32_t id, double eastM, std::vector<uint32_t> exclusions = {})
{
    Stand s;
    s.id = id;
    s.name = "B" + std::to_string(id);
    s.lat = kLat;
    s.lon = kLon + eastM / (111120.0 * 0.6115);
    s.radius = 0.02;
    s.type = StandType::GATE_MEDIUM;
    s.exclusions = std::move(exclusions);
    return s;
}

class LiveAtStandsTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override
    {
        gf_clearStandTable();
        reset();
    }
    static void reset()
    {
        gf_resetTrafficState();
        gf_initTrafficState();
        gf_resetCommandMailbox();
        // B2 excludes B1 (20 m west) and B3 (120 m east).
        gf_setStandTable({stand(1, 0), stand(2, 20, {1, 3}), stand(3, 140)});
    }
    static LiveAircraft& add(uint32_t hexid, const std::string& callsign, FlightPhase phase, int32_t standId,
                             uint32_t objectId = 0)
    {
        AircraftBase base;
        base.identity.hexid = hexid;
        base.identity.callsign = callsign;
        base.identity.collisionRadius = 0.01; // 18.5 m
        LiveAircraft ac(TrafficSample{kLat, kLon}, base, 0.0);
        ac.phases.phase = phase;
        ac.stand.standId = standId;
        ac.sim.simState = SimState::active;
        LiveAircraft& stored = gf_trafficState().aircraft.addLive(std::move(ac));
        if (objectId != 0)
            gf_trafficState().aircraft.setObjectId(stored, objectId);
        return stored;
    }
    static bool removing(uint32_t hexid) { return gf_findLiveAircraft(hexid)->sim.simState == SimState::removingfromsim; }
    kvr::test::SimLinkTestBase base{"stands"};
};

TEST_F(LiveAtStandsTest, HolderAndCompetitionDecideByCallsignStandKeepingAndReports)
{
    struct Row {
        const char* holder;
        const char* candidate;
        uint8_t keepStand;
        double holderSilentS; // how long before the candidate's last report the holder's came
        StandClaim claim;
        const char* line; // logged when the holder goes
    };
    const Row rows[] = {
        {"KLM1", "KLM1", 0, 10, StandClaim::granted,
         "B1            : KLM1     ac with same callsign KLM1 wants it, remove existing ... \n"},
        {"KLM1", "KLM1_", 0, 600, StandClaim::refused, nullptr}, // the candidate is the holder's ghost
        {"KLM1_", "KLM1", 1, 10, StandClaim::granted, "B1            : KLM1_    ghost, replace by KLM1\n"},
        {"KLM1_", "DLH2", 1, 10, StandClaim::granted, "ghost, replace by DLH2"},
        {"KLM1", "DLH2_", 0, 600, StandClaim::refused, nullptr},
        // A holder whose reports have stopped makes way; one still reported stays.
        {"KLM1", "DLH2", 0, 121, StandClaim::granted, "KLM1     removed because another live DLH2 wants the stand ...\n"},
        {"KLM1", "DLH2", 0, 120, StandClaim::holderStays, nullptr},
        {"KLM1", "DLH2", 1, 600, StandClaim::refused, nullptr}, // a stand-keeping holder is never displaced
    };
    for (const Row& row : rows) {
        reset();
        LiveAircraft& holder = add(0x400001, row.holder, FlightPhase::parked, 1, 30);
        holder.stand.keepStand = row.keepStand;
        LiveAircraft& candidate = add(0x400002, row.candidate, FlightPhase::taxi, 0);
        candidate.stream.lastRecordTime = holder.stream.lastRecordTime + row.holderSilentS;
        const bool granted = row.claim == StandClaim::granted;
        EXPECT_EQ(gf_liveStandHolder(1, 0), 2);
        EXPECT_EQ(lf_claimStandForLive(1, candidate), row.claim) << row.holder << row.candidate;
        EXPECT_EQ(removing(0x400001), granted) << row.holder << row.candidate;
        // A holder on its way out holds the stand no more.
        EXPECT_EQ(lf_canReserveStandForLive(1, 0x400002), granted);
        if (row.line) {
            EXPECT_NE(kvr::test::flushedLog().find(row.line), std::string::npos) << row.line;
        }
    }
}

TEST_F(LiveAtStandsTest, ArrivalChecksClearTheStandAndCollidingNeighboursOnly)
{
    const Stand target = *gf_standById(2);
    // A parked aircraft on the target stand is removed and the arrival waits;
    // neighbours on the excluded stands: 20 m away (B1) they touch, 120 m
    // away (B3) they do not.
    struct Row {
        int32_t standId;
        FlightPhase phase;
        bool available;
        bool removed;
    };
    const Row rows[] = {
        {2, FlightPhase::parked, false, true},
        {1, FlightPhase::pushed_back, false, false}, // blocks without being removed
        {1, FlightPhase::parked, false, true},
        {1, FlightPhase::pushing_back, false, true},
        {1, FlightPhase::taxi, true, false},
        {3, FlightPhase::parked, true, false},
    };
    for (const Row& row : rows) {
        reset();
        LiveAircraft& c = add(0x400100, "KLM9", FlightPhase::taxi, 0);
        add(0x400102, "NBR1", row.phase, row.standId, 32);
        EXPECT_EQ(lf_checkStandOrExcludedIsOccupiedByLiveParkedTry(target, c), row.available) << row.standId;
        EXPECT_EQ(removing(0x400102), row.removed) << row.standId;
    }
    const std::string text = kvr::test::flushedLog();
    EXPECT_NE(text.find("B2            : NBR1     removed, KLM9 wants to park there\n"), std::string::npos);
    EXPECT_NE(text.find("B1            : NBR1     removed by parking KLM9 at colliding adjacent stand B2\n"),
              std::string::npos);
}

TEST_F(LiveAtStandsTest, ArrivalWaitsForItsStandWhileAnotherAircraftMovesOnIt)
{
    // The arrival stops at B1, from which KLM10 is pushing back (or onto which
    // it is driving); B2 next door is free but overlaps B1.
    for (const FlightPhase phase : {FlightPhase::pushing_back, FlightPhase::parking}) {
        reset();
        LiveAircraft& mover = add(0x400500, "KLM10", phase, 1, 33);
        LiveAircraft& arrival = add(0x400501, "DLH7", FlightPhase::landing_roll, 0);
        arrival.identity.category = Category::Large;
        arrival.identity.standSearchNm = 0.03;
        try2Park(arrival);
        EXPECT_EQ(arrival.stand.standId, 0) << "waits for its own stand";
        EXPECT_FALSE(removing(0x400500)) << "nobody is removed for the arrival";

        mover.phases.phase = FlightPhase::taxi;
        gf_trafficState().aircraft.setStandId(mover, 0);
        try2Park(arrival);
        EXPECT_EQ(arrival.stand.standId, 1);
        EXPECT_EQ(arrival.phases.phase, FlightPhase::parking);
    }
}

// However a live aircraft leaves its stand or the engine, the stand lets go of
// it: the same hexid seen again on another stand holds only that one.
TEST_F(LiveAtStandsTest, EveryWayOffAStandReleasesIt)
{
    for (int way = 0; way < 5; ++way) {
        reset();
        LiveAircraft& ac = add(0x400700, "KLM7", FlightPhase::parked, 1, 50);
        add(0x400701, "DLH8", FlightPhase::taxi, 0); // the swap erase moves it into the gap
        ASSERT_EQ(gf_liveStandHolder(1, 0), 2);
        switch (way) {
        case 0: lf_eraseLiveAircraft(ac); break;
        case 1: ac.sim.removeFlag = 1; gf_compactLiveAircraft(); break;
        case 2: gf_resetTrafficState(); break;
        case 3: // far from its stand: gives it up and taxis on
            ac.motion.lat = kLat;
            ac.motion.lon = kLon;
            EXPECT_TRUE(arriveAtStand(ac));
            EXPECT_EQ(ac.phases.phase, FlightPhase::taxi);
            break;
        default: lf_removeAllStaticAndLiveAtAirport(); break;
        }
        EXPECT_TRUE(gf_standUses(1).empty()) << way;
        if (LiveAircraft* left = gf_findLiveAircraft(0x400700)) {
            EXPECT_EQ(left->stand.standId, 0) << way;
            lf_eraseLiveAircraft(*left);
        }
        add(0x400700, "KLM7", FlightPhase::parked, 3, 51);
        EXPECT_EQ(gf_liveStandHolder(1, 0), 0) << way;
        EXPECT_EQ(gf_liveStandHolder(3, 0), 2) << way;
    }
}

TEST_F(LiveAtStandsTest, StaticDuplicatesAndStayers)
{
    // Static duplicates: the first active static that matches goes.
    struct Row {
        const char* liveCallsign;
        const char* liveCallsign3;
        const char* liveRegistration;
        int removedStatic; // index into the statics below, -1 none
    };
    const Row rows[] = {
        {"KLM2", "", "PH-BXA", 1},  // same registration
        {"KLM3", "", "", 0},        // the static's first alternative callsign
        {"KLM3_", "", "", 0},       // a ghost of the callsign
        {"", "", "PH-BXA", -1},     // no callsign: nothing
    };
    for (const Row& row : rows) {
        reset();
        const char* statics[][3] = {{"KLM3", "", ""}, {"KLM8", "", "PH-BXA"}, {"KLM7", "KL0004", ""}};
        for (const auto& [cs2, cs3, reg] : statics) {
            AircraftBase b;
            b.identity.callsign2 = cs2;
            b.identity.callsign3 = cs3;
            b.identity.registration = reg;
            StaticAircraft& s = gf_trafficState().aircraft.addStatic(StaticAircraft(b, gf_nextStaticKey(), 0, {}, true));
            s.sim.simState = SimState::active;
            gf_trafficState().aircraft.setObjectId(s, 40 + s.identity.hexid);
        }
        LiveAircraft& a = add(0x400300, row.liveCallsign, FlightPhase::taxi, 0);
        a.identity.callsign3 = row.liveCallsign3;
        a.identity.registration = row.liveRegistration;
        lf_checkForStaticWithCallsignOrHexidAndRemove(a);
        const auto all = gf_trafficState().aircraft.statics();
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(all[static_cast<size_t>(i)].sim.simState == SimState::removingfromsim, i == row.removedStatic)
                << row.liveCallsign << " static " << i;
    }

    // Stayers: a live aircraft parked longer than 90 whole minutes (a Heavy
    // 180) is removed, on an injected clock, just under and just over.
    reset();
    constexpr int64_t kMinute = 600000000LL;
    static int64_t now = 0;
    now = 5000 * kMinute;
    gf_setSystemTimeForTest([] { return now; });
    struct Stayer {
        Category category;
        int64_t parkedFor; // 100 ns units
        uint8_t keep;
        bool removed;
    };
    const Stayer stayers[] = {
        {Category::Light, 91 * kMinute - 1, 0, false}, // 90 whole minutes
        {Category::Light, 91 * kMinute, 0, true},
        {Category::Large, 91 * kMinute, 0, true},
        {Category::Heavy, 181 * kMinute - 1, 0, false},
        {Category::Heavy, 181 * kMinute, 0, true},
        {Category::Light, 500 * kMinute, 1, false}, // keeps its stand
    };
    for (size_t i = 0; i < std::size(stayers); ++i) {
        LiveAircraft& ac = add(0x400401 + static_cast<uint32_t>(i), "P" + std::to_string(i), FlightPhase::parked,
                               static_cast<int32_t>(i % 3) + 1, 0x10 + static_cast<uint32_t>(i));
        ac.identity.category = stayers[i].category;
        ac.reports.parkedSinceTime = now - stayers[i].parkedFor;
        ac.stand.keepStand = stayers[i].keep;
    }
    // One spawned at its stand gets its parked-since time when it is put on
    // the ground, not the clock's zero.
    LiveAircraft& spawned = add(0x400410, "SPAWNED", FlightPhase::parked, 3, 0x30);
    spawned.reports.parkedSinceTime = 0;
    hp_handleGroundTraffic(spawned);
    EXPECT_EQ(spawned.reports.parkedSinceTime, now);
    lf_collectLiveStayers();
    for (size_t i = 0; i < std::size(stayers); ++i)
        EXPECT_EQ(removing(0x400401 + static_cast<uint32_t>(i)), stayers[i].removed) << "row " << i;
    EXPECT_FALSE(removing(0x400410));
    const std::vector<LiveStayer>& kept = gf_liveStayers();
    ASSERT_EQ(kept.size(), 4u);
    EXPECT_EQ(kept[0].callsign, "P5"); // a stand keeper counts 0 minutes
    EXPECT_EQ(kept[0].minutesParked, 0);
    EXPECT_EQ(kept[1].callsign, "SPAWNED");
    EXPECT_EQ(kept[2].minutesParked, 90);
    EXPECT_EQ(kept[3].minutesParked, 180);
    gf_setSystemTimeForTest(nullptr);
}

} // namespace
