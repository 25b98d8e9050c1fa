// The time shift (with the simulator's clock given) and the destination box.
#include "tests/app/window_fixture.h"

#include "airports/park_airports.h"
#include "app/destination.h"
#include "app/settings_panel.h"
#include "app/time_shift.h"
#include "core/clock.h"

namespace {

using namespace window_test;

class TimeShiftTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        gf_resetTimeShiftState();
        gf_setRTDirectTimeOffset(0);
    }
    static constexpr int64_t kNow = 1'700'000'000;
};

TEST(TimeShiftText, PluralUnlessOneOrNegative)
{
    EXPECT_EQ(gf_timeShiftedText(1), "Time shifted 1 minute");
    EXPECT_EQ(gf_timeShiftedText(0), "Time shifted 0 minutes");
    EXPECT_EQ(gf_timeShiftedText(2), "Time shifted 2 minutes");
    EXPECT_EQ(gf_timeShiftedText(-4), "Time shifted -4 minute");
}

TEST_F(TimeShiftTest, ZeroShiftWithoutActiveShiftNeitherRestartsNorStores)
{
    lf_applyTimeShift(0, false, true);
    EXPECT_NE(log().find("Time shift = 0\n"), std::string::npos);
    EXPECT_FALSE(stop());

    lf_applyTimeShift(25000, true, false);
    EXPECT_EQ(gf_rtDirectTimeOffset(), kMaxTimeShiftMinutes);
    EXPECT_EQ(TIME_SHIFT_DAYS.value, 13) << "17 days are clamped to the 13-day maximum";
    EXPECT_EQ(TIME_SHIFT_HOURS.value, 8);
    EXPECT_EQ(TIME_SHIFT_MINS.value, 40);
    EXPECT_EQ(gf_parametersSnapshot()->TIME_SHIFT_HOURS, 8);
    EXPECT_FALSE(stop()) << "no restart was asked for";

    // Back to 0 while a shift is active: reported and restarted.
    lf_applyTimeShift(0, false, false);
    EXPECT_NE(log().find("Time shifted 0 minutes\n"), std::string::npos);
    ASSERT_TRUE(stop());
    EXPECT_EQ(stop()->code, 3u);
}

TEST_F(TimeShiftTest, SimulatorClockMovingLessThan30SecondsNeverShifts)
{
    firstSimTimeAfterStart = false;
    lastSimTime = kNow - 3600;
    lf_followSimTimeAt(kNow, kNow - 3600 + 29);
    EXPECT_EQ(lastSimTime.load(), kNow - 3600 + 29);
    EXPECT_FALSE(stop());
    lf_followSimTimeAt(kNow, std::nullopt);
    EXPECT_EQ(lastSimTime.load(), 0) << "an invalid simulator time forgets the last one";
}

TEST_F(TimeShiftTest, FirstShiftAfterStartIsTakenWithoutRestart)
{
    lf_followSimTimeAt(kNow, kNow + 600); // simulator ahead of real time: 0
    EXPECT_TRUE(firstSimTimeAfterStart) << "0 minutes after a start does nothing";
    lastSimTime = 0;

    lf_followSimTimeAt(kNow, kNow - 90 * 60 - 59);
    EXPECT_FALSE(firstSimTimeAfterStart);
    EXPECT_FALSE(stop());
    EXPECT_EQ(gf_rtDirectTimeOffset(), 90);
    EXPECT_EQ(TIME_SHIFT_HOURS.value, 1);
    EXPECT_EQ(TIME_SHIFT_MINS.value, 30);
    EXPECT_EQ(lastSimTime.load(), kNow - 90 * 60 - 59);

    // The next jump restarts.
    lf_followSimTimeAt(kNow, kNow - 10 * 60);
    ASSERT_TRUE(stop());
    EXPECT_EQ(stop()->code, 3u);
    EXPECT_FALSE(gf_trafficClockInputs().timeShiftActive.load());
}

TEST_F(TimeShiftTest, ShiftBeyondTwoWeeksIsCut)
{
    lf_followSimTimeAt(kNow, kNow - (kMaxTimeShiftMinutes + 1) * 60);
    EXPECT_NE(log().find("==> time shift is limited to 2 weeks !"), std::string::npos);
    EXPECT_NE(log().find("Time shifted 20160 minutes"), std::string::npos);
    EXPECT_EQ(TIME_SHIFT_DAYS.value, 13);
    EXPECT_EQ(TIME_SHIFT_HOURS.value, 0);
    EXPECT_EQ(TIME_SHIFT_MINS.value, 0);
    EXPECT_EQ(gf_rtDirectTimeOffset(), kMaxTimeShiftMinutes);
}

TEST_F(TimeShiftTest, RtAppModeFollowsTheClockWithoutStoringIt)
{
    setMode(true);
    firstSimTimeAfterStart = false;
    lf_followSimTimeAt(kNow, kNow - 3600);
    EXPECT_EQ(TIME_SHIFT_HOURS.value, 0);
    EXPECT_EQ(gf_rtDirectTimeOffset(), 0);
    ASSERT_TRUE(stop());
}

TEST_F(TimeShiftTest, StoredShiftIsReappliedAtAnRtDirectStart)
{
    TIME_SHIFT_MINS.value = 5;
    lf_publishParameters();
    lf_initTimeShiftControls();
    pump();
    EXPECT_EQ(gf_rtDirectTimeOffset(), 5);
    EXPECT_EQ(comboSel(TIME_SHIFT_MINS), 5);
    EXPECT_TRUE(enabled(TIME_SHIFT_DAYS));
    EXPECT_FALSE(enabled(SET_BUTTON));
    EXPECT_FALSE(stop()) << "re-applied without a restart";
}

// ---- Destination ------------------------------------------------------------

class DestinationTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        EnableWindow(DESTINATION.window, TRUE);
        gf_parkAirportList().airports.clear();
    }
    void type(const wchar_t* text)
    {
        SetWindowTextW(DESTINATION.window, text);
        SendMessageW(DESTINATION.window, WM_CHAR, 13, 0);
        pump();
    }
};

TEST_F(DestinationTest, InvalidCodeIsReportedAndTheBoxRestored)
{
    DESTINATION.value = "EDDF";
    type(L"E-AM");
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_NE(log().find("destination 'E-AM' is not valid\n"), std::string::npos);
    EXPECT_EQ(DESTINATION.value, "EDDF");
    EXPECT_EQ(windowText(DESTINATION), L"EDDF");

    type(L"EHAMX");
    EXPECT_NE(log().find("destination 'EHAMX' is not valid\n"), std::string::npos);
    type(L"eddf");
    EXPECT_NE(log().find("destination 'EDDF' was already set ...\n"), std::string::npos);
    type(L"ehxx");
    EXPECT_NE(log().find("destination 'EHXX' is not supported ...\n"), std::string::npos)
        << "the airport database knows no airport";
    EXPECT_EQ(saved("DESTINATION"), std::nullopt) << "nothing saved";
}

TEST_F(DestinationTest, EmptyBoxClearsTheDestinationAndTheStands)
{
    DESTINATION.value = "EDDF";
    type(L"");
    EXPECT_EQ(DESTINATION.value, "");
    EXPECT_EQ(saved("DESTINATION"), "");
    EXPECT_EQ(*g_standSelectorOptions, std::vector<std::string>{""});
    EXPECT_EQ(comboCount(STAND_SELECTOR), 1);
    EXPECT_FALSE(enabled(STAND_SELECTOR));
    EXPECT_NE(log().find("destination set to empty\n"), std::string::npos);
}

TEST_F(DestinationTest, DestinationWithoutAirportFileStillBecomesTheParkAirport)
{
    *g_standSelectorOptions = {"select a stand", "A1", "A2"};
    STAND_SELECTOR.fillComboBox();
    lf_setDestination("EHAM", LatLon{52.3, 4.76});
    pump();
    EXPECT_EQ(saved("DESTINATION"), "EHAM");
    EXPECT_EQ(gf_parametersSnapshot()->DESTINATION, "EHAM");
    EXPECT_EQ(windowText(DESTINATION), L"EHAM");
    EXPECT_NE(log().find("New destination: EHAM, failed to read stands, airport source path not found\n"),
              std::string::npos);
    EXPECT_EQ(comboCount(STAND_SELECTOR), 1) << "the stands of the last destination are gone";
    EXPECT_FALSE(enabled(STAND_SELECTOR));
    ASSERT_EQ(gf_parkAirportList().airports.size(), 1u);
    EXPECT_EQ(gf_parkAirportList().airports.front().icao, IcaoCode("EHAM"));

    lf_setDestination("E-AM", LatLon{52.3, 4.76});
    EXPECT_EQ(DESTINATION.value, "EHAM") << "a stored text that is no code changes nothing";
}

TEST_F(DestinationTest, ChosenStandIsReservedAtTheDestination)
{
    DESTINATION.value = "EHAM";
    gf_setCurrentParkAirport(IcaoCode("EHAM"), LatLon{52.3, 4.76});
    *g_standSelectorOptions = {"select a stand", "A1", "B2"};
    STAND_SELECTOR.fillComboBox();
    choose(STAND_SELECTOR, 0);
    EXPECT_EQ(gf_reservedStandOf(IcaoCode("EHAM")), std::nullopt) << "the prompt is ignored";
    EXPECT_EQ(log().find("selected stand"), std::string::npos);
    choose(STAND_SELECTOR, 2);
    EXPECT_EQ(gf_reservedStandOf(IcaoCode("EHAM")), "B2");
    EXPECT_NE(log().find("selected stand 'B2' at airport 'EHAM'\n"), std::string::npos);

    DESTINATION.value = "EDDF";
    choose(STAND_SELECTOR, 1);
    EXPECT_NE(log().find("==> could not update stand A1 in airport EDDF\n"), std::string::npos);
}

} // namespace
