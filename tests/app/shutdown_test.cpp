// The shutdown: thread order, the restart or exit decision, the countdown,
// the code-8 wait, what an exit clears and a restart keeps, and a shutdown
// while the GUI thread is busy painting.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <tuple>
#include <utility>
#include <thread>

#include "app/gui_jobs.h"
#include "app/main_task.h"
#include "app/main_task_threads.h"
#include "app/user_requests.h"
#include "core/layout.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "tests/app/main_task_fixture.h"

using namespace kvr::test;

namespace {

constexpr int64_t kSecond = 1'000'000'000;

void publish(uint32_t code, uint32_t arg)
{
    StopRequestPtr none;
    gf_compareExchangeStopRequest(none, std::make_shared<const StopRequest>(StopRequest{code, arg}));
}

std::vector<UINT> appMessages(MainTaskFixture& fx)
{
    std::vector<UINT> out;
    for (UINT m : fx.postedMessages()) {
        if (m == MSG_START || m == MSG_EXIT)
            out.push_back(m);
    }
    return out;
}

} // namespace

TEST(Shutdown, JoinsSimClientThenWeatherThenTrafficAndExits)
{
    MainTaskFixture fx;
    FakeMainClock clock;
    MainTaskThreads& t = gf_mainTaskThreads();
    std::atomic<bool> simClientSawStop{false};
    t.simClient = std::jthread([&](std::stop_token st) {
        while (!st.stop_requested())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        simClientSawStop = true;
    });
    t.weatherReader = std::jthread([] {});
    t.trafficReader = std::jthread([] {});
    publish(4, 0); // the close request's code, without the process-wide exit flag

    lf_closingDown();

    EXPECT_TRUE(simClientSawStop.load());
    EXPECT_FALSE(t.simClient.joinable());
    EXPECT_FALSE(t.weatherReader.joinable());
    EXPECT_FALSE(t.trafficReader.joinable());
    const std::string log = fx.log();
    const std::vector<size_t> at = linePositions(
        log, {" Exiting: USER CLOSED SIM", "Shutdown cleanup: waiting for SimClient", "Shutdown cleanup: SimClient stopped",
              "Shutdown cleanup: stopping readers", "Shutdown cleanup: waiting for weather reader",
              "Shutdown cleanup: weather reader stopped", "Shutdown cleanup: waiting for traffic reader",
              "Shutdown cleanup: traffic reader stopped", "Shutdown cleanup: closing RT App server",
              "Shutdown cleanup: RT App server closed", "Shutdown cleanup completed; posting MSG_EXIT"});
    for (size_t i = 0; i < at.size(); ++i) {
        ASSERT_NE(at[i], std::string::npos) << i << "\n" << log;
        if (i > 0) {
            EXPECT_LT(at[i - 1], at[i]) << i;
        }
    }
    EXPECT_EQ(appMessages(fx), std::vector<UINT>{MSG_EXIT});
    EXPECT_FALSE(restartFlag.load());
}

TEST(Shutdown, NewSettingsRestartAtOnceAndResetTheRun)
{
    MainTaskFixture fx;
    FakeMainClock clock;
    publish(3, 0);
    gf_mainLoopState().secondsCounter = 77;
    gf_mainLoopState().parkingCountdown = 3;
    gf_postUserRequest(UserRequest::Block{});
    gf_postUserRequest(UserRequest::NavLights{true});
    pendingParkingInterval = 9;
    BLOCK_CALLSIGN.value = "KLM123";

    lf_closingDown();

    const std::string log = fx.log();
    const std::vector<size_t> at = linePositions(
        log, {" Exiting: NEW SETTINGS", "Restart phase: reinitializing SimConnect state",
              "Restart phase: reinitializing traffic state", "Restart phase: reinitializing GUI state",
              "Restart phase: reinitializing main state", "Restart phase: state reinitialization completed",
              "Restart cleanup completed; posting MSG_START"});
    for (size_t i = 0; i < at.size(); ++i) {
        ASSERT_NE(at[i], std::string::npos) << i << "\n" << log;
        if (i > 0) {
            EXPECT_LT(at[i - 1], at[i]) << i;
        }
    }
    EXPECT_EQ(log.find("Restarting after"), std::string::npos); // no countdown for a delay of 0
    EXPECT_TRUE(clock.sleeps.empty());
    EXPECT_EQ(appMessages(fx), std::vector<UINT>{MSG_START});
    EXPECT_TRUE(restartFlag.load());
    EXPECT_EQ(gf_currentStopRequest(), nullptr);
    EXPECT_TRUE(gf_keepRunning());
    EXPECT_EQ(gf_mainLoopState().secondsCounter, 0);
    EXPECT_EQ(gf_mainLoopState().parkingCountdown, 20);
    EXPECT_FALSE(gf_userRequestPending<UserRequest::Block>());
    EXPECT_FALSE(gf_userRequestPending<UserRequest::NavLights>());
    EXPECT_EQ(pendingParkingInterval.load(), -1);
    EXPECT_EQ(BLOCK_CALLSIGN.value, "KLM123"); // a restart keeps the block
    BLOCK_CALLSIGN.value.clear();
    restartFlag = false;
}

TEST(Shutdown, ExitClearsTheBlockAndTheTimeShiftInRtDirect)
{
    MainTaskFixture fx(false);
    FakeMainClock clock;
    BLOCK_AIRCRAFT.value = "KLM123, PH-BXA, 484f6d, oid=5";
    BLOCK_CALLSIGN.value = "KLM123";
    BLOCK_HEXIDDEC.value = 4738925;
    TIME_SHIFT_HOURS.value = 5;
    publish(1, 0);

    lf_closingDown();

    EXPECT_TRUE(BLOCK_AIRCRAFT.value.empty());
    EXPECT_TRUE(BLOCK_CALLSIGN.value.empty());
    EXPECT_EQ(BLOCK_HEXIDDEC.value, 0);
    EXPECT_EQ(TIME_SHIFT_HOURS.value, 0);
    const std::string saved = readBytes(gf_parametersXmlPath());
    EXPECT_NE(saved.find("name=\"TIME_SHIFT_HOURS\" value=\"0\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("name=\"BLOCK_CALLSIGN\" value=\"\""), std::string::npos) << saved;
    EXPECT_NE(fx.log().find(" Exiting: SIM WAS CLOSED"), std::string::npos);
    EXPECT_EQ(appMessages(fx), std::vector<UINT>{MSG_EXIT});
    // RT Direct leaves the cooldown for the next session.
    EXPECT_EQ(rtApiCooldownDeadline.load(), clock.now + 3 * kSecond);
    rtApiCooldownDeadline = 0;
}

TEST(Shutdown, NewFlightCountsDownAndACloseCutsItShort)
{
    KELO_EXPECT_IN_CHILD([] {
        MainTaskFixture fx;
        FakeMainClock clock;
        const int64_t start = clock.now;
        clock.onSleep = [&](int64_t) {
            if (clock.now - start >= 5 * kSecond)
                gf_requestStop(4, 0); // the user closes the window
        };
        publish(2, 60);
        lf_closingDown();
        const std::string log = fx.log();
        if (clock.now - start >= 6 * kSecond)
            return 1;
        if (appMessages(fx) != std::vector<UINT>{MSG_EXIT} || restartFlag.load())
            return 2;
        if (log.find("Restarting after 60 seconds\n" + std::string(48, '-') + "\n") == std::string::npos)
            return 3;
        if (log.find("Restart phase:") != std::string::npos)
            return 4;
        if (log.find("Shutdown cleanup completed; posting MSG_EXIT") == std::string::npos)
            return 5;
        return 0;
    });
}

TEST(Shutdown, ACloseDuringTheCountdownStillClearsTheBlockAndTheTimeShift)
{
    KELO_EXPECT_IN_CHILD([] {
        MainTaskFixture fx(false); // RT Direct
        FakeMainClock clock;
        BLOCK_CALLSIGN.value = "KLM123";
        TIME_SHIFT_HOURS.value = 5;
        clock.onSleep = [](int64_t) { gf_requestStop(4, 0); }; // closed in the first second
        publish(2, 60);
        lf_closingDown();
        if (appMessages(fx) != std::vector<UINT>{MSG_EXIT} || restartFlag.load())
            return 1;
        if (!BLOCK_CALLSIGN.value.empty() || TIME_SHIFT_HOURS.value != 0)
            return 2;
        const std::string saved = readBytes(gf_parametersXmlPath());
        if (saved.find("name=\"TIME_SHIFT_HOURS\" value=\"0\"") == std::string::npos ||
            saved.find("name=\"BLOCK_CALLSIGN\" value=\"\"") == std::string::npos)
            return 3;
        return 0;
    });
}

TEST(Shutdown, LongCountdownShowsTheUnblockHintAndUnblockRestartsAtOnce)
{
    MainTaskFixture fx;
    FakeMainClock clock;
    const int64_t start = clock.now;
    gf_postUserRequest(UserRequest::RestartNow{}); // a stale push before the countdown does not count
    std::vector<std::string> shown;
    clock.onSleep = [&](int64_t) {
        if (shown.empty() || shown.back() != fx.display().timedMessage)
            shown.push_back(fx.display().timedMessage);
        if (clock.now - start >= 2 * kSecond)
            gf_postUserRequest(UserRequest::RestartNow{});
    };
    publish(2, 60);
    lf_closingDown();
    EXPECT_LT(clock.now - start, 3 * kSecond);
    EXPECT_GE(clock.now - start, 2 * kSecond);
    EXPECT_EQ(appMessages(fx), std::vector<UINT>{MSG_START});
    EXPECT_EQ(shown, (std::vector<std::string>{"Restarting after 60 seconds              ( or push Unblock to re-start )",
                                               "Restarting after 59 seconds              ( or push Unblock to re-start )",
                                               "Restarting after 58 seconds              ( or push Unblock to re-start )"}));
    restartFlag = false;
    gf_dropUserRequest<UserRequest::RestartNow>();
}

TEST(Shutdown, SystemErrorStaysTwentyFiveSeconds)
{
    MainTaskFixture fx;
    FakeMainClock clock;
    publish(8, 0);
    lf_closingDown();
    EXPECT_GE(clock.sleptNs(), 25 * kSecond);
    EXPECT_LT(clock.sleptNs(), 26 * kSecond);
    EXPECT_EQ(appMessages(fx), std::vector<UINT>{MSG_EXIT});
    EXPECT_NE(fx.log().find(" Exiting: SYSTEM ERROR"), std::string::npos);
}

namespace {

// A GUI thread whose window blocks, as painting does while it waits for the
// engine lock: it handles no message until release(), then runs what was
// posted. `control` is a child of its window, made for the test's setting.
class BusyGuiThread {
public:
    explicit BusyGuiThread(const wchar_t* controlClass)
        : thread([this, controlClass] {
              WNDCLASSW wc{};
              wc.lpszClassName = L"KeloBusyGuiTest";
              wc.hInstance = GetModuleHandleW(nullptr);
              wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
                  if (m == MSG_GUI_JOB) {
                      gf_drainGuiJobs();
                      return 0;
                  }
                  return DefWindowProcW(h, m, w, l);
              };
              RegisterClassW(&wc);
              HWND main = CreateWindowExW(0, wc.lpszClassName, L"Kelo", 0, 0, 0, 200, 200, HWND_MESSAGE, nullptr,
                                          nullptr, nullptr);
              HWND child = CreateWindowExW(0, controlClass, L"", WS_CHILD | WS_DISABLED | CBS_DROPDOWNLIST, 0, 0,
                                           50, 100, main, nullptr, nullptr, nullptr);
              Gui::instance().guiThreadId = GetCurrentThreadId();
              ready.set_value({main, child});
              mayEnd.wait();
              MSG m;
              while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
                  DispatchMessageW(&m);
              afterwards(child);
              DestroyWindow(main);
          })
    {
        std::tie(window, control) = ready.get_future().get();
        gf_dropGuiJobs();
        Gui::instance().hwnd = window;
    }
    // Lets the GUI thread handle its messages, runs `check` on it with the
    // control, and ends it.
    void release(std::function<void(HWND)> check)
    {
        afterwards = std::move(check);
        releaseGui.set_value();
        thread.join();
        Gui::instance().guiThreadId = 0;
    }

    HWND window = nullptr;
    HWND control = nullptr;

private:
    std::promise<std::pair<HWND, HWND>> ready;
    std::promise<void> releaseGui;
    std::shared_future<void> mayEnd = releaseGui.get_future().share();
    std::function<void(HWND)> afterwards;
    std::thread thread;
};

} // namespace

TEST(Shutdown, EndsWhileTheGuiThreadIsBusyPainting)
{
    MainTaskFixture fx;
    FakeMainClock clock;
    BusyGuiThread gui(L"BUTTON");
    UNBLOCK_BUTTON.window = gui.control;

    clock.onSleep = [&](int64_t) { gf_postUserRequest(UserRequest::RestartNow{}); };
    publish(2, 60); // the long countdown enables "Unblock"
    auto done = std::async(std::launch::async, [] { lf_closingDown(); });
    const bool ended = done.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    bool buttonEnabledAfter = false;
    gui.release([&](HWND button) { buttonEnabledAfter = IsWindowEnabled(button) != FALSE; });
    done.wait();
    UNBLOCK_BUTTON.window = nullptr;
    Gui::instance().hwnd = fx.window;
    EXPECT_TRUE(ended) << "the shutdown waited for the GUI thread";
    EXPECT_TRUE(buttonEnabledAfter); // the change arrived once the GUI thread was free
    restartFlag = false;
    gf_dropUserRequest<UserRequest::RestartNow>();
}

// The automatic range and the settings load change their controls from the
// main task: they must not wait for a GUI thread that is busy.
TEST(Shutdown, SettingControlsChangedByTheMainTaskNeverWaitForTheWindow)
{
    MainTaskFixture fx;
    BusyGuiThread gui(L"COMBOBOX");
    const HWND before = RANGE.window;
    RANGE.window = gui.control;
    RANGE.fillComboBox(); // on the test thread too: posted like the rest
    const int32_t option = RANGE.options.at(1);
    auto done = std::async(std::launch::async, [option] { gf_setRange(option); });
    const bool ended = done.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    LRESULT selected = -1;
    gui.release([&](HWND combo) { selected = SendMessageW(combo, CB_GETCURSEL, 0, 0); });
    done.wait();
    RANGE.window = before;
    Gui::instance().hwnd = fx.window;
    EXPECT_TRUE(ended) << "the range change waited for the GUI thread";
    EXPECT_EQ(selected, 1); // filled and selected once the GUI thread was free
}
