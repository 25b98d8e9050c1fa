// The settings panel's fill and rules and every command of the window,
// driven through WM_COMMAND as the controls send it.
#include "engine/engine.h"
#include "tests/app/window_fixture.h"

#include <future>
#include <thread>

#include "airports/airport_files.h"
#include "app/commands.h"
#include "app/controls.h"
#include "app/main_loop.h"
#include "app/settings_panel.h"
#include "engine/traffic_state.h"

namespace {

using namespace window_test;

class PanelTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        lf_fillSettingsPanel();
        pump();
    }
};

std::vector<IntChoiceParameter*> intChoices()
{
    std::vector<IntChoiceParameter*> out(gf_parameterRegistry().intChoiceParams);
    out.push_back(&PARKING_INTERVAL_MINUTES);
    return out;
}

TEST_F(PanelTest, FillShowsEveryChoiceWithItsValueSelected)
{
    for (IntChoiceParameter* p : intChoices()) {
        if (p == &TIME_SHIFT_DAYS || p == &TIME_SHIFT_HOURS || p == &TIME_SHIFT_MINS)
            continue; // filled by the time-shift start
        SCOPED_TRACE(p->name);
        EXPECT_EQ(comboCount(*p), static_cast<LRESULT>(p->options.size()));
        EXPECT_EQ(comboSel(*p), static_cast<LRESULT>(*p->indexOfValue()));
    }
    for (StringChoiceParameter* p : gf_parameterRegistry().stringChoiceParams) {
        SCOPED_TRACE(p->name);
        EXPECT_EQ(comboCount(*p), static_cast<LRESULT>(p->options.size()));
        EXPECT_EQ(comboSel(*p), static_cast<LRESULT>(*p->indexOfValue()));
    }
    EXPECT_EQ(comboCount(AI_PACKAGE_SELECTOR), 64);
    EXPECT_EQ(comboCount(MAX_FIT_FL), 48);
    EXPECT_EQ(comboSel(MAX_FIT_FL), 47);
    wchar_t item[16] = {};
    SendMessageW(MAX_FIT_FL.window, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(item));
    EXPECT_STREQ(item, L"0.5");

    EXPECT_FALSE(enabled(RT_CHOISE));
    EXPECT_FALSE(enabled(RANGE)) << "auto range is on";
    EXPECT_FALSE(enabled(BLOCK_BUTTON));
    EXPECT_FALSE(enabled(UNBLOCK_BUTTON));
    EXPECT_FALSE(enabled(AIRCRAFT_BUTTON));
    EXPECT_FALSE(enabled(AEROWINX)) << "RT Direct mode";
    EXPECT_FALSE(enabled(TBLO_BUTTON));
    EXPECT_TRUE(enabled(DESTINATION));
    EXPECT_FALSE(enabled(WEEK)) << "auto park on";
    EXPECT_FALSE(enabled(MAX_FIT_FL));
    EXPECT_TRUE(enabled(parking_percentage));
}

TEST_F(PanelTest, ParkingRulesLetTheAutoParkRuleDecideLast)
{
    RT_PARKTRAFFIC_ONLY.value = true;
    AUTO_PARK.value = false;
    gf_updateParkingControls();
    EXPECT_TRUE(enabled(WEEK));
    EXPECT_TRUE(enabled(PARK_SOFT));
    EXPECT_FALSE(enabled(parking_percentage));
    EXPECT_FALSE(enabled(AUTO_PARK));
    EXPECT_TRUE(enabled(MAX_FIT_FL));

    gf_disableParkingControls();
    for (const GuiControl* c : {static_cast<const GuiControl*>(&PARK_BUTTON), static_cast<const GuiControl*>(&FLUSH_BUTTON),
                                static_cast<const GuiControl*>(&MAX_LIVE_SEL)})
        EXPECT_FALSE(enabled(*c));
    parkingInProgress = true;
    gf_enableParkingControls();
    pump();
    EXPECT_FALSE(parkingInProgress.load());
    EXPECT_TRUE(enabled(PARK_BUTTON));
    EXPECT_FALSE(enabled(AUTO_PARK)) << "the rules apply again";
    EXPECT_EQ(Gui::instance().display.nextUpdateMinutes, 20);
}

TEST_F(PanelTest, FillFromTheMainTaskNeverWaitsForTheGuiThread)
{
    // The GUI thread does not pump while the other thread fills: a blocking
    // cross-thread send would never return.
    std::promise<void> done;
    auto finished = done.get_future();
    std::thread worker([&] {
        BLOCK_AIRCRAFT.value = "x";
        lf_fillSettingsPanel();
        gf_disableParkingControls();
        gf_setControlTextFromString(DESTINATION);
        done.set_value();
    });
    const bool returned = finished.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    worker.join(); // joins in any case: the pump below would release a blocked send
    ASSERT_TRUE(returned);
    EXPECT_FALSE(enabled(UNBLOCK_BUTTON)) << "posted, not yet run";
    pump();
    EXPECT_TRUE(enabled(UNBLOCK_BUTTON)) << "the posted changes run on the GUI thread";
    EXPECT_FALSE(enabled(PARK_BUTTON));
}

TEST_F(PanelTest, TbloButtonNeedsTheZipInTheTbloFolder)
{
    std::filesystem::create_directories(g_tbloFolder);
    lf_fillSettingsPanel();
    EXPECT_FALSE(tbloReady.load());
    EXPECT_FALSE(enabled(TBLO_BUTTON));
    kvr::test::writeBytes(g_tbloFolder / g_tbloArchive, "PK");
    lf_fillSettingsPanel();
    EXPECT_TRUE(tbloReady.load());
    EXPECT_TRUE(enabled(TBLO_BUTTON));
    EXPECT_EQ(Gui::instance().display.timedMessage, gf_tbloHintText());

    static std::vector<std::wstring> boxes;
    boxes.clear();
    gf_setShellOpenHook([](const std::filesystem::path&) { return false; });
    gf_setMessageBoxHook([](HWND, const std::wstring& text, const std::wstring&, UINT) {
        boxes.push_back(text);
        return IDOK;
    });
    click(TBLO_BUTTON);
    gf_setShellOpenHook(nullptr);
    gf_setMessageBoxHook(nullptr);
    EXPECT_FALSE(tbloReady.load());
    EXPECT_FALSE(enabled(TBLO_BUTTON));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], L"Could not open File Explorer at tblo.zip.");
}

TEST_F(PanelTest, RtAppStartLeavesTheTimeShiftControlsOff)
{
    setMode(true);
    TIME_SHIFT_DAYS.value = 2;
    lf_initTimeShiftControls();
    for (const GuiControl* c : {static_cast<const GuiControl*>(&TIME_SHIFT_DAYS), static_cast<const GuiControl*>(&SIM_TIME),
                                static_cast<const GuiControl*>(&KEEP_SIM_TIME_PAR), static_cast<const GuiControl*>(&SET_BUTTON)})
        EXPECT_FALSE(enabled(*c));
    EXPECT_FALSE(Gui::instance().display.timeShiftEnabled);
    EXPECT_FALSE(stop());
    // In RT App mode the time-shift ids are not handled.
    EXPECT_FALSE(lf_HandleWMCOMMAND(hwnd, MAKEWPARAM(SIM_TIME.controlId, BN_CLICKED)));
    EXPECT_FALSE(lf_HandleWMCOMMAND(hwnd, MAKEWPARAM(TIME_SHIFT_DAYS.controlId, CBN_SELCHANGE)));
}

TEST_F(PanelTest, EveryCheckBoxTogglesSavesAndShowsItsState)
{
    for (CheckBoxParameter* box : gf_parameterRegistry().checkBoxParams) {
        if (box == &AEROWINX || box == &SIM_TIME)
            continue; // mode-dependent and restarting; tested on their own
        SCOPED_TRACE(box->name);
        const bool before = box->value;
        click(*box);
        EXPECT_EQ(box->value, !before);
        EXPECT_EQ(IsDlgButtonChecked(hwnd, box->controlId) == BST_CHECKED, !before);
        EXPECT_EQ(saved(box->name), !before ? "true" : "false");
    }
    EXPECT_FALSE(gf_parametersSnapshot()->COLLISION_USER_AIR);
    EXPECT_TRUE(gf_takeUserRequest<UserRequest::TwoPropsOff>());
    EXPECT_TRUE(gf_takeUserRequest<UserRequest::HighPerfOff>());
    const auto lights = gf_takeUserRequest<UserRequest::NavLights>();
    EXPECT_TRUE(lights.has_value());
    EXPECT_FALSE(lights && lights->on);
    EXPECT_TRUE(enabled(RANGE)) << "auto range switched off";
    EXPECT_FALSE(enabled(AI_PACKAGE_SELECTOR)) << "automatic liveries switched off";
    EXPECT_TRUE(enabled(WEEK)) << "auto park switched off, RT parked only on";
    EXPECT_FALSE(enabled(parking_percentage));
    const ParkingRequests& requests = gf_parkingRequests();
    EXPECT_TRUE(requests.parkTrafficOnlyValue);
}

TEST_F(PanelTest, SimTimeResetsTheShiftAndRestarts)
{
    TIME_SHIFT_DAYS.value = 3;
    TIME_SHIFT_MINS.value = 7;
    click(SIM_TIME);
    EXPECT_TRUE(SIM_TIME.value);
    EXPECT_EQ(saved("TIME_SHIFT_DAYS"), "0");
    EXPECT_EQ(saved("TIME_SHIFT_MINS"), "0");
    EXPECT_EQ(gf_parametersSnapshot()->TIME_SHIFT_DAYS, 0);
    ASSERT_TRUE(stop());
    EXPECT_EQ(stop()->code, 3u);
}

TEST_F(PanelTest, IntegerChoicesAreStoredSavedAndPublished)
{
    choose(RANGE, 0);
    EXPECT_EQ(RANGE.value, 2);
    EXPECT_EQ(saved("RANGE"), "2");
    EXPECT_EQ(gf_parametersSnapshot()->rangeNmWhole, 2);
    EXPECT_EQ(gf_parametersSnapshot()->rangeNm, 2.0);
    EXPECT_EQ(gf_parametersSnapshot()->rangeMeters, 2 * 1852 + 10000);

    choose(MAX_FIT_FL, 0);
    EXPECT_EQ(MAX_FIT.value, 0);
    EXPECT_EQ(saved("MAX_FIT"), "0");
    choose(MAX_FIT_FL, 47);
    EXPECT_EQ(MAX_FIT.value, 47);
    EXPECT_EQ(gf_parametersSnapshot()->MAX_FIT, 47);

    choose(MATCHING_DEPTH, 4); // 4 -> 5
    EXPECT_TRUE(gf_takeUserRequest<UserRequest::Rematch>());
    choose(MATCHING_DEPTH, 0); // lower
    EXPECT_EQ(gf_parametersSnapshot()->MATCHING_DEPTH, 1);

    choose(MAX_PARK_SEL, 0);
    EXPECT_TRUE(gf_takeUserRequest<UserRequest::MaxParkChanged>());
    EXPECT_EQ(gf_parametersSnapshot()->MAX_PARK_SEL, 0);
    choose(PARKING_INTERVAL_MINUTES, 9);
    EXPECT_EQ(pendingParkingInterval.exchange(-1), 1440);

    choose(QNH_UNIT, 1);
    EXPECT_TRUE(Gui::instance().display.qnhInHg);
    EXPECT_EQ(saved("QNH_UNIT"), "QNH inHg");

    choose(SIM_CHOICE, 1); // the current value: nothing happens
    EXPECT_FALSE(stop());
    choose(SIM_CHOICE, 0);
    EXPECT_EQ(saved("SIM_CHOICE"), "MSFS 2020");
    EXPECT_TRUE(simChoiceSetByUser.exchange(false));
    ASSERT_TRUE(stop());
    EXPECT_EQ(stop()->code, 3u);
    EXPECT_EQ(stop()->arg, 3u);
}

TEST_F(PanelTest, TimeShiftChoiceEnablesSetAndSetRestartsWithTheShift)
{
    lf_initTimeShiftControls();
    EXPECT_FALSE(enabled(SET_BUTTON));
    choose(TIME_SHIFT_HOURS, 1);
    choose(TIME_SHIFT_MINS, 30);
    EXPECT_TRUE(enabled(SET_BUTTON));
    EXPECT_FALSE(stop()) << "a choice alone shifts nothing";
    click(SET_BUTTON);
    EXPECT_FALSE(enabled(SET_BUTTON));
    EXPECT_NE(log().find("Time shifted 90 minutes\n"), std::string::npos);
    ASSERT_TRUE(stop());
    EXPECT_EQ(stop()->code, 3u);
}

TEST(UserRequests, AKindAskedTwiceBeforeItIsTakenRunsOnceWithTheLaterValue)
{
    gf_dropUserRequest<UserRequest::NavLights>();
    gf_dropUserRequest<UserRequest::Block>();
    gf_postUserRequest(UserRequest::NavLights{true});
    gf_postUserRequest(UserRequest::Block{});
    gf_postUserRequest(UserRequest::Block{});
    gf_postUserRequest(UserRequest::NavLights{false});
    EXPECT_TRUE(gf_userRequestPending<UserRequest::NavLights>());
    EXPECT_TRUE(gf_userRequestPending<UserRequest::NavLights>()) << "looking does not take";
    const auto lights = gf_takeUserRequest<UserRequest::NavLights>();
    ASSERT_TRUE(lights.has_value());
    EXPECT_FALSE(lights->on) << "the later request replaces the earlier one";
    EXPECT_FALSE(gf_takeUserRequest<UserRequest::NavLights>());
    EXPECT_TRUE(gf_takeUserRequest<UserRequest::Block>());
    EXPECT_FALSE(gf_takeUserRequest<UserRequest::Block>());
}

TEST(AircraftSelection, ParsesFourFieldsWithAHexId)
{
    auto s = gf_parseAircraftSelection("DLH4AB, D-AIBC, 3c4a8f, oid=12");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->callsign, "DLH4AB");
    EXPECT_EQ(s->regcode, "D-AIBC");
    EXPECT_EQ(s->hexid, 0x3c4a8fu);
    EXPECT_EQ(gf_parseAircraftSelection("A, B, FFFFFFFF, x")->hexid, 0xFFFFFFFFu);
    EXPECT_FALSE(gf_parseAircraftSelection("DLH4AB, D-AIBC, 3c4g8f, oid=12"));
    EXPECT_FALSE(gf_parseAircraftSelection("DLH4AB, D-AIBC, 3c4a8f"));
    EXPECT_FALSE(gf_parseAircraftSelection(", D-AIBC, 3c4a8f, oid=12"));
    EXPECT_FALSE(gf_parseAircraftSelection("A, B, 1FFFFFFFF, x")) << "wider than 32 bits";
    EXPECT_FALSE(gf_parseAircraftSelection("A, B, 0x12, x"));
    EXPECT_FALSE(gf_parseAircraftSelection("select an aircraft"));
}

TEST_F(PanelTest, BlockSavesTheAircraftAndUnblockClearsIt)
{
    click(BLOCK_BUTTON);
    EXPECT_NE(log().find("Nothing to block ..."), std::string::npos);

    *g_aircraftSelectorOptions = {"select an aircraft", "DLH4AB_, D-AIBC, 13c4a8f, oid=12"};
    AIRCRAFT_SELECTOR.fillComboBox();
    choose(AIRCRAFT_SELECTOR, 1);
    EXPECT_TRUE(enabled(BLOCK_BUTTON));
    click(BLOCK_BUTTON);
    EXPECT_EQ(saved("BLOCK_AIRCRAFT"), "DLH4AB_, D-AIBC, 13c4a8f, oid=12");
    EXPECT_EQ(saved("BLOCK_CALLSIGN"), "DLH4AB_");
    EXPECT_EQ(saved("BLOCK_REGCODE"), "D-AIBC");
    EXPECT_EQ(saved("BLOCK_HEXIDDEC"), "16777215") << "clamped to 24 bits";
    const BlockFilter filter = gf_parametersSnapshot()->blockFilter;
    EXPECT_EQ(filter.callsign, "DLH4AB_");
    EXPECT_TRUE(filter.callsignEndsWithUnderscore);
    EXPECT_TRUE(gf_takeUserRequest<UserRequest::Block>());
    EXPECT_NE(log().find("Aircraft with callsign: DLH4AB_, regcode: D-AIBC and hexid: 13c4a8f is blocked"),
              std::string::npos);
    EXPECT_FALSE(enabled(BLOCK_BUTTON));
    EXPECT_TRUE(enabled(UNBLOCK_BUTTON));
    EXPECT_FALSE(enabled(AIRCRAFT_SELECTOR));
    EXPECT_FALSE(enabled(ALL_AIR_GND_SELECTOR));

    click(UNBLOCK_BUTTON);
    EXPECT_TRUE(gf_takeUserRequest<UserRequest::RestartNow>());
    EXPECT_NE(log().find("No more blocking of aircraft: cs: DLH4AB_ reg: D-AIBC hexid: ffffff \n"), std::string::npos);
    for (const char* key : {"BLOCK_AIRCRAFT", "BLOCK_CALLSIGN", "BLOCK_REGCODE"})
        EXPECT_EQ(saved(key), "") << key;
    EXPECT_EQ(saved("BLOCK_HEXIDDEC"), "0");
    EXPECT_TRUE(gf_parametersSnapshot()->blockFilter.aircraft.empty());
    EXPECT_TRUE(enabled(AIRCRAFT_BUTTON));
    EXPECT_FALSE(enabled(UNBLOCK_BUTTON));
    EXPECT_EQ(comboCount(AIRCRAFT_SELECTOR), 1);

    click(UNBLOCK_BUTTON);
    EXPECT_TRUE(gf_takeUserRequest<UserRequest::RestartNow>());
    EXPECT_NE(log().find("Nothing to unblock..."), std::string::npos);
}

TEST_F(PanelTest, BlockOfAnUnparsableEntryClearsTheBlockSilently)
{
    BLOCK_AIRCRAFT.value = "old";
    AIRCRAFT_SELECTOR.value = "select an aircraft";
    click(BLOCK_BUTTON);
    EXPECT_EQ(saved("BLOCK_AIRCRAFT"), "");
    EXPECT_FALSE(gf_userRequestPending<UserRequest::Block>());
}

TEST_F(PanelTest, ParkActsOnlyWithAParkingAirportAndRaisesTheRequest)
{
    const uint64_t before = gf_parkingRequests().requestedGeneration;
    click(PARK_BUTTON);
    EXPECT_EQ(gf_parkingRequests().requestedGeneration, before);
    parkingAirportLoaded = true;
    click(PARK_BUTTON);
    parkingAirportLoaded = false;
    EXPECT_EQ(gf_parkingRequests().requestedGeneration, before + 1);
    EXPECT_FALSE(enabled(PARK_BUTTON));
    EXPECT_EQ(Gui::instance().display.timedMessage, "Kelo will update static parking soon ...");
    EXPECT_EQ(pendingParkingInterval.exchange(-1), 20);

    click(FLUSH_BUTTON);
    EXPECT_TRUE(gf_takeUserRequest<UserRequest::FlushStatic>());
    click(AIRCRAFT_BUTTON);
    EXPECT_TRUE(gf_takeUserRequest<UserRequest::ListAircraft>());
}

TEST_F(PanelTest, TheMainTaskAndTheWindowNeverChangeTheSelectorsAtOnce)
{
    // No aircraft left by an earlier run: the list is its first line only.
    gf_resetTrafficState();
    gf_initTrafficState();
    // While the window holds the control values, the main task's refill of
    // the aircraft selector waits for them.
    std::future<void> fill;
    {
        std::lock_guard lock(gf_controlValuesMutex());
        fill = std::async(std::launch::async, [] { lf_fillAircraftSelector(); });
        EXPECT_EQ(fill.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    }
    fill.get();
    EXPECT_EQ(AIRCRAFT_SELECTOR.value, "select an aircraft");

    // Both sides at full speed: the main task refills the list while the
    // window takes choices and clears it.
    std::atomic<bool> done{false};
    auto mainTask = std::async(std::launch::async, [&] {
        for (int i = 0; i < 3000; ++i)
            lf_fillAircraftSelector();
        done = true;
    });
    while (!done) {
        choose(AIRCRAFT_SELECTOR, 0);
        lf_unblockAircraft(); // empties the list
        pump();
    }
    mainTask.get();
    pump();
    // Whichever side wrote last, list, value and box agree.
    ASSERT_EQ(g_aircraftSelectorOptions->size(), 1u);
    EXPECT_EQ(AIRCRAFT_SELECTOR.value, g_aircraftSelectorOptions->front());
    EXPECT_EQ(comboCount(AIRCRAFT_SELECTOR), 1);
}

TEST(MaxFitFl, IndexConversionsClampBothWays)
{
    EXPECT_EQ(gf_maxFitFlToIndex(0.2f), 0);
    EXPECT_EQ(gf_maxFitFlToIndex(3.0f), 5);
    EXPECT_EQ(gf_maxFitFlToIndex(24.0f), 47);
    EXPECT_EQ(gf_maxFitFlToIndex(30.0f), 47);
    EXPECT_EQ(gf_maxFitFlFromIndex(-3), 0.5f);
    EXPECT_EQ(gf_maxFitFlFromIndex(47), 24.0f);
    EXPECT_EQ(gf_maxFitFlFromIndex(60), 24.0f);
    for (size_t i = 0; i < MAX_FIT_FL.options.size(); ++i)
        EXPECT_EQ(gf_maxFitFlToIndex(MAX_FIT_FL.options[i]), static_cast<int32_t>(i));
}

} // namespace
