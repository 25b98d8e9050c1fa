// The demo's scenario: the example file loads, its aircraft move as its legs
// say, and every one of them reaches Kelo as a traffic record.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>

#include "feed/rt_app_readers.h"
#include "standins/rt_app_scenario.h"
#include "tests/feed/feed_test_support.h"

using kvr::standin::RtAppScenario;

namespace {

std::filesystem::path exampleScenario()
{
    // This source file's folder, seen through Wine's drive for the Unix root.
    return std::filesystem::path("Z:" + std::string(__FILE__)).parent_path().parent_path().parent_path() /
           "standins" / "rtapp" / "eham_scenario.json";
}

} // namespace

TEST(RTAppScenario, ExampleTrafficMovesAndDecodes)
{
    const RtAppScenario s = RtAppScenario::load(exampleScenario());
    EXPECT_EQ(s.airport, "EHAM");
    ASSERT_GE(s.aircraft.size(), 8u);
    EXPECT_FALSE(s.parked.empty());

    auto find = [](const std::vector<kvr::standin::AppAircraft>& all, const char* callsign) {
        for (const auto& a : all)
            if (a.callsign == callsign)
                return a;
        ADD_FAILURE() << callsign;
        return kvr::standin::AppAircraft();
    };
    EXPECT_EQ(find(s.stateAt(0), "KLM1001").altitude, 0.0);   // rolling
    EXPECT_GT(find(s.stateAt(120), "KLM1001").altitude, 1500.0); // climbing out
    EXPECT_GT(find(s.stateAt(0), "KLM1294").altitude, 2000.0);  // on final
    EXPECT_EQ(find(s.stateAt(240), "KLM1294").altitude, 0.0);   // rolled out
    EXPECT_EQ(s.stateAt(0)[0].lat, s.stateAt(s.loopSeconds)[0].lat) << "the scenario loops";

    kvr::test::setRTApp(true);
    kvr::test::setRangeNm(40);
    kvr::test::setCurrentAirport(0x45484148, 52.3086, 4.7639, 0.0);
    TrafficReader reader;
    reader.userLat = 52.3086;
    reader.userLon = 4.7639;
    reader.cosUserLat = std::cos(52.3086 * std::numbers::pi / 180);
    reader.qnh = 1009;
    for (const auto& a : s.stateAt(0))
        reader.handleLine(kvr::standin::trafficLine(a, 1700000000.0));
    kvr::test::setCurrentAirport(0, 0, 0, 0);
    EXPECT_EQ(reader.batch.size(), s.aircraft.size());
}
