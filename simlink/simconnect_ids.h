// The fixed identifiers of Kelo's SimConnect connections: data definitions,
// system events, client events, the notification group and the requests.
// They are chosen by Kelo and bind whatever answers as the simulator.
#pragma once

#include <cstdint>

// Data definitions of the main connection.
enum SimDefinitionId : std::uint32_t {
    DEFINITION_REVERSE_THRUST = 401,
    DEFINITION_LATLONPIBAHEALVSTAS = 402,
    DEFINITION_LATLONPIBAVSHETRALTGSZULI = 403,
    DEFINITION_AI_GET_POSITION = 404,
    DEFINITION_AI_GET_STATIC_CG_AND_PITCH = 405,
    DEFINITION_AI_LIGHTS = 406,
    DEFINITION_USER_AC_GET_TITLE = 407,
    DEFINITION_USER_AC_GET_MODEL = 408,
    DEFINITION_USER_AC_GET_ONGROUND = 409,
    // Facility definitions of the second connection.
    DEFINITION_FACILITY_PARKING = 1001,
    DEFINITION_FACILITY_RUNWAYS = 1002,
};

// Subscribed system events.
enum SimSystemEventId : std::uint32_t {
    EVENT_SIM = 201,
    EVENT_OBJECT_ADDED = 202,
    EVENT_OBJECT_REMOVED = 203,
    EVENT_FRAME = 204,
    EVENT_FLIGHT_LOADED = 205,
};

// Client events mapped to simulator events (sent to AI objects).
enum SimClientEventId : std::uint32_t {
    EVENT_BEACON_LIGHTS_SET = 206,
    EVENT_NAV_LIGHTS_SET = 207,
    EVENT_TAXI_LIGHTS_SET = 208,
    EVENT_STROBES_SET = 209,
    EVENT_LANDING_LIGHTS_SET = 210,
    EVENT_CABIN_LIGHTS_SET = 211,
    EVENT_LOGO_LIGHTS_SET = 212,
    EVENT_ALL_LIGHTS_TOGGLE = 213,
    EVENT_FREEZE_LATITUDE_LONGITUDE_SET = 214,
    EVENT_FREEZE_ALTITUDE_SET = 215,
    EVENT_FREEZE_ATTITUDE_SET = 216,
    EVENT_FLAPS_SET = 217,
    EVENT_SPOILERS_SET = 218,
    EVENT_GEAR_SET = 219,
    EVENT_ENGINE_AUTO_START = 220,
    EVENT_ENGINE_AUTO_SHUTDOWN = 221,
    EVENT_THROTTLE_SET = 222,
};

// The one notification group of the client events.
inline constexpr std::uint32_t TRAFFIC_APP = 301;

// Request ids.
enum SimRequestId : std::uint32_t {
    AI_POSITION = 101,
    AI_STATIC_CG_AND_PITCH = 102,
    REQUEST_AI_RELEASE = 103,
    REQUEST_AI_REMOVE = 104,
    USER_AC_TITLE = 105,
    USER_AC_MODEL = 106,
    USER_AC_ON_GROUND = 107,
    USER_AC_POSITION = 108,
    REQUEST_AI_FLIGHT_PLAN = 109,
    // Facility requests of the second connection.
    REQUEST_FACILITY_PARKING = 2001,
    REQUEST_FACILITY_RUNWAYS = 2002,
};

// Creation requests take their ids from a counter that starts here.
inline constexpr std::uint32_t FIRST_CREATION_REQUEST_ID = 10000;
