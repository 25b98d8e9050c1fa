// Stand options learned per half-hour of the week: slot arithmetic across day
// and week wraps, extension widths by aircraft kind, learning from live
// aircraft, and the callsigns a new aircraft adopts.
#include <gtest/gtest.h>

#include "airports/learned_airport_files.h"
#include "core/log.h"
#include "engine/traffic_state.h"
#include "liveries/model_database.h"
#include "parking/stand_options.h"
#include "parking/stand_searches.h"
#include "parking/stand_table.h"
#include "tests/support/test_folders.h"
#include "tests/support/ui_recorder.h"

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
    ac.callsign = std::move(callsign);
    ac.registration = std::move(reg);
    ac.category = static_cast<uint32_t>(category);
    ac.ids.cargo = cargo;
    return ac;
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
        EXPECT_EQ(gf_weekIndex(gf_searchedSlot(c.a, c.n)), gf_weekIndex(c.b)) << c.a.weekday << "," << c.a.halfHour;
    EXPECT_EQ(lf_slotsBackFromNow({Tue, 1}, 3), (std::vector<uint32_t>{1, 0, 47}));
}

class StandOptionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gf_openLog();
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
        gf_clearStandTable();
        weekdayHalfHourWord.store(0);
        gf_closeLog();
    }
    static void at(const WeekSlot& now) { weekdayHalfHourWord.store(now.weekday | (int64_t{now.halfHour} << 32)); }
    std::vector<StandOption>& options() { return gf_standById(1)->options; }

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
        EXPECT_EQ(lf_extendRealStandOption(c.now, *gf_standById(1), 1, last, ac, "PH-BXA", false), c.extended);
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
    gf_addRealStandOption(1, unknown, 0);
    EXPECT_TRUE(options().empty());

    LiveAircraft ac = aircraft("KLM1_", "PH-BXA_");
    gf_addRealStandOption(1, ac, 0);
    ASSERT_EQ(options().size(), 1u);
    EXPECT_EQ(options()[0].registration, "PH-BXA");
    EXPECT_EQ(options()[0].callsign, "KLM1");
    EXPECT_EQ(ac.ids.model, gf_modelCode2Id("B738")); // the database's kind

    at({Mon, 12});
    ac.callsign = "KLM2";
    gf_addRealStandOption(1, ac, 0);
    ASSERT_EQ(options().size(), 1u);
    EXPECT_EQ(options()[0].halfHours, mask({10, 11, 12}));
    lf_addOptionCallsign(*gf_standById(1), 1, "KLM3_"); // a third callsign replaces the second
    EXPECT_EQ(options()[0].callsign, "KLM1");
    EXPECT_EQ(options()[0].callsign2, "KLM3");
    EXPECT_EQ(learnedUpdateCounter.load(), 2u);
    EXPECT_EQ(window.all<GuiUpdate::UpdateCount>().back().count, 2u);

    // A check at the stand closes the option; after a gap a new one starts.
    gf_addRealStandOption(1, ac, 2);
    at({Mon, 14});
    gf_addRealStandOption(1, ac, 0);
    ASSERT_EQ(options().size(), 2u);
    EXPECT_EQ(options()[1].halfHours, mask({14}));

    // An aircraft standing over midnight carries its option over.
    at({Mon, 47});
    LiveAircraft night = aircraft("KLM9", "PH-BXB");
    gf_addRealStandOption(1, night, 0);
    at({Tue, 1});
    gf_addRealStandOption(1, night, 0);
    ASSERT_EQ(options().size(), 4u);
    EXPECT_EQ(options()[2].halfHours, mask({47}));
    EXPECT_EQ(options()[3].halfHours, mask({0, 1}));

    // A fixed option of that registration today that misses now: nothing.
    options()[3].fixed = 1;
    options()[3].halfHours = mask({30});
    gf_addRealStandOption(1, night, 0);
    EXPECT_EQ(options().size(), 4u);
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
        ac.ids.airline = o.aom.airline;
        gf_adoptStandOptionNames({s}, c.now, ac);
        EXPECT_EQ(ac.callsign2 == "KLM641" && ac.text3 == "KLM642", c.adopts) << c.callsign << " " << c.now.halfHour;
    }
}

} // namespace
