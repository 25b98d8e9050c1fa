// The stand-in simulator's map window (see map_window.h).
#include "standins/simconnect/map_window.h"

#include <windows.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>

#include "core/text.h"
#include "standins/simconnect/sim_model.h"

namespace kvr::standin {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr UINT_PTR kRepaintTimer = 1;

// Never destroyed, like the simulator itself: a program that ends without
// closing the map still has a joinable thread here, and destroying that at
// exit would end the program with std::terminate.
std::thread& l_thread = *new std::thread;
std::atomic<HWND> l_window{nullptr};
std::atomic<DWORD> l_threadId{0};
std::atomic<bool> l_running{false};
std::atomic<bool> l_stop{false};
double l_rangeNm = 3.0;

struct Projection {
    double lat0 = 0, lon0 = 0, scale = 1, cx = 0, cy = 0;
    POINT at(double lat, double lon) const
    {
        const double x = (lon - lon0) * std::cos(lat0 * kPi / 180.0) * 60.0;
        const double y = (lat - lat0) * 60.0;
        return POINT{static_cast<LONG>(cx + x * scale), static_cast<LONG>(cy - y * scale)};
    }
};

double lf_num(const nlohmann::json& j, const char* key, double fallback = 0.0)
{
    const auto it = j.find(key);
    return it != j.end() && it->is_number() ? it->get<double>() : fallback;
}

// A point moved by metres east and north (flat, fine for an airport).
std::pair<double, double> lf_offset(double lat, double lon, double east, double north)
{
    return {lat + north / 1852.0 / 60.0, lon + east / 1852.0 / 60.0 / std::cos(lat * kPi / 180.0)};
}

void lf_text(HDC dc, POINT p, const std::string& text, COLORREF color)
{
    SetTextColor(dc, color);
    const std::wstring wide = utf8_to_wide(text);
    TextOutW(dc, p.x + 6, p.y - 6, wide.c_str(), static_cast<int>(wide.size()));
}

void lf_paint(HWND hwnd, HDC dc)
{
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    FrameRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH))); // the edge shows without a frame too
    SetBkMode(dc, TRANSPARENT);
    const Sim::Snapshot s = sim().snapshot();
    Projection p;
    const nlohmann::json* airport = s.airports.empty() ? nullptr : &s.airports[0];
    p.lat0 = airport ? lf_num(*airport, "lat") : s.user.v[size_t(Var::Latitude)];
    p.lon0 = airport ? lf_num(*airport, "lon") : s.user.v[size_t(Var::Longitude)];
    p.cx = (rc.right - rc.left) / 2.0;
    p.cy = (rc.bottom - rc.top) / 2.0;
    p.scale = std::min(p.cx, p.cy) / std::max(0.1, l_rangeNm);

    HPEN runwayPen = CreatePen(PS_SOLID, 5, RGB(110, 110, 110));
    HPEN standPen = CreatePen(PS_SOLID, 1, RGB(230, 200, 40));
    HPEN aiPen = CreatePen(PS_SOLID, 2, RGB(60, 160, 255));
    HPEN userPen = CreatePen(PS_SOLID, 2, RGB(255, 70, 70));
    HGDIOBJ oldPen = SelectObject(dc, runwayPen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    if (airport) {
        const nlohmann::json facility = airport->value("facility", nlohmann::json::object());
        for (const auto& r : facility.value("RUNWAY", nlohmann::json::array())) {
            const double h = lf_num(r, "HEADING") * kPi / 180.0, half = lf_num(r, "LENGTH") / 2.0;
            const auto a = lf_offset(lf_num(r, "LATITUDE"), lf_num(r, "LONGITUDE"), -std::sin(h) * half, -std::cos(h) * half);
            const auto b = lf_offset(lf_num(r, "LATITUDE"), lf_num(r, "LONGITUDE"), std::sin(h) * half, std::cos(h) * half);
            const POINT pa = p.at(a.first, a.second), pb = p.at(b.first, b.second);
            MoveToEx(dc, pa.x, pa.y, nullptr);
            LineTo(dc, pb.x, pb.y);
        }
        SelectObject(dc, standPen);
        for (const auto& stand : facility.value("TAXI_PARKING", nlohmann::json::array())) {
            const auto at = lf_offset(p.lat0, p.lon0, lf_num(stand, "BIAS_X"), lf_num(stand, "BIAS_Z"));
            const POINT q = p.at(at.first, at.second);
            Ellipse(dc, q.x - 3, q.y - 3, q.x + 4, q.y + 4);
        }
        for (const auto& pad : facility.value("HELIPAD", nlohmann::json::array())) {
            const POINT q = p.at(lf_num(pad, "LATITUDE"), lf_num(pad, "LONGITUDE"));
            Rectangle(dc, q.x - 4, q.y - 4, q.x + 5, q.y + 5);
        }
        lf_text(dc, POINT{-2, 10}, "Stand-in simulator: " + airport->value("icao", std::string{}), RGB(200, 200, 200));
    }
    SelectObject(dc, aiPen);
    for (const SimObject& o : s.objects) {
        const POINT q = p.at(o.v[size_t(Var::Latitude)], o.v[size_t(Var::Longitude)]);
        Ellipse(dc, q.x - 4, q.y - 4, q.x + 5, q.y + 5);
        lf_text(dc, q, o.tail, RGB(160, 210, 255));
    }
    SelectObject(dc, userPen);
    const POINT u = p.at(s.user.v[size_t(Var::Latitude)], s.user.v[size_t(Var::Longitude)]);
    const double h = s.user.v[size_t(Var::Heading)] * kPi / 180.0;
    MoveToEx(dc, u.x, u.y, nullptr);
    LineTo(dc, u.x + static_cast<int>(12 * std::sin(h)), u.y - static_cast<int>(12 * std::cos(h)));
    Ellipse(dc, u.x - 5, u.y - 5, u.x + 6, u.y + 6);
    lf_text(dc, u, s.user.title, RGB(255, 140, 140));
    const std::wstring count = L"AI objects: " + std::to_wstring(s.objects.size());
    SetTextColor(dc, RGB(200, 200, 200));
    TextOutW(dc, 4, 28, count.c_str(), static_cast<int>(count.size()));
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    for (HPEN pen : {runwayPen, standPen, aiPen, userPen})
        DeleteObject(pen);
}

LRESULT CALLBACK lf_wndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_TIMER:
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        // Drawn off screen, then copied: no flicker.
        HDC mem = CreateCompatibleDC(dc);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, rc.right, rc.bottom);
        HGDIOBJ old = SelectObject(mem, bitmap);
        lf_paint(hwnd, mem);
        BitBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        DeleteObject(bitmap);
        DeleteDC(mem);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_DESTROY:
        KillTimer(hwnd, kRepaintTimer);
        l_window = nullptr;
        PostQuitMessage(0);
        return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

void lf_windowThread()
{
    HINSTANCE instance = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&lf_wndProc), &instance);
    WNDCLASSW wc{};
    wc.lpfnWndProc = lf_wndProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"KeloSimMap";
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowW(L"KeloSimMap", L"Stand-in simulator", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 660, 0, 600,
                              600, nullptr, nullptr, instance, nullptr);
    if (!hwnd)
        return;
    l_window = hwnd;
    if (l_stop) {
        DestroyWindow(hwnd);
        return;
    }
    SetTimer(hwnd, kRepaintTimer, 250, nullptr);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    l_window = nullptr;
}

} // namespace

void gf_openMapWindow(double rangeNm)
{
    if (l_thread.joinable())
        return;
    l_rangeNm = rangeNm;
    l_stop = false;
    l_running = true;
    l_thread = std::thread([] {
        l_threadId = GetCurrentThreadId();
        lf_windowThread();
        l_running = false;
    });
}

void gf_closeMapWindow()
{
    if (!l_thread.joinable())
        return;
    l_stop = true;
    // The thread may not have its window (or even its message queue) yet.
    while (l_running) {
        if (HWND hwnd = l_window.load())
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
        else if (const DWORD id = l_threadId.load())
            PostThreadMessageW(id, WM_QUIT, 0, 0);
        Sleep(10);
    }
    l_thread.join();
    l_threadId = 0;
}

bool gf_isMapWindowOpen() { return l_window.load() != nullptr; }

} // namespace kvr::standin
