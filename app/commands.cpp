#include "app/commands.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <functional>
#include <vector>

#include <fmt/format.h>

#include "airports/airport_files.h"
#include "airports/airport_state.h"
#include "app/controls.h"
#include "app/destination.h"
#include "app/gui.h"
#include "app/gui_jobs.h"
#include "app/settings_panel.h"
#include "app/time_shift.h"
#include "app/user_requests.h"
#include "app/window.h"
#include "app/window_links.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/stop_request.h"
#include "core/text.h"
#include "simlink/sim_link_state.h"

namespace {

constexpr const char* kProgramName = "Kelo";
constexpr const char* kSelectAnAircraft = "select an aircraft";

void lf_show(std::string text, bool log = false)
{
    gf_showMessage(std::move(text), log);
}

// On: the message; off: the message line cleared (or the tblo hint).
void lf_showWhen(bool condition, const char* text, bool log = false)
{
    if (condition)
        lf_show(text, log);
    else
        gf_clearMessage();
}

void lf_maxFitFlRule()
{
    gf_enableControl(MAX_FIT_FL, RT_PARKTRAFFIC_ONLY.value || !AUTO_PARK.value);
    gf_repaintStatusPanel();
}

// An integer choice: the option at the index (out of range throws), clamped,
// stored, saved and published.
void lf_takeIntChoice(IntChoiceParameter& p, int index)
{
    p.setAndSave(p.optionAt(static_cast<size_t>(index)));
}

// A text choice that differs from the current value: stored and saved.
bool lf_takeTextChoice(StringChoiceParameter& p, const std::string& text)
{
    if (text == p.value)
        return false;
    p.setAndSave(text);
    return true;
}

struct CheckBoxCommand {
    CheckBoxParameter* box;
    enum class Mode { Any, RTDirectOnly, RTAppOnly } mode;
    std::function<void(bool)> after; // the new value
};

const std::vector<CheckBoxCommand>& lf_checkBoxCommands()
{
    using M = CheckBoxCommand::Mode;
    static const std::vector<CheckBoxCommand> commands = {
        {&LIG_AUTOMATIC, M::Any,
         [](bool on) {
             lf_showWhen(on, "The liveries defined by your lfolder parameters will be scanned");
             gf_enableControl(AI_PACKAGE_SELECTOR, on);
         }},
        {&LIG_PRIORITIZE, M::Any,
         [](bool on) {
             lf_showWhen(on, "Liveries, for airl+model, in lower lfolders that are already available will be skipped");
         }},
        {&COLLISION_LIVE_PARKED_GND, M::Any,
         [](bool on) {
             lf_showWhen(!on, "Be aware, live aircraft may collide with (run through) static parked on the ground");
         }},
        {&COLLISION_USER_GND, M::Any,
         [](bool on) {
             lf_showWhen(!on, "Be aware, user aircraft may collide with (run through) live aircraft and static "
                              "parked on the ground");
         }},
        {&COLLISION_USER_AIR, M::Any,
         [](bool on) {
             lf_showWhen(!on, "Be aware, user aircraft may collide with (run through) live aircraft in the air");
         }},
        {&RT_PARKTRAFFIC_ONLY, M::Any,
         [](bool on) {
             for (const GuiControl* c : {static_cast<const GuiControl*>(&parking_percentage),
                                         static_cast<const GuiControl*>(&AUTO_PARK),
                                         static_cast<const GuiControl*>(&WEEK),
                                         static_cast<const GuiControl*>(&PARK_SOFT)})
                 gf_enableControl(*c, !on);
             lf_maxFitFlRule();
             ParkingRequests& requests = gf_parkingRequests();
             std::lock_guard lock(requests.mutex);
             ++requests.parkTrafficOnlyGeneration;
             requests.parkTrafficOnlyValue = on;
         }},
        {&AUTO_PARK, M::Any,
         [](bool on) {
             gf_enableControl(WEEK, !on);
             gf_enableControl(PARK_SOFT, !on);
             lf_maxFitFlRule();
         }},
        {&RANDOM, M::Any,
         [](bool on) {
             lf_showWhen(!on, "Be aware: no randomness in matching or parking! (This mode is meant for multi Sims)",
                         true);
             gf_repaintStatusPanel();
         }},
        {&ALWAYS_ON_TOP, M::Any,
         [](bool on) {
             if (on)
                 lf_show(fmt::format("{}'s window will remain visible", kProgramName));
             else
                 gf_clearMessage();
             Gui::instance().enqueueUpdate(GuiUpdate::StayOnTop{on});
             gf_repaintStatusPanel();
         }},
        {&FLIGHT_MESSAGES, M::Any, [](bool) {}},
        {&GUID_CHANGES, M::Any,
         [](bool on) {
             lf_showWhen(!on, "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc!");
             gf_repaintStatusPanel();
         }},
        {&SIM_TIME, M::RTDirectOnly,
         [](bool) {
             for (IntChoiceParameter* p : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
                 p->setAndSave(0);
                 gf_selectComboIndex(*p, p->indexOfValue());
             }
             gf_enableControl(SET_BUTTON, false);
             gf_repaintStatusPanel();
             gf_requestStop(3, 0);
         }},
        {&AEROWINX, M::RTAppOnly,
         [](bool on) {
             if (on)
                 lf_show(fmt::format("Note: This mode is for Aerowinx PSX users only, please re-start {}", kProgramName));
             else
                 gf_clearMessage();
         }},
        {&PARK_SOFT, M::Any, [](bool) {}},
        {&WEEK, M::Any, [](bool) {}},
        {&NAV_LIGHTS_WHILE_PARKED, M::Any, [](bool on) { gf_postUserRequest(UserRequest::NavLights{on}); }},
        {&OBJECTID_LIST, M::Any,
         [](bool on) {
             if (on)
                 lf_show(fmt::format("Every minute info about all active live aircraft is written to the file {}",
                                     wide_to_utf8(std::filesystem::absolute(g_objectIdListPath).wstring())),
                         true);
             else
                 gf_clearMessage();
             gf_repaintStatusPanel();
         }},
        {&SKIP_AIRPORT_SCAN, M::Any, [](bool) {}},
        {&SKIP_LIVERIES_SCAN, M::Any, [](bool) {}},
        {&KEEP_SIM_TIME_PAR, M::RTDirectOnly, [](bool) {}},
        {&TWO_PROPS, M::Any, [](bool on) { if (!on) gf_postUserRequest(UserRequest::TwoPropsOff{}); }},
        {&LIGHT_AIRCRAFT, M::Any, [](bool on) { if (!on) gf_postUserRequest(UserRequest::LightAircraftOff{}); }},
        {&HELICOPTERS, M::Any, [](bool on) { if (!on) gf_postUserRequest(UserRequest::HelicoptersOff{}); }},
        {&HIGH_PERF_AIRCRAFT, M::Any, [](bool on) { if (!on) gf_postUserRequest(UserRequest::HighPerfOff{}); }},
        {&AUTO_RANGE, M::Any,
         [](bool on) {
             if (on)
                 gf_runAutoRange();
             else
                 gf_setRange(gf_parametersSnapshot()->rangeNmWhole);
             gf_enableControl(RANGE, !on);
         }},
    };
    return commands;
}

} // namespace

bool lf_HandleWMCOMMAND(HWND hwnd, WPARAM wParam)
{
    try {
        const auto id = static_cast<uint16_t>(LOWORD(wParam));
        return lf_handleButtonCommand(id) || lf_handleCheckBoxCommand(hwnd, id) || lf_handleComboCommand(hwnd, wParam);
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception {}", "lf_HandleWMCOMMAND", e.what()));
    } catch (...) {
        gf_logError(fmt::format("{} exception {}", "lf_HandleWMCOMMAND", "unknown"));
    }
    return false;
}

bool lf_handleButtonCommand(uint16_t id)
{
    if (id == BLOCK_BUTTON.controlId) {
        std::lock_guard lock(gf_controlValuesMutex());
        if (AIRCRAFT_SELECTOR.value.empty())
            lf_show("Nothing to block ...", true);
        else
            lf_blockAircraft();
        return true;
    }
    if (id == AIRCRAFT_BUTTON.controlId) {
        gf_postUserRequest(UserRequest::ListAircraft{});
        gf_enableControl(BLOCK_BUTTON, false);
        return true;
    }
    if (id == UNBLOCK_BUTTON.controlId) {
        gf_postUserRequest(UserRequest::RestartNow{});
        if (BLOCK_AIRCRAFT.value.empty())
            lf_show("Nothing to unblock...", true);
        else
            lf_unblockAircraft();
        return true;
    }
    if (id == FLUSH_BUTTON.controlId) {
        lf_show("All static parked aircraft will be removed ...");
        gf_postUserRequest(UserRequest::FlushStatic{});
        gf_enableControl(FLUSH_BUTTON, false);
        return true;
    }
    if (id == SET_BUTTON.controlId) {
        lf_applyTimeShift(lf_getTimeShiftMinutes(), false, true);
        gf_enableControl(SET_BUTTON, false);
        return true;
    }
    if (id == TBLO_BUTTON.controlId) {
        gf_enableControl(TBLO_BUTTON, false);
        tbloReady.store(false);
        const std::filesystem::path archive = std::filesystem::current_path() / g_tbloFolder / g_tbloArchive;
        if (!gf_openFolderInExplorer(archive))
            gf_messageBox(gf_mainWindow(), L"Could not open File Explorer at tblo.zip.", L"Kelo", MB_ICONWARNING);
        return true;
    }
    if (id == PARK_BUTTON.controlId) {
        if (!parkingAirportLoaded.load())
            return true;
        if (!gf_isRTDirect())
            gf_askRTAppForParkedTraffic();
        lf_triggerStaticParkingUpdate();
        gf_restartParkingCountdown();
        return true;
    }
    return false;
}

bool lf_handleCheckBoxCommand(HWND hwnd, uint16_t id)
{
    const bool rtDirect = gf_isRTDirect();
    for (const CheckBoxCommand& c : lf_checkBoxCommands()) {
        if (c.box->controlId != id)
            continue;
        if ((c.mode == CheckBoxCommand::Mode::RTDirectOnly && !rtDirect) ||
            (c.mode == CheckBoxCommand::Mode::RTAppOnly && rtDirect))
            return false;
        c.box->onClick(hwnd, id);
        c.after(c.box->value);
        return true;
    }
    return false;
}

std::optional<std::pair<int, std::string>> lf_getComboSelection(HWND hwnd, uint16_t id, WPARAM wParam)
{
    if (LOWORD(wParam) != id || HIWORD(wParam) != CBN_SELCHANGE)
        return std::nullopt;
    HWND combo = GetDlgItem(hwnd, id);
    if (combo == nullptr)
        return std::nullopt;
    const LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return std::nullopt;
    const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR)
        return std::nullopt;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    if (copied == CB_ERR)
        return std::nullopt;
    text.resize(static_cast<size_t>(copied));
    return std::pair<int, std::string>{static_cast<int>(index), wide_to_utf8(text)};
}

bool lf_handleComboCommand(HWND hwnd, WPARAM wParam)
{
    const auto selection = [&](const GuiControl& c) { return lf_getComboSelection(hwnd, c.controlId, wParam); };

    if (auto s = selection(SIM_CHOICE)) {
        if (lf_takeTextChoice(SIM_CHOICE, s->second)) {
            simChoiceSetByUser.store(true);
            lf_show(fmt::format("Switching MSFS version in {}", kProgramName), true);
            gf_requestStop(3, 3);
        }
        return true;
    }
    if (auto s = selection(AI_PACKAGE_SELECTOR)) {
        if (lf_takeTextChoice(AI_PACKAGE_SELECTOR, s->second))
            lf_show("If you want to make this choice effective, you must start a Scan for liveries", true);
        return true;
    }
    if (auto s = selection(RT_CHOISE)) {
        if (lf_takeTextChoice(RT_CHOISE, s->second)) {
            gf_enableControl(RT_CHOISE, false);
            if (!gf_isRTDirect())
                gf_closeRTAppServer();
            gf_requestStop(3, 0);
        }
        return true;
    }
    if (auto s = selection(QNH_UNIT)) {
        if (lf_takeTextChoice(QNH_UNIT, s->second))
            Gui::instance().enqueueUpdate(GuiUpdate::QnhUnit{s->second == "QNH inHg"});
        return true;
    }
    if (auto s = selection(AIRCRAFT_SELECTOR)) {
        if (s->second != kSelectAnAircraft) {
            std::lock_guard lock(gf_controlValuesMutex());
            AIRCRAFT_SELECTOR.value = s->second;
            gf_enableControl(BLOCK_BUTTON, true);
        }
        return true;
    }
    if (auto s = selection(STAND_SELECTOR)) {
        lf_onStandChosen(s->second);
        return true;
    }
    if (auto s = selection(ALL_AIR_GND_SELECTOR)) {
        ALL_AIR_GND_SELECTOR.setAndSave(s->second);
        return true;
    }
    if (auto s = selection(MATCHING_DEPTH)) {
        const int32_t old = MATCHING_DEPTH.value;
        lf_takeIntChoice(MATCHING_DEPTH, s->first);
        if (MATCHING_DEPTH.value > old)
            gf_postUserRequest(UserRequest::Rematch{});
        return true;
    }
    for (IntChoiceParameter* p : {&TCAS_FL, &parking_percentage}) {
        if (auto s = selection(*p)) {
            lf_takeIntChoice(*p, s->first);
            return true;
        }
    }
    if (auto s = selection(RANGE)) {
        const int32_t nm = RANGE.optionAt(static_cast<size_t>(s->first));
        RANGE.setAndSave(nm);
        gf_setParametersRange(nm);
        gf_setRange(nm);
        return true;
    }
    for (IntChoiceParameter* p : {&HOLDING_THRESHOLD_METERS, &MAX_HOLDING_MINUTES, &AIRP_RANGE, &AIRP_HEIGHT}) {
        if (auto s = selection(*p)) {
            lf_takeIntChoice(*p, s->first);
            return true;
        }
    }
    if (auto s = selection(PARKING_INTERVAL_MINUTES)) {
        lf_takeIntChoice(PARKING_INTERVAL_MINUTES, s->first);
        gf_restartParkingCountdown();
        return true;
    }
    if (auto s = selection(MAX_FIT_FL)) {
        MAX_FIT_FL.set(MAX_FIT_FL.optionAt(static_cast<size_t>(s->first)));
        MAX_FIT.setAndSave(gf_maxFitFlToIndex(MAX_FIT_FL.value));
        return true;
    }
    if (auto s = selection(MAX_PARK_SEL)) {
        lf_takeIntChoice(MAX_PARK_SEL, s->first);
        gf_postUserRequest(UserRequest::MaxParkChanged{});
        return true;
    }
    if (auto s = selection(MAX_LIVE_SEL)) {
        lf_takeIntChoice(MAX_LIVE_SEL, s->first);
        gf_postUserRequest(UserRequest::MaxLiveChanged{});
        return true;
    }
    if (gf_isRTDirect()) {
        for (IntChoiceParameter* p : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
            if (auto s = selection(*p)) {
                lf_takeIntChoice(*p, s->first);
                gf_enableControl(SET_BUTTON, true);
                gf_repaintStatusPanel();
                return true;
            }
        }
    }
    return false;
}

std::optional<AircraftSelection> gf_parseAircraftSelection(const std::string& entry)
{
    const std::vector<std::string> pieces = gf_split(entry, ',');
    if (pieces.size() != 4 || pieces[0].empty())
        return std::nullopt;
    const std::string& hex = pieces[2];
    if (hex.empty() || hex.size() > 8 ||
        !std::all_of(hex.begin(), hex.end(), [](unsigned char c) { return std::isxdigit(c) != 0; }))
        return std::nullopt;
    AircraftSelection s;
    s.callsign = pieces[0];
    s.regcode = pieces[1];
    s.hexid = static_cast<uint32_t>(std::stoul(hex, nullptr, 16));
    return s;
}

void lf_blockAircraft()
{
    const std::string entry = [] {
        std::lock_guard lock(gf_controlValuesMutex());
        return AIRCRAFT_SELECTOR.value;
    }();
    const std::optional<AircraftSelection> s = gf_parseAircraftSelection(entry);
    if (!s) {
        BLOCK_AIRCRAFT.setAndSave(std::string());
        return;
    }
    BLOCK_AIRCRAFT.setAndSave(entry);
    BLOCK_CALLSIGN.setAndSave(s->callsign);
    BLOCK_REGCODE.setAndSave(s->regcode);
    callsignEndsWithUnderscore.store(!s->callsign.empty() && s->callsign.back() == '_');
    BLOCK_HEXIDDEC.setAndSave(static_cast<int32_t>(std::min<uint32_t>(s->hexid, INT32_MAX)));
    lf_show(fmt::format("Aircraft with callsign: {}, regcode: {} and hexid: {:x} is blocked", s->callsign,
                        s->regcode, s->hexid),
            true);
    gf_enableControl(BLOCK_BUTTON, false);
    gf_enableControl(UNBLOCK_BUTTON, true);
    gf_enableControl(AIRCRAFT_BUTTON, false);
    gf_enableControl(AIRCRAFT_SELECTOR, false);
    gf_enableControl(ALL_AIR_GND_SELECTOR, false);
    gf_postUserRequest(UserRequest::Block{});
}

void lf_unblockAircraft()
{
    lf_show(fmt::format("No more blocking of aircraft: cs: {} reg: {} hexid: {:x} ", BLOCK_CALLSIGN.value,
                        BLOCK_REGCODE.value, static_cast<uint32_t>(BLOCK_HEXIDDEC.value)),
            true);
    BLOCK_AIRCRAFT.setAndSave(std::string());
    BLOCK_CALLSIGN.setAndSave(std::string());
    BLOCK_REGCODE.setAndSave(std::string());
    callsignEndsWithUnderscore.store(false);
    BLOCK_HEXIDDEC.setAndSave(0);
    gf_enableControl(BLOCK_BUTTON, false);
    gf_enableControl(UNBLOCK_BUTTON, false);
    gf_enableControl(AIRCRAFT_BUTTON, true);
    gf_enableControl(ALL_AIR_GND_SELECTOR, true);
    std::lock_guard lock(gf_controlValuesMutex());
    *g_aircraftSelectorOptions = {std::string()};
    AIRCRAFT_SELECTOR.value.clear();
    gf_fillComboBox(AIRCRAFT_SELECTOR);
    gf_enableControl(AIRCRAFT_SELECTOR, false);
}

void lf_triggerStaticParkingUpdate()
{
    lf_show(fmt::format("{} will update static parking soon ...", kProgramName));
    gf_disableParkingControls();
    ParkingRequests& requests = gf_parkingRequests();
    std::lock_guard lock(requests.mutex);
    ++requests.requestedGeneration;
}

void gf_fatalError(const std::string& text)
{
    gf_showError(text);
    gf_requestStop(8, 0);
}
