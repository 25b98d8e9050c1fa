// The small window that asks the user for a RealTraffic licence or API token.
#include "feed/rt_credential.h"

#include <windows.h>

#include <string>

#include "core/text.h"

namespace {

constexpr wchar_t kClassName[] = L"KeloLicenseTokenDialog";
constexpr int kInputId = 1001;

struct DialogState {
    std::optional<SecretText> result;
    bool done = false;
};

HBRUSH lf_dialogBrush()
{
    static HBRUSH brush = CreateSolidBrush(RGB(153, 204, 255));
    return brush;
}

LRESULT CALLBACK lf_licenseDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
    case WM_CREATE: {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        HINSTANCE inst = cs->hInstance;
        CreateWindowExW(0, L"STATIC", L"License / token:", WS_CHILD | WS_VISIBLE, 16, 18, 110, 22, hwnd, nullptr,
                        inst, nullptr);
        HWND input = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                     WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 16, 44, 360, 24, hwnd,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(kInputId)), inst, nullptr);
        SendMessageW(input, EM_LIMITTEXT, 60, 0);
        CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 214, 86, 78, 26,
                        hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), inst, nullptr);
        CreateWindowExW(0, L"BUTTON", L"Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 298, 86, 78, 26, hwnd,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDCANCEL)), inst, nullptr);
        SetFocus(input);
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK && state) {
            HWND input = GetDlgItem(hwnd, kInputId);
            const int length = GetWindowTextLengthW(input);
            std::wstring text(static_cast<size_t>(length) + 1, L'\0');
            text.resize(static_cast<size_t>(GetWindowTextW(input, text.data(), length + 1)));
            if (!text.empty()) {
                // Straight into wiped memory: no converted copy on the heap.
                const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                      nullptr, 0, nullptr, nullptr);
                if (bytes > 0) {
                    SecretText utf8;
                    utf8.text().resize(static_cast<size_t>(bytes));
                    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.text().data(),
                                        bytes, nullptr, nullptr);
                    state->result = std::move(utf8);
                }
            }
            SecureZeroMemory(text.data(), text.capacity() * sizeof(wchar_t));
            state->done = true;
            DestroyWindow(hwnd);
            return 0;
        }
        if (LOWORD(wParam) == IDCANCEL && state) {
            state->done = true;
            DestroyWindow(hwnd);
            return 0;
        }
        break;
    case WM_CLOSE:
        if (state)
            state->done = true;
        DestroyWindow(hwnd);
        return 0;
    case WM_ACTIVATE:
        // Back to the input whenever the window is activated again: another
        // program may have taken the foreground, and the focus with it.
        if (LOWORD(wParam) != WA_INACTIVE) {
            SetFocus(GetDlgItem(hwnd, kInputId));
            return 0;
        }
        break;
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(lf_dialogBrush());
    case WM_CTLCOLORDLG:
        return reinterpret_cast<LRESULT>(lf_dialogBrush());
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

} // namespace

std::optional<SecretText> gf_askLicenseToken(HWND owner)
{
    HBRUSH brush = lf_dialogBrush();
    HINSTANCE inst = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = lf_licenseDialogProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = brush;
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc); // a second registration fails harmlessly

    DialogState state;
    HWND hwnd = CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, L"RealTraffic license", WS_CAPTION | WS_SYSMENU,
                                CW_USEDEFAULT, CW_USEDEFAULT, 410, 160, owner, nullptr, inst, &state);
    if (!hwnd)
        return std::nullopt;
    if (owner)
        EnableWindow(owner, FALSE);
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    MSG msg;
    while (!state.done) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        if (!IsDialogMessageW(hwnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (IsWindow(hwnd))
        DestroyWindow(hwnd);
    if (owner) {
        EnableWindow(owner, TRUE);
        SetForegroundWindow(owner);
    }
    return std::move(state.result);
}
