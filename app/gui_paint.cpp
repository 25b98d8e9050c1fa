// The window's painting: every heading, caption, number and status light is
// drawn from the display state of Gui, the settings snapshot and a few
// published flags, in logical units of a 900-unit-wide client area.
#include "app/gui.h"

#include <windows.h>

#include <atomic>
#include <limits>
#include <mutex>
#include <shared_mutex>

#include <fmt/format.h>

#include "airports/airport_files.h"
#include "airports/airport_database.h"
#include "airports/park_airports.h"
#include "app/gui_paint.h"
#include "app/user_requests.h"
#include "app/window_links.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/text.h"
#include "core/version_data.h"

namespace {

using namespace gui_colour;

constexpr const char* kProgramName = "Kelo";
constexpr const char* kNotice = "Live traffic by RealTraffic";
constexpr double kInHgPerHpa = 0.029528744564459433;

std::atomic<std::vector<PaintedText>*> paintRecorder{nullptr};

void lf_fill(HDC dc, int left, int top, int right, int bottom, HBRUSH brush)
{
    RECT r{left, top, right, bottom};
    FillRect(dc, &r, brush);
}

void lf_line(HDC dc, HPEN pen, int x0, int y0, int x1, int y1)
{
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
    SelectObject(dc, old);
}

bool lf_simRunningOrStopped(uint8_t state)
{
    return state == 1 || state == 2;
}

// The packed code of the current airport, read under the engine lock.
std::optional<IcaoCode> lf_currentAirportCode()
{
    uint32_t code = 0;
    {
        std::shared_lock lock(engineLock);
        code = CurrentAirport.code;
    }
    if (code == 0)
        return std::nullopt;
    const char text[4] = {static_cast<char>(code >> 24), static_cast<char>(code >> 16), static_cast<char>(code >> 8),
                          static_cast<char>(code)};
    return IcaoCode::tryParse(std::string_view(text, 4));
}

// The off-screen surface of one paint, released however the paint ends.
class OffscreenSurface {
public:
    OffscreenSurface(HDC target, int width, int height)
        : dc(CreateCompatibleDC(target)), bitmap(CreateCompatibleBitmap(target, width, height))
    {
        if (dc && bitmap)
            oldBitmap = SelectObject(dc, bitmap);
    }
    ~OffscreenSurface()
    {
        if (dc && oldBitmap)
            SelectObject(dc, oldBitmap);
        if (bitmap)
            DeleteObject(bitmap);
        if (dc)
            DeleteDC(dc);
    }
    OffscreenSurface(const OffscreenSurface&) = delete;
    OffscreenSurface& operator=(const OffscreenSurface&) = delete;

    const HDC dc;
    const HBITMAP bitmap;

private:
    HGDIOBJ oldBitmap = nullptr;
};

} // namespace

std::vector<PaintedText>* gf_setPaintRecorder(std::vector<PaintedText>* sink)
{
    return paintRecorder.exchange(sink);
}

void Gui::drawText(HDC dc, int x, int y, const std::string& text, uint32_t colour, bool bold)
{
    std::wstring wide;
    try {
        wide = utf8_to_wide(text);
    } catch (const std::exception& e) {
        gf_logNoThrow(fmt::format("TextOut utf8 to wide failed for '{}': {}", text, e.what()));
        return;
    }
    if (auto* recorder = paintRecorder.load())
        recorder->push_back(PaintedText{x, y, text, colour, bold});
    HGDIOBJ oldFont = SelectObject(dc, bold ? paintBoldFont : paintFont);
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(dc, colour);
    const int length = static_cast<int>(std::min<size_t>(wide.size(), std::numeric_limits<int>::max()));
    TextOutW(dc, x, y - 3, wide.c_str(), length);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
}

void Gui::paint(HDC dc)
{
    HWND window = hwnd.load();
    if (!window)
        return;
    RECT client{};
    GetClientRect(window, &client);
    const int width = std::max<int>(client.right - client.left, 1);
    const int height = std::max<int>(client.bottom - client.top, 1);
    const int h = logicalHeight();
    const GuiDisplayState& d = display;

    // Logical units map to pixels by the dpi alone, as the controls and the
    // band invalidation do: a client area cut short by the screen shows less
    // of the window, never a squeezed one.
    const OffscreenSurface surface(dc, width, height);
    if (!surface.dc || !surface.bitmap)
        return;
    HDC mem = surface.dc;
    SetMapMode(mem, MM_ANISOTROPIC);
    SetWindowExtEx(mem, 900, h, nullptr);
    SetViewportExtEx(mem, MulDiv(900, static_cast<int>(dpi), 96), MulDiv(h, static_cast<int>(dpi), 96), nullptr);

    // Backgrounds.
    lf_fill(mem, 0, 0, 900, 96, blackBrush);
    const bool airportBand = !compact || d.airportCode.isSet();
    if (!compact) {
        lf_fill(mem, 0, 96, 900, 640, panelBrush);
        lf_fill(mem, 0, 640, 900, 736, blackBrush);
    } else if (d.airportCode.isSet()) {
        lf_fill(mem, 0, 96, 900, 192, blackBrush);
    }
    const GuiRect message = bandRect(GuiBands::Message);
    lf_fill(mem, message.left, message.top, message.right, message.bottom, darkGreenBrush);

    lf_line(mem, whitePen, 0, 32, 900, 32);
    if (!compact) {
        lf_line(mem, whitePen, 0, 97, 900, 97);
        for (const GuiLine& l : separators)
            lf_line(mem, blackPen, l.x0, l.y, l.x1, l.y);
        lf_line(mem, blackPen, 647, 96, 647, 504);
    }

    // The title strip.
    drawText(mem, 3, 7, fmt::format("Version {}", gf_programVersion()), Green, false);
    drawText(mem, 415, 7, kProgramName, Green, false);
    drawText(mem, 528, 7, kNotice, Green, false);

    // The Expand/Compact button.
    const int s = static_cast<int>(dpi);
    compactButtonRect = GuiRect{MulDiv(765, s, 96), MulDiv(4, s, 96), MulDiv(855, s, 96), MulDiv(30, s, 96)};
    {
        HGDIOBJ oldPen = SelectObject(mem, whitePen);
        HGDIOBJ oldBrush = SelectObject(mem, GetStockObject(NULL_BRUSH));
        Rectangle(mem, 765, 4, 855, 30);
        SelectObject(mem, oldBrush);
        SelectObject(mem, oldPen);
    }
    drawText(mem, 773, 6, compact ? "Expand" : "Compact", Green, false);

    paintHeader(mem);

    const bool connected = gf_realTrafficConnected();
    if (connected && (d.qnhState == GuiReaderState::Fresh || d.qnhState == GuiReaderState::Overdue) &&
        d.qnhValue > 0) {
        drawText(mem, 548, 71,
                 d.qnhInHg ? fmt::format("{:.2F} inHg", d.qnhValue * kInHgPerHpa) : fmt::format("{} hPa", d.qnhValue),
                 Green, false);
    }
    if (connected &&
        (d.liveTrafficState == GuiReaderState::Fresh || d.liveTrafficState == GuiReaderState::Overdue))
        drawText(mem, 785, 71, fmt::format("{:3}", d.liveAircraftCount), Green, false);

    if (!compact)
        paintSettingsPanel(mem);
    if (airportBand)
        paintAirportBand(mem);

    if (!d.stickyError.empty()) {
        lf_fill(mem, message.left, message.top, message.right, message.bottom, redBrush);
        drawText(mem, message.left + 3, message.top + 7, d.stickyError, White, false);
    } else if (!d.timedMessage.empty()) {
        drawText(mem, message.left + 3, message.top + 7, d.timedMessage, White, false);
    }
    if (compact)
        lf_line(mem, whitePen, 0, 96, 900, 96);

    SetMapMode(mem, MM_TEXT);
    BitBlt(dc, 0, 0, width, height, mem, 0, 0, SRCCOPY);
}

void Gui::paintHeader(HDC dc)
{
    const GuiDisplayState& d = display;
    const uint8_t simState = gf_simConnectionState();
    const bool simUp = lf_simRunningOrStopped(simState);

    HBRUSH simBox = redBrush;
    uint32_t stateColour = Red;
    if (simUp && d.flightRunning) {
        simBox = darkGreenBrush;
        stateColour = Green;
    } else if (simUp) {
        simBox = yellowBrush;
        stateColour = Yellow;
    }
    lf_fill(dc, 403, 34, 436, 96, simBox);
    if (simUp) {
        drawText(dc, 5, 39, d.simStatusText, stateColour, false);
        drawText(dc, 222, 39, fmt::format("user stand: {}", d.userStand), stateColour, false);
    } else {
        drawText(dc, 5, 39, "MSFS", Green, false);
    }

    const auto count = [&](int x, const char* label, uint64_t n) {
        if (n == 0)
            drawText(dc, x, 71, fmt::format("{} ...", label), Yellow, false);
        else
            drawText(dc, x, 71, fmt::format("{} {}", label, n), Green, false);
    };
    count(5, "# simaddon:", d.simaddonAirportCount);
    count(167, "# thirdp:", d.thirdpAirportCount);
    if (d.liveryCount == 0)
        drawText(dc, 276, 71, "# liveries: ...", Yellow, false);
    else
        drawText(dc, 276, 71, fmt::format("# livs: {}", d.liveryCount), Green, false);

    const bool connected = gf_realTrafficConnected();
    HBRUSH trafficBox = blackBrush;
    if (!d.trafficBoxBlack) {
        if (!connected)
            trafficBox = redBrush;
        else
            trafficBox = d.liveTrafficState == GuiReaderState::Fresh ? darkGreenBrush : yellowBrush;
    }
    lf_fill(dc, 435, 34, 468, 96, trafficBox);
    if (connected) {
        drawText(dc, 494, 39, d.trafficSourceText, Green, false);
        if (d.qnhState != GuiReaderState::Stopped)
            drawText(dc, 494, 71, "qnh:", d.qnhState == GuiReaderState::Overdue ? Yellow : Green, false);
        if (d.liveTrafficState != GuiReaderState::Stopped)
            drawText(dc, 657, 71, "# live aircraft:",
                     d.liveTrafficState == GuiReaderState::Overdue ? Yellow : Green, false);
    }
    lf_line(dc, blackPen, 435, 33, 435, 96);
}

void Gui::paintSettingsPanel(HDC dc)
{
    const auto p = gf_parametersSnapshot();
    const auto caption = [&](const GuiControl& c, const char* text, uint32_t colour = Black, bool bold = false) {
        drawText(dc, c.captionX, c.rowY, text, colour, bold);
    };
    const auto heading = [&](int x, int y, const char* text) { drawText(dc, x, y, text, Black, true); };
    const auto rowLabel = [&](const GuiControl& c, const char* text) { drawText(dc, 5, c.rowY, text, Black, false); };

    heading(5, 103, "DATA SOURCES");
    rowLabel(SKIP_AIRPORT_SCAN, "airports:");
    caption(SKIP_AIRPORT_SCAN, "skip scan");
    rowLabel(SKIP_LIVERIES_SCAN, "liveries:");
    caption(SKIP_LIVERIES_SCAN, "skip scan");
    caption(LIG_PRIORITIZE, "priority");
    caption(LIG_AUTOMATIC, "automatic");
    heading(657, 103, "CONFIGURATION");

    heading(5, 207, "COLLISION AVOIDANCE");
    caption(COLLISION_USER_GND, "user ground");
    caption(COLLISION_USER_AIR, "user air");
    caption(COLLISION_LIVE_PARKED_GND, "live vs parked");
    heading(657, 207, "MISC");
    caption(RANDOM, "Random", p->RANDOM ? Black : Yellow);
    caption(ALWAYS_ON_TOP, "Stay on top");
    caption(FLIGHT_MESSAGES, "Flight messages");
    caption(AEROWINX, "Aerowinx", gf_isRTDirect() ? Grey : (AEROWINX.value ? Yellow : Black));
    caption(GUID_CHANGES, "GUID changes", p->GUID_CHANGES ? Black : Yellow);
    caption(OBJECTID_LIST, "Objectids", p->OBJECTID_LIST ? Yellow : Black);
    caption(NAV_LIGHTS_WHILE_PARKED, "Nav lights");

    heading(5, 343, "TRAFFIC INJECTION");
    rowLabel(RANGE, "radius:");
    caption(RANGE, "nm");
    caption(AUTO_RANGE, "auto radius");
    const bool bothZero = p->MAX_PARK_SEL == 0 && p->MAX_LIVE_SEL == 0;
    caption(MAX_LIVE_SEL, "max live", bothZero ? Red : (p->MAX_LIVE_SEL == 0 ? Yellow : Black));
    rowLabel(MAX_HOLDING_MINUTES, "taxiing:");
    caption(HOLDING_THRESHOLD_METERS, "max holding mtrs");
    caption(MAX_HOLDING_MINUTES, "max holding minutes");
    caption(MATCHING_DEPTH, "depth:");
    caption(TCAS_FL, "with extra TCAS coverage above this FL");
    rowLabel(LIGHT_AIRCRAFT, "include:");
    caption(TWO_PROPS, "two props");
    caption(LIGHT_AIRCRAFT, "light aircraft");
    caption(HELICOPTERS, "helicopters");
    caption(HIGH_PERF_AIRCRAFT, "fighter jets");

    const bool timeShift = display.timeShiftEnabled;
    drawText(dc, 657, 343, "TIME SHIFT", timeShift ? Black : Grey, timeShift);
    caption(KEEP_SIM_TIME_PAR, "Keep", timeShift ? Black : Grey);
    caption(SIM_TIME, "Sim Time", timeShift ? Black : Grey);
    const auto shiftColour = [&](int32_t v) { return timeShift ? (v > 0 ? Yellow : Black) : Grey; };
    caption(TIME_SHIFT_DAYS, "day", shiftColour(p->TIME_SHIFT_DAYS));
    caption(TIME_SHIFT_HOURS, "hour", shiftColour(p->TIME_SHIFT_HOURS));
    caption(TIME_SHIFT_MINS, "min", shiftColour(p->TIME_SHIFT_MINS));

    heading(5, 511, "PARKING");
    caption(PARKING_INTERVAL_MINUTES, "update interval (min)", Black, true);
    caption(RT_PARKTRAFFIC_ONLY, "RT parked only");
    caption(MAX_FIT_FL, "max fit hrs", (p->RT_PARKTRAFFIC_ONLY || !p->AUTO_PARK) ? Black : Grey);
    caption(MAX_PARK_SEL, "max park", bothZero ? Red : (p->MAX_PARK_SEL == 0 ? Yellow : Black));
    caption(DESTINATION, "destination");
    caption(STAND_SELECTOR, "reserved stand");
    caption(AIRP_RANGE, "range nm");
    caption(AIRP_HEIGHT, "below height");
    caption(parking_percentage, "target % ", p->RT_PARKTRAFFIC_ONLY ? Grey : Black);
    caption(AUTO_PARK, "auto park", p->RT_PARKTRAFFIC_ONLY ? Grey : Black);
    const uint32_t weekSoft = (p->RT_PARKTRAFFIC_ONLY || p->AUTO_PARK) ? Grey : Black;
    caption(WEEK, "week", weekSoft);
    caption(PARK_SOFT, "soft", weekSoft);
}

void Gui::paintAirportBand(HDC dc)
{
    const GuiDisplayState& d = display;
    const int r1 = compact ? 103 : 647;
    const int r2 = compact ? 135 : 679;
    const int r3 = compact ? 167 : 711;

    if (!d.airportCode.isSet()) {
        if (!compact && lf_simRunningOrStopped(gf_simConnectionState()))
            drawText(dc, 5, r1, "No airport within reach", Green, false);
        return;
    }
    drawText(dc, 5, r1, fmt::format("airport: {}", d.airportCode), d.airportFileLoaded ? Green : Yellow, false);
    if (d.airportFileLoaded)
        drawText(dc, 167, r1,
                 fmt::format(" {}   publisher: {}{},  week: {}", d.airportFileInfo, d.publisher,
                             d.publisherHandmade ? " (h)" : "", loadedAirportFileWeek.load()),
                 Green, false);
    if (!d.wingspanKnown)
        drawText(dc, 657, r1, "wingspan user ac unknown?", Yellow, false);

    const bool fileLoaded = airportFileLoaded.load();
    if (parkingGenerating.load()) {
        drawText(dc, 5, r2, "generating parking ...", Yellow, false);
    } else if (fileLoaded && d.nextUpdateMinutes >= 1 && d.nextUpdateMinutes <= 1440) {
        drawText(dc, 5, r2, "next update (min):", Green, false);
        drawText(dc, 167, r2, fmt::format("{}", d.nextUpdateMinutes), Green, false);
    }
    drawText(dc, 440, r2, fmt::format("qf: {}", d.qualityFactorText), Green, false);
    if (fileLoaded) {
        if (const auto code = lf_currentAirportCode()) {
            if (const auto stand = gf_reservedStandOf(*code))
                drawText(dc, 548, r2, fmt::format("reserved stand: {}", *stand), Green, false);
        }
    }
    drawText(dc, 765, r2, fmt::format("# updates: {:4}", d.updateCount), Green, false);

    drawText(dc, 5, r3, fmt::format("# stands: {:3}", d.standCount), Green, false);
    drawText(dc, 167, r3, fmt::format("park live: {:3}", d.parkedLiveCount), Green, false);
    if (d.liveFit > 0)
        drawText(dc, 276, r3, fmt::format("live fit: {}", gf_formatNumber(d.liveFit)), Green, false);
    if (d.maxPark < 1)
        return;
    drawText(dc, 440, r3, fmt::format("static: {:3}", d.staticCount), Green, false);
    if (d.parkingPending != 0)
        drawText(dc, 505, r3, fmt::format(" ({})", d.parkingPending), Yellow, false);
    if (!d.parkedFromRTOnly && d.staticFit > 0)
        drawText(dc, 548, r3, fmt::format("static fit: {}", gf_formatNumber(d.staticFit)), Green, false);
    drawText(dc, 657, r3, fmt::format("max park: {:3} (={} %)", d.maxPark, d.maxParkPercent), Green, false);
}
