// The stand-in simulator where a fault of its own would mislead the tests of
// the simulator link: ids, ordering, packet sizes and layouts, the ground
// model, scripted faults and the facility stream.
#include <cmath>
#include <filesystem>

#include <gtest/gtest.h>

#include "simlink/simconnect_ids.h"
#include "tests/simlink/standin_fixture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/own_window.h"
#include "tests/support/test_folders.h"

using kvr::test::Received;
using kvr::test::StandinTest;
using kvr::test::TestClient;

namespace {

void lf_define(const SimConnectApi& sc, ScHandle h, std::uint32_t def,
               std::initializer_list<std::pair<const char*, SIMCONNECT_DATATYPE>> fields, const char* unit = "feet")
{
    for (const auto& [name, type] : fields)
        ASSERT_EQ(sc.AddToDataDefinition(h, def, name, unit, type, 0.0f, SIMCONNECT_UNUSED), SC_S_OK);
}

const nlohmann::json kTwoAirports = {
    {{"icao", "LSZH"}, {"lat", 47.4647}, {"lon", 8.5492}, {"elevation_ft", 1416}},
    {{"icao", "LFSB"}, {"lat", 47.5896}, {"lon", 7.5299}, {"elevation_ft", 885}}};

} // namespace

TEST_F(StandinTest, GroundModelAnswersEveryAircraftInRange)
{
    ASSERT_TRUE(sim.load({{"airports", kTwoAirports},
                          {"assign_delay_frames", 0},
                          {"titles", {{{"title", "A"}, {"static_cg_ft", 7.5}, {"static_pitch_deg", -2.0}}, "B", "C"}},
                          {"user", {{"lat", 47.46}, {"lon", 8.55}, {"alt_ft", 1416}, {"atc_id", "HB-USR"}}}}));
    TestClient c;
    ASSERT_EQ(c.open(), SC_S_OK);
    const auto& sc = api();
    lf_define(sc, c.handle, DEFINITION_AI_GET_POSITION,
              {{"Plane Alt Above Ground", SIMCONNECT_DATATYPE_FLOAT64}, {"Ground Altitude", SIMCONNECT_DATATYPE_FLOAT64},
               {"SIM ON GROUND", SIMCONNECT_DATATYPE_INT64}, {"ATC ID", SIMCONNECT_DATATYPE_STRING32}});
    SIMCONNECT_DATA_INITPOSITION parked{47.461, 8.551, 5000, 0, 0, 90, 1, 0};   // placed on the ground
    SIMCONNECT_DATA_INITPOSITION flying{47.47, 8.56, 4416, 0, 0, 90, 0, 250};   // 3000 ft above ground
    SIMCONNECT_DATA_INITPOSITION basel{47.5896, 7.5299, 885, 0, 0, 90, 1, 0};   // 40 NM away
    sc.AICreateNonATCAircraft(c.handle, "A", "SWR12", parked, 10000);
    sc.AICreateNonATCAircraft(c.handle, "B", "EZY34", flying, 10001);
    sc.AICreateNonATCAircraft(c.handle, "C", "BASEL1", basel, 10002);
    c.dispatch();
    ASSERT_EQ(sc.RequestDataOnSimObjectType(c.handle, AI_POSITION, DEFINITION_AI_GET_POSITION, 20000,
                                            SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT),
              SC_S_OK);
    const auto answers = c.dispatchOf(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE);
    ASSERT_EQ(answers.size(), 3u); // the user and the two near Zurich
    struct Expect {
        const char* tail;
        double agl, ground;
        std::int64_t onGround;
    };
    const Expect expected[] = {{"HB-USR", 0.0, 1416, 1}, {"SWR12", 0.0, 1416, 1}, {"EZY34", 3000.0, 1416, 0}};
    for (std::uint32_t i = 0; i < 3; ++i) {
        const Received& r = answers[i];
        EXPECT_EQ(r.cbData, 96u);
        EXPECT_EQ(r.field<std::uint32_t>(12), AI_POSITION);
        EXPECT_EQ(r.field<std::uint32_t>(28), i + 1); // entry
        EXPECT_EQ(r.field<std::uint32_t>(32), 3u);    // out of
        EXPECT_DOUBLE_EQ(r.field<double>(40), expected[i].agl);
        EXPECT_DOUBLE_EQ(r.field<double>(48), expected[i].ground);
        EXPECT_EQ(r.field<std::int64_t>(56), expected[i].onGround);
        EXPECT_STREQ(reinterpret_cast<const char*>(r.bytes.data() + 64), expected[i].tail);
    }
    // Static CG and pitch come per title.
    lf_define(sc, c.handle, DEFINITION_AI_GET_STATIC_CG_AND_PITCH,
              {{"Static CG to Ground", SIMCONNECT_DATATYPE_FLOAT64}, {"Static Pitch", SIMCONNECT_DATATYPE_FLOAT64}},
              "radian");
    const auto swr = answers[1].field<std::uint32_t>(16);
    sc.RequestDataOnSimObject(c.handle, AI_STATIC_CG_AND_PITCH, DEFINITION_AI_GET_STATIC_CG_AND_PITCH, swr,
                              SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0);
    const auto cg = c.dispatchOf(SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    ASSERT_EQ(cg.size(), 1u);
    EXPECT_EQ(cg[0].cbData, 56u);
    EXPECT_EQ(cg[0].field<std::uint32_t>(16), swr);
    EXPECT_NEAR(cg[0].field<double>(40), 7.5 * 3.141592653589793 / 180.0, 1e-12); // "radian" unit on both
    EXPECT_NEAR(cg[0].field<double>(48), -2.0 * 3.141592653589793 / 180.0, 1e-12);
    // The documented limit of the radius: 200 km passes, one metre more is exception 31.
    sc.RequestDataOnSimObjectType(c.handle, AI_POSITION, DEFINITION_AI_GET_POSITION, 200000,
                                  SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    EXPECT_EQ(c.dispatchOf(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE).size(), 4u);
    sc.RequestDataOnSimObjectType(c.handle, AI_POSITION, DEFINITION_AI_GET_POSITION, 200001,
                                  SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    ScDword packet = 0;
    sc.GetLastSentPacketID(c.handle, &packet);
    const auto ex = c.dispatchOf(SIMCONNECT_RECV_ID_EXCEPTION);
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_EQ(ex[0].as<SIMCONNECT_RECV_EXCEPTION>().dwException, SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS);
    EXPECT_EQ(ex[0].as<SIMCONNECT_RECV_EXCEPTION>().dwSendID, packet);
}

TEST_F(StandinTest, UserDataPacketsHaveTheDefinitionsSizesAndUnits)
{
    ASSERT_TRUE(sim.load({{"user", {{"title", "Cessna 172"}, {"atc_model", "ATCCOM.AC_MODEL C172.0.text"},
                                    {"lat", 47.5}, {"heading_deg", 90.0}, {"zulu_year", 2024}, {"on_ground", true}}},
                          {"frames_per_second", 5}}));
    TestClient c;
    ASSERT_EQ(c.open(), SC_S_OK);
    const auto& sc = api();
    sc.AddToDataDefinition(c.handle, DEFINITION_USER_AC_GET_TITLE, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV, 0,
                           SIMCONNECT_UNUSED);
    sc.AddToDataDefinition(c.handle, DEFINITION_USER_AC_GET_MODEL, "ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32,
                           0, SIMCONNECT_UNUSED);
    sc.AddToDataDefinition(c.handle, DEFINITION_USER_AC_GET_ONGROUND, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64,
                           0, SIMCONNECT_UNUSED);
    sc.AddToDataDefinition(c.handle, DEFINITION_LATLONPIBAVSHETRALTGSZULI, "Plane Latitude", "degree",
                           SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    sc.AddToDataDefinition(c.handle, DEFINITION_LATLONPIBAVSHETRALTGSZULI, "Plane Heading degrees true", "radian",
                           SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    sc.AddToDataDefinition(c.handle, DEFINITION_LATLONPIBAVSHETRALTGSZULI, "ZULU YEAR", "Number",
                           SIMCONNECT_DATATYPE_INT64, 0, SIMCONNECT_UNUSED);
    sc.RequestDataOnSimObject(c.handle, USER_AC_TITLE, DEFINITION_USER_AC_GET_TITLE, 0, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0);
    sc.RequestDataOnSimObject(c.handle, USER_AC_MODEL, DEFINITION_USER_AC_GET_MODEL, 0, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0);
    sc.RequestDataOnSimObject(c.handle, USER_AC_POSITION, DEFINITION_LATLONPIBAVSHETRALTGSZULI, 0,
                              SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0);
    auto data = c.dispatchOf(SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    ASSERT_EQ(data.size(), 3u);
    EXPECT_EQ(data[0].cbData, 40u + 11);
    EXPECT_STREQ(reinterpret_cast<const char*>(data[0].bytes.data() + 40), "Cessna 172");
    EXPECT_EQ(data[0].field<std::uint32_t>(16), 1u); // the user's own object id, not 0
    EXPECT_EQ(data[1].cbData, 72u);
    EXPECT_STREQ(reinterpret_cast<const char*>(data[1].bytes.data() + 40), "ATCCOM.AC_MODEL C172.0.text");
    EXPECT_EQ(data[2].cbData, 64u);
    EXPECT_EQ(data[2].field<std::uint32_t>(36), 3u); // datums, not bytes
    EXPECT_DOUBLE_EQ(data[2].field<double>(40), 47.5);
    EXPECT_NEAR(data[2].field<double>(48), 1.5707963267948966, 1e-12);
    EXPECT_EQ(data[2].field<std::int64_t>(56), 2024);

    // Every second: at once, then every `frames_per_second` frames; a new
    // request with the same id replaces it.
    sc.RequestDataOnSimObject(c.handle, USER_AC_ON_GROUND, DEFINITION_USER_AC_GET_ONGROUND, 0,
                              SIMCONNECT_PERIOD_SECOND, 0, 0, 0, 0);
    std::vector<int> answeredAt;
    for (int frame = 0; frame <= 10; ++frame) {
        if (frame > 0)
            sim.advanceFrames(1);
        for (const auto& r : c.dispatchOf(SIMCONNECT_RECV_ID_SIMOBJECT_DATA)) {
            EXPECT_EQ(r.cbData, 48u);
            EXPECT_EQ(r.field<std::int64_t>(40), 1);
            answeredAt.push_back(frame);
        }
    }
    EXPECT_EQ(answeredAt, (std::vector<int>{0, 5, 10}));
    sc.RequestDataOnSimObject(c.handle, USER_AC_ON_GROUND, DEFINITION_USER_AC_GET_ONGROUND, 0,
                              SIMCONNECT_PERIOD_NEVER, 0, 0, 0, 0);
    sim.advanceFrames(10);
    EXPECT_TRUE(c.dispatchOf(SIMCONNECT_RECV_ID_SIMOBJECT_DATA).empty());
}

TEST_F(StandinTest, CreationAnswersFailuresAndTheirOrder)
{
    ASSERT_TRUE(sim.load({{"titles", {"Known"}}, {"assign_delay_frames", 3}, {"added_before_assigned", false}}));
    TestClient c;
    ASSERT_EQ(c.open(), SC_S_OK);
    const auto& sc = api();
    sc.SubscribeToSystemEvent(c.handle, EVENT_OBJECT_ADDED, "objectadded");
    SIMCONNECT_DATA_INITPOSITION init{1, 1, 1000, 0, 0, 0, 0, 0};
    sc.AICreateNonATCAircraft(c.handle, "Known", "A", init, 10000);
    sc.AICreateNonATCAircraft(c.handle, "Not installed", "B", init, 10001);
    ScDword failedPacket = 0;
    sc.GetLastSentPacketID(c.handle, &failedPacket);
    auto first = c.dispatch();
    ASSERT_EQ(first.size(), 2u); // OPEN and the failure
    const auto ex = first[1].as<SIMCONNECT_RECV_EXCEPTION>();
    EXPECT_EQ(ex.dwException, SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED);
    EXPECT_EQ(ex.dwSendID, failedPacket);
    EXPECT_GT(failedPacket, 0u);
    sim.advanceFrames(2);
    EXPECT_TRUE(c.dispatch().empty());
    sim.advanceFrames(1);
    const auto answers = c.dispatch();
    ASSERT_EQ(answers.size(), 2u); // reversed order on request
    EXPECT_EQ(answers[0].id(), SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID);
    EXPECT_EQ(answers[1].id(), SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
}

TEST_F(StandinTest, ObjectLimitIsAThousand)
{
    ASSERT_TRUE(sim.load({{"assign_delay_frames", 0}, {"trace_calls", false}}));
    TestClient c;
    ASSERT_EQ(c.open(), SC_S_OK);
    c.dispatch();
    SIMCONNECT_DATA_INITPOSITION init{1, 1, 1000, 0, 0, 0, 0, 0};
    for (std::uint32_t i = 0; i < 1001; ++i)
        api().AICreateNonATCAircraft(c.handle, "T", "X", init, 10000 + i);
    std::vector<std::uint32_t> objectIds;
    std::vector<std::uint32_t> exceptions;
    for (const auto& r : c.dispatch()) {
        if (r.id() == SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID)
            objectIds.push_back(r.as<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID>().dwObjectID);
        if (r.id() == SIMCONNECT_RECV_ID_EXCEPTION)
            exceptions.push_back(r.as<SIMCONNECT_RECV_EXCEPTION>().dwException);
    }
    ASSERT_EQ(objectIds.size(), 1000u);
    EXPECT_EQ(std::adjacent_find(objectIds.begin(), objectIds.end(), [](auto a, auto b) { return b <= a; }),
              objectIds.end()); // distinct and rising
    EXPECT_EQ(exceptions, (std::vector<std::uint32_t>{SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS}));
}

// Closing removes the client's objects by default; with the switch off they
// stay, and a new connection may not remove them.
TEST_F(StandinTest, CloseRemovesTheClientsObjectsUnlessSwitchedOff)
{
    for (const bool removes : {true, false}) {
        sim.reset();
        ASSERT_TRUE(sim.load({{"assign_delay_frames", 0}, {"close_removes_objects", removes}}));
        TestClient watcher;
        ASSERT_EQ(watcher.open("watcher"), SC_S_OK);
        api().SubscribeToSystemEvent(watcher.handle, EVENT_OBJECT_REMOVED, "ObjectRemoved");
        watcher.dispatch();
        std::uint32_t oid = 0;
        {
            TestClient kelo;
            ASSERT_EQ(kelo.open(), SC_S_OK);
            SIMCONNECT_DATA_INITPOSITION init{1, 1, 1000, 0, 0, 0, 0, 0};
            api().AICreateNonATCAircraft(kelo.handle, "T", "X", init, 10000);
            oid = kelo.dispatchOf(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID).at(0).as<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID>().dwObjectID;
        } // closed
        EXPECT_EQ(watcher.dispatchOf(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE).size(), removes ? 1u : 0u);
        TestClient again;
        ASSERT_EQ(again.open(), SC_S_OK);
        api().AIRemoveObject(again.handle, oid, REQUEST_AI_REMOVE);
        const auto ex = again.dispatchOf(SIMCONNECT_RECV_ID_EXCEPTION);
        ASSERT_EQ(ex.size(), 1u);
        EXPECT_EQ(ex[0].as<SIMCONNECT_RECV_EXCEPTION>().dwException,
                  removes ? SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID : SIMCONNECT_EXCEPTION_ILLEGAL_OPERATION);
    }
}

TEST_F(StandinTest, ScriptedFaultsQuitAndFlightLoaded)
{
    TestClient c;
    ASSERT_EQ(c.open(), SC_S_OK);
    const auto& sc = api();
    sim.setFault("SimConnect_MapClientEventToSimEvent", 2, SC_E_INVALIDARG);
    EXPECT_EQ(sc.MapClientEventToSimEvent(c.handle, 219, "GEAR_SET"), SC_S_OK);
    EXPECT_EQ(sc.MapClientEventToSimEvent(c.handle, 220, "ENGINE_AUTO_START"), SC_E_INVALIDARG);
    EXPECT_EQ(sc.MapClientEventToSimEvent(c.handle, 221, "ENGINE_AUTO_SHUTDOWN"), SC_S_OK);
    sim.setFault("CallDispatch", 0, SC_E_FAIL);
    EXPECT_EQ(sc.CallDispatch(c.handle, &TestClient::onPacket, &c), SC_E_FAIL);
    EXPECT_EQ(sc.CallDispatch(c.handle, &TestClient::onPacket, &c), SC_E_FAIL);
    sim.setFault("CallDispatch", 0, 0);
    const auto calls = sim.trace("calls");
    int failedMaps = 0;
    for (const auto& call : calls)
        if (call["fn"] == "SimConnect_MapClientEventToSimEvent" && call["hr"] != 0) {
            EXPECT_EQ(call["hr"], SC_E_INVALIDARG);
            ++failedMaps;
        }
    EXPECT_EQ(failedMaps, 1);

    sc.SubscribeToSystemEvent(c.handle, EVENT_FLIGHT_LOADED, "FlightLoaded");
    c.dispatch();
    sim.loadFlight("C:\\Flights\\LSZH.FLT");
    auto loaded = c.dispatch();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].id(), SIMCONNECT_RECV_ID_EVENT_FILENAME);
    EXPECT_EQ(loaded[0].cbData, 288u);
    EXPECT_EQ(loaded[0].as<SIMCONNECT_RECV_EVENT_FILENAME>().uEventID, EVENT_FLIGHT_LOADED);
    EXPECT_STREQ(loaded[0].as<SIMCONNECT_RECV_EVENT_FILENAME>().szFileName, "C:\\Flights\\LSZH.FLT");

    sim.quit();
    auto quit = c.dispatch();
    ASSERT_EQ(quit.size(), 1u);
    EXPECT_EQ(quit[0].id(), SIMCONNECT_RECV_ID_QUIT);
    EXPECT_EQ(sc.SubscribeToSystemEvent(c.handle, EVENT_SIM, "Sim"), SC_E_FAIL);
    TestClient later;
    EXPECT_EQ(later.open(), SC_E_FAIL);
    sim.setAvailable(1);
    EXPECT_EQ(later.open(), SC_S_OK);
}

TEST_F(StandinTest, FlightPlansLoadOnlyFromAnAceXmlPlan)
{
    kvr::test::ScopedTestFolders folders("scpln");
    ASSERT_TRUE(sim.load({{"assign_delay_frames", 0}}));
    TestClient c;
    ASSERT_EQ(c.open(), SC_S_OK);
    SIMCONNECT_DATA_INITPOSITION init{1, 1, 1000, 0, 0, 0, 0, 0};
    api().AICreateNonATCAircraft(c.handle, "T", "X", init, 10000);
    const auto oid = c.dispatchOf(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID).at(0).as<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID>().dwObjectID;
    kvr::test::writeBytes("7.pln", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SimBase.Document Type=\"AceXML\" "
                                   "version=\"4,3\">\n<FlightPlan.FlightPlan>\n<FPType>VFR</FPType>\n<DepartureID>ZRH"
                                   "</DepartureID>\n<DestinationID></DestinationID>\n</FlightPlan.FlightPlan>\n"
                                   "</SimBase.Document>\n");
    kvr::test::writeBytes("8.pln", "<?xml version=\"1.0\"?>\n<SimBase.Document>\n");
    const std::string good = (std::filesystem::current_path() / "7").string(); // ".pln" left off
    const std::string bad = (std::filesystem::current_path() / "8.pln").string();
    api().AISetAircraftFlightPlan(c.handle, oid, good.c_str(), REQUEST_AI_FLIGHT_PLAN);
    EXPECT_TRUE(c.dispatchOf(SIMCONNECT_RECV_ID_EXCEPTION).empty());
    api().AISetAircraftFlightPlan(c.handle, oid, bad.c_str(), REQUEST_AI_FLIGHT_PLAN);
    const auto ex = c.dispatchOf(SIMCONNECT_RECV_ID_EXCEPTION);
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_EQ(ex[0].as<SIMCONNECT_RECV_EXCEPTION>().dwException, SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED);
    EXPECT_EQ(sim.trace("objects").at(0)["flight_plan"], "ZRH-");
}

// Real-time mode from the scenario file named by KELO_SIM_SCENARIO: frames
// come by themselves and the user aircraft follows its path.
TEST_F(StandinTest, ScenarioFileStartsRealTimeFrames)
{
    kvr::test::ScopedTestFolders folders("screal");
    const nlohmann::json scenario = {
        {"mode", "realtime"},
        {"frame_rate", 50},
        {"simulator", {{"name", "SunRise"}}},
        {"user", {{"title", "Demo"}, {"path", {{{"t", 0}, {"lat", 47.0}, {"lon", 8.0}}, {{"t", 3600}, {"lat", 48.0}, {"lon", 8.0}}}}}}};
    kvr::test::writeBytes("scenario.json", scenario.dump());
    const std::string path = (std::filesystem::current_path() / "scenario.json").string();
    ASSERT_EQ(_putenv_s("KELO_SIM_SCENARIO", path.c_str()), 0);
    TestClient c;
    const ScHresult opened = c.open();
    _putenv_s("KELO_SIM_SCENARIO", "");
    ASSERT_EQ(opened, SC_S_OK);
    EXPECT_EQ(sim.trace("errors").size(), 0u);
    api().SubscribeToSystemEvent(c.handle, EVENT_FRAME, "Frame");
    lf_define(api(), c.handle, DEFINITION_LATLONPIBAVSHETRALTGSZULI, {{"Plane Latitude", SIMCONNECT_DATATYPE_FLOAT64}},
              "degree");
    api().RequestDataOnSimObject(c.handle, USER_AC_POSITION, DEFINITION_LATLONPIBAVSHETRALTGSZULI, 0,
                                 SIMCONNECT_PERIOD_VISUAL_FRAME, 0, 0, 0, 0);
    std::vector<Received> frames, positions;
    std::string openName;
    for (int i = 0; i < 2000 && (frames.size() < 3 || positions.size() < 3); ++i) {
        for (auto& r : c.dispatch()) {
            if (r.id() == SIMCONNECT_RECV_ID_OPEN)
                openName = r.as<SIMCONNECT_RECV_OPEN>().szApplicationName;
            if (r.id() == SIMCONNECT_RECV_ID_EVENT_FRAME)
                frames.push_back(r);
            if (r.id() == SIMCONNECT_RECV_ID_SIMOBJECT_DATA)
                positions.push_back(r);
        }
        Sleep(5);
    }
    EXPECT_EQ(openName, "SunRise");
    ASSERT_GE(frames.size(), 3u);
    EXPECT_FLOAT_EQ(frames[0].as<SIMCONNECT_RECV_EVENT_FRAME>().fFrameRate, 50.0f);
    ASSERT_GE(positions.size(), 3u);
    const double lat = positions.back().field<double>(40);
    EXPECT_GE(lat, 47.0);
    EXPECT_LT(lat, 47.1); // well within the first minutes of the path
    // Its map window is open while it runs, and gone after a reset.
    HWND map = nullptr;
    for (int i = 0; i < 500 && !map; ++i, Sleep(5))
        map = kvr::test::findOwnWindow(L"KeloSimMap");
    EXPECT_NE(map, nullptr);
    sim.reset();
    EXPECT_EQ(kvr::test::findOwnWindow(L"KeloSimMap"), nullptr);
}

// A dispatch procedure that throws: the exception reaches the caller of
// CallDispatch, and the packets after the failing one come with the next call.
TEST_F(StandinTest, ExceptionFromTheDispatchProcedurePassesThrough)
{
    TestClient c;
    ASSERT_EQ(c.open(), SC_S_OK);
    api().SubscribeToSystemEvent(c.handle, EVENT_SIM, "Sim");
    api().SubscribeToSystemEvent(c.handle, EVENT_FRAME, "Frame");
    sim.advanceFrames(1);
    struct Thrower {
        static void onPacket(SIMCONNECT_RECV* packet, ScDword, void*)
        {
            if (packet->dwID == SIMCONNECT_RECV_ID_OPEN)
                throw std::runtime_error("wrong simulator");
        }
    };
    EXPECT_THROW(api().CallDispatch(c.handle, &Thrower::onPacket, nullptr), std::runtime_error);
    const auto rest = c.dispatch();
    ASSERT_EQ(rest.size(), 2u);
    EXPECT_EQ(rest[0].id(), SIMCONNECT_RECV_ID_EVENT);
    EXPECT_EQ(rest[1].id(), SIMCONNECT_RECV_ID_EVENT_FRAME);
    EXPECT_EQ(sim.waitIdle(1000), 1);
}
