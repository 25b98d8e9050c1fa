// Stand options learned per half-hour of the week (slot arithmetic across day
// and week wraps, extension widths by aircraft kind, learning from live
// aircraft, adopted callsigns) and the stand searches over them (which
// searches the settings run, how far back they reach, RealTraffic's parked
// aircraft by age).
#include <gtest/gtest.h>

#include <regex>

#include "airports/learned_airport_files.h"
#include "core/gui_senders.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "engine/engine.h"
#include "engine/traffic_state.h"
#include "feed/traffic_records.h"
#include "liveries/model_database.h"
#include "parking/parking_plan.h"
#include "stands/stand_options.h"
#include "parking/stand_searches.h"
#include "stands/stand_table.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"
#include "tests/support/ui_recorder.h"
#include "engine/stand_questions.h"

namespace {

constexpr uint32_t Mon = 1, Tue = 2, Wed = 3, Sun = 7;

HalfHourMask mask(std::initializer_list<size_t> slots)
{
    HalfHourMask m;
    for (size_t s : slots)
        m.set(s);
    return m;
}

LiveAircraft aircraft(std::string callsign, std::string reg, Category category = Category::Large, uint8_t cargo = 0)
{
    LiveAircraft ac;
    ac.identity.callsign = std::move(callsign);
    ac.identity.registration = std::move(reg);
    ac.identity.category = category;
    ac.identity.ids.cargo = cargo;
    return ac;
}

// A small gate `eastM` metres east of a base point.
Stand gate(int32_t id, std::string name, double eastM)
{
    Stand s;
    s.id = id;
    s.name = std::move(name);
    s.lat = 52.3;
    s.lon = 4.76 + eastM / 1852.0 / 60.0 / 0.6106;
    s.radius = 0.02;
    s.type = StandType::GATE_SMALL;
    return s;
}

// A parked aircraft of that age reported at the gate.
ParkedTrafficRecord parked(const Stand& at, int32_t age)
{
    ParkedTrafficRecord r;
    r.hexid = static_cast<uint32_t>(at.id);
    r.callsign = "EEE" + std::to_string(at.id);
    r.age = age;
    r.stand = at.name;
    r.lat = at.lat;
    r.lon = at.lon;
    return r;
}

TEST(WeekSlots, GapsAndSearchedSlotsWrapDaysAndWeeks)
{
    struct Case {
        WeekSlot a, b;
        int32_t n;
    };
    // Gap from a to b; the slot n back from a is b.
    for (const Case& c : {Case{{Mon, 46}, {Tue, 1}, 3}, Case{{Sun, 47}, {Mon, 0}, 1}, Case{{Mon, 0}, {Sun, 47}, 335}})
        EXPECT_EQ(gf_slotGap(c.a, c.b), c.n) << c.a.weekday << "," << c.a.halfHour;
    for (const Case& c : {Case{{Mon, 3}, {Sun, 46}, 5}, Case{{Mon, 0}, {Sun, 1}, 47}, Case{{Wed, 10}, {Wed, 0}, 10}})
        EXPECT_EQ(gf_weekIndex(gf_weekSlotBack(c.a, c.n)), gf_weekIndex(c.b)) << c.a.weekday << "," << c.a.halfHour;
    EXPECT_EQ(lf_slotsBackFromNow({Tue, 1}, 3), (std::vector<uint32_t>{1, 0, 47}));
}

class StandOptionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gf_openLog();
        gf_initTrafficState();
        saved = gf_modelDatabase().records;
        const AirlOprModel klm{gf_airlineCode2Id("KLM"), 0, gf_modelCode2Id("B738"), 0, 0};
        gf_modelDatabase().records = {{"PH-BXA", klm}, {"PH-BXB", klm}};
        Stand s;
        s.id = 1;
        gf_setStandTable({s});
        gf_standTable().learnedOptionCount = 0;
        learnedUpdateCounter.store(0);
    }
    void TearDown() override
    {
        gf_modelDatabase().records = saved;
        setParked({});
        gf_clearParkingPlan();
        gf_initTrafficState();
        gf_clearStandTable();
        gf_standTable().softOptionCount = 0;
        g_parameters.store(std::make_shared<const Parameters>());
        weekdayHalfHourWord.store(0);
        gf_closeLog();
    }
    static void at(const WeekSlot& now) { weekdayHalfHourWord.store(now.weekday | (int64_t{now.halfHour} << 32)); }
    std::vector<StandOption>& options() { return gf_standById(1)->options; }
    static void set(bool autoPark, bool week, bool soft, int32_t maxFit)
    {
        Parameters p;
        p.AUTO_PARK = autoPark;
        p.WEEK = week;
        p.PARK_SOFT = soft;
        p.MAX_FIT = maxFit;
        g_parameters.store(std::make_shared<const Parameters>(p));
    }
    static void setParked(std::vector<ParkedTrafficRecord> list)
    {
        ParkedTrafficShare& share = gf_parkedTrafficOf(gf_isRTDirect() ? TrafficSource::rtDirect : TrafficSource::rtApp);
        std::lock_guard lock(share.mutex);
        share.list = std::move(list);
    }
    static int32_t used()
    {
        int32_t n = 0;
        for (const Stand& s : gf_standTable().stands)
            n += s.used;
        return n;
    }

    kvr::test::ScopedTestFolders folders{"so"};
    kvr::test::RecordingUiSink window;
    std::vector<DbaseRecord> saved;
};

TEST_F(StandOptionsTest, ExtensionWidthsAndMidnightSplit)
{
    struct Case {
        WeekSlot last, now;
        Category category;
        uint8_t cargo;
        bool extended;
        HalfHourMask oldMask, newMask; // newMask empty: no new option
    };
    const Case cases[] = {
        {{Mon, 10}, {Mon, 15}, Category::Large, 0, true, mask({10, 11, 12, 13, 14, 15}), {}},
        {{Mon, 10}, {Mon, 16}, Category::Large, 0, false, mask({10}), {}},
        {{Mon, 10}, {Mon, 16}, Category::Heavy, 0, true, mask({10, 11, 12, 13, 14, 15, 16}), {}},
        {{Mon, 10}, {Mon, 18}, Category::Heavy, 0, false, mask({10}), {}},
        {{Mon, 0}, {Mon, 11}, Category::Large, 1, true, mask({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}), {}},
        {{Mon, 0}, {Mon, 12}, Category::Large, 1, false, mask({0}), {}},
        {{Mon, 12}, {Mon, 11}, Category::Large, 0, false, mask({12}), {}},
        {{Mon, 46}, {Tue, 1}, Category::Large, 0, true, mask({46, 47}), mask({0, 1})},
        {{Mon, 47}, {Tue, 0}, Category::Large, 0, true, mask({47}), mask({0})},
        {{Sun, 47}, {Mon, 0}, Category::Large, 0, true, mask({47}), mask({0})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.last.weekday << "," << c.last.halfHour << " -> " << c.now.halfHour);
        StandOption o;
        o.registration = "PH-BXA";
        o.halfHours = mask({c.last.halfHour});
        o.optionId = 1;
        o.weekday = c.last.weekday;
        o.real = 1;
        options() = {o};
        LastOptionSlot last{c.last, 1};
        const LiveAircraft ac = aircraft("KLM1", "PH-BXA", c.category, c.cargo);
        EXPECT_EQ(lf_extendRealStandOption(c.now, *gf_standById(1), 1, last, gf_standUser(ac), "PH-BXA", false), c.extended);
        EXPECT_EQ(options()[0].halfHours, c.oldMask);
        ASSERT_EQ(options().size(), c.newMask.none() ? 1u : 2u);
        if (options().size() == 2) {
            EXPECT_EQ(options()[1].weekday, c.now.weekday);
            EXPECT_EQ(options()[1].halfHours, c.newMask);
            EXPECT_EQ(last.optionId, 2);
        }
    }
}

TEST_F(StandOptionsTest, LiveAircraftTeachTheirStand)
{
    at({Mon, 10});
    LiveAircraft unknown = aircraft("XYZ1", "N999ZZ");
    gf_recordRealStandUse(1, unknown, 0);
    EXPECT_TRUE(options().empty());

    LiveAircraft ac = aircraft("KLM1_", "PH-BXA_");
    gf_recordRealStandUse(1, ac, 0);
    ASSERT_EQ(options().size(), 1u);
    EXPECT_EQ(options()[0].registration, "PH-BXA");
    EXPECT_EQ(options()[0].callsign, "KLM1");
    EXPECT_EQ(ac.identity.ids.model, gf_modelCode2Id("B738")); // the database's kind

    at({Mon, 12});
    ac.identity.callsign = "KLM2";
    gf_recordRealStandUse(1, ac, 0);
    ASSERT_EQ(options().size(), 1u);
    EXPECT_EQ(options()[0].halfHours, mask({10, 11, 12}));
    lf_addOptionCallsign(*gf_standById(1), 1, "KLM3_"); // a third callsign replaces the second
    EXPECT_EQ(options()[0].callsign, "KLM1");
    EXPECT_EQ(options()[0].callsign2, "KLM3");
    EXPECT_EQ(learnedUpdateCounter.load(), 2u);
    EXPECT_EQ(window.all<GuiUpdate::UpdateCount>().back().count, 2u);

    // A check at the stand closes the option; a gap then starts a new one.
    gf_recordRealStandUse(1, ac, 2);
    at({Mon, 14});
    gf_recordRealStandUse(1, ac, 0);

    // An aircraft standing over midnight carries its option over.
    at({Mon, 47});
    LiveAircraft night = aircraft("KLM9", "PH-BXB");
    gf_recordRealStandUse(1, night, 0);
    at({Tue, 1});
    gf_recordRealStandUse(1, night, 0);
    ASSERT_EQ(options().size(), 4u);
    EXPECT_EQ(options()[1].halfHours, mask({14}));
    EXPECT_EQ(options()[2].halfHours, mask({47}));
    EXPECT_EQ(options()[3].halfHours, mask({0, 1}));
}

TEST_F(StandOptionsTest, ARegistrationOfTheAirportFileIsLearnedBesideItsOption)
{
    // The airport file knows PH-BXA here on Monday at 04:00; seen at 05:00, the
    // stand use is learned as an option of its own, which the learned file keeps.
    StandOption fromFile;
    fromFile.registration = "PH-BXA";
    fromFile.halfHours = mask({8});
    fromFile.optionId = 1;
    fromFile.weekday = Mon;
    fromFile.real = 1;
    fromFile.fromAirportFile = 1;
    options() = {fromFile};
    at({Mon, 10});
    LiveAircraft ac = aircraft("KLM1", "PH-BXA");
    gf_recordRealStandUse(1, ac, 0);
    ASSERT_EQ(options().size(), 2u);
    EXPECT_EQ(options()[0].halfHours, mask({8}));
    EXPECT_EQ(options()[1].halfHours, mask({10}));
    EXPECT_EQ(options()[1].fromAirportFile, 0);
}

TEST_F(StandOptionsTest, AdoptedCallsignsWithinTenOrFourteenHalfHours)
{
    Stand s;
    s.options.resize(1);
    StandOption& o = s.options[0];
    o.aom.airline = gf_airlineCode2Id("KLM");
    o.callsign = "KLM641";
    o.callsign2 = "KLM642";
    o.halfHours = mask({20});
    o.optionId = 1;
    o.weekday = Mon;
    struct Case {
        WeekSlot now;
        Category category;
        const char* callsign;
        bool adopts;
    };
    for (const Case& c : {Case{{Mon, 10}, Category::Large, "KLM642", true}, Case{{Mon, 9}, Category::Large, "KLM642", false},
                          Case{{Mon, 6}, Category::Heavy, "KLM642", true}, Case{{Mon, 5}, Category::Heavy, "KLM642", false},
                          Case{{Mon, 34}, Category::Heavy, "KLM641_", true}, Case{{Tue, 20}, Category::Large, "KLM641", false},
                          Case{{Mon, 20}, Category::Large, "KLM643", false}}) {
        LiveAircraft ac = aircraft(c.callsign, "PH-BXA", c.category);
        ac.identity.ids.airline = o.aom.airline;
        gf_adoptStandOptionNames({s}, c.now, ac);
        EXPECT_EQ(ac.identity.callsign2 == "KLM641" && ac.identity.callsign3 == "KLM642", c.adopts) << c.callsign << " " << c.now.halfHour;
    }
}

TEST_F(StandOptionsTest, SettingsChooseTheSearches)
{
    struct Case {
        bool autoPark, week, soft;
        int32_t softOptions;
        std::vector<std::string> searches;
    };
    const Case cases[] = {
        {true, false, false, 0, {"real", "real/week"}},      {true, false, false, 3, {"real", "real/week", "soft", "soft/week"}},
        {false, false, true, 0, {"real"}},                   {false, false, true, 3, {"real", "soft"}},
        {false, true, false, 3, {"real", "real/week"}},      {false, true, true, 3, {"real", "real/week", "soft", "soft/week"}},
    };
    gf_setStandTable({gate(1, "A1", 0.0), gate(2, "A2", 200.0)});
    for (const Case& c : cases) {
        gf_closeLog();
        gf_openLog();
        set(c.autoPark, c.week, c.soft, 3);
        gf_standTable().softOptionCount = c.softOptions;
        lf_runStandSearches({Mon, 20}, 2);
        lf_searchByKind({Mon, 20}, 1, 1, 0); // nothing needed: no result lines
        gf_flushLog();
        const std::string log = kvr::test::logText();
        std::vector<std::string> ran;
        const std::regex line("Results for (\\S+) search");
        for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator(); ++it)
            ran.push_back((*it)[1]);
        EXPECT_EQ(ran, c.searches) << c.autoPark << c.week << c.soft << c.softOptions;
        EXPECT_EQ(g_parkedFromRTOnlyNow.load(), ran.size() > 1 && ran[1] == "real/week");
    }
}

TEST_F(StandOptionsTest, RealTrafficParkedAircraftByAgeAndReach)
{
    // Ages 0 to 3 are taken at once, age n at offset n: MAX_FIT decides.
    for (const auto& [autoPark, maxFit, planned] : {std::tuple{false, 4, 1}, {false, 5, 2}, {true, 0, 3}}) {
        const std::vector<Stand> gates{gate(1, "GATE E1", 0.0), gate(2, "GATE E2", 200.0), gate(3, "GATE E3", 400.0)};
        gf_clearParkingPlan();
        setParked({parked(gates[0], 2), parked(gates[1], 5), parked(gates[2], 47)});
        gf_setStandTable(gates);
        set(autoPark, false, false, maxFit);
        lf_searchByKind({Mon, 20}, 1, 1, 3);
        EXPECT_EQ(used(), planned) << autoPark << " " << maxFit;
    }
}

} // namespace
