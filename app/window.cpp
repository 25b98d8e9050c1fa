#include "app/window.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <fstream>
#include <iterator>
#include <thread>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "app/commands.h"
#include "app/controls.h"
#include "app/gui_jobs.h"
#include "app/main_clock.h"
#include "app/main_task.h"
#include "core/clock.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/parameters_file.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/stop_request.h"
#include "core/text.h"

namespace {

constexpr int kStringProgramName = 101;
constexpr int kIconProgram = 100;
constexpr int kOnScreenMargin = 48;
constexpr const char* kProgramName = "Kelo";

std::atomic<HWND> mainWindowHandle{nullptr};
std::thread mainTaskThread;
std::atomic<MainTaskBody> mainTaskBody{&lf_main};
// Set while no main task runs because the last start failed: then nothing
// would ever post MSG_EXIT, so a close posts it itself.
std::atomic<bool> mainTaskStartFailed{false};

template <typename... Args>
void lf_logErrorNoThrow(fmt::format_string<Args...> format, Args&&... args) noexcept
{
    try {
        gf_logError(fmt::format(format, std::forward<Args>(args)...));
    } catch (...) {
    }
}

int32_t lf_clampPosition(long v)
{
    return static_cast<int32_t>(std::clamp<long>(v, -30000, 30000));
}

void lf_sendFontToChildren(HWND window, HFONT font)
{
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void lf_replaceControlFont(Gui& gui, uint32_t dpi)
{
    HFONT font = gf_createGuiFont(false, dpi);
    if (!font)
        return;
    lf_sendFontToChildren(gui.hwnd.load(), font);
    if (gui.controlFont)
        DeleteObject(gui.controlFont);
    gui.controlFont = font;
}

uint32_t lf_windowDpi(HWND window)
{
    const UINT dpi = GetDpiForWindow(window);
    return dpi ? dpi : 96;
}

void lf_startMainTask()
{
    try {
        if (mainTaskThread.joinable())
            mainTaskThread.join();
        gf_openLog();
        mainTaskThread = std::thread(mainTaskBody.load());
        mainTaskStartFailed = false;
        return;
    } catch (const std::exception& e) {
        lf_logErrorNoThrow("Restart failed before main thread start: {}", e.what());
        gf_flushLog();
        gf_showError(fmt::format("Restart failed: {}", e.what()));
    } catch (...) {
        lf_logErrorNoThrow("Restart failed before main thread start: unknown exception");
        gf_flushLog();
        gf_showError("Restart failed: unknown exception");
    }
    mainTaskStartFailed = true;
}

void lf_onExit(HWND hwnd)
{
    if (mainTaskThread.joinable())
        mainTaskThread.join();
    Gui& gui = Gui::instance();
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    RECT rect{};
    if (!GetWindowPlacement(hwnd, &placement) ||
        (placement.showCmd != SW_SHOWMINIMIZED && placement.showCmd != SW_SHOWMAXIMIZED &&
         placement.showCmd != SW_MINIMIZE && placement.showCmd != SW_MAXIMIZE)) {
        GetWindowRect(hwnd, &rect);
    } else {
        rect = placement.rcNormalPosition;
    }
    const int32_t oldX = gui.MAIN_WINDOW_X.value;
    const int32_t oldY = gui.MAIN_WINDOW_Y.value;
    gui.MAIN_WINDOW_X.setAndSave(lf_clampPosition(rect.left));
    gui.MAIN_WINDOW_Y.setAndSave(lf_clampPosition(rect.top));
    gui.ensureOnScreen(oldX, oldY);
    // The last saves of the run: what the file refused must not end with it.
    gf_saveUnsavedSettingsAtExit([](int64_t ms) { gf_mainSleepMs(ms); });
    gf_logLine(gf_utcDateTimeText());
    gui.stop();
    gf_dropGuiJobs();
    PostQuitMessage(gf_processExitCode());
}

void lf_onSwitchSim()
{
    const char* other = gf_isMSFS2020() ? "MSFS 2024" : "MSFS 2020";
    SIM_CHOICE.setAndSave(other);
    if (auto index = SIM_CHOICE.indexOfValue())
        gf_selectComboIndex(SIM_CHOICE, index);
    gf_showMessage(fmt::format("Switching MSFS version in {}", kProgramName), true);
    StopRequestPtr expected;
    gf_compareExchangeStopRequest(expected, std::make_shared<const StopRequest>(StopRequest{3, 0}));
}

void lf_onLeftButton(HWND hwnd, LPARAM lParam)
{
    Gui& gui = Gui::instance();
    const int x = GET_X_LPARAM(lParam);
    const int y = GET_Y_LPARAM(lParam);
    const GuiRect& r = gui.compactButtonRect;
    if (x < r.left || x >= r.right || y < r.top || y >= r.bottom)
        return;
    gui.enqueueUpdate(GuiUpdate::ToggleCompact{});
    InvalidateRect(hwnd, nullptr, TRUE);
    UpdateWindow(hwnd);
    COLLAPSED.value = gui.compact;
    COLLAPSED.save();
}

void lf_onDpiChanged(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    const uint32_t newDpi = LOWORD(wParam);
    const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
    if (newDpi == 0 || suggested == nullptr)
        return;
    Gui& gui = Gui::instance();
    gui.rescaleChildren(gui.dpi, newDpi);
    lf_replaceControlFont(gui, newDpi);
    gui.dpi = newDpi;
    const auto [width, height] = gui.windowSizeFor(gui.logicalHeight());
    SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd, nullptr, TRUE);
}

LRESULT lf_dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Gui& gui = Gui::instance();
    switch (message) {
    case WM_CREATE: {
        mainWindowHandle.store(hwnd);
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        lf_createControls(hwnd, cs ? cs->hInstance : GetModuleHandleW(nullptr));
        return 0;
    }
    case WM_DESTROY:
        gui.stop();
        gf_dropGuiJobs();
        PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (dc) {
            try {
                gui.paint(dc);
            } catch (...) {
                EndPaint(hwnd, &ps);
                throw;
            }
            EndPaint(hwnd, &ps);
        }
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_CLOSE:
        gf_showMessage(fmt::format("{} close window button clicked, closing {} ...", gf_utcTimeText(), kProgramName),
                         false);
        gf_requestStop(4, 0);
        if (mainTaskStartFailed)
            PostMessageW(hwnd, MSG_EXIT, 0, 0);
        return 0;
    case WM_COMMAND:
        if (lf_HandleWMCOMMAND(hwnd, wParam))
            return 0;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, RGB(153, 204, 255));
        return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
    }
    case WM_LBUTTONDOWN:
        lf_onLeftButton(hwnd, lParam);
        return 0;
    case WM_DPICHANGED:
        lf_onDpiChanged(hwnd, wParam, lParam);
        return 0;
    case MSG_START:
        lf_startMainTask();
        return 0;
    case MSG_EXIT:
        lf_onExit(hwnd);
        return 0;
    case MSG_GUI_UPDATE:
        gui.drainUpdates();
        return 0;
    case MSG_GUI_JOB:
        gf_drainGuiJobs();
        return 0;
    case MSG_SWITCH_SIM:
        lf_onSwitchSim();
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

} // namespace

HWND gf_mainWindow()
{
    return mainWindowHandle.load();
}

MainTaskBody gf_setMainTaskBody(MainTaskBody body)
{
    return mainTaskBody.exchange(body ? body : &lf_main);
}

bool gf_mainTaskJoinable()
{
    return mainTaskThread.joinable();
}

HFONT gf_createGuiFont(bool bold, uint32_t dpi)
{
    return CreateFontW(-MulDiv(12, static_cast<int>(dpi), 72), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, 0, 0, 0, 0, 0, 0,
                       0, 0, L"Segoe UI");
}

LRESULT CALLBACK lf_mainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Nothing may leave a window procedure: a failure is logged and shown.
    try {
        return lf_dispatch(hwnd, message, wParam, lParam);
    } catch (const std::exception& e) {
        lf_logErrorNoThrow("lf_mainWndProc exception in message {:#x}: {}", message, e.what());
        try {
            gf_showError(fmt::format("Window failure: {}", e.what()));
        } catch (...) {
        }
    } catch (...) {
        lf_logErrorNoThrow("lf_mainWndProc unknown exception in message {:#x}", message);
        try {
            gf_showError("Window failure: unknown exception");
        } catch (...) {
        }
    }
    return 0;
}

bool lf_isProductionCommandLine(const wchar_t* commandLine)
{
    if (commandLine == nullptr)
        return false;
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(commandLine, &count);
    if (args == nullptr)
        return false;
    bool production = false;
    for (int i = 1; i < count; ++i) {
        if (CompareStringOrdinal(args[i], -1, L"--production", -1, TRUE) == CSTR_EQUAL)
            production = true;
    }
    LocalFree(args);
    return production;
}

bool lf_registerMainWindowClass(HINSTANCE instance, const wchar_t* title)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = lf_mainWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconProgram));
    wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = title;
    if (RegisterClassExW(&wc) != 0)
        return true;
    // A class registered earlier in this process (a test) serves as well.
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

namespace {

void lf_readWindowPositionFromFile(const std::filesystem::path& path)
{
    Gui& gui = Gui::instance();
    const std::string pathText = wide_to_utf8(path.wstring());
    std::error_code ec;
    const bool exists = std::filesystem::exists(path, ec);
    if (ec) {
        lf_logErrorNoThrow("Could not check whether '{}' exists: {}", pathText, ec.message());
        return;
    }
    if (!exists)
        return;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        lf_logErrorNoThrow("{} could not be opened", pathText);
        return;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(bytes.data(), bytes.size());
    if (!parsed) {
        lf_logErrorNoThrow("{} failed to load ({}). Saved as 0.xml and removed.", pathText, parsed.description());
        gf_save1GenerationOf(path);
        if (!std::filesystem::remove(path, ec) && ec)
            lf_logErrorNoThrow("Could not remove '{}': {}", pathText, ec.message());
        return;
    }
    IntParameter* position[] = {&gui.MAIN_WINDOW_X, &gui.MAIN_WINDOW_Y};
    for (IntParameter* p : position) {
        const pugi::xml_node element = gf_xmlFindParameter(doc, p->name);
        const std::optional<int32_t> v = element ? gf_parseIntAttribute(element, "value") : std::nullopt;
        p->value = v ? std::clamp(*v, p->minValue, p->maxValue) : p->defaultValue;
    }
}

} // namespace

void lf_readWindowPosition(const std::filesystem::path& path)
{
    lf_readWindowPositionFromFile(path);
    // A position that the file refused at the last exit waits beside it.
    Gui& gui = Gui::instance();
    for (IntParameter* p : {&gui.MAIN_WINDOW_X, &gui.MAIN_WINDOW_Y}) {
        const std::optional<std::string> text = gf_pendingSettingText(p->name);
        if (const std::optional<int32_t> v = text ? gf_parseIntText(*text) : std::nullopt)
            p->value = std::clamp(*v, p->minValue, p->maxValue);
    }
}

GuiRect gf_keepOnScreen(GuiRect w, GuiRect work)
{
    const auto fit = [](int& lo, int& hi, int workLo, int workHi) {
        const int size = hi - lo;
        if (size > workHi - workLo) {
            lo = workLo;
            hi = lo + size;
        }
        if (hi < workLo + kOnScreenMargin) {
            hi = workLo + kOnScreenMargin;
            lo = hi - size;
        }
        if (lo > workHi - kOnScreenMargin) {
            lo = workHi - kOnScreenMargin;
            hi = lo + size;
        }
    };
    fit(w.left, w.right, work.left, work.right);
    fit(w.top, w.bottom, work.top, work.bottom);
    return w;
}

void Gui::ensureOnScreen(int fallbackX, int fallbackY)
{
    for (auto [p, fallback] : {std::pair{&MAIN_WINDOW_X, fallbackX}, std::pair{&MAIN_WINDOW_Y, fallbackY}}) {
        if (p->value == p->minValue || p->value == p->maxValue)
            p->setAndSave(fallback);
    }
    HWND window = hwnd.load();
    if (!window)
        return;
    RECT r{};
    if (!GetWindowRect(window, &r))
        return;
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    RECT moved{MAIN_WINDOW_X.value, MAIN_WINDOW_Y.value, MAIN_WINDOW_X.value + width, MAIN_WINDOW_Y.value + height};
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoW(MonitorFromRect(&moved, MONITOR_DEFAULTTONEAREST), &info))
        return;
    const GuiRect w{moved.left, moved.top, moved.right, moved.bottom};
    const GuiRect placed = gf_keepOnScreen(
        w, GuiRect{info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom});
    if (placed == w) {
        if (r.left != moved.left || r.top != moved.top)
            SetWindowPos(window, nullptr, moved.left, moved.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    MAIN_WINDOW_X.setAndSave(lf_clampPosition(placed.left));
    MAIN_WINDOW_Y.setAndSave(lf_clampPosition(placed.top));
    SetWindowPos(window, nullptr, MAIN_WINDOW_X.value, MAIN_WINDOW_Y.value, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Gui::rescaleChildren(uint32_t oldDpi, uint32_t newDpi)
{
    HWND window = hwnd.load();
    if (!window || oldDpi == 0 || oldDpi == newDpi)
        return;
    const int o = static_cast<int>(oldDpi);
    const int n = static_cast<int>(newDpi);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r{};
        if (!GetWindowRect(child, &r))
            continue;
        MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&r), 2);
        const int height = r.bottom - r.top;
        const auto combo = comboHeights.find(child);
        const int newHeight = combo != comboHeights.end() ? MulDiv(combo->second, n, 96) : MulDiv(height, n, o);
        SetWindowPos(child, nullptr, MulDiv(r.left, n, o), MulDiv(r.top, n, o), MulDiv(r.right - r.left, n, o),
                     newHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

bool initInstance(HINSTANCE instance, const wchar_t* title)
{
    Gui& gui = Gui::instance();
    gui.attachGuiThread();

    if (!SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) {
        const DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED)
            lf_logErrorNoThrow("SetProcessDpiAwarenessContext failed: {}", error);
    }
    const UINT systemDpi = GetDpiForSystem();
    gui.dpi = systemDpi ? systemDpi : 96;

    for (HFONT* font : {&gui.paintFont, &gui.paintBoldFont, &gui.controlFont}) {
        if (*font)
            DeleteObject(*font);
        *font = nullptr;
    }
    gui.paintFont = gf_createGuiFont(false, 96);
    gui.paintBoldFont = gf_createGuiFont(true, 96);
    gui.controlFont = gf_createGuiFont(false, gui.dpi);
    if (!gui.paintFont || !gui.paintBoldFont || !gui.controlFont) {
        lf_logErrorNoThrow("Creating GUI fonts failed");
        return false;
    }

    lf_readWindowPosition(gf_parametersXmlPath());

    const auto [width, height] = gui.windowSizeFor(gui.logicalHeight());
    HWND window = CreateWindowExW(0, title, title, MAIN_WINDOW_STYLE, gui.MAIN_WINDOW_X.value,
                                  gui.MAIN_WINDOW_Y.value, width, height, nullptr, nullptr, instance, nullptr);
    gui.hwnd.store(window);
    if (!window)
        return false;

    const uint32_t windowDpi = lf_windowDpi(window);
    gui.rescaleChildren(96, windowDpi);
    lf_replaceControlFont(gui, windowDpi);
    gui.dpi = windowDpi;

    gui.invalidateBands(GuiBands::Resize);
    gui.ensureOnScreen(400, 20);
    gui.postPendingUpdates();
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    return true;
}

int lf_runMessageLoop()
{
    MSG msg;
    for (;;) {
        const BOOL result = GetMessageW(&msg, nullptr, 0, 0);
        if (result == 0)
            return static_cast<int>(msg.wParam);
        if (result == -1) {
            lf_logErrorNoThrow("GetMessageW failed: {}", GetLastError());
            return 0;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

int lf_windowsStartupBody(HINSTANCE instance)
{
    const bool production = lf_isProductionCommandLine(GetCommandLineW());

    wchar_t title[100] = {};
    if (LoadStringW(instance, kStringProgramName, title, 100) == 0) {
        gf_logLine("Failed to load application title");
        return 0;
    }
    if (!lf_registerMainWindowClass(instance, title)) {
        gf_logLine("Failed to register window class");
        return 0;
    }
    try {
        const std::filesystem::path& folder = gf_settingsFolder();
        if (!std::filesystem::exists(folder))
            std::filesystem::create_directories(folder);
    } catch (const std::filesystem::filesystem_error& e) {
        gf_logLine(fmt::format("Failed to create directory: {}", e.what()));
        return 0;
    }
    if (!initInstance(instance, title)) {
        gf_logError("initInstance failed");
        return 0;
    }
    gf_setCommandLineJob(production);
    PostMessageW(Gui::instance().hwnd.load(), MSG_START, 0, 0);
    return lf_runMessageLoop();
}

int lf_windowsStartup(HINSTANCE instance)
{
    try {
        return lf_windowsStartupBody(instance);
    } catch (const std::exception& e) {
        lf_logErrorNoThrow("Windows startup failed: {}", e.what());
    } catch (...) {
        lf_logErrorNoThrow("Windows startup failed with an unknown exception");
    }
    return 0;
}
