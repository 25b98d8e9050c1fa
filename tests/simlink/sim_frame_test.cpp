// One simulator frame of the SimClient: the drain order of the command
// queues, creation answers, AI ground data, position streaming and the user
// aircraft's requests, end to end against the stand-in.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/clock.h"
#include "core/layout.h"
#include "engine/aircraft.h"
#include "liveries/model_database.h"
#include "engine/flight_plan.h"
#include "simlink/position_stream.h"
#include "simlink/sim_client_internal.h"
#include "simlink/sim_command_mailbox.h"
#include "simlink/simconnect_ids.h"
#include "simlink/user_aircraft.h"
#include "tests/simlink/sim_client_fixture.h"

using kvr::test::countOf;

namespace {

std::atomic<int64_t> g_now{0};
int64_t testClock()
{
    return g_now.load();
}

class SimFrameTest : public kvr::test::SimClientTest {
protected:
    void SetUp() override
    {
        SimClientTest::SetUp();
        gf_rebuildSettingsPaths();
        g_now.store(1'000'000'000);
        gf_setSteadyClockForTest(&testClock);
    }
    void TearDown() override
    {
        SimClientTest::TearDown();
        gf_setSteadyClockForTest(nullptr);
        gf_rebuildSettingsPaths();
        gf_modelDatabase() = ModelDatabaseTables{};
        gf_trafficClockInputs().professionalLevel.store(false);
    }
    // The calls of interest from `from` on.
    std::vector<std::string> commandCalls(size_t from)
    {
        std::vector<std::string> out;
        for (const auto& n : calls(from))
            if (n != "GetLastSentPacketID")
                out.push_back(n);
        return out;
    }
    static void post(uint32_t id, int64_t t, double lat)
    {
        PositionBlock b;
        b.latitude = lat;
        b.longitude = 8.0;
        b.altitude = 1000.0;
        g_positionBuffer.stage(id, b);
        g_positionBuffer.flushStaging(t);
    }
    // One created object, written once at latitude 47.
    uint32_t writtenObject()
    {
        const auto ids = createObjects(1);
        if (ids.size() != 1u) {
            ADD_FAILURE() << "no object";
            return 0;
        }
        post(ids[0], 1'000'000'000, 47.0);
        frames(1);
        EXPECT_EQ(positionsOf(ids[0]).size(), 1u);
        return ids[0];
    }
    // The simulator quits and comes back; `meanwhile` runs while it is away.
    void quitAndReturn(const std::function<void()>& meanwhile = {})
    {
        sim.quit();
        ASSERT_TRUE(waitFor([] { return g_linkState.load() == LinkState::NotConnected; }));
        if (meanwhile)
            meanwhile();
        sim.setAvailable(1);
        ASSERT_TRUE(waitFor([] { return g_linkState.load() == LinkState::Running; }));
        ASSERT_TRUE(sim.waitIdle(2000));
    }
    std::vector<nlohmann::json> positionsOf(uint32_t id)
    {
        std::vector<nlohmann::json> out;
        for (const auto& p : trace("positions"))
            if (p["object_id"] == id && p["define_id"] == DEFINITION_LATLONPIBAHEALVSTAS)
                out.push_back(p);
        return out;
    }
};

TEST_F(SimFrameTest, QueuesAreDrainedInTheirOrderWhateverThePostingOrder)
{
    connect();
    const uint32_t next = g_nextCreateRequestId.load(); // 10000 at process start, never reset
    const auto ids = createObjects(2);
    ASSERT_EQ(ids.size(), 2u);
    const auto made = trace("objects");
    EXPECT_EQ(made[0]["request_id"], next);
    for (const char* flag : {"released", "frozen_lat_lon", "frozen_altitude", "frozen_attitude"})
        EXPECT_TRUE(made[0][flag].get<bool>()) << flag;
    LiveAircraft a;
    a.identity.origin = IataCode("ZRH");
    a.identity.destination = IataCode("JFK");
    const auto plan = gf_createFlightPlan(7, a);
    ASSERT_FALSE(plan.empty());

    gf_setSpoilersThrust(ids[0], true, true);           // E
    gf_removeSimObject(ids[1]);                          // C
    CreateAcCmd cmd;
    cmd.title = "A320";
    cmd.callsign = "EZY1";
    cmd.key = 77;
    const uint32_t staticRequest = gf_createSimObject(cmd); // B
    gf_postFlightPlan(ids[0], plan.wstring());           // F
    gf_postSimCommand({ids[0], EVENT_FLAPS_SET, 2});     // A
    gf_postDataRequest(DataRequestKind::UserPosition);   // D
    const size_t before = callCount();
    frames(1);
    EXPECT_EQ(commandCalls(before),
              (std::vector<std::string>{"RequestDataOnSimObject", "AIReleaseControl", "TransmitClientEvent",
                                        "AIReleaseControl", "AISetAircraftFlightPlan", "AICreateNonATCAircraft",
                                        "AIRemoveObject", "SetDataOnSimObject"}));
    const auto objects = trace("objects");
    EXPECT_EQ(objects[0]["flight_plan"], "ZRH-JFK");
    EXPECT_EQ(objects[1]["removed_by"], "client");
    // Spoilers on with reverse: 100, -100, -100.
    const auto spoilers = trace("positions").back();
    EXPECT_EQ(spoilers["define_id"], DEFINITION_REVERSE_THRUST);
    EXPECT_EQ(spoilers["values"][0], 100.0);
    EXPECT_EQ(spoilers["values"][1], -100.0);
    // The removal reached the engine, the new object too (static key 77).
    frames(1);
    bool removed = false, created = false;
    for (const auto& e : takeEvents()) {
        removed |= e.kind == SimEventKind::Removed && e.objectId == ids[1];
        created |= e.kind == SimEventKind::StaticCreated && e.key == 77 && e.value1 == staticRequest;
    }
    EXPECT_TRUE(removed);
    EXPECT_TRUE(created);
}

TEST_F(SimFrameTest, FailureEventCarriesKeyAndRequestId)
{
    sim.load({{"titles", {"A320"}}, {"assign_delay_frames", 0}});
    connect();
    CreateAcCmd cmd;
    cmd.title = "B744";
    cmd.callsign = "BAW1";
    cmd.key = 0x400001;
    gf_createSimObject(cmd);
    frames(1);
    const auto events = takeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, SimEventKind::CreateFailed);
    EXPECT_EQ(events[0].key, 0x400001u);
    EXPECT_EQ(events[0].objectId, 0u);
    EXPECT_GE(events[0].value1, 10000.0);
    EXPECT_NE(log().find("hexid:400001 callsign:BAW1\n"), std::string::npos);
    EXPECT_TRUE(trace("objects").empty());
}

TEST_F(SimFrameTest, AiGroundDataSkipsTheUserHighAircraftAndStarredIds)
{
    connect();
    CreateAcCmd low, starred, leading, high;
    low.title = starred.title = leading.title = high.title = "A320";
    low.callsign = "LOW1";
    starred.callsign = "PARK*";
    leading.callsign = "*LEAD";
    high.callsign = "HIGH1";
    low.initPosition = starred.initPosition = leading.initPosition = {47.0, 8.0, 1200.0, 0, 0, 0, 0, 0};
    high.initPosition = {47.0, 8.0, 3000.0, 0, 0, 0, 0, 0};
    for (auto* c : {&low, &starred, &leading, &high})
        gf_createSimObject(*c);
    frames(2);
    takeEvents();
    sim.load({{"user", {{"lat", 47.0}, {"lon", 8.0}}}});
    gf_postDataRequest(DataRequestKind::AiInRange);
    frames(1);
    std::vector<uint32_t> reported;
    for (const auto& e : takeEvents()) {
        ASSERT_EQ(e.kind, SimEventKind::GroundData);
        EXPECT_EQ(e.key, 0u); // airborne
        EXPECT_DOUBLE_EQ(e.value2, 1200.0);
        reported.push_back(e.objectId);
    }
    const auto objects = trace("objects");
    EXPECT_EQ(reported, (std::vector<uint32_t>{objects[0]["object_id"], objects[2]["object_id"]}));
}

TEST_F(SimFrameTest, PositionsAreInterpolatedTwentyMillisecondsBehindOncePerFrame)
{
    connect();
    const auto ids = createObjects(2);
    ASSERT_EQ(ids.size(), 2u);
    const int64_t t0 = 2'000'000'000;
    post(ids[0], t0, 47.0);
    post(ids[0], t0 + 100'000'000, 47.001);
    post(ids[1], t0, 48.0);
    g_now.store(t0 + 70'000'000); // target t0 + 50 ms
    frames(1);
    auto p0 = positionsOf(ids[0]);
    ASSERT_EQ(p0.size(), 1u);
    EXPECT_NEAR(p0[0]["values"][0].get<double>(), 47.0005, 1e-9);
    ASSERT_EQ(positionsOf(ids[1]).size(), 1u);
    // Nothing new posted: both are written again from their histories.
    g_now.store(t0 + 500'000'000);
    frames(1);
    p0 = positionsOf(ids[0]);
    ASSERT_EQ(p0.size(), 2u);
    EXPECT_EQ(p0[1]["values"][0].get<double>(), 47.001);
    EXPECT_EQ(positionsOf(ids[1]).size(), 2u);
    gf_logPositionDiagnostic();
    EXPECT_NE(log().find("SimConnect diagnostic: last AI position update callsign='SWR10"), std::string::npos);
}

TEST_F(SimFrameTest, ObjectRemovedBySimulatorGetsNoMorePositions)
{
    connect();
    const auto ids = createObjects(1);
    ASSERT_EQ(ids.size(), 1u);
    post(ids[0], 1'000'000'000, 47.0);
    frames(1);
    ASSERT_EQ(positionsOf(ids[0]).size(), 1u);
    sim.removeObject(ids[0]);
    ASSERT_TRUE(sim.waitIdle(2000));
    post(ids[0], 1'010'000'000, 47.0); // the engine has not seen the removal yet
    frames(3);
    EXPECT_EQ(positionsOf(ids[0]).size(), 1u);
    EXPECT_TRUE(trace("errors").empty());
    bool removed = false;
    for (const auto& e : takeEvents())
        removed |= e.kind == SimEventKind::Removed && e.objectId == ids[0];
    EXPECT_TRUE(removed);
}

TEST_F(SimFrameTest, ObjectsOfAnEarlierConnectionGetNoPositions)
{
    connect();
    const uint32_t id = writtenObject();
    quitAndReturn();
    const size_t before = callCount();
    post(id, 1'010'000'000, 47.0); // the engine still holds the old id
    frames(2);
    EXPECT_EQ(countOf(calls(before), "SetDataOnSimObject"), 0u);
}

TEST_F(SimFrameTest, AnIdGivenOutAgainAfterAReconnectStartsWithoutTheOldPositions)
{
    sim.load({{"reuse_object_ids", true}});
    connect();
    const std::vector<uint32_t> old{writtenObject()};
    // The engine has not seen the removal yet.
    quitAndReturn([&] { post(old[0], 1'010'000'000, 47.0); });
    const auto fresh = createObjects(1);
    ASSERT_EQ(fresh, old); // the simulator gave the id out again
    const size_t before = trace("positions").size();
    frames(2);
    EXPECT_EQ(trace("positions").size(), before); // nothing until the engine posts for the new object
    post(fresh[0], 1'020'000'000, 48.0);
    frames(1);
    const auto written = positionsOf(fresh[0]);
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written.back()["values"][0].get<double>(), 48.0);
}

TEST_F(SimFrameTest, UserAircraftRequestsFillTheSnapshotAndDetectATeleport)
{
    auto& db = gf_modelDatabase();
    db.icaoModelCodes = {"B738"};
    db.WingspanTable[gf_modelCode2Id("B738")] = 17.9 / 1852.0;
    gf_trafficClockInputs().professionalLevel.store(true);
    sim.load({{"user",
               {{"title", "Boeing 737-800 Asobo"}, {"atc_model", "ATCCOM.AC_MODEL B738.0.text"}, {"lat", 47.45},
                {"lon", 8.56}, {"alt_ft", -5.0}, {"on_ground", true}, {"gs_kt", 0.0}, {"zulu_time", 3600},
                {"zulu_day", 1}, {"zulu_year", 2024}}}});
    connect();
    g_userAnswers.store(0);
    gf_postDataRequest(DataRequestKind::UserOnGround);
    gf_postDataRequest(DataRequestKind::UserPosition);
    gf_postDataRequest(DataRequestKind::UserTitleAndModel);
    frames(1);
    EXPECT_EQ(g_userAnswers.load(), 3);
    EXPECT_EQ(gf_userAcTitle(), "Boeing 737-800 Asobo");
    EXPECT_NEAR(g_userAcRadius.load(), 17.9 / 1852.0, 1e-12);
    const UserAcPosition pos = gf_getUserAcPosition();
    EXPECT_DOUBLE_EQ(pos.latitude, 47.45);
    EXPECT_EQ(pos.altitude, 0.0);
    EXPECT_EQ(g_userObjectId.load(), 1u);
    EXPECT_EQ(simulatorUtcTime.seconds.load(), 1704070800);
    EXPECT_TRUE(simulatorUtcTime.valid.load());
    // The on-ground answer came before the first position: only "arrived".
    EXPECT_EQ(g_userOnGroundState.load(), -1);
    frames(30); // the periodic answer, once a second
    EXPECT_EQ(g_userOnGroundState.load(), 1);
    EXPECT_TRUE(userOnGround.load());

    sim.load({{"user", {{"lat", 47.45 + 11.0 / 60.0}}}});
    EXPECT_EQ(gf_requestUserAcPosition().latitude, 47.45);
    frames(1);
    ASSERT_TRUE(gf_currentStopRequest());
    EXPECT_EQ(gf_currentStopRequest()->code, 2u);
}

TEST_F(SimFrameTest, TheUserAircraftIsNeverRemoved)
{
    connect();
    const size_t before = callCount();
    gf_removeSimObject(g_userObjectId.load());
    frames(1);
    EXPECT_EQ(countOf(calls(before), "AIRemoveObject"), 0u);
    EXPECT_NE(log().find("==> SimConnect call to remove ac with objectid 2\n"), std::string::npos);
}

TEST_F(SimFrameTest, FlightPlansOnlyWithMsfs2020)
{
    kvr::test::selectSimulator(2);
    sim.load({{"simulator", {{"name", "SunRise"}}}});
    connect();
    const auto ids = createObjects(1);
    ASSERT_EQ(ids.size(), 1u);
    gf_postFlightPlan(ids[0], L"C:\\nowhere\\1.pln");
    const size_t before = callCount();
    frames(1);
    EXPECT_EQ(countOf(calls(before), "AISetAircraftFlightPlan"), 0u);
    EXPECT_EQ(base->ui.last<GuiUpdate::SimStatus>().value().text, "MSFS 2024");
}

} // namespace
