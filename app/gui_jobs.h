// Control changes from any thread. On the GUI thread they act at once; from
// any other thread they are posted to the GUI thread (MSG_GUI_JOB) and the
// caller goes on without waiting, so a thread that holds a lock the GUI
// thread may wait for (the engine lock while painting) can never deadlock on
// a control. Everything a posted change needs is copied when it is posted.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/parameter.h"

// Application window message that runs the posted control changes.
inline constexpr unsigned MSG_GUI_JOB = 0x8000u + 4u; // WM_APP + 4

// Runs job on the GUI thread: at once when called there (or when there is no
// window yet, so no control exists to race with), else posted. Never throws;
// a failing job is logged.
void gf_runOnGuiThread(std::function<void()> job) noexcept;
// GUI thread, on MSG_GUI_JOB: runs every posted job in order; returns how many.
size_t gf_drainGuiJobs();
// Drops posted jobs that have not run (the window is going away).
void gf_dropGuiJobs();

// The values and option lists of the controls that the main task and the
// window both change: the aircraft selector, the stand selector and the
// destination. Held for every read and write of them (a combo fill copies
// them while it is held), never while waiting for another thread.
std::recursive_mutex& gf_controlValuesMutex();

// EnableWindow on the control's window; nothing without a window.
void gf_enableControl(const GuiControl& control, bool enabled);
// The check mark of a check box (BM_SETCHECK).
void gf_setCheckMark(const GuiControl& control, bool checked);
// CB_SETCURSEL to index (nothing for no index).
void gf_selectComboIndex(const GuiControl& control, std::optional<size_t> index);
// The combo box refilled with its options and its current value selected,
// the way each kind's fillComboBox does it.
void gf_fillComboBox(const IntChoiceParameter& p);
void gf_fillComboBox(const StringChoiceParameter& p);
void gf_fillComboBox(const DynamicChoiceParameter& p);
// MAX_FIT_FL: its options as "{:.1f}", the option equal to the value selected.
void gf_fillComboBox(const FloatChoiceParameter& p);
// SetWindowTextW with the UTF-8 text.
void gf_setControlText(const GuiControl& control, const std::string& text);
