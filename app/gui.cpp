#include "app/gui.h"

#include <windows.h>

#include <fmt/format.h>

#include "airports/airport_state.h"
#include "app/gui_jobs.h"
#include "app/main_task.h"
#include "core/log.h"
#include "core/ui_sink.h"

namespace {

constexpr int kFullHeight = 768;
constexpr int kCompactHeightWithAirport = 224;
constexpr int kCompactHeightWithoutAirport = 128;
constexpr int kLogicalWidth = 900;

// An ordered comparison: a NaN always counts as changed.
bool floatChanged(float oldValue, float newValue) noexcept
{
    return !(oldValue == newValue);
}

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

AdjustForDpiFn adjustWindowRectExForDpi()
{
    static const AdjustForDpiFn fn = [] {
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        return user32 ? reinterpret_cast<AdjustForDpiFn>(
                            reinterpret_cast<void*>(GetProcAddress(user32, "AdjustWindowRectExForDpi")))
                      : nullptr;
    }();
    return fn;
}

using TimePoint = std::chrono::steady_clock::time_point;

// The rules of the message band, kept once for the display state and for the
// senders' copy of it (Gui::SentMessages); each returns whether the band changed.
template <class S>
void lf_clearTimed(S& s) noexcept
{
    s.timedMessage.clear();
    s.messageShowing = false;
}

// Kind 35; `shown` tells whether the message is taken (and so logged when asked).
template <class S>
bool lf_takeMessage(S& s, std::string text, TimePoint now, bool& shown)
{
    shown = s.stickyError.empty();
    if (!shown)
        return false;
    const bool same = text == s.timedMessage;
    s.timedMessage = std::move(text);
    if (s.timedMessage.empty()) {
        s.messageShowing = false;
    } else {
        s.messageExpiry = now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(Gui::MessageLifetime);
        s.messageShowing = true;
    }
    return !same;
}

// Kind 36; a change is also what is logged.
template <class S>
bool lf_takeError(S& s, std::string text)
{
    if (s.timedMessage.empty() && text == s.stickyError)
        return false;
    lf_clearTimed(s);
    s.stickyError = std::move(text);
    return true;
}

// Kinds 5, 24, 37, 38 and the message band's part of 39.
template <class S>
bool lf_expireMessage(S& s, TimePoint now) noexcept
{
    if (!s.messageShowing || now < s.messageExpiry)
        return false;
    lf_clearTimed(s);
    return true;
}
template <class S>
bool lf_clearMessageUnlessError(S& s) noexcept
{
    if (!s.stickyError.empty() || s.timedMessage.empty())
        return false;
    lf_clearTimed(s);
    return true;
}
template <class S>
bool lf_clearError(S& s) noexcept
{
    if (s.stickyError.empty())
        return false;
    s.stickyError.clear();
    return true;
}

// What the rest of the program asks of the window: the updates, the posted
// requests, the owner of a dialog and the window position.
class GuiSink final : public UiSink {
public:
    void enqueueUpdate(GuiUpdate&& update) noexcept override { Gui::instance().enqueueUpdate(std::move(update)); }
    void clearMessage() override
    {
        if (tbloReady.load())
            gf_showTbloHint();
        else
            Gui::instance().enqueueUpdate(GuiUpdate::ClearMessage{});
    }
    void postRequest(WindowRequest request) noexcept override
    {
        if (request != WindowRequest::SwitchSim)
            return;
        if (HWND window = Gui::instance().hwnd.load())
            PostMessageW(window, MSG_SWITCH_SIM, 0, 0);
    }
    void* ownerWindow() noexcept override { return Gui::instance().hwnd.load(); }
    IntParameter* windowX() override { return &Gui::instance().MAIN_WINDOW_X; }
    IntParameter* windowY() override { return &Gui::instance().MAIN_WINDOW_Y; }
    void runOnGuiThread(std::function<void()> job) override { gf_runOnGuiThread(std::move(job)); }
};

GuiSink g_guiSink;
// Registered during static start-up, before any settings are loaded.
[[maybe_unused]] const bool g_guiSinkRegistered = (gf_setUiSink(&g_guiSink), true);

} // namespace

Gui::Gui()
{
    redBrush = CreateSolidBrush(RGB(255, 0, 0));
    panelBrush = CreateSolidBrush(RGB(153, 204, 255));
    blackBrush = CreateSolidBrush(RGB(0, 0, 0));
    greenBrush = CreateSolidBrush(RGB(50, 210, 50));
    darkGreenBrush = CreateSolidBrush(RGB(25, 150, 25));
    yellowBrush = CreateSolidBrush(RGB(255, 255, 0));
    whiteBrush = CreateSolidBrush(RGB(255, 255, 255));
    blackPen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    whitePen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
}

Gui::~Gui()
{
    stop();
    HWND window = hwnd.exchange(nullptr);
    if (window && IsWindow(window))
        DestroyWindow(window);
    for (HFONT* font : {&controlFont, &paintFont, &paintBoldFont}) {
        if (*font)
            DeleteObject(*font);
        *font = nullptr;
    }
    for (HBRUSH* brush :
         {&redBrush, &panelBrush, &blackBrush, &greenBrush, &darkGreenBrush, &yellowBrush, &whiteBrush}) {
        if (*brush)
            DeleteObject(*brush);
        *brush = nullptr;
    }
    for (HPEN* pen : {&blackPen, &whitePen}) {
        if (*pen)
            DeleteObject(*pen);
        *pen = nullptr;
    }
}

Gui& Gui::instance()
{
    static Gui gui;
    return gui;
}

bool Gui::onGuiThread() const noexcept
{
    const uint32_t id = guiThreadId.load();
    return id != 0 && id == GetCurrentThreadId();
}

void Gui::enqueueUpdate(GuiUpdate&& update) noexcept
{
    if (stopped.load())
        return;

    if (onGuiThread()) {
        try {
            {
                std::lock_guard lock(queueMutex);
                logAsSent(update);
            }
            invalidateBands(applyUpdate(std::move(update)));
        } catch (...) {
            OutputDebugStringW(L"Gui::applyUpdate failed\n");
        }
        return;
    }

    try {
        {
            std::lock_guard lock(queueMutex);
            if (stopped.load())
                return;
            logAsSent(update);
            queue.push_back(std::move(update));
        }
        if (hwnd.load() == nullptr)
            return; // waits until the window exists
        if (updatePosted.exchange(true))
            return; // one drain message serves every queued update
        postDrainMessage();
    } catch (...) {
        OutputDebugStringW(L"Gui::enqueueUpdate failed\n");
    }
}

void Gui::postDrainMessage() noexcept
{
    HWND window = hwnd.load();
    if (!window || !PostMessageW(window, MSG_GUI_UPDATE, 0, 0))
        updatePosted.store(false); // the next update tries again
}

void Gui::postPendingUpdates()
{
    std::lock_guard lock(queueMutex);
    if (queue.empty() || stopped.load() || hwnd.load() == nullptr)
        return;
    updatePosted.store(true);
    postDrainMessage();
}

size_t Gui::pendingUpdateCount() const
{
    std::lock_guard lock(queueMutex);
    return queue.size();
}

uint8_t Gui::drainUpdates()
{
    std::deque<GuiUpdate> local;
    {
        std::lock_guard lock(queueMutex);
        local.swap(queue);
        updatePosted.store(false);
    }
    uint8_t bands = 0;
    for (GuiUpdate& update : local) {
        if (stopped.load())
            break;
        try {
            bands |= applyUpdate(std::move(update));
        } catch (...) {
            OutputDebugStringW(L"Gui::applyUpdate failed\n");
        }
    }
    invalidateBands(bands);
    return bands;
}

void Gui::stop()
{
    stopped.store(true);
    std::lock_guard lock(queueMutex);
    queue.clear();
    updatePosted.store(false);
}

void Gui::attachGuiThread()
{
    guiThreadId.store(GetCurrentThreadId());
    stopped.store(false);
    comboHeights.clear();
}

void Gui::logAsSent(const GuiUpdate& update)
{
    SentMessages& s = sentMessages;
    using U = GuiUpdate;
    if (auto* m = std::get_if<U::Message>(&update.payload)) {
        bool shown = false;
        lf_takeMessage(s, m->text, std::chrono::steady_clock::now(), shown);
        if (shown && m->log && !m->text.empty())
            gf_logLine(m->text);
    } else if (auto* e = std::get_if<U::Error>(&update.payload)) {
        if (lf_takeError(s, e->text))
            gf_logLine(fmt::format("Error {}", e->text));
    } else if (std::holds_alternative<U::CheckMessageExpiry>(update.payload)) {
        lf_expireMessage(s, std::chrono::steady_clock::now());
    } else if (std::holds_alternative<U::AirportFileInfo>(update.payload)) {
        if (s.stickyError.empty())
            lf_clearTimed(s);
    } else if (std::holds_alternative<U::ClearMessage>(update.payload)) {
        lf_clearMessageUnlessError(s);
    } else if (std::holds_alternative<U::ClearError>(update.payload)) {
        lf_clearError(s);
    } else if (std::holds_alternative<U::ResetStatus>(update.payload)) {
        lf_clearTimed(s);
        s.stickyError.clear();
    }
}

uint8_t Gui::applyUpdate(GuiUpdate&& update)
{
    return applyUpdate(std::move(update), std::chrono::steady_clock::now());
}

uint8_t Gui::applyUpdate(GuiUpdate&& update, std::chrono::steady_clock::time_point now)
{
    GuiDisplayState& d = display;
    using U = GuiUpdate;
    return std::visit(
        Overloaded{
            [&](U::SetCompact& u) -> uint8_t {
                setCompact(u.compact);
                return GuiBands::Resize;
            },
            [&](U::ToggleCompact&) -> uint8_t {
                setCompact(!compact);
                return GuiBands::Resize;
            },
            [&](U::StayOnTop& u) -> uint8_t {
                if (HWND window = hwnd.load())
                    SetWindowPos(window, u.topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                                 SWP_NOMOVE | SWP_NOSIZE);
                return GuiBands::None;
            },
            [&](U::Minimize&) -> uint8_t {
                if (HWND window = hwnd.load())
                    ShowWindow(window, SW_MINIMIZE);
                return GuiBands::None;
            },
            [&](U::Repaint& u) -> uint8_t { return u.bands; },
            [&](U::CheckMessageExpiry&) -> uint8_t {
                return lf_expireMessage(d, now) ? GuiBands::Message : GuiBands::None;
            },
            [&](U::ShowTrafficBox&) -> uint8_t {
                d.trafficBoxBlack = false;
                return GuiBands::Header;
            },
            [&](U::ParkingPending& u) -> uint8_t {
                d.parkingPending = u.count;
                return GuiBands::Airport;
            },
            [&](U::LiveTrafficState& u) -> uint8_t {
                const bool changed = d.liveTrafficState != u.state;
                d.liveTrafficState = u.state;
                return changed ? GuiBands::Header : GuiBands::None;
            },
            [&](U::Block9& u) -> uint8_t {
                d.block9 = u.bytes;
                return GuiBands::Header;
            },
            [&](U::QnhState& u) -> uint8_t {
                const bool changed = d.qnhState != u.state;
                d.qnhState = u.state;
                return changed ? GuiBands::Header : GuiBands::None;
            },
            [&](U::TrafficSource& u) -> uint8_t {
                d.trafficSourceText = std::move(u.text);
                return GuiBands::Header;
            },
            [&](U::SimStatus& u) -> uint8_t {
                d.simStatusText = std::move(u.text);
                return GuiBands::Header;
            },
            [&](U::FlightRunning& u) -> uint8_t {
                d.flightRunning = u.running;
                return GuiBands::Header;
            },
            [&](U::LiveryCount& u) -> uint8_t {
                d.liveryCount = u.count;
                return GuiBands::Header;
            },
            [&](U::SimaddonAirports& u) -> uint8_t {
                d.simaddonAirportCount = u.count;
                return GuiBands::Header;
            },
            [&](U::ThirdpAirports& u) -> uint8_t {
                d.thirdpAirportCount = u.count;
                return GuiBands::Header;
            },
            [&](U::WingspanKnown& u) -> uint8_t {
                d.wingspanKnown = u.known;
                return GuiBands::Airport;
            },
            [&](U::LiveAircraftCount& u) -> uint8_t {
                const bool changed = d.liveAircraftCount != u.count;
                d.liveAircraftCount = u.count;
                return changed ? GuiBands::Header : GuiBands::None;
            },
            [&](U::StandCount& u) -> uint8_t {
                d.standCount = u.count;
                return GuiBands::Airport;
            },
            [&](U::ParkCounts& u) -> uint8_t {
                const bool changed = d.parkedLiveCount != u.parkedLive || d.staticCount != u.staticCount;
                d.parkedLiveCount = u.parkedLive;
                d.staticCount = u.staticCount;
                return changed ? GuiBands::Airport : GuiBands::None;
            },
            [&](U::MaxPark& u) -> uint8_t {
                d.maxPark = u.count;
                d.maxParkPercent = u.percent;
                return GuiBands::Airport;
            },
            [&](U::QualityFactor& u) -> uint8_t {
                d.qualityFactorText = std::move(u.text);
                return GuiBands::Airport;
            },
            [&](U::AirportCode& u) -> uint8_t {
                const bool hadAirport = d.airportCode.isSet();
                d.airportCode = u.code;
                if (compact && hadAirport != d.airportCode.isSet())
                    return GuiBands::Resize;
                return GuiBands::Airport;
            },
            [&](U::AirportFileInfo& u) -> uint8_t {
                d.airportFileLoaded = u.loaded;
                d.airportFileInfo = std::move(u.text);
                if (d.stickyError.empty())
                    lf_clearTimed(d);
                return GuiBands::Airport | GuiBands::Message;
            },
            [&](U::NextUpdate& u) -> uint8_t {
                d.nextUpdateMinutes = static_cast<int32_t>(u.minutes);
                return GuiBands::Airport;
            },
            [&](U::ParkedFromRTOnly& u) -> uint8_t {
                d.parkedFromRTOnly = u.rtOnly;
                return GuiBands::Airport;
            },
            [&](U::QnhValue& u) -> uint8_t {
                d.qnhValue = static_cast<int32_t>(u.hpa);
                if (d.qnhState == GuiReaderState::Overdue)
                    d.qnhState = GuiReaderState::Fresh;
                return GuiBands::Header;
            },
            [&](U::QnhUnit& u) -> uint8_t {
                const bool changed = d.qnhInHg != u.inHg;
                d.qnhInHg = u.inHg;
                return changed ? GuiBands::Header : GuiBands::None;
            },
            [&](U::Publisher& u) -> uint8_t {
                d.publisher = std::move(u.name);
                d.publisherHandmade = u.handmade;
                return GuiBands::Airport;
            },
            [&](U::UpdateCount& u) -> uint8_t {
                const bool changed = d.updateCount != u.count;
                d.updateCount = u.count;
                return changed ? GuiBands::Airport : GuiBands::None;
            },
            [&](U::StaticFit& u) -> uint8_t {
                const bool changed = floatChanged(d.staticFit, u.value);
                d.staticFit = u.value;
                return changed ? GuiBands::Airport : GuiBands::None;
            },
            [&](U::LiveFit& u) -> uint8_t {
                const bool changed = floatChanged(d.liveFit, u.value);
                d.liveFit = u.value;
                return changed ? GuiBands::Airport : GuiBands::None;
            },
            [&](U::UserStand& u) -> uint8_t {
                const bool changed = d.userStand != u.stand;
                d.userStand = std::move(u.stand);
                return changed ? GuiBands::Header : GuiBands::None;
            },
            [&](U::DisableTimeShift&) -> uint8_t {
                d.timeShiftEnabled = false;
                return GuiBands::StatusPanel;
            },
            // The log lines of messages and errors were written when they were sent.
            [&](U::Message& u) -> uint8_t {
                bool shown = false;
                return lf_takeMessage(d, std::move(u.text), now, shown) ? GuiBands::Message : GuiBands::None;
            },
            [&](U::Error& u) -> uint8_t {
                return lf_takeError(d, std::move(u.text)) ? GuiBands::Message : GuiBands::None;
            },
            [&](U::ClearMessage&) -> uint8_t {
                return lf_clearMessageUnlessError(d) ? GuiBands::Message : GuiBands::None;
            },
            [&](U::ClearError&) -> uint8_t { return lf_clearError(d) ? GuiBands::Message : GuiBands::None; },
            [&](U::ResetStatus&) -> uint8_t { return resetStatus(); },
        },
        update.payload);
}

uint8_t Gui::resetStatus()
{
    GuiDisplayState& d = display;
    const bool hadAirport = d.airportCode.isSet();

    GuiDisplayState fresh;
    // Kept across a reset.
    fresh.messageExpiry = d.messageExpiry;
    fresh.simaddonAirportCount = d.simaddonAirportCount;
    fresh.thirdpAirportCount = d.thirdpAirportCount;
    fresh.liveryCount = d.liveryCount;
    fresh.maxParkPercent = d.maxParkPercent;
    fresh.nextUpdateMinutes = d.nextUpdateMinutes;
    fresh.parkingPending = d.parkingPending;
    fresh.qnhInHg = d.qnhInHg;
    fresh.block9 = d.block9;
    d = std::move(fresh);
    parkedFromRTOnlyNow.store(false);

    uint8_t bands = GuiBands::Header | GuiBands::StatusPanel | GuiBands::Airport | GuiBands::Message;
    // A compact window that loses its airport must shrink as well, or the old
    // airport band would stay on show below the message line.
    if (compact && hadAirport)
        bands |= GuiBands::Resize;
    return bands;
}

void Gui::clearDisplay()
{
    display = GuiDisplayState{};
    std::lock_guard lock(queueMutex);
    sentMessages = SentMessages{};
}

void Gui::setCompact(bool value)
{
    compact = value;
    for (HWND control : compactModeControls) {
        if (control && IsWindow(control))
            ShowWindow(control, value ? SW_HIDE : SW_SHOW);
    }
}

int Gui::logicalHeight() const noexcept
{
    if (!compact)
        return kFullHeight;
    return display.airportCode.isSet() ? kCompactHeightWithAirport : kCompactHeightWithoutAirport;
}

GuiRect Gui::bandRect(uint8_t bandBit) const noexcept
{
    const bool airport = display.airportCode.isSet();
    switch (bandBit) {
    case GuiBands::Header:
        return {0, 32, kLogicalWidth, 96};
    case GuiBands::StatusPanel:
        return {0, 96, kLogicalWidth, 640};
    case GuiBands::Airport:
        if (!compact)
            return {0, 640, kLogicalWidth, 736};
        return airport ? GuiRect{0, 96, kLogicalWidth, 192} : GuiRect{};
    case GuiBands::Message:
        if (!compact)
            return {0, 736, kLogicalWidth, 768};
        return airport ? GuiRect{0, 192, kLogicalWidth, 224} : GuiRect{0, 96, kLogicalWidth, 128};
    default:
        return {};
    }
}

std::pair<int, int> Gui::windowSizeFor(int logicalClientHeight) const
{
    RECT rect{0, 0, MulDiv(kLogicalWidth, static_cast<int>(dpi), 96),
              MulDiv(logicalClientHeight, static_cast<int>(dpi), 96)};
    bool adjusted = false;
    if (AdjustForDpiFn fn = adjustWindowRectExForDpi())
        adjusted = fn(&rect, MAIN_WINDOW_STYLE, FALSE, 0, dpi) != FALSE;
    if (!adjusted)
        AdjustWindowRectEx(&rect, MAIN_WINDOW_STYLE, FALSE, 0);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

void Gui::invalidateBands(uint8_t bands)
{
    HWND window = hwnd.load();
    if (bands == 0 || window == nullptr)
        return;

    if (bands & GuiBands::Resize) {
        const auto [width, height] = windowSizeFor(logicalHeight());
        SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
        InvalidateRect(window, nullptr, TRUE);
        return;
    }

    const int scale = static_cast<int>(dpi);
    for (uint8_t bit : {GuiBands::Header, GuiBands::StatusPanel, GuiBands::Airport, GuiBands::Message}) {
        if (!(bands & bit))
            continue;
        const GuiRect r = bandRect(bit);
        if (r.empty())
            continue;
        RECT scaled{MulDiv(r.left, scale, 96), MulDiv(r.top, scale, 96), MulDiv(r.right, scale, 96),
                    MulDiv(r.bottom, scale, 96)};
        InvalidateRect(window, &scaled, FALSE);
    }
}
