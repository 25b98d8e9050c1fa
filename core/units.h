// Unit conversions, each constant named after the units it converts.
// Multiplying by a constant and dividing by its inverse round differently,
// so code keeps the operation it was written with.
#pragma once

#include <numbers>

inline constexpr double kPi = std::numbers::pi;
inline constexpr double kTwoPi = 2.0 * std::numbers::pi;
inline constexpr double kHalfPi = std::numbers::pi / 2.0;

// Angles.
inline constexpr double kDegToRad = std::numbers::pi / 180.0;
inline constexpr double kRadToDeg = 180.0 / std::numbers::pi;

// Lengths. One nautical mile is exactly 1852 m, one foot exactly 0.3048 m.
inline constexpr double kMetresPerNm = 1852.0;
inline constexpr double kNmPerMetre = 1.0 / kMetresPerNm;
inline constexpr double kKmPerNm = kMetresPerNm / 1000.0;
inline constexpr double kMetresPerFoot = 0.3048;
// Rounded values in common use (not the exact inverses of the above).
inline constexpr double kFeetPerMetre = 3.2808399;
inline constexpr double kFeetPerNm = 6076.11549;
// On the sphere on which one minute of arc is one nautical mile.
inline constexpr double kNmPerDegree = 60.0;
// Kilometres per degree of latitude, rounded as the traffic boxes use it.
inline constexpr double kKmPerDegreeLatitude = 111.2;

// Speeds.
inline constexpr double kSecondsPerHour = 3600.0;
inline constexpr double kSecondsPerMinute = 60.0;
inline constexpr double kKnotsToMetresPerSecond = kMetresPerNm / kSecondsPerHour;
inline constexpr double kMetresPerSecondToKnots = kSecondsPerHour / kMetresPerNm;

// The engine's clock runs in ticks of 10 ms: nautical miles per hour of
// ticks is knots, and feet per tick times ticks per minute is feet per minute.
inline constexpr double kTicksPerSecond = 100.0;
inline constexpr double kTicksPerMinute = kSecondsPerMinute * kTicksPerSecond;
inline constexpr double kTicksPerHour = kSecondsPerHour * kTicksPerSecond;
