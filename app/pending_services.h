// The window's settings-panel, time-shift, destination and folder-picker work,
// as the main task calls it, until the window's own files are part of the
// program. Every body here does the least: nothing is filled or applied,
// and the picker is always cancelled. Each declaration goes away when the
// real one arrives.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "core/value_types.h"

struct HWND__;

void lf_fillSettingsPanel();
void lf_initTimeShiftControls();
void gf_enableTimeShiftControls(bool enabled);
void lf_clearKeepSimTimePar();
void gf_disableParkingControls();
void gf_enableParkingControls();
void lf_applyTimeShift(int32_t minutes, bool noRestart, bool skipStore);
void lf_followSimTime();
extern std::atomic<bool> firstSimTimeAfterStart;
extern std::atomic<int64_t> lastSimTime;
void lf_setDestination(const std::string& icaoText, const LatLon& position);
void lf_triggerStaticParkingUpdate();
// The sticky error line, then the stop request {8, 0}.
void gf_fatalError(const std::string& text);
// The folder picker; none when the user cancelled.
std::optional<std::filesystem::path> gf_pickFolder(HWND__* owner, const std::filesystem::path& initial);
