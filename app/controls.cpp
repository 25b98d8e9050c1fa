#include "app/controls.h"

#include <knownfolders.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include <fmt/format.h>

#include "airports/airport_database.h"
#include "app/destination.h"
#include "app/gui.h"
#include "core/explorer.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/text.h"

namespace {

constexpr DWORD kCheckBoxStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_CHECKBOX;                 // 0x50010002
constexpr DWORD kComboStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST; // 0x50210003
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP;                                 // 0x50010000
constexpr DWORD kEditStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP;                       // 0x50810000
static_assert(kCheckBoxStyle == 0x50010002 && kComboStyle == 0x50210003 && kButtonStyle == 0x50010000 &&
              kEditStyle == 0x50810000);

// The "button" class's own window procedure, kept once for every check box.
std::atomic<WNDPROC> buttonClassProc{nullptr};

std::atomic<MessageBoxHook> messageBoxHook{nullptr};
std::atomic<FolderDialogFactory> folderDialogFactory{nullptr};

HFONT lf_controlFont()
{
    Gui& gui = Gui::instance();
    return gui.controlFont ? gui.controlFont : gui.paintFont;
}

void lf_setFont(HWND window)
{
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(lf_controlFont()), TRUE);
}

HMENU lf_idMenu(uint16_t id)
{
    return reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id));
}

void lf_remember(HWND control)
{
    if (control)
        Gui::instance().compactModeControls.push_back(control);
}

HWND lf_createDestinationEdit(HWND parent, HINSTANCE instance)
{
    GuiStringParameter& d = DESTINATION;
    HWND edit = CreateWindowExW(0, L"Edit", L"", kEditStyle, d.controlX, d.rowY + d.offsetY, 70, 28, parent,
                                lf_idMenu(d.controlId), instance, nullptr);
    d.window = edit;
    if (!edit)
        return nullptr;
    d.previousWndProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&lf_destinationEditProc)));
    lf_setFont(edit);
    EnableWindow(edit, FALSE);
    return edit;
}

HRESULT lf_defaultFolderDialog(IFileOpenDialog** dialog)
{
    return CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(dialog));
}

// Owns one COM reference; released when it goes out of scope.
template <typename T>
struct ComRef {
    T* p = nullptr;
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef()
    {
        if (p)
            p->Release();
    }
    T** out() { return &p; }
    T* operator->() const { return p; }
};

std::optional<std::filesystem::path> lf_runFolderDialog(HWND owner, const std::filesystem::path& initialFolder)
{
    ComRef<IFileOpenDialog> dialog;
    FolderDialogFactory factory = folderDialogFactory.load();
    if (FAILED((factory ? factory : &lf_defaultFolderDialog)(dialog.out())) || dialog.p == nullptr)
        return std::nullopt;
    FILEOPENDIALOGOPTIONS options = 0;
    if (FAILED(dialog->GetOptions(&options)))
        options = 0;
    if (FAILED(dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST)))
        return std::nullopt;
    ComRef<IShellItem> start;
    if (!initialFolder.empty() &&
        SUCCEEDED(SHCreateItemFromParsingName(initialFolder.c_str(), nullptr, IID_PPV_ARGS(start.out()))) &&
        start.p)
        dialog->SetFolder(start.p);
    if (FAILED(dialog->Show(owner))) // cancelled (0x800704C7) or failed
        return std::nullopt;
    ComRef<IShellItem> item;
    if (FAILED(dialog->GetResult(item.out())) || item.p == nullptr)
        return std::nullopt;
    PWSTR path = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)) || path == nullptr)
        return std::nullopt;
    std::filesystem::path result(path);
    CoTaskMemFree(path);
    return result;
}

} // namespace

MessageBoxHook gf_setMessageBoxHook(MessageBoxHook hook)
{
    return messageBoxHook.exchange(hook);
}

int gf_messageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type)
{
    if (MessageBoxHook hook = messageBoxHook.load())
        return hook(owner, text, caption, type);
    return MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}


FolderDialogFactory gf_setFolderDialogFactory(FolderDialogFactory factory)
{
    return folderDialogFactory.exchange(factory);
}

HWND gf_createCheckBox(CheckBoxParameter& setting, HWND parent, HINSTANCE instance)
{
    HWND box = CreateWindowExW(0, L"button", L"", kCheckBoxStyle, setting.controlX, setting.rowY + setting.offsetY,
                               kCheckBoxSize, kCheckBoxSize, parent, lf_idMenu(setting.controlId), instance, nullptr);
    setting.window = box;
    if (!box)
        return nullptr;
    const auto replaced = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&lf_checkBoxProc)));
    WNDPROC none = nullptr;
    if (replaced != &lf_checkBoxProc)
        buttonClassProc.compare_exchange_strong(none, replaced);
    CheckDlgButton(parent, setting.controlId, setting.value ? BST_CHECKED : BST_UNCHECKED);
    InvalidateRect(box, nullptr, TRUE);
    EnableWindow(box, TRUE);
    return box;
}

HWND gf_createComboBox(GuiControl& control, HWND parent, HINSTANCE instance, int width, int height)
{
    HWND combo = CreateWindowExW(0, L"ComboBox", nullptr, kComboStyle, control.controlX,
                                 control.rowY + control.offsetY, width, height, parent, lf_idMenu(control.controlId),
                                 instance, nullptr);
    control.window = combo;
    if (!combo)
        return nullptr;
    lf_setFont(combo);
    if (height >= 1)
        Gui::instance().comboHeights[combo] = height;
    return combo;
}

HWND gf_createButton(ButtonControl& button, HWND parent, SIZE size)
{
    HWND window = CreateWindowExW(0, L"BUTTON", utf8_to_wide(button.name).c_str(), kButtonStyle, button.controlX,
                                  button.rowY + button.offsetY, size.cx, size.cy, parent, lf_idMenu(button.controlId),
                                  GetModuleHandleW(nullptr), nullptr);
    button.window = window;
    if (window)
        lf_setFont(window);
    return window;
}

void lf_createControls(HWND mainWindow, HINSTANCE instance)
{
    Gui& gui = Gui::instance();
    gui.compactModeControls.clear();
    const SIZE button{kButtonWidth, kButtonHeight};
    const auto check = [&](CheckBoxParameter& p) { lf_remember(gf_createCheckBox(p, mainWindow, instance)); };
    const auto list = [&](GuiControl& c, int w, int h) {
        lf_remember(gf_createComboBox(c, mainWindow, instance, w, h));
    };
    const auto push = [&](ButtonControl& b) { lf_remember(gf_createButton(b, mainWindow, button)); };

    push(TBLO_BUTTON);                                 // 1
    check(SKIP_AIRPORT_SCAN);                          // 2
    check(SKIP_LIVERIES_SCAN);
    check(LIG_PRIORITIZE);
    check(LIG_AUTOMATIC);                              // 5
    list(AI_PACKAGE_SELECTOR, 200, 300);
    list(RT_CHOISE, 110, 80);
    list(QNH_UNIT, 110, 80);
    list(SIM_CHOICE, 110, 80);
    list(ALL_AIR_GND_SELECTOR, 135, 200);              // 10
    push(AIRCRAFT_BUTTON);
    list(AIRCRAFT_SELECTOR, 400, 300);
    push(BLOCK_BUTTON);
    push(UNBLOCK_BUTTON);
    check(COLLISION_USER_GND);                         // 15
    check(COLLISION_USER_AIR);
    check(COLLISION_LIVE_PARKED_GND);
    list(RANGE, 70, 200);
    check(AUTO_RANGE);
    list(MAX_LIVE_SEL, 70, 144);                       // 20
    list(HOLDING_THRESHOLD_METERS, 70, 200);
    list(MAX_HOLDING_MINUTES, 70, 200);
    check(TWO_PROPS);
    check(LIGHT_AIRCRAFT);
    check(HELICOPTERS);                                // 25
    check(HIGH_PERF_AIRCRAFT);
    list(MATCHING_DEPTH, 70, 120);
    list(TCAS_FL, 70, 200);
    list(PARKING_INTERVAL_MINUTES, 70, 200);
    lf_remember(lf_createDestinationEdit(mainWindow, instance)); // 30
    list(STAND_SELECTOR, 170, 300);
    list(AIRP_RANGE, 70, 144);
    list(AIRP_HEIGHT, 90, 230);
    check(RT_PARKTRAFFIC_ONLY);
    list(MAX_FIT_FL, 70, 300);                         // 35
    list(MAX_PARK_SEL, 70, 144);
    list(parking_percentage, 70, 200);
    check(AUTO_PARK);
    check(WEEK);
    check(PARK_SOFT);                                  // 40
    push(PARK_BUTTON);
    push(FLUSH_BUTTON);
    check(RANDOM);
    check(ALWAYS_ON_TOP);
    check(FLIGHT_MESSAGES);                            // 45
    check(AEROWINX);
    check(GUID_CHANGES);
    check(OBJECTID_LIST);
    check(NAV_LIGHTS_WHILE_PARKED);
    list(TIME_SHIFT_DAYS, 70, 200);                    // 50
    push(SET_BUTTON);
    check(SIM_TIME);
    list(TIME_SHIFT_HOURS, 70, 200);
    check(KEEP_SIM_TIME_PAR);
    list(TIME_SHIFT_MINS, 70, 300);                    // 55

    gui.enqueueUpdate(GuiUpdate::Repaint{GuiBands::StatusPanel});
    {
        std::unique_lock lock(engineLock);
        CurrentAirport = CurrentAirportRecord{};
    }
    gui.enqueueUpdate(GuiUpdate::SetCompact{COLLAPSED.value});
}

void lf_paintCheckBox(HWND hwnd, HDC dc)
{
    RECT rc{};
    GetClientRect(hwnd, &rc);
    const int savedDc = SaveDC(dc);
    HBRUSH background = CreateSolidBrush(RGB(153, 204, 255));
    FillRect(dc, &rc, background);
    DeleteObject(background);

    const bool enabled = IsWindowEnabled(hwnd) != FALSE;
    HPEN framePen = CreatePen(PS_SOLID, 1, enabled ? RGB(96, 96, 96) : RGB(160, 160, 160));
    HBRUSH fill = CreateSolidBrush(enabled ? RGB(255, 255, 255) : RGB(240, 240, 240));
    SelectObject(dc, framePen);
    SelectObject(dc, fill);
    Rectangle(dc, rc.left, rc.top, rc.right, rc.bottom);

    HPEN tickPen = nullptr;
    if (SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED) {
        UINT dpi = GetDpiForWindow(hwnd);
        if (dpi == 0)
            dpi = 96;
        const int width = std::max(MulDiv(2, static_cast<int>(dpi), 96), 1);
        tickPen = CreatePen(PS_SOLID, width, enabled ? RGB(0, 0, 0) : RGB(128, 128, 128));
        SelectObject(dc, tickPen);
        const int w = rc.right - rc.left;
        const int h = rc.bottom - rc.top;
        MoveToEx(dc, w / 5, h / 2, nullptr);
        LineTo(dc, 2 * w / 5, 3 * h / 4);
        LineTo(dc, 4 * w / 5, h / 4);
    }
    RestoreDC(dc, savedDc);
    DeleteObject(framePen);
    DeleteObject(fill);
    if (tickPen)
        DeleteObject(tickPen);
}

LRESULT CALLBACK lf_checkBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        if (message == WM_PAINT) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (dc)
                lf_paintCheckBox(hwnd, dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        if (message == WM_ERASEBKGND)
            return 1;
        WNDPROC base = buttonClassProc.load();
        const LRESULT result =
            base ? CallWindowProcW(base, hwnd, message, wParam, lParam) : DefWindowProcW(hwnd, message, wParam, lParam);
        if (message == WM_ENABLE || message == BM_SETCHECK) {
            InvalidateRect(hwnd, nullptr, TRUE);
            UpdateWindow(hwnd);
        }
        return result;
    } catch (const std::exception& e) {
        gf_logNoThrow(fmt::format("lf_checkBoxProc exception {}", e.what()));
    } catch (...) {
        gf_logNoThrow("lf_checkBoxProc unknown exception");
    }
    return 0;
}

std::optional<std::filesystem::path> gf_pickFolder(HWND owner, const std::filesystem::path& initialFolder)
{
    const bool comInitialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    // Every interface is released inside the dialog run, before COM goes.
    std::optional<std::filesystem::path> result;
    try {
        result = lf_runFolderDialog(owner, initialFolder);
    } catch (const std::exception& e) {
        gf_logNoThrow(fmt::format("Folder picker failed: {}", e.what()));
    }
    if (comInitialised)
        CoUninitialize();
    return result;
}
