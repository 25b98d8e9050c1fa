// The main window object. Worker threads never touch the window: they describe
// a change as one GuiUpdate and hand it to Gui::enqueueUpdate. The GUI thread
// applies the updates to the display state kept here (Gui::applyUpdate) and
// invalidates only the bands of the window that changed. Painting reads
// nothing but this display state, a few published flags and the settings
// snapshot.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/gui_senders.h"
#include "core/gui_update.h"
#include "core/parameter.h"
#include "core/value_types.h"

// Win32 handle types, declared the way <windows.h> declares them so that this
// header does not pull in the whole Windows API.
struct HWND__;
struct HBRUSH__;
struct HPEN__;
struct HFONT__;
struct HDC__;
typedef HDC__* HDC;
typedef HWND__* HWND;
typedef HBRUSH__* HBRUSH;
typedef HPEN__* HPEN;
typedef HFONT__* HFONT;

// Application window message that asks the GUI thread to drain the queue.
inline constexpr unsigned MSG_GUI_UPDATE = 0x8000u + 3u; // WM_APP + 3

// Style of the main window: WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN.
inline constexpr uint32_t MAIN_WINDOW_STYLE = 0x02C80000u;

// A rectangle in logical units (96 DPI) or pixels, as the name says.
struct GuiRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool empty() const noexcept { return right <= left || bottom <= top; }
    friend bool operator==(const GuiRect&, const GuiRect&) = default;
};

// One line of the status panel's separators, in logical units.
struct GuiLine {
    int y = 0;
    int x0 = 0;
    int x1 = 0;
};

// What the window shows; written by the GUI thread only.
struct GuiDisplayState {
    std::string timedMessage;
    bool messageShowing = false;
    std::chrono::steady_clock::time_point messageExpiry{};
    std::string stickyError;
    std::string trafficSourceText;
    std::string simStatusText;
    std::string qualityFactorText;
    std::string airportFileInfo;
    bool airportFileLoaded = false;
    std::string publisher;
    bool publisherHandmade = false;
    std::string userStand;
    IcaoCode airportCode;
    float staticFit = -1.0f;
    float liveFit = -1.0f;
    uint64_t liveAircraftCount = 0;
    uint64_t simaddonAirportCount = 0;
    uint64_t thirdpAirportCount = 0;
    uint64_t liveryCount = 0;
    uint64_t parkedLiveCount = 0;
    uint64_t staticCount = 0;
    uint64_t standCount = 0;
    uint32_t maxPark = 0;
    uint32_t maxParkPercent = 0;
    int32_t nextUpdateMinutes = 0;
    uint32_t updateCount = 0;
    uint64_t parkingPending = 0;
    int32_t qnhValue = 0;
    bool qnhInHg = false;
    uint32_t qnhState = GuiReaderState::Stopped;
    uint32_t liveTrafficState = GuiReaderState::Stopped;
    bool flightRunning = false;
    bool wingspanKnown = true;
    bool parkedFromRTOnly = false;
    bool trafficBoxBlack = true;
    bool timeShiftEnabled = true;
    // Kept but never shown.
    std::array<uint8_t, 40> block9{};
};

class Gui {
public:
    // How long a timed message stays after its last showing.
    static constexpr std::chrono::nanoseconds MessageLifetime{25'000'000'000};

    Gui();
    virtual ~Gui();
    Gui(const Gui&) = delete;
    Gui& operator=(const Gui&) = delete;

    // The program's one main-window object.
    static Gui& instance();

    // ---- The update queue --------------------------------------------------

    // Any thread; never throws. Applied at once on the GUI thread, otherwise
    // queued; posts one MSG_GUI_UPDATE to the window for any number of queued
    // updates. Dropped after stop().
    void enqueueUpdate(GuiUpdate&& update) noexcept;
    // GUI thread only: applies one update to the display state and returns the
    // bands to repaint (GuiBands bits).
    uint8_t applyUpdate(GuiUpdate&& update);
    // The same, judging message expiry against the given steady-clock time.
    uint8_t applyUpdate(GuiUpdate&& update, std::chrono::steady_clock::time_point now);
    // GUI thread only: the drain on MSG_GUI_UPDATE. Moves the whole queue out
    // under the mutex, applies every update in order and invalidates the union
    // of their bands once. Returns that union.
    uint8_t drainUpdates();
    // GUI thread only: invalidates the given bands of the window (nothing
    // without a window).
    void invalidateBands(uint8_t bands);
    // Drops every queued and every later update.
    void stop();
    // Shows (false) or hides (true) every control of the compact-mode list.
    void setCompact(bool compact);
    // The effect of ResetStatus; returns the bands to repaint.
    uint8_t resetStatus();
    // The display state, and the senders' copy of its message band, back at
    // their initial values (a new window; tests).
    void clearDisplay();

    // Called by the window set-up on the GUI thread: records the calling
    // thread as the GUI thread, clears the stop and forgets the combo heights.
    void attachGuiThread();
    // Called once the window exists: posts the drain message when updates
    // are waiting in the queue.
    void postPendingUpdates();

    // Number of updates waiting in the queue.
    size_t pendingUpdateCount() const;
    bool isUpdatePosted() const noexcept { return updatePosted.load(); }
    bool isStopped() const noexcept { return stopped.load(); }

    // ---- Geometry -----------------------------------------------------------

    // Logical client height: 768 in full mode; in compact mode 224 with an
    // airport and 128 without.
    int logicalHeight() const noexcept;
    // The logical rectangle that a band bit invalidates (bits 1, 2, 4, 8); an
    // empty rectangle when the band is not on show.
    GuiRect bandRect(uint8_t bandBit) const noexcept;
    // Outer window width and height in pixels for a logical client height at
    // the current dpi.
    std::pair<int, int> windowSizeFor(int logicalClientHeight) const;
    // Moves the window so that at least 48 pixels of it stay inside the work
    // area of its monitor in each direction; a saved position at the edge of
    // its range is first replaced by the fallback. A new position is saved.
    void ensureOnScreen(int fallbackX, int fallbackY);
    // Moves and sizes every child window from one DPI to another; combo boxes
    // keep their drop-down height scaled from the height they were created with.
    void rescaleChildren(uint32_t oldDpi, uint32_t newDpi);

    // ---- Painting (GUI thread, WM_PAINT) -------------------------------------

    // The whole client area, drawn off screen and copied in one operation.
    void paint(HDC dc);
    void paintHeader(HDC dc);
    void paintSettingsPanel(HDC dc);
    void paintAirportBand(HDC dc);
    // One text at (x, y - 3) in logical units; colour is a COLORREF.
    void drawText(HDC dc, int x, int y, const std::string& text, uint32_t colour, bool bold);

    // ---- Parts of the object ------------------------------------------------

    // The window position, saved like every other integer setting.
    IntParameter MAIN_WINDOW_X{"MAIN_WINDOW_X", 400, -30000, 30000};
    IntParameter MAIN_WINDOW_Y{"MAIN_WINDOW_Y", 20, -30000, 30000};

    // Brushes and pens, created by the constructor.
    HBRUSH redBrush = nullptr;        // RGB(255, 0, 0)
    HBRUSH panelBrush = nullptr;      // RGB(153, 204, 255)
    HBRUSH blackBrush = nullptr;
    HBRUSH greenBrush = nullptr;      // RGB(50, 210, 50)
    HBRUSH darkGreenBrush = nullptr;  // RGB(25, 150, 25)
    HBRUSH yellowBrush = nullptr;     // RGB(255, 255, 0)
    HBRUSH whiteBrush = nullptr;
    HPEN blackPen = nullptr;
    HPEN whitePen = nullptr;

    // Fonts, created by the window set-up; released by the destructor.
    HFONT paintFont = nullptr;
    HFONT paintBoldFont = nullptr;
    HFONT controlFont = nullptr;

    // Compact mode: only the header, the airport band and the message band.
    bool compact = false;

    // Separator lines of the status panel (logical units).
    static constexpr GuiLine separators[4] = {{200, 0, 900}, {336, 0, 900}, {504, 0, 647}, {464, 647, 900}};

    // The Expand/Compact button in device pixels, recomputed at every paint.
    GuiRect compactButtonRect{765, 4, 855, 30};

    std::atomic<uint32_t> guiThreadId{0};
    uint32_t dpi = 96;
    std::atomic<HWND> hwnd{nullptr};

    // Drop-down heights (logical units) of the combo boxes, by window handle.
    std::unordered_map<HWND, int> comboHeights;
    // Every control that compact mode hides, in creation order.
    std::vector<HWND> compactModeControls;

    GuiDisplayState display;

    // Written by the parking code and the ParkedFromRTOnly sender; cleared by
    // ResetStatus. Never painted.
    std::atomic<bool>& parkedFromRTOnlyNow = g_parkedFromRTOnlyNow;

private:

    bool onGuiThread() const noexcept;
    void postDrainMessage() noexcept;

    // Writes the log lines of a message or an error when it is sent, in the
    // order of the queue, judged against `sentMessages`. Caller holds queueMutex.
    void logAsSent(const GuiUpdate& update);

    // The message band as the updates sent so far will leave it: the senders'
    // side of the display state, so that what a message or an error logs is
    // decided, and written, in the order of sending.
    struct SentMessages {
        std::string timedMessage;
        bool messageShowing = false;
        std::chrono::steady_clock::time_point messageExpiry{};
        std::string stickyError;
    };

    mutable std::mutex queueMutex;
    SentMessages sentMessages;
    std::deque<GuiUpdate> queue;
    std::atomic<bool> updatePosted{false};
    std::atomic<bool> stopped{false};
};
