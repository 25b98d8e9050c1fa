// Registration of Kelo's identifiers on a new connection, and the OPEN
// packet that tells which simulator answered.
#include <array>
#include <cctype>
#include <utility>

#include <fmt/format.h>

#include "core/gui_senders.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/value_types.h"
#include "simlink/sim_client.h"
#include "simlink/sim_client_internal.h"
#include "simlink/sim_link_state.h"
#include "simlink/sim_packet.h"
#include "simlink/simconnect_ids.h"
#include "simlink/simconnect_loader.h"

namespace {

struct Field {
    const char* name;
    const char* unit;
    SIMCONNECT_DATATYPE type;
};

constexpr SIMCONNECT_DATATYPE F = SIMCONNECT_DATATYPE_FLOAT64;
constexpr SIMCONNECT_DATATYPE I = SIMCONNECT_DATATYPE_INT64;

struct Definition {
    SimDefinitionId id;
    const char* idName;
    std::initializer_list<Field> fields;
};

// In the order of registration.
const std::array<Definition, 9> kDefinitions{{
    {DEFINITION_USER_AC_GET_TITLE, "DEFINITION_USER_AC_GET_TITLE", {{"TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV}}},
    {DEFINITION_USER_AC_GET_MODEL, "DEFINITION_USER_AC_GET_MODEL",
     {{"ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32}}},
    {DEFINITION_USER_AC_GET_ONGROUND, "DEFINITION_USER_AC_GET_ONGROUND", {{"SIM ON GROUND", "Bool", I}}},
    {DEFINITION_LATLONPIBAHEALVSTAS,
     "DEFINITION_LATLONPIBAHEALVSTAS",
     {{"Plane Latitude", "degree", F},
      {"Plane Longitude", "degree", F},
      {"Plane Pitch degrees", "radian", F},
      {"Plane Bank degrees", "radian", F},
      {"Plane Heading degrees true", "radian", F},
      {"Plane Altitude", "feet", F},
      {"Vertical Speed", "feet per minute", F},
      {"Airspeed True", "knots", F}}},
    {DEFINITION_LATLONPIBAVSHETRALTGSZULI,
     "DEFINITION_LATLONPIBAVSHETRALTGSZULI",
     {{"Plane Latitude", "degree", F},
      {"Plane Longitude", "degree", F},
      {"Plane Pitch degrees", "radian", F},
      {"Plane Bank degrees", "radian", F},
      {"Vertical Speed", "feet per minute", F},
      {"Plane Heading degrees true", "radian", F},
      {"Plane Altitude", "feet", F},
      {"Indicated Altitude", "feet", F},
      {"Plane Alt Above Ground", "feet", F},
      {"Ground Velocity", "knots", F},
      {"ZULU TIME", "Seconds", I},
      {"ZULU DAY OF YEAR", "Number", I},
      {"ZULU YEAR", "Number", I},
      {"LIGHT STATES", "Mask", I},
      {"GPS Ground True Track", "degree", F}}},
    {DEFINITION_AI_GET_STATIC_CG_AND_PITCH,
     "DEFINITION_AI_GET_STATIC_CG_AND_PITCH",
     {{"Static CG to Ground", "feet", F}, {"Static Pitch", "radian", F}}},
    {DEFINITION_AI_LIGHTS, "DEFINITION_AI_LIGHTS", {{"Light On States", "Mask", I}}},
    {DEFINITION_AI_GET_POSITION,
     "DEFINITION_AI_GET_POSITION",
     {{"Plane Alt Above Ground", "feet", F},
      {"Ground Altitude", "feet", F},
      {"SIM ON GROUND", "Bool", I},
      {"ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32}}},
    {DEFINITION_REVERSE_THRUST,
     "DEFINITION_REVERSE_THRUST",
     {{"SPOILERS HANDLE POSITION", "percent", F},
      {"GENERAL ENG THROTTLE LEVER POSITION:1", "percent", F},
      {"GENERAL ENG THROTTLE LEVER POSITION:2", "percent", F}}},
}};

struct NamedEvent {
    SimSystemEventId id;
    const char* idName;
    const char* simName;
};

// Subscription order.
constexpr std::array<NamedEvent, 5> kSystemEvents{{
    {EVENT_SIM, "EVENT_SIM", "Sim"},
    {EVENT_OBJECT_ADDED, "EVENT_OBJECT_ADDED", "ObjectAdded"},
    {EVENT_OBJECT_REMOVED, "EVENT_OBJECT_REMOVED", "ObjectRemoved"},
    {EVENT_FLIGHT_LOADED, "EVENT_FLIGHT_LOADED", "FlightLoaded"},
    {EVENT_FRAME, "EVENT_FRAME", "Frame"},
}};

// Mapping order.
constexpr std::array<std::pair<uint32_t, const char*>, 17> kClientEvents{{
    {EVENT_GEAR_SET, "GEAR_SET"},
    {EVENT_ENGINE_AUTO_START, "ENGINE_AUTO_START"},
    {EVENT_ENGINE_AUTO_SHUTDOWN, "ENGINE_AUTO_SHUTDOWN"},
    {EVENT_THROTTLE_SET, "THROTTLE_SET"},
    {EVENT_FLAPS_SET, "FLAPS_SET"},
    {EVENT_SPOILERS_SET, "SPOILERS_SET"},
    {EVENT_NAV_LIGHTS_SET, "NAV_LIGHTS_SET"},
    {EVENT_BEACON_LIGHTS_SET, "BEACON_LIGHTS_SET"},
    {EVENT_LANDING_LIGHTS_SET, "LANDING_LIGHTS_SET"},
    {EVENT_TAXI_LIGHTS_SET, "TAXI_LIGHTS_SET"},
    {EVENT_STROBES_SET, "STROBES_SET"},
    {EVENT_LOGO_LIGHTS_SET, "LOGO_LIGHTS_SET"},
    {EVENT_CABIN_LIGHTS_SET, "CABIN_LIGHTS_SET"},
    {EVENT_ALL_LIGHTS_TOGGLE, "ALL_LIGHTS_TOGGLE"},
    {EVENT_FREEZE_LATITUDE_LONGITUDE_SET, "FREEZE_LATITUDE_LONGITUDE_SET"},
    {EVENT_FREEZE_ALTITUDE_SET, "FREEZE_ALTITUDE_SET"},
    {EVENT_FREEZE_ATTITUDE_SET, "FREEZE_ATTITUDE_SET"},
}};

// The sixteen events of the group, in order (ENGINE_AUTO_START is not one).
constexpr std::array<uint32_t, 16> kGroupEvents{
    EVENT_NAV_LIGHTS_SET, EVENT_BEACON_LIGHTS_SET, EVENT_LANDING_LIGHTS_SET,
    EVENT_TAXI_LIGHTS_SET, EVENT_STROBES_SET, EVENT_LOGO_LIGHTS_SET,
    EVENT_CABIN_LIGHTS_SET, EVENT_ALL_LIGHTS_TOGGLE, EVENT_FLAPS_SET,
    EVENT_SPOILERS_SET, EVENT_GEAR_SET, EVENT_ENGINE_AUTO_SHUTDOWN,
    EVENT_THROTTLE_SET, EVENT_FREEZE_LATITUDE_LONGITUDE_SET, EVENT_FREEZE_ALTITUDE_SET,
    EVENT_FREEZE_ATTITUDE_SET,
};

} // namespace

bool lf_checkSetupCall(ScHresult hr, const char* callText)
{
    if (hr >= 0)
        return true;
    gf_logError(fmt::format("SimConnect setup failed: {} (hr=0x{:08X})", callText, static_cast<uint32_t>(hr)));
    return false;
}

bool gf_setupSimConnect(ScHandle handle)
{
    const SimConnectApi& sc = gf_simConnect();
    bool ok = true;
    for (const auto& e : kSystemEvents) {
        const std::string text =
            fmt::format("SimConnect_SubscribeToSystemEvent(l_hsimconnect, {}, \"{}\")", e.idName, e.simName);
        ok = lf_checkSetupCall(sc.SubscribeToSystemEvent(handle, e.id, e.simName), text.c_str()) && ok;
    }
    for (const auto& d : kDefinitions) {
        for (const auto& f : d.fields) {
            const std::string text = fmt::format("SimConnect_AddToDataDefinition(l_hsimconnect, {}, \"{}\", {})",
                                                 d.idName, f.name, f.unit ? fmt::format("\"{}\"", f.unit) : "NULL");
            ok = lf_checkSetupCall(sc.AddToDataDefinition(handle, d.id, f.name, f.unit, f.type, 0.0f,
                                                          SIMCONNECT_UNUSED),
                                   text.c_str()) &&
                 ok;
        }
    }
    for (const auto& civ : kClientEvents)
        ok = lf_checkSetupCall(sc.MapClientEventToSimEvent(handle, civ.first, civ.second),
                               "SimConnect_MapClientEventToSimEvent(l_hsimconnect, civ.first, civ.second.c_str())") &&
             ok;
    for (uint32_t event : kGroupEvents)
        ok = lf_checkSetupCall(sc.AddClientEventToNotificationGroup(handle, TRAFFIC_APP, event, 1),
                               "SimConnect_AddClientEventToNotificationGroup(l_hsimconnect, TRAFFIC_APP, ce, TRUE)") &&
             ok;
    ok = lf_checkSetupCall(sc.SetNotificationGroupPriority(handle, TRAFFIC_APP, SIMCONNECT_GROUP_PRIORITY_HIGHEST),
                           "SimConnect_SetNotificationGroupPriority(l_hsimconnect, TRAFFIC_APP, "
                           "SIMCONNECT_GROUP_PRIORITY_HIGHEST)") &&
         ok;
    return ok;
}

void lf_onSimConnectOpen(const SIMCONNECT_RECV* packet, uint32_t cbData)
{
    if (!gf_checkPacketKind(SIMCONNECT_RECV_ID_OPEN, cbData))
        return;
    const std::string name = lf_readFixedString(packet, 12, 256);
    if (name.empty()) {
        gf_logLine("! Simulator name empty?");
        return;
    }
    std::string cleaned;
    for (char ch : name)
        if (std::isalnum(static_cast<unsigned char>(ch)) || std::isspace(static_cast<unsigned char>(ch)))
            cleaned += ch;

    std::string display;
    if (cleaned == "KittyHawk") {
        if (!gf_isMSFS2020())
            throw kvr::UserRelatedException(2024, "");
        display = "MSFS 2020";
    } else if (cleaned == "SunRise") {
        if (gf_isMSFS2020())
            throw kvr::UserRelatedException(2024, "");
        display = "MSFS 2024";
    } else {
        throw kvr::UserRelatedException(77, fmt::format("'{}' not being MSFS 2020 or MSFS 2024 connects ... ?", cleaned));
    }
    const auto version = [&](size_t offset) { return lf_readAt<uint32_t>(packet, offset); };
    gf_logLine(fmt::format("{} connected", fmt::format("{} ({}.{}.{}.{})", display, version(268), version(272),
                                                       version(276), version(280))));
    gf_postGuiUpdate(GuiUpdate::SimStatus{display});
    gf_clearMessage(); // shows the tblo hint instead while a bundle waits
    g_linkState.store(LinkState::Stopped);
}
