// Every settings object of the program, one global per setting, named by its
// key (the two window-position settings MAIN_WINDOW_X and MAIN_WINDOW_Y are
// members of the window object, registered through gf_uiSink), plus the window's push buttons and the choices
// that are never saved.
//
// Keys are case-sensitive and written exactly as in parameters.xml: RT_CHOISE,
// "LAST_EPOCH_TIME:" (the colon is part of the key; the object is
// LAST_EPOCH_TIME), parking_percentage, lfolder0..lfolder9.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "core/parameter.h"

// ---- List 1: plain booleans -------------------------------------------------
extern BoolParameter PSX_SERVER_HERE;
extern BoolParameter COLLAPSED;

// ---- List 2: check boxes ----------------------------------------------------
extern CheckBoxParameter SKIP_AIRPORT_SCAN;
extern CheckBoxParameter SKIP_LIVERIES_SCAN;
extern CheckBoxParameter LIG_PRIORITIZE;
extern CheckBoxParameter LIG_AUTOMATIC;
extern CheckBoxParameter COLLISION_USER_GND;
extern CheckBoxParameter COLLISION_USER_AIR;
extern CheckBoxParameter COLLISION_LIVE_PARKED_GND;
extern CheckBoxParameter RANDOM;
extern CheckBoxParameter ALWAYS_ON_TOP;
extern CheckBoxParameter FLIGHT_MESSAGES;
extern CheckBoxParameter AEROWINX;
extern CheckBoxParameter GUID_CHANGES;
extern CheckBoxParameter OBJECTID_LIST;
extern CheckBoxParameter NAV_LIGHTS_WHILE_PARKED;
extern CheckBoxParameter AUTO_RANGE;
extern CheckBoxParameter TWO_PROPS;
extern CheckBoxParameter LIGHT_AIRCRAFT;
extern CheckBoxParameter HELICOPTERS;
extern CheckBoxParameter HIGH_PERF_AIRCRAFT;
extern CheckBoxParameter SIM_TIME;
extern CheckBoxParameter KEEP_SIM_TIME_PAR;
extern CheckBoxParameter WEEK;
extern CheckBoxParameter PARK_SOFT;
extern CheckBoxParameter RT_PARKTRAFFIC_ONLY;
extern CheckBoxParameter AUTO_PARK;

// ---- List 3: integers (after the Gui's MAIN_WINDOW_X, MAIN_WINDOW_Y) ----------
// A combo box, but loaded and saved as a plain integer.
extern IntChoiceParameter PARKING_INTERVAL_MINUTES;
extern IntParameter LAST_EPOCH_TIME; // key "LAST_EPOCH_TIME:"
extern IntParameter BLOCK_HEXIDDEC;
extern IntParameter MAX_FIT;
extern IntParameter RANGE_GROUND;
extern IntParameter RANGE_1;
extern IntParameter RANGE_2;
extern IntParameter RANGE_3;
extern IntParameter RANGE_ABOVE;
extern IntParameter FLIGHT_LEVEL_1;
extern IntParameter FLIGHT_LEVEL_2;
extern IntParameter FLIGHT_LEVEL_3;

// ---- List 4: integer choices ------------------------------------------------
extern IntChoiceParameter RANGE;
extern IntChoiceParameter HOLDING_THRESHOLD_METERS;
extern IntChoiceParameter MAX_HOLDING_MINUTES;
extern IntChoiceParameter TIME_SHIFT_DAYS;
extern IntChoiceParameter TIME_SHIFT_HOURS;
extern IntChoiceParameter MATCHING_DEPTH;
extern IntChoiceParameter TCAS_FL;
extern IntChoiceParameter TIME_SHIFT_MINS;
extern IntChoiceParameter MAX_PARK_SEL;
extern IntChoiceParameter MAX_LIVE_SEL;
extern IntChoiceParameter AIRP_RANGE;
extern IntChoiceParameter AIRP_HEIGHT;
extern IntChoiceParameter parking_percentage;

// ---- List 5: texts ----------------------------------------------------------
extern StringParameter PROGRAM_VERSION;
// A combo box, but loaded and saved as plain text.
extern StringChoiceParameter AI_PACKAGE_SELECTOR;
extern StringParameter AIG_VERSION;
extern StringParameter ARCHIVES_VERSION;
extern StringParameter DBASE_VERSION;
extern StringParameter WEEKLY_TRAFFIC_AIRPORTS_VERSION;
extern StringParameter AIRPORTS_VERSION;
extern StringParameter PORT_NUMBER;
extern StringParameter lfolder0;
extern StringParameter lfolder1;
extern StringParameter lfolder2;
extern StringParameter lfolder3;
extern StringParameter lfolder4;
extern StringParameter lfolder5;
extern StringParameter lfolder6;
extern StringParameter lfolder7;
extern StringParameter lfolder8;
extern StringParameter lfolder9;
extern StringParameter BLOCK_AIRCRAFT;
extern StringParameter BLOCK_CALLSIGN;
extern StringParameter BLOCK_REGCODE;
extern GuiStringParameter DESTINATION;

// ---- List 6: paths ----------------------------------------------------------
extern PathParameter MSFS_INSTALL_PATH;
extern PathParameter MSFS_2024_INSTALL_PATH;

// ---- List 7: text choices ---------------------------------------------------
extern StringChoiceParameter ALL_AIR_GND_SELECTOR;
extern StringChoiceParameter SIM_CHOICE;
extern StringChoiceParameter RT_CHOISE;
extern StringChoiceParameter QNH_UNIT;

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

// The seven lists of saved settings, filled on first use (after every global
// exists) and never changed afterwards.
const ParameterRegistry& gf_parameterRegistry();

