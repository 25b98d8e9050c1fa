// What the foundation needs from the main window, without knowing the window:
// show a timed message, show the sticky error line, and the two window-position
// settings that the window object keeps and that parameters.xml stores with
// the others. The shell registers its implementation at program start; until
// then (and in programs without a window) messages go to the log only and the
// window position is not part of the settings.
#pragma once

#include <functional>
#include <string>

class IntParameter;

class UiSink {
public:
    virtual ~UiSink() = default;
    // The timed message line; logged as it stands when `log` is set.
    virtual void showMessage(std::string text, bool log) = 0;
    // The sticky error line, logged as "Error {}".
    virtual void showError(std::string text) = 0;
    // The window's MAIN_WINDOW_X and MAIN_WINDOW_Y settings; null when there is
    // no window object.
    virtual IntParameter* windowX() = 0;
    virtual IntParameter* windowY() = 0;
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
