// The table of saved settings: one row per setting, in the order of
// parameters.xml (lists 1, 2, 3, 4, 5, 7, 6). Every use of a setting's name
// for loading, saving, the default file, the published Parameters record and
// the window's check boxes and choices is made from these rows.
//
//   X(list, key, field, Class, NAME, constructor arguments after the key...)
//
//   list   how parameters.xml reads and writes it: Bool, CheckBox, Int,
//          IntChoice, String, StringChoice or Path (a choice may be read and
//          written as a plain integer or text: see PARKING_INTERVAL_MINUTES)
//   key    Name: the key in parameters.xml is NAME as written;
//          NameColon: NAME followed by ':'
//   field  how the setting is published in the Parameters record, by a save
//          and by the full publication at start-up:
//          Field: as the member of the same name;
//          AirGround: ALL_AIR_GND_SELECTOR as its code (gf_airGroundCode);
//          BlockFilter: the whole block filter, from the four BLOCK_ settings;
//          TimeShift: all three time-shift members;
//          NoField: not published (RANGE has a setter of its own, gf_setRange)
//   Class  the settings object's type; NAME is the program-wide object
//
// The arguments after NAME are the constructor's after the key: the default,
// then the limits (Int), the options, the control id and the layout.
//
// The window-position settings MAIN_WINDOW_X and MAIN_WINDOW_Y belong to the
// window object; they lead list 3 (gf_settingsTable, core/settings.h).
#pragma once

// clang-format off
#define KELO_SAVED_SETTINGS(X) \
    /* ---- List 1: plain booleans ---- */ \
    X(Bool, Name, NoField, BoolParameter, PSX_SERVER_HERE, true) \
    X(Bool, Name, NoField, BoolParameter, COLLAPSED, true) \
    /* ---- List 2: check boxes; layout (x, x + 20, y, 1) ---- */ \
    X(CheckBox, Name, Field, CheckBoxParameter, SKIP_AIRPORT_SCAN, false, 0x8011, {113, 133, 135, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, SKIP_LIVERIES_SCAN, false, 0x8012, {113, 133, 167, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, LIG_PRIORITIZE, true, 0x8015, {548, 568, 167, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, LIG_AUTOMATIC, true, 0x8014, {222, 242, 167, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, COLLISION_USER_GND, true, 0x802F, {494, 514, 239, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, COLLISION_USER_AIR, true, 0x802E, {494, 514, 271, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, COLLISION_LIVE_PARKED_GND, false, 0x8030, {494, 514, 303, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, RANDOM, true, 0x800E, {657, 677, 239, 1}) \
    X(CheckBox, Name, NoField, CheckBoxParameter, ALWAYS_ON_TOP, false, 0x8005, {775, 795, 175, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, FLIGHT_MESSAGES, true, 0x801C, {765, 785, 239, 1}) \
    X(CheckBox, Name, NoField, CheckBoxParameter, AEROWINX, false, 0x8006, {657, 677, 271, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, GUID_CHANGES, true, 0x8007, {765, 785, 271, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, OBJECTID_LIST, false, 0x8008, {657, 677, 303, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, NAV_LIGHTS_WHILE_PARKED, true, 0x8009, {765, 785, 303, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, AUTO_RANGE, true, 0x8023, {222, 242, 375, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, TWO_PROPS, true, 0x801E, {113, 133, 471, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, LIGHT_AIRCRAFT, true, 0x801F, {222, 242, 471, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, HELICOPTERS, true, 0x8020, {331, 351, 471, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, HIGH_PERF_AIRCRAFT, true, 0x8021, {440, 460, 471, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, SIM_TIME, false, 0x804A, {657, 677, 407, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, KEEP_SIM_TIME_PAR, false, 0x804B, {657, 677, 439, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, WEEK, false, 0x803D, {331, 351, 607, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, PARK_SOFT, false, 0x803C, {494, 514, 607, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, RT_PARKTRAFFIC_ONLY, false, 0x8040, {5, 25, 575, 1}) \
    X(CheckBox, Name, Field, CheckBoxParameter, AUTO_PARK, true, 0x803A, {5, 25, 607, 1}) \
    /* ---- List 3: integers, after the window's MAIN_WINDOW_X and MAIN_WINDOW_Y ---- */ \
    X(Int, Name, Field, IntChoiceParameter, PARKING_INTERVAL_MINUTES, 20, \
      {10, 15, 20, 25, 30, 40, 50, 60, 90, 1440}, 0x803B, {657, 732, 479, -5}) \
    X(Int, NameColon, NoField, IntParameter, LAST_EPOCH_TIME, 0, 0, 2147483647) \
    X(Int, Name, BlockFilter, IntParameter, BLOCK_HEXIDDEC, 0, 0, 0xFFFFFF) \
    X(Int, Name, Field, IntParameter, MAX_FIT, 47, 0, 47) \
    X(Int, Name, NoField, IntParameter, RANGE_GROUND, 10, 2, 100) \
    X(Int, Name, NoField, IntParameter, RANGE_1, 20, 2, 100) \
    X(Int, Name, NoField, IntParameter, RANGE_2, 40, 2, 100) \
    X(Int, Name, NoField, IntParameter, RANGE_3, 50, 1, 100) \
    X(Int, Name, NoField, IntParameter, RANGE_ABOVE, 60, 2, 100) \
    X(Int, Name, NoField, IntParameter, FLIGHT_LEVEL_1, 100, 2, 480) \
    X(Int, Name, NoField, IntParameter, FLIGHT_LEVEL_2, 200, 2, 480) \
    X(Int, Name, NoField, IntParameter, FLIGHT_LEVEL_3, 300, 2, 480) \
    /* ---- List 4: integer choices ---- */ \
    X(IntChoice, Name, NoField, IntChoiceParameter, RANGE, 40, lf_steps(2, 100, 1), 0x8022, {113, 188, 375, -5}) \
    X(IntChoice, Name, Field, IntChoiceParameter, HOLDING_THRESHOLD_METERS, 250, \
      {10, 50, 100, 150, 200, 250, 300, 350, 400, 450, 500, 600, 700, 800, 900}, 0x801A, {113, 188, 407, -5}) \
    X(IntChoice, Name, Field, IntChoiceParameter, MAX_HOLDING_MINUTES, 3, lf_steps(1, 60, 1), 0x8025, \
      {385, 460, 407, -5}) \
    X(IntChoice, Name, TimeShift, IntChoiceParameter, TIME_SHIFT_DAYS, 0, lf_steps(0, 13, 1), 0x8046, {765, 840, 375, -5}) \
    X(IntChoice, Name, TimeShift, IntChoiceParameter, TIME_SHIFT_HOURS, 0, lf_steps(0, 23, 1), 0x8047, {765, 840, 407, -5}) \
    X(IntChoice, Name, Field, IntChoiceParameter, MATCHING_DEPTH, 4, lf_steps(1, 7, 1), 0x801B, {113, 5, 439, -7}) \
    X(IntChoice, Name, Field, IntChoiceParameter, TCAS_FL, 180, \
      {100, 120, 140, 160, 180, 200, 220, 240, 260, 280, 300, 320, 440}, 0x8024, {222, 297, 439, -7}) \
    X(IntChoice, Name, TimeShift, IntChoiceParameter, TIME_SHIFT_MINS, 0, lf_steps(0, 59, 1), 0x8049, {765, 840, 439, -5}) \
    X(IntChoice, Name, Field, IntChoiceParameter, MAX_PARK_SEL, 500, lf_parkSelections, 0x8037, {385, 460, 575, -5}) \
    X(IntChoice, Name, Field, IntChoiceParameter, MAX_LIVE_SEL, 500, lf_parkSelections, 0x8038, {494, 569, 375, -5}) \
    X(IntChoice, Name, Field, IntChoiceParameter, AIRP_RANGE, 20, {5, 10, 15, 20, 25, 30}, 0x8034, {494, 569, 543, -5}) \
    X(IntChoice, Name, Field, IntChoiceParameter, AIRP_HEIGHT, 18000, \
      {2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000, 18000, 36000, 48000}, 0x8035, {657, 755, 543, -5}) \
    X(IntChoice, Name, Field, IntChoiceParameter, parking_percentage, 30, lf_steps(0, 100, 5), 0x8039, \
      {113, 188, 607, -5}) \
    /* ---- List 5: texts ---- */ \
    X(String, Name, NoField, StringParameter, PROGRAM_VERSION, "") \
    X(String, Name, NoField, StringChoiceParameter, AI_PACKAGE_SELECTOR, "AIG, FSLTL, JF, MTL", lf_aiPackageOptions(), \
      0x800C, {331, 331, 167, -5}) \
    X(String, Name, NoField, StringParameter, AIG_VERSION, "") \
    X(String, Name, NoField, StringParameter, ARCHIVES_VERSION, "") \
    X(String, Name, NoField, StringParameter, DBASE_VERSION, "") \
    X(String, Name, NoField, StringParameter, WEEKLY_TRAFFIC_AIRPORTS_VERSION, "") \
    X(String, Name, NoField, StringParameter, AIRPORTS_VERSION, "") \
    X(String, Name, NoField, StringParameter, PORT_NUMBER, "10747") \
    X(String, Name, NoField, StringParameter, lfolder0, "") \
    X(String, Name, NoField, StringParameter, lfolder1, "") \
    X(String, Name, NoField, StringParameter, lfolder2, "") \
    X(String, Name, NoField, StringParameter, lfolder3, "") \
    X(String, Name, NoField, StringParameter, lfolder4, "") \
    X(String, Name, NoField, StringParameter, lfolder5, "") \
    X(String, Name, NoField, StringParameter, lfolder6, "") \
    X(String, Name, NoField, StringParameter, lfolder7, "") \
    X(String, Name, NoField, StringParameter, lfolder8, "") \
    X(String, Name, NoField, StringParameter, lfolder9, "") \
    X(String, Name, BlockFilter, StringParameter, BLOCK_AIRCRAFT, "") \
    X(String, Name, BlockFilter, StringParameter, BLOCK_CALLSIGN, "") \
    X(String, Name, BlockFilter, StringParameter, BLOCK_REGCODE, "") \
    X(String, Name, Field, GuiStringParameter, DESTINATION, "", 0x8033, {5, 80, 543, -4}) \
    /* ---- List 7: text choices ---- */ \
    X(StringChoice, Name, AirGround, StringChoiceParameter, ALL_AIR_GND_SELECTOR, "All traffic", \
      {"All traffic", "Airborne only", "Ground only"}, 0x8028, {5, 5, 239, -2}) \
    X(StringChoice, Name, NoField, StringChoiceParameter, SIM_CHOICE, "MSFS 2024", {"MSFS 2020", "MSFS 2024"}, \
      0x800A, {657, 657, 167, -7}) \
    X(StringChoice, Name, NoField, StringChoiceParameter, RT_CHOISE, "RT Direct", {"RT Direct", "RT App"}, 0x800B, \
      {657, 657, 135, -7}) \
    X(StringChoice, Name, NoField, StringChoiceParameter, QNH_UNIT, "QNH hPa", {"QNH hPa", "QNH inHg"}, 0x8010, \
      {775, 775, 135, -7}) \
    /* ---- List 6: paths ---- */ \
    X(Path, Name, NoField, PathParameter, MSFS_INSTALL_PATH, {}) \
    X(Path, Name, NoField, PathParameter, MSFS_2024_INSTALL_PATH, {})
// clang-format on

// The key of a row.
#define KELO_SETTING_KEY_Name(NAME) #NAME
#define KELO_SETTING_KEY_NameColon(NAME) #NAME ":"

// Every setting's default as a constant, setting_default::NAME (paths have
// none): the one place a default is written, read by the settings objects
// and by the Parameters record before its first publication.
#define KELO_SETTING_DEFAULT_OF_Bool(NAME, def) inline constexpr auto NAME = def;
#define KELO_SETTING_DEFAULT_OF_CheckBox(NAME, def) inline constexpr auto NAME = def;
#define KELO_SETTING_DEFAULT_OF_Int(NAME, def) inline constexpr auto NAME = def;
#define KELO_SETTING_DEFAULT_OF_IntChoice(NAME, def) inline constexpr auto NAME = def;
#define KELO_SETTING_DEFAULT_OF_String(NAME, def) inline constexpr auto NAME = def;
#define KELO_SETTING_DEFAULT_OF_StringChoice(NAME, def) inline constexpr auto NAME = def;
#define KELO_SETTING_DEFAULT_OF_Path(NAME, def)
#define KELO_SETTING_DEFAULT(list, key, field, Class, NAME, def, ...) KELO_SETTING_DEFAULT_OF_##list(NAME, def)
namespace setting_default {
KELO_SAVED_SETTINGS(KELO_SETTING_DEFAULT)
}
#undef KELO_SETTING_DEFAULT
