// Program entry point: one instance, the log, the settings and a window.
#include <windows.h>

#include <exception>
#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "core/layout.h"
#include "core/log.h"
#include "core/parameters_file.h"
#include "core/text.h"

namespace {

LRESULT CALLBACK lf_wndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Local\\$Kelo$");
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return -1;
    }
    try {
        gf_openLog();
        std::error_code ec;
        std::filesystem::create_directories(gf_settingsFolder(), ec);
        if (ec)
            gf_logError(fmt::format("Could not create {}: {}", wide_to_utf8(gf_settingsFolder().wstring()),
                                    ec.message()));
        const bool fresh = gf_loadParametersFile();
        gf_logLineFlush(fmt::format("Settings {} from {}", fresh ? "created" : "loaded", gf_parametersXmlPathUtf8()));
    } catch (const std::exception& e) {
        gf_logNoThrow(fmt::format("Windows startup failed: {}", e.what()));
    }

    WNDCLASSW wc{};
    wc.lpfnWndProc = lf_wndProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"KeloMainWindow";
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowW(L"KeloMainWindow", L"Kelo", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                              640, 480, nullptr, nullptr, instance, nullptr);
    if (hwnd) {
        ShowWindow(hwnd, show);
        MSG m;
        while (GetMessageW(&m, nullptr, 0, 0) > 0) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
    }
    gf_closeLog();
    if (mutex)
        CloseHandle(mutex);
    return hwnd ? 0 : 1;
}
