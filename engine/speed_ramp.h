// How an aircraft covers a straight leg of known length in a known time while
// its speed changes smoothly from a start to an end speed: a cubic Hermite
// curve of distance over normalised time, kept monotone by limiting its end
// slopes (Fritsch-Carlson).
//
// With u = t / T in [0, 1] the distance covered is
//   s(u) = (u^3 - 2u^2 + u) T v0 + (3u^2 - 2u^3) D + (u^3 - u^2) T v1
// and the speed its derivative over T.
#pragma once

#include <cstdint>

struct SpeedRamp {
    double length = 0.0;     // D, the caller's distance unit
    double duration = 0.0;   // T, seconds
    double startSpeed = 0.0; // v0, distance unit per second, after the limit
    double endSpeed = 0.0;   // v1
    uint8_t valid = 0;       // a ramp that is not valid has all four numbers 0
};

// A ramp over length in duration seconds, starting and ending as near the
// wanted speeds as monotonicity allows; not valid for a length or duration
// that is not finite and positive or a wanted speed that is not finite.
SpeedRamp lf_buildRamp(double length, double duration, double wantedStart, double wantedEnd) noexcept;
// A ramp that keeps the wanted start speed, never exceeds speedLimit and never
// decelerates at either end; when the wanted end speed does not allow it, the
// end speed is raised to what the leg needs. False when there is none.
bool lf_planRamp(double length, double duration, double wantedStart, double wantedEnd, double speedLimit,
                 SpeedRamp& ramp) noexcept;
// t / T in [0, 1]; positive infinity gives 1, any other non-finite t 0.
double lf_rampFraction(const SpeedRamp& ramp, double t) noexcept;
// The speed at t seconds, at least 0; 0 for a ramp that is not valid.
double lf_rampSpeed(const SpeedRamp& ramp, double t) noexcept;
// The fraction at which the speed has its interior extreme, or -1.
double lf_rampExtremeFraction(const SpeedRamp& ramp) noexcept;
// The least and the greatest speed over the ramp; 0 for a ramp that is not valid.
double lf_rampMinSpeed(const SpeedRamp& ramp) noexcept;
double lf_rampMaxSpeed(const SpeedRamp& ramp) noexcept;
