// Clock texts, the half-hour slot and the per-thread random draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <thread>

#include "core/clock.h"
#include "core/settings_snapshot.h"

namespace {

// 2025-03-03 (a Monday) at hh:mm:ss UTC.
int64_t march3(int h, int m, int s)
{
    return 1740960000 + h * 3600 + m * 60 + s;
}

// Restores every published input that a test changes.
class ClockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_mode = g_modeSettings.load();
        m_params = g_parameters.load();
    }
    void TearDown() override
    {
        TrafficClockInputs& in = gf_trafficClockInputs();
        in.professionalLevel = false;
        in.timeShiftActive = false;
        in.rtDirectLatestTimestamp = 0;
        in.rtAppLastTimestamp = 0;
        g_modeSettings.store(m_mode);
        g_parameters.store(m_params);
    }

    static void useTrafficTime(uint64_t rtDirect, uint64_t rtApp)
    {
        TrafficClockInputs& in = gf_trafficClockInputs();
        in.professionalLevel = true;
        in.timeShiftActive = true;
        in.rtDirectLatestTimestamp = rtDirect;
        in.rtAppLastTimestamp = rtApp;
    }
    static void setRtApp(bool rtApp)
    {
        g_modeSettings.store(std::make_shared<const ModeSettings>(ModeSettings{2, rtApp}));
    }
    static void setRandom(bool on)
    {
        gf_modifyParameters([on](Parameters& p) { p.RANDOM = on; });
    }

    std::shared_ptr<const ModeSettings> m_mode;
    std::shared_ptr<const Parameters> m_params;
};

} // namespace

TEST(ClockNames, WeekdaysAndMonths)
{
    const char* days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    for (int i = 1; i <= 7; ++i)
        EXPECT_STREQ(gf_weekdayName(i), days[i - 1]);
    const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 1; i <= 12; ++i)
        EXPECT_STREQ(gf_monthName(i), months[i - 1]);
    for (int bad : {0, 8, -1})
        EXPECT_STREQ(gf_weekdayName(bad), "???");
    for (int bad : {0, 13, -1})
        EXPECT_STREQ(gf_monthName(bad), "???");
}

TEST(HalfHourSlot, TheSecondHalfBeginsThirtySecondsEarly)
{
    struct Case {
        int h, m, s, slot;
    };
    for (const Case& c : {Case{10, 29, 29, 20}, Case{10, 29, 30, 21}, Case{10, 30, 0, 21}, Case{10, 59, 59, 21},
                          Case{11, 0, 0, 22}, Case{23, 59, 59, 47}, Case{0, 0, 0, 0}, Case{0, 29, 29, 0},
                          Case{0, 29, 30, 1}, Case{23, 29, 30, 47}, Case{23, 29, 29, 46}}) {
        const auto tm = gf_utcTm(march3(c.h, c.m, c.s));
        ASSERT_TRUE(tm.has_value());
        EXPECT_EQ(gf_halfHourSlotOf(*tm), c.slot) << c.h << ":" << c.m << ":" << c.s;
    }
}

TEST(HalfHourSlot, WeekdayNumbering)
{
    for (int day = 0; day < 7; ++day) {
        const auto tm = gf_utcTm(march3(12, 0, 0) + day * 86400);
        ASSERT_TRUE(tm.has_value());
        EXPECT_EQ(gf_weekdayOf(*tm), day + 1); // Monday 3 March .. Sunday 9 March
    }
}

TEST(ClockText, SystemClockTexts)
{
    static const std::regex dateTime(
        R"(([1-9]|[12][0-9]|3[01]) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) 20[0-9]{2} ([01][0-9]|2[0-3]):[0-5][0-9]Z)");
    const std::string dt = gf_utcDateTimeText();
    EXPECT_TRUE(std::regex_match(dt, dateTime)) << dt;
    static const std::regex hms(R"(([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9])");
    const std::string t = gf_utcTimeText();
    EXPECT_TRUE(std::regex_match(t, hms)) << t;
}

TEST_F(ClockTest, TrafficClockFollowsTheSystemClockWithoutATimeShift)
{
    // Only one of the two flags: the traffic time stamp is not used.
    gf_trafficClockInputs().rtDirectLatestTimestamp = march3(10, 29, 30);
    gf_trafficClockInputs().professionalLevel = true;
    static const std::regex hms(R"([0-2][0-9]:[0-5][0-9]:[0-5][0-9])");
    static const std::regex hm(R"([0-2][0-9]:[0-5][0-9])");
    const int64_t before = gf_nowSeconds(false);
    EXPECT_TRUE(std::regex_match(gf_trafficClockText(), hms));
    EXPECT_TRUE(std::regex_match(gf_trafficClockTextHm(), hm));
    EXPECT_NE(gf_nowSeconds(false), march3(10, 29, 30));
    EXPECT_GE(gf_nowSeconds(false), before);
    EXPECT_EQ(gf_nowSeconds(true), march3(10, 29, 30)); // asked for directly, it is used
}

TEST_F(ClockTest, TrafficClockShowsTheShiftedTrafficTime)
{
    setRtApp(false);
    useTrafficTime(march3(10, 29, 30), march3(3, 4, 5));
    EXPECT_EQ(gf_trafficClockText(), "<<< 10:29:30");
    EXPECT_EQ(gf_trafficClockTextHm(), "<<< 10:29");
    EXPECT_EQ(gf_halfHourSlotNow(), 21);
    EXPECT_EQ(gf_weekdayAndHalfHourNow(), (int64_t{21} << 32) | 1);

    setRtApp(true); // the RT App reader's time stamp counts now
    EXPECT_EQ(gf_trafficClockText(), "<<< 03:04:05");
    EXPECT_EQ(gf_halfHourSlotNow(), 6);

    gf_trafficClockInputs().rtAppLastTimestamp = march3(10, 29, 29) + 6 * 86400; // Sunday
    EXPECT_EQ(gf_halfHourSlotNow(), 20);
    EXPECT_EQ(gf_weekdayAndHalfHourNow(), (int64_t{20} << 32) | 7);
}

TEST_F(ClockTest, WithoutTrafficTimeTheShiftedClockKeepsItsMark)
{
    setRtApp(false);
    useTrafficTime(0, march3(3, 4, 5));
    static const std::regex marked(R"(<<< [0-2][0-9]:[0-5][0-9]:[0-5][0-9])");
    const std::string text = gf_trafficClockText();
    EXPECT_TRUE(std::regex_match(text, marked)) << text;
    EXPECT_NE(text, "<<< 03:04:05");
    const int slot = gf_halfHourSlotNow();
    EXPECT_GE(slot, 0);
    EXPECT_LE(slot, 47);
}

TEST_F(ClockTest, AnUnconvertibleTimeGivesTheFailureTexts)
{
    setRtApp(false);
    useTrafficTime(uint64_t{1} << 62, 0);
    EXPECT_EQ(gf_trafficClockText(), "??:??:??");
    EXPECT_EQ(gf_trafficClockTextHm(), "??:??");
    EXPECT_EQ(gf_halfHourSlotNow(), -1);
    EXPECT_EQ(gf_weekdayAndHalfHourNow(), -1); // -1 in both halves
    EXPECT_FALSE(gf_utcTm(-1).has_value());
    ASSERT_TRUE(gf_utcTm(32'535'215'999).has_value());
    EXPECT_EQ(gf_utcTm(32'535'215'999)->tm_year + 1900, 3000);
    EXPECT_FALSE(gf_utcTm(32'535'216'000).has_value());
}

TEST_F(ClockTest, RandomIndexBelowTwoLeavesTheEngineAlone)
{
    setRandom(true);
    const std::mt19937 before = gf_threadRandomEngine();
    EXPECT_EQ(gf_randomIndex(0), 0u);
    EXPECT_EQ(gf_randomIndex(1), 0u);
    EXPECT_TRUE(before == gf_threadRandomEngine());
}

TEST_F(ClockTest, RandomOffMeansFirstIndexAndNoShuffle)
{
    setRandom(false);
    const std::mt19937 before = gf_threadRandomEngine();
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(gf_randomIndex(10), 0u);
    std::vector<uint16_t> values{1, 2, 3, 4, 5, 6, 7, 8};
    gf_shuffleIfRandom(values);
    EXPECT_EQ(values, (std::vector<uint16_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_TRUE(before == gf_threadRandomEngine());
}

TEST_F(ClockTest, RandomOnDrawsEveryIndexAndShuffles)
{
    setRandom(true);
    std::set<size_t> seen;
    for (int i = 0; i < 2000; ++i) {
        const size_t r = gf_randomIndex(5);
        ASSERT_LT(r, 5u);
        seen.insert(r);
    }
    EXPECT_EQ(seen.size(), 5u);

    const std::vector<uint16_t> original{10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
    bool changed = false;
    for (int round = 0; round < 20; ++round) {
        std::vector<uint16_t> v = original;
        gf_shuffleIfRandom(v);
        std::vector<uint16_t> sorted = v;
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(sorted, original); // a permutation
        changed = changed || v != original;
    }
    EXPECT_TRUE(changed);

    std::vector<uint16_t> one{7};
    gf_shuffleIfRandom(one);
    EXPECT_EQ(one, std::vector<uint16_t>{7});
}

TEST_F(ClockTest, PercentJitter)
{
    setRandom(false); // jitter does not ask the setting
    std::set<double> seen;
    for (int i = 0; i < 200; ++i) {
        const double v = gf_randomPercentJitter(100.0, 10.0);
        EXPECT_TRUE(v == 90.0 || v == 110.0) << v;
        seen.insert(v);
    }
    EXPECT_EQ(seen.size(), 2u);

    const std::mt19937 before = gf_threadRandomEngine();
    EXPECT_EQ(gf_randomPercentJitter(100.0, 0.0), 100.0);
    EXPECT_EQ(gf_randomPercentJitter(100.0, -5.0), 100.0);
    EXPECT_FALSE(before == gf_threadRandomEngine()); // advanced all the same
}

TEST(RandomEngine, EachThreadHasItsOwn)
{
    std::mt19937& mine = gf_threadRandomEngine();
    const std::mt19937 before = mine;
    std::mt19937 otherCopy;
    std::thread t([&] {
        EXPECT_NE(&gf_threadRandomEngine(), &mine);
        for (int i = 0; i < 100; ++i)
            gf_threadRandomEngine()();
        otherCopy = gf_threadRandomEngine();
    });
    t.join();
    EXPECT_TRUE(before == mine);
    EXPECT_FALSE(otherCopy == mine);
}
