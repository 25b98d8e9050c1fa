// The state of the flight phases that a live aircraft carries from one tick to
// the next: the take-off roll and rotation, the speed ramp of a roll, the air
// arc of the current air leg, the configuration sent, and the landing data of
// the approach. Main task only.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/value_types.h"
#include "engine/speed_ramp.h"
#include "runways/runway_matching.h"

// What a live aircraft is doing (engine/aircraft.h names the phases).
enum class FlightPhase : uint32_t;

// The speed ramp of a straight roll: the aircraft covers the leg from `start`
// to `end` with the ramp's speed profile.
struct RollRamp {
    SpeedRamp ramp;      // length in metres, speeds in m/s
    LatLon start;
    LatLon end;
    std::optional<double> endHeading; // radians, the heading to steer (centre line)
    uint32_t ticks = 0;      // ticks since the ramp began
    FlightPhase phase{};     // the phase it was built for: takeoff_roll or landing_roll
    uint8_t active = 0;
};

// The curved path of an air leg through its next sample.
struct AirArc {
    LatLon start;
    LatLon end;
    double startHeading = 0.0;  // radians
    double maxDeviation = 0.0;  // radians
    int32_t length = 0;         // blend length, ticks
    int32_t counter = 0;        // ticks flown along the arc
    uint8_t valid = 0;
};

// What the approach knows; cleared whenever the aircraft leaves `landing`.
struct LandingData {
    std::optional<double> vsMemory; // ft per tick
    RunwayMatch runway;    // the landing runway (runway.valid)
    std::optional<LatLon> matchPosition; // where the runway was matched
    // Short of the runway the glide path holds the aircraft this high (ft),
    // clear of the ground; set on each tick of the glide path.
    std::optional<double> floorFt;
};

struct FlightState {
    // ---- Take-off ----
    int32_t takeoffCounter = 0;    // rotation, then below zero the climb-out; never below -1000
    double takeoffVsFloor = 0.0;   // ft per tick, 0 = none
    double vsStepMemory = 0.0;     // ft per tick
    double pitchRate = 0.0;        // radians per tick
    double bankRate = 0.0;         // radians per tick
    double groundSpeedKt = 0.0;    // the signed current ground speed
    double liftOffStepKt = -1.0;   // speed of the last step on or just over the wheels, -1 when none
    double targetVsFpm = 0.0;
    RunwayMatch takeoffRunway;     // takeoffRunway.valid
    uint8_t rollingTakeoff = 0;    // the roll began straight from a landing roll
    uint8_t takeoffRetry = 0;      // decide again on the next tick
    uint8_t towed = 0;
    uint8_t climbOutDone = 0;      // set at the end of the climb-out
    uint8_t climbOutBlend = 0;     // the climb-out's vertical speed is blended into the leg's
    uint8_t runwayExit = 0;        // the aircraft left the runway after a roll
    // The model flies its approach checks from 2050 ft. No model table gives
    // this value yet, so every approach gate is 625 ft.
    uint8_t highApproach = 0;

    // ---- Legs ----
    RollRamp ramp;
    AirArc arc;
    std::vector<double> profile;   // per-tick fractions of a ground leg; empty = none
    size_t profileIndex = 0;
    double legOffsetLat = 0.0;     // the whole leg, degrees
    double legOffsetLon = 0.0;

    // ---- Configuration sent ----
    uint8_t cruiseConfigSent = 0;
    uint8_t approachLightsSent = 0;
    uint8_t climbConfig = 0;

    // ---- Approach and flare ----
    LandingData landing;
};
