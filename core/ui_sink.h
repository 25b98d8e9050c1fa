// What every part of the program below the window needs from the main window,
// without knowing the window: the queued window updates (the timed message,
// the sticky error line and every other update kind), the few requests that
// are posted to the window, the window as the owner of a modal dialog, and
// the two window-position settings that the window object keeps and that
// parameters.xml stores with the others. The shell registers its
// implementation at program start; until then (and in programs without a
// window) a logged message and an error go to the log only, every other
// update is dropped and the window position is not part of the settings.
// Tests register a recording sink.
#pragma once

#include <functional>
#include <string>

#include "core/gui_update.h"

class IntParameter;

// Requests that the window's thread carries out; posted, never waited for.
enum class WindowRequest : uint8_t {
    // The simulator that runs is not the chosen one: switch the choice and restart.
    SwitchSim,
};

class UiSink {
public:
    virtual ~UiSink() = default;
    // One change to the window; any thread; never throws. The log-only sink
    // logs a logged message as it stands and an error as "Error {}".
    virtual void enqueueUpdate(GuiUpdate&& update) noexcept;
    // The timed message line (kind 35); logged as it stands when `log` is set.
    virtual void showMessage(std::string text, bool log);
    // The sticky error line (kind 36), logged as "Error {}".
    virtual void showError(std::string text);
    // Clears the timed message line (kind 37), unless the window shows a
    // hint in its place. Nothing without a window.
    virtual void clearMessage() {}
    // Posts a request to the window; nothing without a window.
    virtual void postRequest(WindowRequest) noexcept {}
    // The main window's native handle, to own a modal dialog; null when there
    // is no window.
    virtual void* ownerWindow() noexcept { return nullptr; }
    // The window's MAIN_WINDOW_X and MAIN_WINDOW_Y settings; null when there
    // is no window object.
    virtual IntParameter* windowX() { return nullptr; }
    virtual IntParameter* windowY() { return nullptr; }
    // Runs a change of a control where controls may be changed: the window
    // runs it at once on its own thread and posts it from any other, so no
    // thread ever waits for the window. Without a window it runs at once.
    virtual void runOnGuiThread(std::function<void()> job) { job(); }
};

// Makes `sink` the one that gf_uiSink answers; null restores the log-only sink.
// Returns the sink that was registered before.
UiSink* gf_setUiSink(UiSink* sink) noexcept;
// The registered sink, or the log-only sink when none is.
UiSink& gf_uiSink() noexcept;
// A control change through the registered sink (see UiSink::runOnGuiThread).
void gf_changeControl(std::function<void()> job);
