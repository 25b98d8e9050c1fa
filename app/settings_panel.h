// Which controls of the settings panel are usable and what they show while
// the main task starts, runs and stops. Every function here may be called
// from any thread: the control changes themselves run on the GUI thread
// (app/gui_jobs.h), and the caller never waits for them.
#pragma once

#include <cstdint>

#include "core/parameter.h"

// Fills and enables the whole panel at each start of the main task.
void lf_fillSettingsPanel();
// The time-shift controls at start: disabled in RT App mode; in RT Direct
// mode filled, and a stored shift re-applied without a restart.
void lf_initTimeShiftControls();
// The three time-shift combo boxes and SIM_TIME; disabling also greys the
// panel's time-shift captions. "Set" is disabled either way.
void gf_enableTimeShiftControls(bool enabled);
// KEEP_SIM_TIME_PAR off, saved, check mark removed.
void lf_clearKeepSimTimePar();

// The eleven parking controls off, status panel repainted.
void gf_disableParkingControls();
// After a parking adjustment: the flag cleared, the controls on again under
// the parking rules, the countdown shown, the message line cleared.
void gf_enableParkingControls();
// The RT_PARKTRAFFIC_ONLY rule.
void gf_updateParkTrafficOnlyControls();
// The AUTO_PARK rule.
void gf_updateAutoParkControls();
// Both rules, then the MAX_FIT_FL rule.
void gf_updateParkingControls();
// PARKING_INTERVAL_MINUTES of the snapshot becomes the pending parking
// interval and is shown as the next update.
void gf_restartParkingCountdown();

// The setting's value as the control's text; the status panel repainted.
void gf_setControlTextFromInt(const IntChoiceParameter& setting);
void gf_setControlTextFromString(const GuiStringParameter& setting);

// MAX_FIT_FL (hours, 0.5..24.0) and its option index 0..47.
float gf_maxFitFlFromIndex(int32_t index);
int32_t gf_maxFitFlToIndex(float value);
