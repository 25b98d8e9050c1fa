#include "app/settings_panel.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include <fmt/format.h>

#include "airports/airport_state.h"
#include "app/gui.h"
#include "app/gui_jobs.h"
#include "app/time_shift.h"
#include "app/user_requests.h"
#include "app/window.h"
#include "app/window_links.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/text.h"

namespace {

// The parking controls in the order of disabling.
const GuiControl* const kParkingControls[] = {
    &parking_percentage, &AUTO_PARK, &WEEK, &PARK_SOFT, &MAX_FIT_FL, &MAX_PARK_SEL,
    &MAX_LIVE_SEL, &FLUSH_BUTTON, &PARKING_INTERVAL_MINUTES, &PARK_BUTTON, &RT_PARKTRAFFIC_ONLY,
};

bool lf_guiThreadHere()
{
    const uint32_t id = Gui::instance().guiThreadId.load();
    return id != 0 && id == GetCurrentThreadId();
}

void lf_enable(std::initializer_list<const GuiControl*> controls, bool enabled)
{
    for (const GuiControl* c : controls)
        gf_enableControl(*c, enabled);
}

// MAX_FIT_FL follows MAX_FIT and is selected in its combo box.
void lf_syncMaxFitFl()
{
    if (lf_guiThreadHere()) {
        gf_syncMaxFitFl();
        return;
    }
    MAX_FIT_FL.set(gf_maxFitFlFromIndex(MAX_FIT.value));
    const auto it = std::find(MAX_FIT_FL.options.begin(), MAX_FIT_FL.options.end(), MAX_FIT_FL.value);
    if (it != MAX_FIT_FL.options.end())
        gf_selectComboIndex(MAX_FIT_FL, static_cast<size_t>(it - MAX_FIT_FL.options.begin()));
}

void lf_maxFitFlRule()
{
    gf_enableControl(MAX_FIT_FL, RT_PARKTRAFFIC_ONLY.value || !AUTO_PARK.value);
}

// Finds the control in the main window and posts its new text.
void lf_setControlText(const GuiControl& control, const std::string& text)
{
    HWND main = gf_mainWindow();
    HWND item = main ? GetDlgItem(main, control.controlId) : nullptr;
    if (item == nullptr) {
        gf_logNoThrow(fmt::format("GetDlgItem failed for ID {}", control.controlId));
        return;
    }
    try {
        std::wstring wide = utf8_to_wide(text);
        gf_runOnGuiThread([item, wide = std::move(wide)] {
            if (IsWindow(item))
                SetWindowTextW(item, wide.c_str());
        });
        gf_repaintStatusPanel();
    } catch (const std::exception& e) {
        gf_logNoThrow(fmt::format("utf8_to_wide failed for '{}': {}", text, e.what()));
    }
}

} // namespace

float gf_maxFitFlFromIndex(int32_t index)
{
    return static_cast<float>(std::clamp(index, 0, 47) + 1) * 0.5f;
}

int32_t gf_maxFitFlToIndex(float value)
{
    const float hours = std::isnan(value) ? 0.5f : std::clamp(value, 0.5f, 24.0f);
    return std::clamp(static_cast<int32_t>(std::lround(2.0f * hours)) - 1, 0, 47);
}

void gf_setControlTextFromInt(const IntChoiceParameter& setting)
{
    lf_setControlText(setting, std::to_string(setting.value));
}

void gf_setControlTextFromString(const GuiStringParameter& setting)
{
    lf_setControlText(setting, setting.value);
}

void lf_fillSettingsPanel()
{
    const bool rtApp = !gf_isRTDirect();

    gf_enableControl(OBJECTID_LIST, true);                                        // 1
    gf_fillComboBox(RT_CHOISE);                                                   // 2
    gf_enableControl(RT_CHOISE, false);
    gf_fillComboBox(QNH_UNIT);                                                    // 3
    gf_enableControl(QNH_UNIT, true);
    Gui::instance().enqueueUpdate(GuiUpdate::QnhUnit{QNH_UNIT.value == "QNH inHg"});
    lf_enable({&GUID_CHANGES, &RANDOM, &ALWAYS_ON_TOP, &NAV_LIGHTS_WHILE_PARKED, &LIG_AUTOMATIC, // 4
               &LIG_PRIORITIZE, &SKIP_AIRPORT_SCAN, &SKIP_LIVERIES_SCAN},
              true);
    if (!tbloReady.load() && std::filesystem::exists(g_tbloFolder) &&                // 5
        std::filesystem::exists(g_tbloFolder / g_tbloArchive)) {
        tbloReady.store(true);
        gf_showTbloHint();
    }
    gf_enableControl(TBLO_BUTTON, tbloReady.load());
    lf_enable({&TWO_PROPS, &LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT}, true); // 6
    gf_fillComboBox(RANGE);                                                       // 7
    gf_enableControl(AUTO_RANGE, true);
    gf_enableControl(RANGE, !AUTO_RANGE.value);
    gf_fillComboBox(HOLDING_THRESHOLD_METERS);                                    // 8
    gf_fillComboBox(MAX_HOLDING_MINUTES);
    lf_enable({&HOLDING_THRESHOLD_METERS, &MAX_HOLDING_MINUTES}, true);
    gf_fillComboBox(TCAS_FL);                                                     // 9
    gf_fillComboBox(MATCHING_DEPTH);                                              // 10
    gf_enableControl(MATCHING_DEPTH, true);
    gf_enableControl(BLOCK_BUTTON, false);                                        // 11
    gf_enableControl(UNBLOCK_BUTTON, !BLOCK_AIRCRAFT.value.empty());
    lf_enable({&COLLISION_USER_GND, &COLLISION_USER_AIR, &COLLISION_LIVE_PARKED_GND}, true); // 12
    gf_enableControl(PARK_BUTTON, false);                                         // 13
    gf_fillComboBox(MAX_PARK_SEL);                                                // 14
    gf_fillComboBox(MAX_LIVE_SEL);
    lf_enable({&MAX_PARK_SEL, &MAX_LIVE_SEL}, true);
    gf_fillComboBox(ALL_AIR_GND_SELECTOR);                                        // 15
    gf_enableControl(ALL_AIR_GND_SELECTOR, true);
    gf_enableControl(AIRCRAFT_BUTTON, false);                                     // 16
    {
        std::lock_guard lock(gf_controlValuesMutex());
        gf_fillComboBox(AIRCRAFT_SELECTOR);                                       // 17
        gf_fillComboBox(STAND_SELECTOR);
    }
    lf_enable({&AIRCRAFT_SELECTOR, &STAND_SELECTOR}, false);
    gf_enableControl(AEROWINX, rtApp);                                            // 18
    gf_fillComboBox(AI_PACKAGE_SELECTOR);                                         // 19
    gf_enableControl(AI_PACKAGE_SELECTOR, LIG_AUTOMATIC.value);
    gf_fillComboBox(SIM_CHOICE);                                                  // 20
    gf_enableControl(SIM_CHOICE, true);
    gf_enableControl(DESTINATION, true);                                          // 21
    gf_fillComboBox(AIRP_RANGE);                                                  // 22
    gf_fillComboBox(AIRP_HEIGHT);
    gf_fillComboBox(PARKING_INTERVAL_MINUTES);
    gf_fillComboBox(parking_percentage);
    lf_enable({&AIRP_RANGE, &AIRP_HEIGHT, &PARKING_INTERVAL_MINUTES, &parking_percentage}, true);
    gf_fillComboBox(MAX_FIT_FL);                                                  // 23
    lf_syncMaxFitFl();
    lf_enable({&MAX_FIT_FL, &WEEK, &PARK_SOFT, &AUTO_PARK, &RT_PARKTRAFFIC_ONLY}, true); // 24
    gf_enableControl(FLUSH_BUTTON, false);
    gf_updateParkTrafficOnlyControls();                                           // 25
    gf_updateAutoParkControls();
    lf_maxFitFlRule();
}

void gf_enableTimeShiftControls(bool enabled)
{
    lf_enable({&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS, &SIM_TIME}, enabled);
    if (!enabled)
        Gui::instance().enqueueUpdate(GuiUpdate::DisableTimeShift{});
    gf_enableControl(SET_BUTTON, false);
}

void lf_clearKeepSimTimePar()
{
    KEEP_SIM_TIME_PAR.value = false;
    KEEP_SIM_TIME_PAR.save();
    gf_setCheckMark(KEEP_SIM_TIME_PAR, false);
}

void lf_initTimeShiftControls()
{
    if (!gf_isRTDirect()) {
        gf_enableControl(KEEP_SIM_TIME_PAR, false);
        lf_enable({&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS, &SIM_TIME}, false);
        Gui::instance().enqueueUpdate(GuiUpdate::DisableTimeShift{});
        gf_enableControl(SET_BUTTON, false);
        return;
    }
    gf_fillComboBox(TIME_SHIFT_DAYS);
    gf_fillComboBox(TIME_SHIFT_HOURS);
    gf_fillComboBox(TIME_SHIFT_MINS);
    gf_enableControl(KEEP_SIM_TIME_PAR, true);
    if (!SIM_TIME.value) {
        const bool allDefault = TIME_SHIFT_DAYS.value == TIME_SHIFT_DAYS.defaultValue &&
                                TIME_SHIFT_HOURS.value == TIME_SHIFT_HOURS.defaultValue &&
                                TIME_SHIFT_MINS.value == TIME_SHIFT_MINS.defaultValue;
        if (!allDefault)
            lf_applyTimeShift(lf_getTimeShiftMinutes(), true, false);
    } else if (gf_parametersSnapshot()->SIM_TIME) {
        lastSimTime.store(0);
    } else {
        lf_storeTimeShift(0);
        lf_applyTimeShift(0, false, false);
        lastSimTime.store(gf_simulatorUtcSeconds().value_or(0));
    }
    lf_enable({&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS, &SIM_TIME}, true);
    gf_enableControl(SET_BUTTON, false);
}

void gf_disableParkingControls()
{
    for (const GuiControl* c : kParkingControls)
        gf_enableControl(*c, false);
    gf_repaintStatusPanel();
}

void gf_updateParkTrafficOnlyControls()
{
    const bool t = RT_PARKTRAFFIC_ONLY.value;
    lf_enable({&parking_percentage, &AUTO_PARK, &WEEK, &PARK_SOFT}, !t);
    gf_enableControl(MAX_FIT_FL, !(AUTO_PARK.value && !t));
    gf_repaintStatusPanel();
}

void gf_updateAutoParkControls()
{
    const bool a = AUTO_PARK.value;
    gf_enableControl(MAX_FIT_FL, !a || RT_PARKTRAFFIC_ONLY.value);
    lf_enable({&WEEK, &PARK_SOFT}, !a);
    gf_repaintStatusPanel();
}

void gf_updateParkingControls()
{
    gf_updateParkTrafficOnlyControls();
    gf_updateAutoParkControls();
    lf_maxFitFlRule();
}

void gf_enableParkingControls()
{
    parkingInProgress.store(false);
    for (const GuiControl* c : kParkingControls)
        gf_enableControl(*c, true);
    gf_updateParkingControls();
    const int32_t minutes = gf_parametersSnapshot()->PARKING_INTERVAL_MINUTES;
    Gui::instance().enqueueUpdate(GuiUpdate::NextUpdate{static_cast<uint32_t>(std::max(minutes, 0))});
    gf_repaintStatusPanel();
    gf_clearMessage();
}

void gf_restartParkingCountdown()
{
    const int32_t minutes = gf_parametersSnapshot()->PARKING_INTERVAL_MINUTES;
    pendingParkingInterval.store(minutes);
    Gui::instance().enqueueUpdate(GuiUpdate::NextUpdate{static_cast<uint32_t>(std::max(minutes, 0))});
}
