// The stand-in simulator's trace file (KELO_SIM_TRACE): what later end-to-end
// checks read back from a run, line by line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/clock.h"
#include "simlink/position_stream.h"
#include "simlink/sim_command_mailbox.h"
#include "simlink/simconnect_ids.h"
#include "tests/simlink/sim_client_fixture.h"

namespace {

std::atomic<int64_t> g_now{0};
int64_t testClock()
{
    return g_now.load();
}

class SimTraceFileTest : public kvr::test::SimClientTest {
protected:
    void SetUp() override
    {
        SimClientTest::SetUp();
        path = (std::filesystem::temp_directory_path() / "kelo_sim_trace_test.jsonl").string();
        std::filesystem::remove(path);
        g_now.store(1'000'000'000);
        gf_setSteadyClockForTest(&testClock);
    }
    void TearDown() override
    {
        SimClientTest::TearDown();
        gf_setSteadyClockForTest(nullptr);
        _putenv_s("KELO_SIM_TRACE", "");
        _putenv_s("KELO_SIM_TRACE_EVERY", "");
        sim.reset();
    }
    // Points the stand-in at the trace file; a reset reads the variables again.
    void traceTo(const char* every)
    {
        _putenv_s("KELO_SIM_TRACE", path.c_str());
        _putenv_s("KELO_SIM_TRACE_EVERY", every);
        sim.reset();
        ASSERT_TRUE(sim.load({{"titles", {"A320"}}}));
    }
    // The lines of one kind, or every line in file order.
    std::vector<nlohmann::json> lines(const std::string& kind)
    {
        std::vector<nlohmann::json> out;
        std::ifstream in(path, std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            auto j = nlohmann::json::parse(line);
            if (kind.empty() || j["k"] == kind)
                out.push_back(std::move(j));
        }
        return out;
    }
    void post(uint32_t id, double lat)
    {
        PositionBlock b;
        b.latitude = lat;
        b.longitude = 8.0;
        b.altitude = 1200.0;
        b.heading = 1.0;
        g_positionBuffer.stage(id, b);
        g_positionBuffer.flushStaging(g_now.load() - 100'000'000);
    }
    std::string path;
};

TEST_F(SimTraceFileTest, RecordsTheWholeLifeOfAnObject)
{
    traceTo("1");
    connect();
    const auto ids = createObjects(1);
    ASSERT_EQ(ids.size(), 1u);
    createObjects(1, "NO SUCH TITLE");
    post(ids[0], 47.25);
    frames(30);
    gf_removeSimObject(ids[0]);
    frames(2);
    stopThread(); // the Close flushes

    const auto created = lines("create");
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0]["id"], ids[0]);
    EXPECT_EQ(created[0]["title"], "A320");
    EXPECT_EQ(created[0]["tail"], "SWR100");
    EXPECT_DOUBLE_EQ(created[0]["lat"].get<double>(), 47.0);
    EXPECT_DOUBLE_EQ(created[0]["hdg"].get<double>(), 90.0);
    EXPECT_EQ(created[0]["on_ground"], false);
    EXPECT_DOUBLE_EQ(created[0]["kts"].get<double>(), 150.0);
    EXPECT_DOUBLE_EQ(created[0]["t"].get<double>(), created[0]["f"].get<double>() / 30.0);

    const auto refused = lines("refuse");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0]["title"], "NO SUCH TITLE");
    EXPECT_EQ(refused[0]["exception"], 22);

    const auto positions = lines("pos");
    ASSERT_GE(positions.size(), 30u);
    for (const auto& p : positions) {
        EXPECT_EQ(p["id"], ids[0]);
        EXPECT_DOUBLE_EQ(p["lat"].get<double>(), 47.25);
        EXPECT_NEAR(p["hdg"].get<double>(), 57.29577951308232, 1e-9); // written in radians, traced in degrees
        EXPECT_DOUBLE_EQ(p["gnd_ft"].get<double>(), 0.0);
        EXPECT_EQ(p["on_ground"], false);
    }
    bool frozen = false;
    for (const auto& e : lines("event"))
        frozen |= e["id"] == ids[0] && e["name"] == "FREEZE_LATITUDE_LONGITUDE_SET" && e["value"] == 1;
    EXPECT_TRUE(frozen);

    const auto removed = lines("remove");
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0]["id"], ids[0]);
    EXPECT_EQ(removed[0]["by"], "client");
    nlohmann::json last; // nothing is written to the object after its removal
    for (const auto& line : lines(""))
        if (line.contains("id") && line["id"] == ids[0])
            last = line;
    EXPECT_EQ(last, removed[0]);
    EXPECT_GE(lines("user").size(), 1u); // once a simulated second
}

TEST_F(SimTraceFileTest, KeepsEveryNthFrameOfPositionsAndMarksRemovalsByTheSimulator)
{
    traceTo("3");
    connect();
    const auto ids = createObjects(1);
    ASSERT_EQ(ids.size(), 1u);
    post(ids[0], 47.5);
    frames(9);
    sim.removeObject(ids[0]);
    stopThread();
    const auto positions = lines("pos");
    ASSERT_EQ(positions.size(), 3u);
    for (const auto& p : positions)
        EXPECT_EQ(p["f"].get<uint64_t>() % 3, 0u);
    const auto removed = lines("remove");
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0]["by"], "sim");
}

} // namespace
