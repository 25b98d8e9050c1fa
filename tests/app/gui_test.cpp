#include "app/gui.h"

#include <windows.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "airports/airport_state.h"
#include "core/log.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace {

using namespace std::chrono_literals;
using U = GuiUpdate;
using Clock = std::chrono::steady_clock;

uint8_t apply(Gui& gui, GuiUpdate update, Clock::time_point now = Clock::time_point{} + 1h)
{
    return gui.applyUpdate(std::move(update), now);
}

// Sent as a sender sends it, then applied as the window drains its queue;
// returns the bands to repaint.
uint8_t send(Gui& gui, GuiUpdate update)
{
    gui.enqueueUpdate(std::move(update));
    return gui.drainUpdates();
}

std::string readLog()
{
    gf_closeLog();
    return kvr::test::logText();
}

size_t countOccurrences(const std::string& text, const std::string& needle)
{
    size_t count = 0;
    for (size_t pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1))
        ++count;
    return count;
}

// Runs f on a thread that is not the GUI thread.
template <typename F>
void onOtherThread(F&& f)
{
    std::thread t(std::forward<F>(f));
    t.join();
}

// A message-only window owned by the test thread, for the posting tests.
struct TestWindow {
    HWND hwnd = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ~TestWindow()
    {
        if (hwnd)
            DestroyWindow(hwnd);
    }
    int drainPosts(UINT message, WPARAM* wp = nullptr, LPARAM* lp = nullptr) const
    {
        int count = 0;
        MSG msg;
        while (PeekMessageW(&msg, hwnd, message, message, PM_REMOVE)) {
            if (wp)
                *wp = msg.wParam;
            if (lp)
                *lp = msg.lParam;
            ++count;
        }
        return count;
    }
};

TEST(GuiUpdateKinds, AlternativesAreNumberedByKind)
{
    const std::vector<std::pair<GuiUpdate, int>> table = {
        {U::SetCompact{}, 0},         {U::ToggleCompact{}, 1},     {U::StayOnTop{}, 2},
        {U::Minimize{}, 3},           {U::Repaint{}, 4},           {U::CheckMessageExpiry{}, 5},
        {U::ShowTrafficBox{}, 6},     {U::ParkingPending{}, 7},    {U::LiveTrafficState{}, 8},
        {U::Block9{}, 9},             {U::QnhState{}, 10},         {U::TrafficSource{}, 11},
        {U::SimStatus{}, 12},         {U::FlightRunning{}, 13},    {U::LiveryCount{}, 14},
        {U::SimaddonAirports{}, 15},  {U::ThirdpAirports{}, 16},   {U::WingspanKnown{}, 17},
        {U::LiveAircraftCount{}, 18}, {U::StandCount{}, 19},       {U::ParkCounts{}, 20},
        {U::MaxPark{}, 21},           {U::QualityFactor{}, 22},    {U::AirportCode{}, 23},
        {U::AirportFileInfo{}, 24},   {U::NextUpdate{}, 25},       {U::ParkedFromRTOnly{}, 26},
        {U::QnhValue{}, 27},          {U::QnhUnit{}, 28},          {U::Publisher{}, 29},
        {U::UpdateCount{}, 30},       {U::StaticFit{}, 31},        {U::LiveFit{}, 32},
        {U::UserStand{}, 33},         {U::DisableTimeShift{}, 34}, {U::Message{}, 35},
        {U::Error{}, 36},             {U::ClearMessage{}, 37},     {U::ClearError{}, 38},
        {U::ResetStatus{}, 39},
    };
    ASSERT_EQ(table.size(), 40u);
    for (const auto& [update, kind] : table)
        EXPECT_EQ(static_cast<int>(update.kind()), kind);
}

TEST(GuiApply, BandsOfEveryUnconditionalKind)
{
    struct Row {
        GuiUpdate update;
        uint8_t bands;
    };
    const std::vector<Row> table = {
        {U::StayOnTop{true}, 0},
        {U::Minimize{}, 0},
        {U::Repaint{6}, 6},
        {U::ShowTrafficBox{}, 1},
        {U::ParkingPending{3}, 4},
        {U::Block9{}, 1},
        {U::TrafficSource{"RT App"}, 1},
        {U::SimStatus{"running"}, 1},
        {U::FlightRunning{true}, 1},
        {U::LiveryCount{10}, 1},
        {U::SimaddonAirports{2}, 1},
        {U::ThirdpAirports{3}, 1},
        {U::WingspanKnown{false}, 4},
        {U::StandCount{50}, 4},
        {U::MaxPark{20, 30}, 4},
        {U::QualityFactor{"q 80%"}, 4},
        {U::AirportCode{IcaoCode("EHAM")}, 4},
        {U::AirportFileInfo{true, "file"}, 12},
        {U::NextUpdate{15}, 4},
        {U::ParkedFromRTOnly{true}, 4},
        {U::QnhValue{1013}, 1},
        {U::Publisher{"Orbx", true}, 4},
        {U::DisableTimeShift{}, 2},
        {U::Error{"boom"}, 8},
        {U::ResetStatus{}, 15},
        {U::SetCompact{true}, 16},
        {U::ToggleCompact{}, 16},
    };
    Gui gui;
    for (const Row& row : table) {
        GuiUpdate copy = row.update;
        EXPECT_EQ(apply(gui, std::move(copy)), row.bands) << "kind " << static_cast<int>(row.update.kind());
    }
}

TEST(GuiApply, ChangeOnlyKindsRepaintOnlyWhenTheValueChanges)
{
    struct Row {
        GuiUpdate first;
        GuiUpdate other;
        uint8_t bands;
    };
    const std::vector<Row> table = {
        {U::LiveTrafficState{0}, U::LiveTrafficState{1}, 1},
        {U::QnhState{1}, U::QnhState{0}, 1},
        {U::LiveAircraftCount{7}, U::LiveAircraftCount{8}, 1},
        {U::ParkCounts{1, 2}, U::ParkCounts{1, 3}, 4},
        {U::QnhUnit{true}, U::QnhUnit{false}, 1},
        {U::UpdateCount{5}, U::UpdateCount{6}, 4},
        {U::StaticFit{2.5f}, U::StaticFit{3.0f}, 4},
        {U::LiveFit{1.5f}, U::LiveFit{2.0f}, 4},
        {U::UserStand{"A12"}, U::UserStand{"A1"}, 1},
        {U::Message{"hello", false}, U::Message{"hellO", false}, 8},
    };
    for (const Row& row : table) {
        Gui gui;
        const int kind = static_cast<int>(row.first.kind());
        GuiUpdate a = row.first, b = row.first, c = row.other;
        EXPECT_EQ(apply(gui, std::move(a)), row.bands) << "kind " << kind;
        EXPECT_EQ(apply(gui, std::move(b)), 0) << "kind " << kind << " repeated";
        EXPECT_EQ(apply(gui, std::move(c)), row.bands) << "kind " << kind << " changed";
    }
}

TEST(GuiApply, ReaderStatesStartStoppedSoTheFirstStoppedReportIsNoChange)
{
    Gui gui;
    EXPECT_EQ(apply(gui, U::LiveTrafficState{GuiReaderState::Stopped}), 0);
    EXPECT_EQ(apply(gui, U::QnhState{GuiReaderState::Stopped}), 0);
    EXPECT_EQ(apply(gui, U::LiveAircraftCount{0}), 0);
    EXPECT_EQ(apply(gui, U::StaticFit{-1.0f}), 0);
}

TEST(GuiApply, NanFitAlwaysCountsAsChanged)
{
    Gui gui;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(apply(gui, U::StaticFit{nan}), 4);
    EXPECT_EQ(apply(gui, U::StaticFit{nan}), 4);
    EXPECT_EQ(apply(gui, U::LiveFit{nan}), 4);
    EXPECT_EQ(apply(gui, U::LiveFit{nan}), 4);
}

TEST(GuiApply, QnhValueTurnsOverdueIntoFreshButNotStopped)
{
    Gui gui;
    apply(gui, U::QnhValue{1020});
    EXPECT_EQ(gui.display.qnhValue, 1020);
    EXPECT_EQ(gui.display.qnhState, GuiReaderState::Stopped);

    apply(gui, U::QnhState{GuiReaderState::Overdue});
    EXPECT_EQ(apply(gui, U::QnhValue{998}), 1);
    EXPECT_EQ(gui.display.qnhState, GuiReaderState::Fresh);
    EXPECT_EQ(gui.display.qnhValue, 998);
}

TEST(GuiApply, AirportCodeResizesACompactWindowOnlyWhenAnAirportComesOrGoes)
{
    Gui gui;
    apply(gui, U::SetCompact{true});
    EXPECT_EQ(gui.logicalHeight(), 128);
    EXPECT_EQ(apply(gui, U::AirportCode{IcaoCode("EHAM")}), 16);
    EXPECT_EQ(gui.logicalHeight(), 224);
    EXPECT_EQ(apply(gui, U::AirportCode{IcaoCode("EDDF")}), 4);
    EXPECT_EQ(apply(gui, U::AirportCode{IcaoCode{}}), 16);
    EXPECT_EQ(gui.logicalHeight(), 128);
    EXPECT_EQ(apply(gui, U::AirportCode{IcaoCode{}}), 4);

    apply(gui, U::SetCompact{false});
    EXPECT_EQ(apply(gui, U::AirportCode{IcaoCode("EHAM")}), 4);
    EXPECT_EQ(gui.logicalHeight(), 768);
}

TEST(GuiApply, ToggleCompactFlipsTheMode)
{
    Gui gui;
    apply(gui, U::ToggleCompact{});
    EXPECT_TRUE(gui.compact);
    apply(gui, U::ToggleCompact{});
    EXPECT_FALSE(gui.compact);
}

TEST(GuiMessage, TimedMessageExpiresTwentyFiveSecondsAfterItsLastShowing)
{
    Gui gui;
    const Clock::time_point t0 = Clock::time_point{} + 1h;
    EXPECT_EQ(apply(gui, U::Message{"Waiting", false}, t0), 8);
    EXPECT_TRUE(gui.display.messageShowing);
    EXPECT_EQ(gui.display.messageExpiry, t0 + 25s);

    // The same text again only extends its life.
    EXPECT_EQ(apply(gui, U::Message{"Waiting", false}, t0 + 10s), 0);
    EXPECT_EQ(gui.display.messageExpiry, t0 + 35s);

    EXPECT_EQ(apply(gui, U::CheckMessageExpiry{}, t0 + 34s), 0);
    EXPECT_EQ(gui.display.timedMessage, "Waiting");
    EXPECT_EQ(apply(gui, U::CheckMessageExpiry{}, t0 + 35s), 8);
    EXPECT_EQ(gui.display.timedMessage, "");
    EXPECT_FALSE(gui.display.messageShowing);
    EXPECT_EQ(apply(gui, U::CheckMessageExpiry{}, t0 + 99s), 0);
}

TEST(GuiMessage, EmptyMessageClearsTheLine)
{
    Gui gui;
    apply(gui, U::Message{"text", false});
    EXPECT_EQ(apply(gui, U::Message{"", false}), 8);
    EXPECT_FALSE(gui.display.messageShowing);
    EXPECT_EQ(apply(gui, U::CheckMessageExpiry{}, Clock::time_point::max()), 0);
}

TEST(GuiMessage, ClearMessageClearsOnlyAShownMessage)
{
    Gui gui;
    EXPECT_EQ(apply(gui, U::ClearMessage{}), 0);
    apply(gui, U::Message{"text", false});
    EXPECT_EQ(apply(gui, U::ClearMessage{}), 8);
    EXPECT_EQ(gui.display.timedMessage, "");
    EXPECT_FALSE(gui.display.messageShowing);
}

TEST(GuiMessage, AirportFileInfoClearsTheMessageUnlessAnErrorStands)
{
    Gui gui;
    apply(gui, U::Message{"text", false});
    EXPECT_EQ(apply(gui, U::AirportFileInfo{true, "EHAM.xml"}), 12);
    EXPECT_EQ(gui.display.timedMessage, "");
    EXPECT_TRUE(gui.display.airportFileLoaded);
    EXPECT_EQ(gui.display.airportFileInfo, "EHAM.xml");

    apply(gui, U::Error{"bad"});
    apply(gui, U::AirportFileInfo{false, ""});
    EXPECT_EQ(gui.display.stickyError, "bad");
}

TEST(GuiStickyError, MessagesAreNeitherShownNorLoggedWhileAnErrorStands)
{
    kvr::test::ScopedTestFolders folders("gui-err");
    gf_openLog();
    Gui gui;
    send(gui, U::Message{"before", true});
    EXPECT_EQ(send(gui, U::Error{"disk full"}), 8);
    EXPECT_EQ(gui.display.timedMessage, "");
    EXPECT_FALSE(gui.display.messageShowing);
    EXPECT_EQ(gui.display.stickyError, "disk full");

    EXPECT_EQ(send(gui, U::Message{"hidden", true}), 0);
    EXPECT_EQ(gui.display.timedMessage, "");
    EXPECT_EQ(send(gui, U::ClearMessage{}), 0);
    EXPECT_EQ(gui.display.stickyError, "disk full");

    EXPECT_EQ(send(gui, U::ClearError{}), 8);
    EXPECT_EQ(send(gui, U::ClearError{}), 0);
    EXPECT_EQ(send(gui, U::Message{"after", true}), 8);
    EXPECT_EQ(gui.display.timedMessage, "after");

    const std::string log = readLog();
    EXPECT_NE(log.find("\nbefore\n"), std::string::npos);
    EXPECT_NE(log.find("\nError disk full\n"), std::string::npos);
    EXPECT_EQ(log.find("hidden"), std::string::npos);
    EXPECT_NE(log.find("\nafter\n"), std::string::npos);
}

TEST(GuiStickyError, TheSameErrorIsNotShownOrLoggedTwice)
{
    kvr::test::ScopedTestFolders folders("gui-err2");
    gf_openLog();
    Gui gui;
    EXPECT_EQ(send(gui, U::Error{"no route"}), 8);
    EXPECT_EQ(send(gui, U::Error{"no route"}), 0);
    EXPECT_EQ(send(gui, U::Error{"other"}), 8);
    const std::string log = readLog();
    EXPECT_EQ(countOccurrences(log, "Error no route\n"), 1u);
    EXPECT_EQ(countOccurrences(log, "Error other\n"), 1u);
}

TEST(GuiStickyError, UnloggedMessageWritesNoLine)
{
    kvr::test::ScopedTestFolders folders("gui-nolog");
    gf_openLog();
    Gui gui;
    send(gui, U::Message{"quiet text", false});
    send(gui, U::Message{"loud text", true});
    const std::string log = readLog();
    EXPECT_EQ(log.find("quiet text"), std::string::npos);
    EXPECT_EQ(countOccurrences(log, "loud text\n"), 1u);
}

TEST(GuiLog, MessagesAndErrorsAreLoggedInTheOrderTheyWereSent)
{
    kvr::test::ScopedTestFolders folders("gui-order");
    gf_openLog();
    Gui gui;
    onOtherThread([&] {
        gf_logLine("first");
        gui.enqueueUpdate(U::Message{"second", true});
        gf_logLine("third");
        gui.enqueueUpdate(U::Error{"fourth"});
        gf_logLine("fifth");
    });
    gui.drainUpdates(); // the window applies them afterwards
    const std::string log = readLog();
    EXPECT_NE(log.find("first\nsecond\nthird\nError fourth\nfifth\n"), std::string::npos) << log;
}

TEST(GuiStickyError, SameErrorAfterAMessageSlippedInIsShownAgain)
{
    Gui gui;
    apply(gui, U::Error{"e"});
    gui.display.timedMessage = "message"; // as left by a sender before the error
    EXPECT_EQ(apply(gui, U::Error{"e"}), 8);
    EXPECT_EQ(gui.display.timedMessage, "");
}

TEST(GuiReset, ResetStatusKeepsOnlyTheListedFields)
{
    Gui gui;
    const Clock::time_point t0 = Clock::time_point{} + 2h;
    apply(gui, U::Message{"m", false}, t0);
    apply(gui, U::TrafficSource{"RT App"});
    apply(gui, U::SimStatus{"run"});
    apply(gui, U::QualityFactor{"q"});
    apply(gui, U::AirportFileInfo{true, "f"});
    apply(gui, U::Publisher{"p", true});
    apply(gui, U::UserStand{"A1"});
    apply(gui, U::AirportCode{IcaoCode("LFPG")});
    apply(gui, U::StaticFit{3.f});
    apply(gui, U::LiveFit{4.f});
    apply(gui, U::LiveAircraftCount{9});
    apply(gui, U::SimaddonAirports{11});
    apply(gui, U::ThirdpAirports{12});
    apply(gui, U::LiveryCount{13});
    apply(gui, U::ParkCounts{14, 15});
    apply(gui, U::StandCount{16});
    apply(gui, U::MaxPark{17, 18});
    apply(gui, U::NextUpdate{19});
    apply(gui, U::UpdateCount{20});
    apply(gui, U::ParkingPending{21});
    apply(gui, U::QnhValue{1005});
    apply(gui, U::QnhUnit{true});
    apply(gui, U::QnhState{0});
    apply(gui, U::LiveTrafficState{1});
    apply(gui, U::FlightRunning{true});
    apply(gui, U::WingspanKnown{false});
    apply(gui, U::ParkedFromRTOnly{true});
    apply(gui, U::ShowTrafficBox{});
    apply(gui, U::DisableTimeShift{});
    gui.parkedFromRTOnlyNow = true;
    apply(gui, U::Error{"err"});

    EXPECT_EQ(apply(gui, U::ResetStatus{}), 15);

    const GuiDisplayState& d = gui.display;
    // Kept.
    EXPECT_EQ(d.liveryCount, 13u);
    EXPECT_EQ(d.simaddonAirportCount, 11u);
    EXPECT_EQ(d.thirdpAirportCount, 12u);
    EXPECT_EQ(d.parkingPending, 21u);
    EXPECT_EQ(d.nextUpdateMinutes, 19);
    EXPECT_EQ(d.maxParkPercent, 18u);
    EXPECT_TRUE(d.qnhInHg);
    EXPECT_EQ(d.messageExpiry, t0 + 25s);
    // Reset.
    EXPECT_EQ(d.timedMessage, "");
    EXPECT_FALSE(d.messageShowing);
    EXPECT_EQ(d.stickyError, "");
    EXPECT_EQ(d.trafficSourceText, "");
    EXPECT_EQ(d.simStatusText, "");
    EXPECT_EQ(d.qualityFactorText, "");
    EXPECT_EQ(d.airportFileInfo, "");
    EXPECT_FALSE(d.airportFileLoaded);
    EXPECT_EQ(d.publisher, "");
    EXPECT_FALSE(d.publisherHandmade);
    EXPECT_EQ(d.userStand, "");
    EXPECT_FALSE(d.airportCode.isSet());
    EXPECT_EQ(d.staticFit, -1.0f);
    EXPECT_EQ(d.liveFit, -1.0f);
    EXPECT_EQ(d.liveAircraftCount, 0u);
    EXPECT_EQ(d.parkedLiveCount, 0u);
    EXPECT_EQ(d.staticCount, 0u);
    EXPECT_EQ(d.standCount, 0u);
    EXPECT_EQ(d.maxPark, 0u);
    EXPECT_EQ(d.updateCount, 0u);
    EXPECT_EQ(d.qnhValue, 0);
    EXPECT_EQ(d.qnhState, GuiReaderState::Stopped);
    EXPECT_EQ(d.liveTrafficState, GuiReaderState::Stopped);
    EXPECT_FALSE(d.flightRunning);
    EXPECT_TRUE(d.wingspanKnown);
    EXPECT_FALSE(d.parkedFromRTOnly);
    EXPECT_TRUE(d.trafficBoxBlack);
    EXPECT_TRUE(d.timeShiftEnabled);
    EXPECT_FALSE(gui.parkedFromRTOnlyNow.load());
}

TEST(GuiReset, ResetInCompactModeWithAnAirportAlsoShrinksTheWindow)
{
    Gui gui;
    apply(gui, U::SetCompact{true});
    apply(gui, U::AirportCode{IcaoCode("EHAM")});
    EXPECT_EQ(gui.logicalHeight(), 224);
    EXPECT_EQ(apply(gui, U::ResetStatus{}), 15 | 16);
    EXPECT_EQ(gui.logicalHeight(), 128);
    EXPECT_EQ(apply(gui, U::ResetStatus{}), 15);
}

TEST(GuiGeometry, BandRectanglesFollowTheMode)
{
    Gui gui;
    EXPECT_EQ(gui.bandRect(1), (GuiRect{0, 32, 900, 96}));
    EXPECT_EQ(gui.bandRect(2), (GuiRect{0, 96, 900, 640}));
    EXPECT_EQ(gui.bandRect(4), (GuiRect{0, 640, 900, 736}));
    EXPECT_EQ(gui.bandRect(8), (GuiRect{0, 736, 900, 768}));

    gui.compact = true;
    EXPECT_TRUE(gui.bandRect(4).empty());
    EXPECT_EQ(gui.bandRect(8), (GuiRect{0, 96, 900, 128}));
    gui.display.airportCode = IcaoCode("EHAM");
    EXPECT_EQ(gui.bandRect(4), (GuiRect{0, 96, 900, 192}));
    EXPECT_EQ(gui.bandRect(8), (GuiRect{0, 192, 900, 224}));
}

TEST(GuiGeometry, WindowSizeGrowsWithDpiAndAddsTheFrame)
{
    Gui gui;
    const auto [w96, h96] = gui.windowSizeFor(768);
    EXPECT_GT(w96, 900);
    EXPECT_GT(h96, 768);
    gui.dpi = 192;
    const auto [w192, h192] = gui.windowSizeFor(768);
    EXPECT_GE(w192, 1800);
    EXPECT_GE(h192, 1536);
}

// ---- The queue ------------------------------------------------------------------

TEST(GuiQueue, WithoutAWindowUpdatesWaitInTheQueueInOrder)
{
    Gui gui;
    onOtherThread([&] {
        gui.enqueueUpdate(U::LiveAircraftCount{1});
        gui.enqueueUpdate(U::Message{"first", false});
        gui.enqueueUpdate(U::LiveAircraftCount{3});
        gui.enqueueUpdate(U::Message{"second", false});
        gui.enqueueUpdate(U::StandCount{5});
    });
    EXPECT_EQ(gui.pendingUpdateCount(), 5u);
    EXPECT_FALSE(gui.isUpdatePosted());
    EXPECT_EQ(gui.display.liveAircraftCount, 0u); // nothing applied yet

    EXPECT_EQ(gui.drainUpdates(), 1 | 4 | 8);
    EXPECT_EQ(gui.pendingUpdateCount(), 0u);
    EXPECT_EQ(gui.display.liveAircraftCount, 3u);
    EXPECT_EQ(gui.display.timedMessage, "second");
    EXPECT_EQ(gui.display.standCount, 5u);
    EXPECT_EQ(gui.drainUpdates(), 0);
}

TEST(GuiQueue, DrainAppliesInQueueOrder)
{
    Gui gui;
    onOtherThread([&] {
        gui.enqueueUpdate(U::Error{"stop"});
        gui.enqueueUpdate(U::Message{"lost", false}); // dropped: an error stands
        gui.enqueueUpdate(U::ClearError{});
        gui.enqueueUpdate(U::Message{"shown", false});
    });
    gui.drainUpdates();
    EXPECT_EQ(gui.display.stickyError, "");
    EXPECT_EQ(gui.display.timedMessage, "shown");
}

TEST(GuiQueue, ManyThreadsLoseNothing)
{
    Gui gui;
    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kEach; ++i)
                gui.enqueueUpdate(U::ParkingPending{static_cast<uint64_t>(i)});
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(gui.pendingUpdateCount(), static_cast<size_t>(kThreads * kEach));
    gui.drainUpdates();
    EXPECT_EQ(gui.display.parkingPending, static_cast<uint64_t>(kEach - 1));
}

TEST(GuiQueue, OnTheGuiThreadUpdatesApplyAtOnce)
{
    Gui gui;
    gui.attachGuiThread();
    gui.enqueueUpdate(U::Message{"now", false});
    EXPECT_EQ(gui.display.timedMessage, "now");
    EXPECT_EQ(gui.pendingUpdateCount(), 0u);

    // Other threads still queue.
    onOtherThread([&] { gui.enqueueUpdate(U::Message{"later", false}); });
    EXPECT_EQ(gui.display.timedMessage, "now");
    EXPECT_EQ(gui.pendingUpdateCount(), 1u);
}

TEST(GuiQueue, NothingIsAppliedAfterStop)
{
    Gui gui;
    onOtherThread([&] { gui.enqueueUpdate(U::Message{"queued before stop", false}); });
    gui.stop();
    EXPECT_TRUE(gui.isStopped());
    EXPECT_EQ(gui.pendingUpdateCount(), 0u);

    onOtherThread([&] { gui.enqueueUpdate(U::Message{"after stop", false}); });
    EXPECT_EQ(gui.pendingUpdateCount(), 0u);
    EXPECT_EQ(gui.drainUpdates(), 0);
    EXPECT_EQ(gui.display.timedMessage, "");
}

TEST(GuiQueue, NothingIsAppliedAfterStopOnTheGuiThreadEither)
{
    Gui gui;
    gui.attachGuiThread();
    gui.stop();
    gui.enqueueUpdate(U::Message{"dropped", false});
    EXPECT_EQ(gui.display.timedMessage, "");

    // A new window set-up clears the stop.
    gui.attachGuiThread();
    gui.enqueueUpdate(U::Message{"back", false});
    EXPECT_EQ(gui.display.timedMessage, "back");
}

TEST(GuiQueue, OneDrainMessageIsPostedForAnyNumberOfUpdates)
{
    TestWindow window;
    ASSERT_NE(window.hwnd, nullptr);
    Gui gui;
    gui.hwnd = window.hwnd;

    onOtherThread([&] {
        gui.enqueueUpdate(U::LiveAircraftCount{1});
        gui.enqueueUpdate(U::LiveAircraftCount{2});
        gui.enqueueUpdate(U::LiveAircraftCount{3});
    });
    EXPECT_TRUE(gui.isUpdatePosted());
    WPARAM wp = 99;
    LPARAM lp = 99;
    EXPECT_EQ(window.drainPosts(MSG_GUI_UPDATE, &wp, &lp), 1);
    EXPECT_EQ(wp, 0u);
    EXPECT_EQ(lp, 0);

    gui.drainUpdates();
    EXPECT_FALSE(gui.isUpdatePosted());
    EXPECT_EQ(gui.display.liveAircraftCount, 3u);

    // The next update after a drain posts again.
    onOtherThread([&] { gui.enqueueUpdate(U::LiveAircraftCount{4}); });
    EXPECT_EQ(window.drainPosts(MSG_GUI_UPDATE), 1);
    gui.hwnd = nullptr; // the window goes before the Gui
}

TEST(GuiQueue, AFailedPostIsRetriedByTheNextUpdate)
{
    HWND gone = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(gone, nullptr);
    DestroyWindow(gone);

    Gui gui;
    gui.hwnd = gone;
    onOtherThread([&] { gui.enqueueUpdate(U::StandCount{1}); });
    EXPECT_FALSE(gui.isUpdatePosted());
    EXPECT_EQ(gui.pendingUpdateCount(), 1u);

    TestWindow window;
    gui.hwnd = window.hwnd;
    onOtherThread([&] { gui.enqueueUpdate(U::StandCount{2}); });
    EXPECT_TRUE(gui.isUpdatePosted());
    EXPECT_EQ(window.drainPosts(MSG_GUI_UPDATE), 1);
    gui.drainUpdates();
    EXPECT_EQ(gui.display.standCount, 2u);
    gui.hwnd = nullptr;
}

TEST(GuiQueue, UpdatesQueuedBeforeTheWindowArePostedOnceItExists)
{
    Gui gui;
    onOtherThread([&] { gui.enqueueUpdate(U::StandCount{7}); });
    TestWindow window;
    gui.hwnd = window.hwnd;
    gui.postPendingUpdates();
    EXPECT_TRUE(gui.isUpdatePosted());
    EXPECT_EQ(window.drainPosts(MSG_GUI_UPDATE), 1);
    gui.drainUpdates();
    EXPECT_EQ(gui.display.standCount, 7u);

    gui.postPendingUpdates(); // nothing waiting: nothing posted
    EXPECT_EQ(window.drainPosts(MSG_GUI_UPDATE), 0);
    gui.hwnd = nullptr;
}

TEST(GuiQueue, CompactModeHidesAndShowsTheListedControls)
{
    TestWindow parent;
    HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, parent.hwnd, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    Gui gui;
    gui.compactModeControls = {child, nullptr};
    gui.setCompact(true);
    EXPECT_FALSE(GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE);
    gui.setCompact(false);
    EXPECT_TRUE(GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE);
    DestroyWindow(child);
    gui.setCompact(true); // a control that is gone is skipped
    EXPECT_TRUE(gui.compact);
}

// ---- The program's Gui and its typed senders --------------------------------------

class GuiSenders : public ::testing::Test {
protected:
    void SetUp() override
    {
        Gui& gui = Gui::instance();
        gui.attachGuiThread(); // this test thread plays the GUI thread: updates apply at once
        gui.applyUpdate(U::ResetStatus{});
        tbloReady = false;
    }
    void TearDown() override
    {
        tbloReady = false;
        Gui::instance().applyUpdate(U::ResetStatus{});
        Gui::instance().guiThreadId = 0;
    }
};

TEST_F(GuiSenders, ShowMessageShowErrorAndClear)
{
    const GuiDisplayState& d = Gui::instance().display;
    gf_showMessage("hello", false);
    EXPECT_EQ(d.timedMessage, "hello");
    gf_clearMessage();
    EXPECT_EQ(d.timedMessage, "");
    gf_showError("broken");
    EXPECT_EQ(d.stickyError, "broken");
}

TEST_F(GuiSenders, ClearMessageShowsTheTbloHintWhileTbloIsReady)
{
    const GuiDisplayState& d = Gui::instance().display;
    gf_showMessage("something", false);
    tbloReady = true;
    gf_clearMessage();
    EXPECT_EQ(d.timedMessage, gf_tbloHintText());
    EXPECT_TRUE(d.messageShowing);
    EXPECT_EQ(gf_tbloHintText().rfind("Push the tblo button and mail 'tblo.zip' to ", 0), 0u);
    EXPECT_TRUE(gf_tbloHintText().ends_with(", please"));
}

TEST_F(GuiSenders, TypedSendersSetTheirFields)
{
    Gui& gui = Gui::instance();
    gf_setTrafficSourceInfo("RT Direct");
    gf_setSimaddonAirportCount(42);
    gf_setUserWingspanKnown(false);
    gf_setAirportFileInfo(true, "info");
    gf_setParkedFromRTOnly(true);
    gf_setAirportPublisher("pub", true);
    gf_setStaticFit(2.5f);
    gf_setUserStand("B7");
    EXPECT_EQ(gui.display.trafficSourceText, "RT Direct");
    EXPECT_EQ(gui.display.simaddonAirportCount, 42u);
    EXPECT_FALSE(gui.display.wingspanKnown);
    EXPECT_TRUE(gui.display.airportFileLoaded);
    EXPECT_EQ(gui.display.airportFileInfo, "info");
    EXPECT_TRUE(gui.display.parkedFromRTOnly);
    EXPECT_TRUE(gui.parkedFromRTOnlyNow.load());
    EXPECT_EQ(gui.display.publisher, "pub");
    EXPECT_TRUE(gui.display.publisherHandmade);
    EXPECT_EQ(gui.display.staticFit, 2.5f);
    EXPECT_EQ(gui.display.userStand, "B7");
}

TEST_F(GuiSenders, SendersFromOtherThreadsQueueForTheGuiThread)
{
    Gui& gui = Gui::instance();
    onOtherThread([] {
        gf_showMessage("from a reader", false);
        gf_repaintHeader();
        gf_repaintStatusPanel();
        gf_repaintAirportPanel();
    });
    EXPECT_EQ(gui.display.timedMessage, "");
    EXPECT_EQ(gui.drainUpdates(), 1 | 2 | 4 | 8);
    EXPECT_EQ(gui.display.timedMessage, "from a reader");
}

} // namespace
