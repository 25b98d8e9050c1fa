#pragma once
// A fake steady clock for the main task (sleeps move it forward), a log in a
// folder of the test's own, and a message-only window standing in for the
// main window so that posted MSG_START / MSG_EXIT can be read back.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/gui.h"
#include "app/gui_jobs.h"
#include "app/main_clock.h"
#include "app/main_loop.h"
#include "app/main_task.h"
#include "app/shutdown.h"
#include "airports/airport_database_load.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/stop_request.h"
#include "core/text.h"
#include "simlink/sim_link_state.h"
#include "simlink/user_aircraft.h"
#include "tests/support/data_sets.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace kvr::test {

struct FakeMainClock {
    int64_t now = 1'000'000'000'000;
    std::vector<int64_t> sleeps;
    // Runs on every sleep, before the clock moves (the test may publish a stop).
    std::function<void(int64_t)> onSleep;

    FakeMainClock()
    {
        gf_setMainClock([this] { return now; },
                        [this](int64_t ns) {
                            sleeps.push_back(ns);
                            if (onSleep)
                                onSleep(ns);
                            now += ns;
                        });
    }
    ~FakeMainClock() { gf_setMainClock({}, {}); }
    int64_t sleptNs() const
    {
        int64_t total = 0;
        for (int64_t s : sleeps)
            total += s;
        return total;
    }
};

// Folders, an open log, a clean stop state and a message-only main window.
class MainTaskFixture {
public:
    explicit MainTaskFixture(bool rtApp = true, uint32_t sim = 2) : folders("maintask")
    {
        gf_clearStopRequest();
        gf_dropGuiJobs();
        Gui::instance().drainUpdates();
        Gui::instance().clearDisplay();
        oldMode = g_modeSettings.load();
        g_modeSettings.store(std::make_shared<const ModeSettings>(ModeSettings{sim, rtApp}));
        std::filesystem::create_directories(gf_settingsFolder());
        writeStartUpDataFiles();
        gf_openLog();
        window = CreateWindowExW(0, L"STATIC", L"main", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        oldHwnd = Gui::instance().hwnd.exchange(window);
        lf_resetMainLoopState();
        g_linkState = LinkState::NotConnected;
        userOnGround = false;
        g_userGroundDataArrived = 0;
        restartFlag = false;
        gf_setSettingsReadThisRun(true); // as after a start that read them
    }
    ~MainTaskFixture()
    {
        Gui::instance().hwnd.store(oldHwnd);
        DestroyWindow(window);
        gf_closeLog();
        g_modeSettings.store(oldMode);
        gf_installAirportDatabase({}, false);
        gf_clearStopRequest();
        gf_dropGuiJobs();
        Gui::instance().drainUpdates();
        gf_setTickHook({});
    }
    // The application messages posted to the window, in order.
    std::vector<UINT> postedMessages()
    {
        std::vector<UINT> out;
        MSG m;
        while (PeekMessageW(&m, window, 0, 0, PM_REMOVE)) {
            if (m.message >= WM_APP)
                out.push_back(m.message);
        }
        return out;
    }
    std::string log()
    {
        gf_flushLog();
        return logText();
    }
    // The updates sent so far, applied to the display state.
    GuiDisplayState& display()
    {
        Gui::instance().drainUpdates();
        return Gui::instance().display;
    }

    ScopedTestFolders folders;
    HWND window = nullptr;

private:
    HWND oldHwnd = nullptr;
    std::shared_ptr<const ModeSettings> oldMode;
};

// Message boxes shown while a MessageBoxRecorder lives: (UTF-8 text, type).
inline std::vector<std::pair<std::string, unsigned>>& recordedBoxes()
{
    static std::vector<std::pair<std::string, unsigned>> boxes;
    return boxes;
}
struct MessageBoxRecorder {
    MessageBoxRecorder()
    {
        recordedBoxes().clear();
        before = gf_setMessageBoxHook([](HWND, const std::wstring& text, const std::wstring& caption, UINT type) {
            recordedBoxes().emplace_back(caption == L"Kelo" ? wide_to_utf8(text) : "wrong caption", type);
            return IDOK;
        });
    }
    ~MessageBoxRecorder() { gf_setMessageBoxHook(before); }
    MessageBoxHook before = nullptr;
};

// Position of each line in the text; npos for a missing one.
inline std::vector<size_t> linePositions(const std::string& text, const std::vector<std::string>& lines)
{
    std::vector<size_t> out;
    for (const std::string& l : lines)
        out.push_back(text.find(l));
    return out;
}

// A close request sets the exit flag for the rest of the process: a test
// that needs one runs its body in a child process, which ends with the
// body's result (0 = every check held).
#define KELO_EXPECT_IN_CHILD(body) EXPECT_EXIT(std::exit(body()), ::testing::ExitedWithCode(0), "")

inline size_t countOf(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

} // namespace kvr::test
