// Stand options learned per half-hour of the week: the slot arithmetic across
// day and week wraps, how far an option is extended by aircraft kind, the
// options a stand learns from live aircraft, and the callsigns a new
// aircraft adopts.
#include <gtest/gtest.h>

#include <initializer_list>

#include "airports/learned_airport_files.h"
#include "core/log.h"
#include "engine/traffic_state.h"
#include "liveries/model_database.h"
#include "parking/stand_options.h"
#include "parking/stand_searches.h"
#include "parking/stand_table.h"
#include "tests/support/file_bytes.h"
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

StandOption option(uint32_t weekday, HalfHourMask hours, int32_t id, std::string reg = "PH-BXA")
{
    StandOption o;
    o.registration = std::move(reg);
    o.halfHours = hours;
    o.optionId = id;
    o.weekday = weekday;
    o.real = 1;
    return o;
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

void setNow(const WeekSlot& now)
{
    weekdayHalfHourWord.store(static_cast<int64_t>(now.weekday) | (static_cast<int64_t>(now.halfHour) << 32));
}

TEST(WeekSlots, GapsSlotListsAndSearchedSlotsWrapDaysAndWeeks)
{
    struct Gap {
        WeekSlot from, to;
        int32_t gap;
    };
    for (const Gap& c : std::initializer_list<Gap>{{{Mon, 46}, {Tue, 1}, 3},
                                                   {{Mon, 47}, {Tue, 0}, 1},
                                                   {{Sun, 47}, {Mon, 0}, 1},
                                                   {{Mon, 0}, {Sun, 47}, 335},
                                                   {{Tue, 5}, {Tue, 5}, 0},
                                                   {{Tue, 6}, {Tue, 5}, 335}})
        EXPECT_EQ(gf_slotGap(c.from, c.to), c.gap) << c.from.weekday << "," << c.from.halfHour;

    EXPECT_EQ(lf_slotsBackFromNow({Tue, 1}, 3), (std::vector<uint32_t>{1, 0, 47}));
    EXPECT_EQ(lf_slotsBackFromNow({Mon, 10}, 1), (std::vector<uint32_t>{10}));
    EXPECT_TRUE(lf_slotsBackFromNow({Mon, 10}, 0).empty());

    struct Back {
        WeekSlot now;
        int32_t offset;
        WeekSlot searched;
    };
    for (const Back& c : std::initializer_list<Back>{{{Mon, 3}, 5, {Sun, 46}},
                                                     {{Mon, 0}, 47, {Sun, 1}},
                                                     {{Wed, 10}, 10, {Wed, 0}},
                                                     {{Tue, 0}, 1, {Mon, 47}}}) {
        const WeekSlot s = gf_searchedSlot(c.now, c.offset);
        EXPECT_EQ(s.weekday, c.searched.weekday) << c.now.weekday << "," << c.now.halfHour << " -" << c.offset;
        EXPECT_EQ(s.halfHour, c.searched.halfHour) << c.now.weekday << "," << c.now.halfHour << " -" << c.offset;
    }
}

class StandOptionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gf_openLog();
        savedRecords = gf_modelDatabase().records;
        gf_modelDatabase().records = {{"PH-BXA", {gf_airlineCode2Id("KLM"), 0, gf_modelCode2Id("B738"), 0, 0}},
                                      {"PH-BXB", {gf_airlineCode2Id("KLM"), 0, gf_modelCode2Id("B738"), 0, 0}}};
        Stand s;
        s.id = 1;
        s.name = "D4";
        gf_setStandTable({s});
        gf_standTable().learnedOptionCount = 0;
        learnedUpdateCounter.store(0);
    }
    void TearDown() override
    {
        gf_modelDatabase().records = savedRecords;
        gf_clearStandTable();
        weekdayHalfHourWord.store(0);
        gf_closeLog();
    }
    std::vector<StandOption>& options() { return gf_standById(1)->options; }

    kvr::test::ScopedTestFolders folders{"so"};
    kvr::test::RecordingUiSink window;
    std::vector<DbaseRecord> savedRecords;
};

// Extending an option from the last slot it covers to now: the gap limit by
// kind, and the split of the slots at midnight.
TEST_F(StandOptionsTest, ExtensionWidthsAndMidnightSplit)
{
    struct Case {
        const char* what;
        WeekSlot last, now;
        Category category;
        uint8_t cargo;
        bool extended;
        HalfHourMask oldMask;    // the option extended (its last slot set before)
        HalfHourMask newMask;    // today's new option; empty: none is created
    };
    const Case cases[] = {
        {"same slot", {Mon, 10}, {Mon, 10}, Category::Large, 0, true, mask({10}), {}},
        {"light 5", {Mon, 10}, {Mon, 15}, Category::Large, 0, true, mask({10, 11, 12, 13, 14, 15}), {}},
        {"light 6 ends", {Mon, 10}, {Mon, 16}, Category::Large, 0, false, mask({10}), {}},
        {"heavy 6", {Mon, 10}, {Mon, 16}, Category::Heavy, 0, true, mask({10, 11, 12, 13, 14, 15, 16}), {}},
        {"heavy 8 ends", {Mon, 10}, {Mon, 18}, Category::Heavy, 0, false, mask({10}), {}},
        {"cargo 11", {Mon, 0}, {Mon, 11}, Category::Large, 1, true, mask({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}), {}},
        {"cargo 12 ends", {Mon, 0}, {Mon, 12}, Category::Large, 1, false, mask({0}), {}},
        {"midnight gap 3", {Mon, 46}, {Tue, 1}, Category::Large, 0, true, mask({46, 47}), mask({0, 1})},
        {"midnight gap 1", {Mon, 47}, {Tue, 0}, Category::Large, 0, true, mask({47}), mask({0})},
        {"week wrap", {Sun, 47}, {Mon, 0}, Category::Large, 0, true, mask({47}), mask({0})},
        {"backwards", {Mon, 12}, {Mon, 11}, Category::Large, 0, false, mask({12}), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        options() = {option(c.last.weekday, mask({c.last.halfHour}), 1)};
        LastOptionSlot last{c.last, 1};
        const LiveAircraft ac = aircraft("KLM1", "PH-BXA", c.category, c.cargo);
        EXPECT_EQ(lf_extendRealStandOption(c.now, *gf_standById(1), 1, last, ac, "PH-BXA", false), c.extended);
        ASSERT_GE(options().size(), 1u);
        EXPECT_EQ(options()[0].halfHours, c.oldMask);
        if (c.newMask.none()) {
            EXPECT_EQ(options().size(), 1u);
            continue;
        }
        ASSERT_EQ(options().size(), 2u);
        EXPECT_EQ(options()[1].weekday, c.now.weekday);
        EXPECT_EQ(options()[1].halfHours, c.newMask);
        EXPECT_EQ(options()[1].callsign, "KLM1");
        EXPECT_EQ(last.optionId, 2);
    }
}

TEST_F(StandOptionsTest, LiveAircraftTeachTheirStand)
{
    // Unknown registrations teach nothing; a trailing '_' is not stored.
    setNow({Mon, 10});
    LiveAircraft unknown = aircraft("XYZ1", "N999ZZ");
    gf_addRealStandOption(1, unknown, 0);
    EXPECT_TRUE(options().empty());

    LiveAircraft ac = aircraft("KLM1_", "PH-BXA_");
    gf_addRealStandOption(1, ac, 0);
    ASSERT_EQ(options().size(), 1u);
    EXPECT_EQ(options()[0].registration, "PH-BXA");
    EXPECT_EQ(options()[0].callsign, "KLM1");
    EXPECT_EQ(options()[0].aom.airline, gf_airlineCode2Id("KLM"));
    EXPECT_EQ(ac.ids.model, gf_modelCode2Id("B738")); // the aircraft takes the database's kind

    // Seen again later the same day under a new callsign: extended.
    setNow({Mon, 12});
    ac.callsign = "KLM2";
    gf_addRealStandOption(1, ac, 0);
    ASSERT_EQ(options().size(), 1u);
    EXPECT_EQ(options()[0].halfHours, mask({10, 11, 12}));
    EXPECT_EQ(options()[0].callsign2, "KLM2");
    EXPECT_EQ(gf_standTable().learnedOptionCount, 2);
    EXPECT_EQ(learnedUpdateCounter.load(), 2u);
    ASSERT_FALSE(window.all<GuiUpdate::UpdateCount>().empty());
    EXPECT_EQ(window.all<GuiUpdate::UpdateCount>().back().count, 2u);

    // A check at the stand closes it; after a gap a new option starts.
    gf_addRealStandOption(1, ac, 2);
    EXPECT_EQ(options()[0].closed, 1);
    setNow({Mon, 14});
    gf_addRealStandOption(1, ac, 0);
    ASSERT_EQ(options().size(), 2u);
    EXPECT_EQ(options()[0].halfHours, mask({10, 11, 12}));
    EXPECT_EQ(options()[1].halfHours, mask({14}));

    // Standing over midnight carries today's option over.
    setNow({Mon, 47});
    LiveAircraft night = aircraft("KLM9", "PH-BXB");
    gf_addRealStandOption(1, night, 0);
    setNow({Tue, 1});
    gf_addRealStandOption(1, night, 0);
    ASSERT_EQ(options().size(), 4u);
    EXPECT_EQ(options()[2].halfHours, mask({47}));
    EXPECT_EQ(options()[3].weekday, Tue);
    EXPECT_EQ(options()[3].halfHours, mask({0, 1}));

    // An option of the airport file for today that does not cover now stops
    // the learning of that registration.
    options() = {option(Tue, mask({30}), 1, "PH-BXB")};
    options()[0].fixed = 1;
    gf_addRealStandOption(1, night, 0);
    EXPECT_EQ(options().size(), 1u);
}

TEST_F(StandOptionsTest, CallsignsAndSlotErrors)
{
    options() = {option(Mon, mask({3}), 1)};
    for (const char* cs : {"AAA1_", "AAA1", "BBB2", "AAA1", "CCC3", ""})
        lf_addOptionCallsign(*gf_standById(1), 1, cs);
    EXPECT_EQ(options()[0].callsign, "AAA1");
    EXPECT_EQ(options()[0].callsign2, "CCC3");

    EXPECT_FALSE(updateOptions(*gf_standById(1), {4, 48}, 1));
    EXPECT_FALSE(updateOptions(*gf_standById(1), {4}, 9));
    gf_flushLog();
    EXPECT_NE(kvr::test::logText().find("==> updateOptions exception:"), std::string::npos);
}

TEST_F(StandOptionsTest, AdoptedCallsignsWithinTenOrFourteenHalfHours)
{
    StandOption o = option(Mon, mask({20}), 1);
    o.aom.airline = gf_airlineCode2Id("KLM");
    o.callsign = "KLM641";
    o.callsign2 = "KLM642";
    Stand s;
    s.id = 1;
    s.options = {o};
    struct Case {
        WeekSlot now;
        Category category;
        std::string callsign;
        bool adopts;
    };
    const Case cases[] = {
        {{Mon, 10}, Category::Large, "KLM642", true},  {{Mon, 9}, Category::Large, "KLM642", false},
        {{Mon, 6}, Category::Heavy, "KLM642", true},   {{Mon, 5}, Category::Heavy, "KLM642", false},
        {{Mon, 34}, Category::Heavy, "KLM641_", true}, {{Tue, 20}, Category::Large, "KLM641", false},
        {{Mon, 20}, Category::Large, "KLM643", false}, {{Mon, 20}, Category::Large, "_", false},
    };
    for (const Case& c : cases) {
        LiveAircraft ac = aircraft(c.callsign, "PH-BXA", c.category);
        ac.ids.airline = gf_airlineCode2Id("KLM");
        gf_adoptStandOptionNames({s}, c.now, ac);
        EXPECT_EQ(ac.callsign2 == "KLM641" && ac.text3 == "KLM642", c.adopts)
            << c.callsign << " at " << c.now.weekday << "," << c.now.halfHour;
    }
}

} // namespace
