// Every settings object of the program, one global per setting, named by its
// key and declared by the settings table (core/settings_table.h; the two
// window-position settings MAIN_WINDOW_X and MAIN_WINDOW_Y are members of the
// window object, registered through gf_uiSink), plus the window's push
// buttons and the choices that are never saved.
//
// Keys are case-sensitive and written exactly as in parameters.xml: RT_CHOISE,
// "LAST_EPOCH_TIME:" (the colon is part of the key; the object is
// LAST_EPOCH_TIME), parking_percentage, lfolder0..lfolder9.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/parameter.h"
#include "core/settings_snapshot.h"
#include "core/settings_table.h"

// Every saved setting (core/settings_table.h).
#define KELO_DECLARE_SETTING(list, key, field, Class, NAME, ...) extern Class NAME;
KELO_SAVED_SETTINGS(KELO_DECLARE_SETTING)
#undef KELO_DECLARE_SETTING

// ---- In no list: never read from or written to parameters.xml ----------------
extern ButtonControl TBLO_BUTTON;     // "Tblo"
extern ButtonControl AIRCRAFT_BUTTON; // "Aircraft"
// The live list of aircraft on show; starts with one empty entry.
extern const std::shared_ptr<std::vector<std::string>> g_aircraftSelectorOptions;
extern DynamicChoiceParameter AIRCRAFT_SELECTOR;
extern ButtonControl BLOCK_BUTTON;   // "Block"
extern ButtonControl UNBLOCK_BUTTON; // "Unblock"
// The live list of stands; starts with one empty entry.
extern const std::shared_ptr<std::vector<std::string>> g_standSelectorOptions;
extern DynamicChoiceParameter STAND_SELECTOR;
// Mirrors MAX_FIT: option index i is (i + 1) * 0.5 hours.
extern FloatChoiceParameter MAX_FIT_FL;
extern ButtonControl PARK_BUTTON;  // "Park"
extern ButtonControl FLUSH_BUTTON; // "Flush"
extern ButtonControl SET_BUTTON;   // "Set"

// How parameters.xml reads and writes a setting (the list it belongs to).
enum class SettingList : std::uint8_t { Bool, CheckBox, Int, IntChoice, String, StringChoice, Path };

// One row of the settings table.
struct SettingRow {
    SettingList list;
    Parameter* setting;
    // Copies the setting's value into the Parameters member(s) that mirror
    // it; null when nothing mirrors the setting.
    void (*publish)(Parameters&);
};

// Every saved setting in file order, the window's MAIN_WINDOW_X and
// MAIN_WINDOW_Y (when there is a main window) leading list 3. Built on first
// use (after every global exists) and never changed afterwards.
const std::vector<SettingRow>& gf_settingsTable();

// The table's rows grouped by list, typed by the kind that loading and saving
// treat their members as.
const ParameterRegistry& gf_parameterRegistry();

