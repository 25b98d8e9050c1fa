// A real main window on the test thread (the GUI thread), in folders of the
// test's own, with every setting at its default and the log open.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <pugixml.hpp>

#include "airports/airport_state.h"
#include "app/gui.h"
#include "app/gui_jobs.h"
#include "app/user_requests.h"
#include "app/window.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/parameters_file.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/stop_request.h"
#include "simlink/sim_link_state.h"
#include "tests/core/parameters_test_support.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace window_test {

inline const wchar_t* kTitle = L"KeloTestWindow";

// Runs every posted message of this thread (updates, control changes).
inline void pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

inline void setMode(bool rtApp, uint32_t sim = 2)
{
    g_modeSettings.store(std::make_shared<const ModeSettings>(ModeSettings{sim, rtApp}));
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings_test::resetAllSettings();
        std::filesystem::create_directories(gf_settingsFolder());
        gf_openLog();
        gf_clearStopRequest();
        tbloReady.store(false);
        setMode(false);
        lf_publishParameters();
        Gui& gui = Gui::instance();
        gui.clearDisplay();
        gui.compact = false;
        gui.MAIN_WINDOW_X.value = 40;
        gui.MAIN_WINDOW_Y.value = 30;
        COLLAPSED.value = false;
        ASSERT_TRUE(lf_registerMainWindowClass(GetModuleHandleW(nullptr), kTitle));
        ASSERT_TRUE(initInstance(GetModuleHandleW(nullptr), kTitle));
        hwnd = gui.hwnd.load();
        pump();
    }

    void TearDown() override
    {
        if (hwnd && IsWindow(hwnd))
            DestroyWindow(hwnd);
        pump();
        Gui::instance().hwnd.store(nullptr);
        gf_dropGuiJobs();
        gf_closeLog();
        settings_test::resetAllSettings();
        for (GuiControl* c : std::initializer_list<GuiControl*>{&TBLO_BUTTON, &AIRCRAFT_BUTTON, &BLOCK_BUTTON,
                                                               &UNBLOCK_BUTTON, &PARK_BUTTON, &FLUSH_BUTTON,
                                                               &SET_BUTTON, &AIRCRAFT_SELECTOR, &STAND_SELECTOR,
                                                               &MAX_FIT_FL})
            c->window = nullptr;
        gf_clearStopRequest();
        // Leave the window object as the other tests expect it: no GUI
        // thread, not stopped, nothing queued.
        Gui::instance().attachGuiThread();
        Gui::instance().guiThreadId.store(0);
        Gui::instance().clearDisplay();
        Gui::instance().compact = false;
    }

    // WM_COMMAND of a button or check box.
    void click(const GuiControl& c) { SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(c.controlId, BN_CLICKED), 0); }
    // Selects the item and sends the selection change.
    void choose(const GuiControl& c, size_t index)
    {
        SendMessageW(c.window, CB_SETCURSEL, index, 0);
        SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(c.controlId, CBN_SELCHANGE), 0);
    }
    static bool enabled(const GuiControl& c) { return IsWindowEnabled(c.window) != FALSE; }
    static LRESULT comboCount(const GuiControl& c) { return SendMessageW(c.window, CB_GETCOUNT, 0, 0); }
    static LRESULT comboSel(const GuiControl& c) { return SendMessageW(c.window, CB_GETCURSEL, 0, 0); }
    static std::wstring windowText(const GuiControl& c)
    {
        wchar_t buf[256] = {};
        GetWindowTextW(c.window, buf, 256);
        return buf;
    }
    // The value saved in parameters.xml.
    static std::optional<std::string> saved(const std::string& key)
    {
        pugi::xml_document doc;
        const std::string bytes = kvr::test::readBytes(gf_parametersXmlPath());
        if (!doc.load_buffer(bytes.data(), bytes.size()))
            return std::nullopt;
        return gf_xmlReadStringParameter(doc, key);
    }
    static std::string log()
    {
        gf_flushLog();
        return kvr::test::logText();
    }
    static std::optional<StopRequest> stop()
    {
        auto r = gf_currentStopRequest();
        return r ? std::optional<StopRequest>(*r) : std::nullopt;
    }

    kvr::test::ScopedTestFolders folders{"window"};
    HWND hwnd = nullptr;
};

} // namespace window_test
