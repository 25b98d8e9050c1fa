// The run-time binding of SimConnect.dll, end to end against the stand-in,
// and the size checks of every received packet kind.
#include <cmath>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "core/log.h"
#include "simlink/sim_event.h"
#include "simlink/facility_reader.h"
#include "simlink/sim_client_internal.h"
#include "simlink/simconnect_ids.h"
#include "simlink/simconnect_packets.h"
#include "tests/simlink/standin_fixture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

using kvr::test::Received;
using kvr::test::ScopedTestFolders;
using kvr::test::StandinTest;
using kvr::test::TestClient;

namespace {

struct LogCapture {
    LogCapture() { gf_openLog(); }
    ~LogCapture() { gf_closeLog(); }
};

std::size_t lf_count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(SimConnectLoader, MissingDllFailsEveryCallAndLogsOnce)
{
    ScopedTestFolders folders("scload");
    LogCapture log;
    gf_unloadSimConnect();
    const SimConnectApi& early = gf_simConnect(); // taken before any DLL is there
    const auto empty = folders.root() / "nodll";
    std::filesystem::create_directories(empty);
    EXPECT_FALSE(gf_loadSimConnectFrom(empty));
    EXPECT_FALSE(gf_loadSimConnectFrom(empty)); // a retry loop
    EXPECT_FALSE(gf_isSimConnectLoaded());
    EXPECT_NE(gf_simConnectLoadError().find("SimConnect.dll not found"), std::string::npos);
    ScHandle h = reinterpret_cast<ScHandle>(1);
    EXPECT_EQ(gf_simConnect().Open(&h, "Kelo", nullptr, 0, nullptr, 0), SC_E_FAIL);
    EXPECT_EQ(gf_simConnect().CallDispatch(nullptr, nullptr, nullptr), SC_E_FAIL);
    EXPECT_EQ(gf_simConnect().RequestFacilityData(nullptr, 1, 2, "LSZH", ""), SC_E_FAIL);
    gf_flushLog();
    EXPECT_EQ(lf_count(kvr::test::logText(), "==> SimConnect.dll not found"), 1u);

    // The DLL beside the program loads, the load error is gone, and the
    // table taken before calls into the DLL now.
    EXPECT_TRUE(gf_loadSimConnect());
    EXPECT_TRUE(gf_simConnectLoadError().empty());
    ScHandle opened = nullptr;
    ASSERT_EQ(early.Open(&opened, "Kelo", nullptr, 0, nullptr, 0), SC_S_OK);
    EXPECT_NE(opened, nullptr);
    EXPECT_EQ(early.Close(opened), SC_S_OK);
}

TEST(SimConnectLoader, DllWithoutTheFunctionsIsRefused)
{
    ScopedTestFolders folders("scmiss");
    LogCapture log;
    gf_unloadSimConnect();
    // A real DLL that is not SimConnect: it loads but exports none of the names.
    const auto folder = folders.root() / "wrong";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(gf_programFileFolder().parent_path() / "tests" / "SimConnect.dll",
                               folder / "SimConnect.dll");
    ASSERT_TRUE(gf_loadSimConnectFrom(folder)); // the stand-in itself is complete
    gf_unloadSimConnect();
    std::filesystem::remove(folder / "SimConnect.dll");
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    std::filesystem::copy_file(std::filesystem::path(system) / "version.dll", folder / "SimConnect.dll");
    EXPECT_FALSE(gf_loadSimConnectFrom(folder));
    const std::string error = gf_simConnectLoadError();
    EXPECT_NE(error.find("lacks the functions SimConnect_Open, SimConnect_Close"), std::string::npos) << error;
    EXPECT_FALSE(gf_isSimConnectLoaded());
    EXPECT_EQ(gf_simConnect().Close(nullptr), SC_E_FAIL);
}

// Open, subscribe, define, create, move over manual frames, remove: every
// step through the bound functions, then the whole exchange in the trace.
TEST_F(StandinTest, WholeExchangeThroughTheRuntimeBinding)
{
    ASSERT_TRUE(sim.load({{"simulator", {{"name", "SunRise"}, {"app_version", {12, 1, 282174, 999}}}},
                          {"first_packet_id", 40},
                          {"titles", {"Airbus A320 Neo Asobo"}}}));
    TestClient c;
    ASSERT_EQ(c.open(), SC_S_OK);
    auto first = c.dispatch();
    ASSERT_EQ(first.size(), 1u);
    const auto open = first[0].as<SIMCONNECT_RECV_OPEN>();
    EXPECT_EQ(first[0].cbData, 308u);
    EXPECT_STREQ(open.szApplicationName, "SunRise");
    EXPECT_EQ(open.dwApplicationVersionMajor, 12u);
    EXPECT_EQ(open.dwApplicationBuildMinor, 999u);

    const auto& sc = api();
    ASSERT_EQ(sc.SubscribeToSystemEvent(c.handle, EVENT_SIM, "Sim"), SC_S_OK);
    ASSERT_EQ(sc.SubscribeToSystemEvent(c.handle, EVENT_OBJECT_ADDED, "ObjectAdded"), SC_S_OK);
    ASSERT_EQ(sc.SubscribeToSystemEvent(c.handle, EVENT_OBJECT_REMOVED, "ObjectRemoved"), SC_S_OK);
    ASSERT_EQ(sc.SubscribeToSystemEvent(c.handle, EVENT_FRAME, "Frame"), SC_S_OK);
    const char* fields[] = {"Plane Latitude", "Plane Longitude", "Plane Pitch degrees", "Plane Bank degrees",
                            "Plane Heading degrees true", "Plane Altitude", "Vertical Speed", "Airspeed True"};
    const char* units[] = {"degree", "degree", "radian", "radian", "radian", "feet", "feet per minute", "knots"};
    for (int i = 0; i < 8; ++i)
        ASSERT_EQ(sc.AddToDataDefinition(c.handle, DEFINITION_LATLONPIBAHEALVSTAS, fields[i], units[i],
                                         SIMCONNECT_DATATYPE_FLOAT64, 0.0f, SIMCONNECT_UNUSED),
                  SC_S_OK);
    ASSERT_EQ(sc.MapClientEventToSimEvent(c.handle, EVENT_FREEZE_ALTITUDE_SET, "FREEZE_ALTITUDE_SET"), SC_S_OK);
    auto sim1 = c.dispatchOf(SIMCONNECT_RECV_ID_EVENT);
    ASSERT_EQ(sim1.size(), 1u); // "Sim" answers the current state at once
    EXPECT_EQ(sim1[0].as<SIMCONNECT_RECV_EVENT>().uEventID, EVENT_SIM);
    EXPECT_EQ(sim1[0].as<SIMCONNECT_RECV_EVENT>().dwData, 1u);

    SIMCONNECT_DATA_INITPOSITION init{47.45, 8.56, 1500.0, 0.0, 0.0, 140.0, 0, 0};
    ASSERT_EQ(sc.AICreateNonATCAircraft(c.handle, "Airbus A320 Neo Asobo", "HB-JDA", init, 10000), SC_S_OK);
    ScDword packetId = 0;
    ASSERT_EQ(sc.GetLastSentPacketID(c.handle, &packetId), SC_S_OK);
    EXPECT_GE(packetId, 40u);
    EXPECT_TRUE(c.dispatch().empty()); // the answer needs a frame
    sim.advanceFrames(1);
    auto created = c.dispatch();
    ASSERT_EQ(created.size(), 3u);
    EXPECT_EQ(created[0].id(), SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    ASSERT_EQ(created[1].id(), SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID);
    EXPECT_EQ(created[2].id(), SIMCONNECT_RECV_ID_EVENT_FRAME);
    const auto assigned = created[1].as<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID>();
    EXPECT_EQ(assigned.dwRequestID, 10000u);
    EXPECT_EQ(created[0].as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>().dwData, assigned.dwObjectID);
    const ScDword oid = assigned.dwObjectID;

    ASSERT_EQ(sc.AIReleaseControl(c.handle, oid, REQUEST_AI_RELEASE), SC_S_OK);
    ASSERT_EQ(sc.TransmitClientEvent(c.handle, oid, EVENT_FREEZE_ALTITUDE_SET, 1, TRAFFIC_APP, 0), SC_S_OK);
    for (int frame = 0; frame < 3; ++frame) {
        sim.advanceFrames(1);
        ASSERT_EQ(c.dispatchOf(SIMCONNECT_RECV_ID_EVENT_FRAME).size(), 1u);
        double block[8] = {47.45 + 0.001 * frame, 8.56, 0.01, 0.0, 2.0, 1500.0 - 10 * frame, -600.0, 140.0};
        ASSERT_EQ(sc.SetDataOnSimObject(c.handle, DEFINITION_LATLONPIBAHEALVSTAS, oid, 0, 0, sizeof block, block),
                  SC_S_OK);
    }
    ASSERT_EQ(sc.AIRemoveObject(c.handle, oid, REQUEST_AI_REMOVE), SC_S_OK);
    auto removed = c.dispatchOf(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>().uEventID, EVENT_OBJECT_REMOVED);
    EXPECT_EQ(removed[0].as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>().dwData, oid);

    // The trace: the object, its positions per frame, its events, and the calls.
    const auto objects = sim.trace("objects");
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0]["tail"], "HB-JDA");
    EXPECT_EQ(objects[0]["request_id"], 10000);
    EXPECT_EQ(objects[0]["packet_id"], packetId);
    EXPECT_EQ(objects[0]["object_id"], oid);
    EXPECT_EQ(objects[0]["removed_by"], "client");
    EXPECT_TRUE(objects[0]["released"].get<bool>());
    EXPECT_TRUE(objects[0]["frozen_altitude"].get<bool>());
    EXPECT_DOUBLE_EQ(objects[0]["init"]["heading"].get<double>(), 140.0);
    const auto positions = sim.trace("positions");
    ASSERT_EQ(positions.size(), 3u);
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_EQ(positions[frame]["frame"], 2 + frame);
        EXPECT_DOUBLE_EQ(positions[frame]["values"][0].get<double>(), 47.45 + 0.001 * frame);
        EXPECT_DOUBLE_EQ(positions[frame]["values"][5].get<double>(), 1500.0 - 10 * frame);
    }
    EXPECT_DOUBLE_EQ(objects[0]["alt_ft"].get<double>(), 1480.0); // state at removal
    const auto events = sim.trace("events");
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]["name"], "AIReleaseControl");
    EXPECT_EQ(events[1]["name"], "FREEZE_ALTITUDE_SET");
    EXPECT_EQ(events[1]["group"], TRAFFIC_APP);

    const auto calls = sim.trace("calls");
    std::vector<std::string> names;
    std::uint32_t lastPacket = 0;
    for (const auto& call : calls) {
        const std::string fn = call["fn"];
        if (fn == "SimConnect_CallDispatch")
            continue;
        names.push_back(fn);
        const std::uint32_t p = call["packet_id"];
        if (p != 0) { // ids grow call by call
            EXPECT_GT(p, lastPacket);
            lastPacket = p;
        }
        EXPECT_EQ(call["hr"], 0) << fn;
    }
    ASSERT_GE(names.size(), 4u + 8 + 1 + 1 + 1 + 2 + 3 + 1 + 1);
    EXPECT_EQ(names.front(), "SimConnect_Open");
    EXPECT_EQ(names.back(), "SimConnect_AIRemoveObject");
    EXPECT_EQ(std::count(names.begin(), names.end(), "SimConnect_SetDataOnSimObject"), 3);
}

// Every packet kind Kelo reads, cut one byte short by the stand-in, is
// refused by the binding with its size message; whole packets pass.
TEST_F(StandinTest, TruncatedPacketsOfEveryKindAreRefused)
{
    ScopedTestFolders folders("sctrunc");
    LogCapture log;
    ASSERT_TRUE(sim.load({{"titles", {"T"}},
                          {"assign_delay_frames", 0},
                          {"airports", {{{"icao", "LSZH"}, {"lat", 47.46}, {"lon", 8.55}, {"elevation_ft", 1416},
                                         {"facility", {{"RUNWAY", {{{"PRIMARY_NUMBER", 16}}}}}},
                                         {"faults", {{"truncate", {{{"type", 1}, {"size", 91}}}}}}}}}}));
    struct Case {
        std::uint32_t recvId;
        std::uint32_t cutTo;
        std::string message;
    };
    const std::vector<Case> cases{
        {SIMCONNECT_RECV_ID_OPEN, 307, "SimConnect OPEN payload too small: 307 < 308 bytes"},
        {SIMCONNECT_RECV_ID_EVENT, 23, "SimConnect EVENT payload too small: 23 < 24 bytes"},
        {SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE, 27, "SimConnect EVENT_OBJECT_ADDREMOVE payload too small: 27 < 28 bytes"},
        {SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID, 19, "SimConnect ASSIGNED_OBJECT_ID payload too small: 19 < 20 bytes"},
        {SIMCONNECT_RECV_ID_EXCEPTION, 23, "SimConnect EXCEPTION payload too small: 23 < 24 bytes"},
        {SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 39, "SimConnect SIMOBJECT_DATA payload too small: 39 < 40 bytes"},
        {SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, 95, "SimConnect AI_POSITION payload too small: 95 < 96 bytes"},
        {SIMCONNECT_RECV_ID_FACILITY_DATA, 91, "SimConnect FACILITY_DATA RUNWAY payload too small: 91 < 92 bytes"},
        {SIMCONNECT_RECV_ID_FACILITY_DATA_END, 15, "SimConnect FACILITY_DATA_END payload too small: 15 < 16 bytes"},
        {SIMCONNECT_RECV_ID_EVENT_FRAME, 11, "SimConnect RECV payload too small: 11 < 12 bytes"},
    };
    for (const Case& k : cases)
        if (k.recvId != SIMCONNECT_RECV_ID_FACILITY_DATA) // the runway record is cut by the airport's faults
            sim.truncateNext(k.recvId, k.cutTo, 1);

    TestClient c;
    ASSERT_EQ(c.open(), SC_S_OK);
    const auto& sc = api();
    sc.SubscribeToSystemEvent(c.handle, EVENT_SIM, "Sim");
    sc.SubscribeToSystemEvent(c.handle, EVENT_OBJECT_ADDED, "ObjectAdded");
    sc.SubscribeToSystemEvent(c.handle, EVENT_FRAME, "Frame");
    sc.AddToDataDefinition(c.handle, DEFINITION_AI_GET_POSITION, "Plane Alt Above Ground", "feet",
                           SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    sc.AddToDataDefinition(c.handle, DEFINITION_AI_GET_POSITION, "Ground Altitude", "feet",
                           SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    sc.AddToDataDefinition(c.handle, DEFINITION_AI_GET_POSITION, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64,
                           0, SIMCONNECT_UNUSED);
    sc.AddToDataDefinition(c.handle, DEFINITION_AI_GET_POSITION, "ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32, 0,
                           SIMCONNECT_UNUSED);
    sc.RequestDataOnSimObject(c.handle, USER_AC_TITLE, DEFINITION_AI_GET_POSITION, 0, SIMCONNECT_PERIOD_ONCE, 0, 0,
                              0, 0);
    sc.RequestDataOnSimObjectType(c.handle, AI_POSITION, DEFINITION_AI_GET_POSITION, 1000,
                                  SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    SIMCONNECT_DATA_INITPOSITION init{47.46, 8.55, 0, 0, 0, 0, 1, 0};
    sc.AICreateNonATCAircraft(c.handle, "T", "HB-A", init, 10000);
    sc.AICreateNonATCAircraft(c.handle, "unknown title", "HB-B", init, 10001); // exception 22
    sc.AddToFacilityDefinition(c.handle, DEFINITION_FACILITY_RUNWAYS, "OPEN AIRPORT");
    for (const char* f : {"ALTITUDE", "N_RUNWAYS", "N_STARTS", "OPEN RUNWAY", "LATITUDE", "LONGITUDE", "ALTITUDE", "HEADING", "LENGTH", "WIDTH",
                          "PRIMARY_NUMBER", "PRIMARY_DESIGNATOR", "SECONDARY_NUMBER", "SECONDARY_DESIGNATOR",
                          "CLOSE RUNWAY", "CLOSE AIRPORT"})
        sc.AddToFacilityDefinition(c.handle, DEFINITION_FACILITY_RUNWAYS, f);
    sc.RequestFacilityData(c.handle, DEFINITION_FACILITY_RUNWAYS, REQUEST_FACILITY_RUNWAYS, "LSZH", "");
    sim.advanceFrames(1);
    sc.RequestDataOnSimObjectType(c.handle, AI_POSITION, DEFINITION_AI_GET_POSITION, 1000,
                                  SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT); // whole again: passes

    // Through the product's own dispatches: the main connection's for its
    // packets, the runway reader's for the facility answer.
    DispatchFlags flags;
    RunwayReadContext runways;
    for (Received& r : c.dispatch()) {
        auto* packet = reinterpret_cast<SIMCONNECT_RECV*>(r.bytes.data());
        if (r.id() == SIMCONNECT_RECV_ID_FACILITY_DATA || r.id() == SIMCONNECT_RECV_ID_FACILITY_DATA_END)
            lf_onRunwayDispatch(packet, r.cbData, &runways);
        else
            lf_dispatchSimConnect(packet, r.cbData, &flags);
    }
    EXPECT_FALSE(flags.failure);
    EXPECT_TRUE(runways.failed);       // the cut runway record ends the read
    EXPECT_TRUE(std::isfinite(runways.altitudeFt)); // the whole airport record was read
    gf_simEventQueue().clear();
    const std::string text = kvr::test::logText();
    EXPECT_EQ(lf_count(text, "payload too small"), cases.size());
    for (const Case& k : cases)
        EXPECT_EQ(lf_count(text, "==> " + k.message + "\n"), 1u) << k.message;
}

TEST(SimConnectPackets, MinimumsByRequestAndRecordAndTheSmallerOfTheTwoSizes)
{
    ScopedTestFolders folders("scmin");
    LogCapture log;
    struct Row {
        std::uint32_t request;
        std::uint32_t bytes;
    };
    // Data answers: the 40-byte head plus the definition's data.
    for (const Row& row : {Row{AI_STATIC_CG_AND_PITCH, 56}, Row{USER_AC_TITLE, 41}, Row{USER_AC_MODEL, 72},
                           Row{USER_AC_ON_GROUND, 48}, Row{USER_AC_POSITION, 160}, Row{AI_POSITION, 96}}) {
        EXPECT_TRUE(gf_checkSimObjectData(row.request, row.bytes)) << row.request;
        EXPECT_FALSE(gf_checkSimObjectData(row.request, row.bytes - 1)) << row.request;
    }
    EXPECT_TRUE(gf_checkSimObjectData(4711, 40));
    // Facility records of both readers.
    struct FacilityRow {
        std::uint32_t request, type, bytes;
    };
    for (const FacilityRow& row : {FacilityRow{REQUEST_FACILITY_PARKING, 0, 104}, FacilityRow{REQUEST_FACILITY_PARKING, 15, 80},
                                   FacilityRow{REQUEST_FACILITY_PARKING, 4, 84}, FacilityRow{REQUEST_FACILITY_RUNWAYS, 0, 56},
                                   FacilityRow{REQUEST_FACILITY_RUNWAYS, 1, 92}, FacilityRow{REQUEST_FACILITY_RUNWAYS, 23, 52},
                                   FacilityRow{REQUEST_FACILITY_RUNWAYS, 2, 80}}) {
        EXPECT_TRUE(gf_checkFacilityRecord(row.request, row.type, row.bytes));
        EXPECT_FALSE(gf_checkFacilityRecord(row.request, row.type, row.bytes - 1)) << row.request << "/" << row.type;
    }
    // A packet whose own dwSize is smaller than what was delivered is read
    // only up to its dwSize.
    SIMCONNECT_RECV_OPEN open{};
    open.dwSize = 300;
    open.dwID = SIMCONNECT_RECV_ID_OPEN;
    EXPECT_FALSE(gf_checkReceivedPacket(reinterpret_cast<SIMCONNECT_RECV*>(&open), 308));
    open.dwSize = 400; // larger than delivered: the delivered size counts
    EXPECT_EQ(gf_checkReceivedPacket(reinterpret_cast<SIMCONNECT_RECV*>(&open), 308), 308u);
    EXPECT_FALSE(gf_checkReceivedPacket(nullptr, 308));
    const std::string text = kvr::test::logText();
    EXPECT_EQ(lf_count(text, "==> SimConnect OPEN payload too small: 300 < 308 bytes\n"), 1u);
    EXPECT_EQ(lf_count(text, "==> SimConnect USER_AC_POSITION payload too small: 159 < 160 bytes\n"), 1u);
    EXPECT_EQ(lf_count(text, "==> SimConnect FACILITY_DATA HELIPAD payload too small: 83 < 84 bytes\n"), 1u);
}
