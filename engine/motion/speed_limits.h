// The speed limits of motion: what the ground lets an aircraft do (the taxi
// and roll caps, the turn the tyres allow, a crawl while the nose catches
// up), how a take-off roll and a lift-off gather speed, and how the samples
// wait for the time a limit costs. Main task only.
#pragma once

#include <cstdint>

#include "core/geodesy.h"
#include "core/units.h"
#include "engine/aircraft.h"

// Taxiing with the heading still far off the way it moves (a corner the
// heading has not yet turned through): it crawls until the heading catches
// up, not slides sideways at its speed, and its samples wait for the time
// the crawl loses.
inline constexpr double kCreepOffDeg = 25.0;
inline constexpr double kCreepKt = 4.0;
inline constexpr double kCrawlAimM = 15.0; // nearer its end a crawl no longer aims the nose at it
inline constexpr double kFastestTaxiKt = 40.0; // faster in `taxi` is a take-off roll: it steers as it rolls
// What a ground turn may ask of the tyres: sideways acceleration (m/s²),
// and the fastest the heading turns however slowly it rolls (per tick).
inline constexpr double kSideAccel = 2.5;
inline constexpr double kFastestGroundTurnRad = 0.27 * kDegToRad;
inline constexpr double kSpeedUpKtPerTick = 0.04; // about 2 m/s²
// Climbing out, an airliner gathers speed this fast (per tick)
inline constexpr double kClimbOutSpeedUpKtPerTick = 0.03; // 3 kt/s
// once clear of the ground (after this many ticks at its lift-off speed),
// and, low down near the airport, flies no faster than this.
inline constexpr int32_t kClimbOutHoldTicks = 1500;
inline constexpr double kClimbOutMostKt = 250.0;
// The fastest an aircraft moves on the ground. Off the runways no faster
// than taxiing aircraft go; on a runway or beside it (a high-speed exit) no
// faster than its rotation speed and a margin, the most a take-off roll
// reaches. Above it, it slows as it brakes, not at once.
inline constexpr double kMostTaxiKt = 38.0;
inline constexpr double kBesideRunwayM = 40.0;
inline constexpr double kRollMarginKt = 30.0;
// A roll gathers speed no faster than this, its ramp's included (per tick).
inline constexpr double kRollSpeedUpKtPerTick = 0.1; // 10 kt/s
// A roll toward reports aloft lifts off this far before its runway's end.
inline constexpr double kLiftOffBeforeEndM = 300.0;
// Rotating and lifting off, an aeroplane is still on or just over its
// wheels: until it is this high over them it moves no faster than a roll
// does (its rotation speed and the margin), whatever pace the leg toward
// its reports aloft would take; its samples wait.
inline constexpr double kLiftOffHeightFt = 10.0;
// A helicopter moving faster than it hover-taxis flies, a few feet above its
// skids; rising from where it stood it moves on no faster than that.
inline constexpr double kHoverTaxiKt = 20.0;
inline constexpr double kHoverFt = 5.0;

// Crawling while the heading catches up with its way: the share of this
// step it takes, or 1.
double lf_crawlShare(const LiveAircraft& ac, double speedKt, double off, bool catchingUp);
// A turn is seen over half a second, in which a roll gathers speed: a turn
// is held to what a somewhat higher speed allows.
double lf_withMargin(double speedKt);
// The share of a step along a planned turn or curve that asks no more of the
// tyres than they give: there the heading follows the path, so a shorter
// step also turns less.
double lf_pathShare(double speedKt, double turnedRad);
// The most the heading may turn in a tick at this speed.
double lf_groundTurnLimit(double speedKt);
// The samples wait for the share of a tick the aircraft lost, once it adds
// up to a whole tick.
void lf_samplesWait(LiveAircraft& ac, double lostTicks);
// Lifted off toward reports aloft far ahead: the reports it left on the
// runway are passed over, and it climbs out from the speed it lifted off at,
// gathering speed toward its first report aloft's, and gets there when that
// speed brings it there (the report and the legs after it move with it).
void lf_climbOutToReportsAloft(LiveAircraft& ac, const LatLon& here, double kt);
// The fastest the aircraft may move on the ground this tick from `from` to
// `to`, by the caps above: a taxi's off the runways, a roll's on them.
double lf_mostGroundKt(const LiveAircraft& ac, const LatLon& from, const LatLon& to);
// A take-off roll toward a report already aloft (its reports froze where
// the roll began, or came seldom) gathers speed as a roll does until it
// reaches its rotation speed, wherever the leg's even pace would hold it: it
// must lift off before that report and on its runway. It gathers at least
// 4 kt/s and, to leave the runway's end behind it in time, up to 10 kt/s.
// The speed it moves at this tick, or 0 when the leg is driven as planned
// (a report that close the aircraft reaches at its own pace).
double lf_rollTowardReportAloft(const LiveAircraft& ac, const LatLon& from, double speedKt, bool onPath);
// Holds this tick's step from `from` to `mostKt`: the aircraft is put back
// along it. The share of the step it lost, 0 when it was not held.
double lf_holdStepTo(LiveAircraft& ac, const LatLon& from, double mostKt);
// A helicopter rising from where it stood moves on no faster than it
// hover-taxis until it is clear of the ground; its samples wait.
void lf_riseBeforeSpeedingUp(LiveAircraft& ac, const LatLon& from);
// Rotating and lifting off, an aeroplane is still on or just over its
// wheels: until it is this high over them it moves no faster than a roll
// does (its rotation speed and the margin), whatever pace the leg toward
// its reports aloft would take, and it gathers speed from the speed it
// rolled at no faster than a roll does (it never leaps to its leg's pace);
// its samples wait. On the ground it only remembers that speed.
void lf_liftOffAtRollSpeed(LiveAircraft& ac, const LatLon& from);
