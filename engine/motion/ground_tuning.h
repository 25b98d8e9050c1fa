// The tuning numbers of ground motion, with their units and reasons. One
// table per topic; the motion rooms take them from here.
#pragma once

namespace ground_tuning {

// ---- Standing, sliding and turning on the spot ----
// Heading and motion further apart than this on the ground look like a slide (deg).
inline constexpr double kSlideDeg = 30.0;
// A report this slow is a standing aircraft (kt).
inline constexpr double kStandingKt = 2.0;
// The fastest an aircraft turns on the spot from (kt): faster, it is rolling
// for its take-off. At taxi speeds the turn on the spot keeps a leg off the
// heading from being driven sideways.
inline constexpr double kTurnOnTheSpotKt = 30.0;

// ---- Turning onto a leg while rolling ----
// A shorter leg leaves no room to turn as it rolls (m).
inline constexpr double kRollingTurnMinM = 20.0;
// Rolling at taxi speed onto a leg this far off the heading or less, the
// aircraft turns onto it as it rolls; further off it stops and turns on the
// spot (deg).
inline constexpr double kRollingTurnMaxDeg = 100.0;
// The mean sideways acceleration a rolling turn onto a leg is taken with
// (m/s²): its sharpest part asks about twice that.
inline constexpr double kRollingTurnSideMps2 = 1.0;
// No rolling turn is taken slower than this (kt): slower is a creep.
inline constexpr double kRollingTurnSlowestKt = 8.0;

// ---- Rolling round and driving off ----
// A leg further than this off the heading is driven after a U-turn rolled at
// walking pace (deg): turned on the spot, the aircraft would drive straight
// back the way it came.
inline constexpr double kRollRoundDeg = 120.0;
// Driving off from rest, an aircraft speeds up no harder than on its own
// thrust (m/s²).
inline constexpr double kDriveOffMps2 = 1.0;
// A creep may end its leg at up to walking pace (kt): held to a 1 kt report
// it would take twice the report's own time.
inline constexpr double kCreepEndKt = 5.0;

} // namespace ground_tuning
