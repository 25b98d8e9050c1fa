// Which runway of the current airport a position and heading lie on or line
// up with, in which direction, and how far along it. The lookups read the
// runway table without a lock (main task).
#pragma once

#include <optional>
#include <string>

#include "core/value_types.h"

// One runway end as seen from an aircraft; the best candidate is the result
// of a match.
struct RunwayMatch {
    std::string runwayText;   // "09L-27R"
    std::string endText;      // the end used in this direction ("09L" when flying along the runway heading)
    std::string runnerUpText; // "27R-09L:27R" of the second-best candidate; empty without one
    double endHeading = 0.0;         // degrees 0..<360
    double headingDifference = 0.0;  // degrees 0..180 between end heading and the aircraft's heading
    double crossTrack = 0.0;         // metres, signed, from the centre line
    double alongTrack = 0.0;         // metres, signed, from the runway centre along the runway heading
    double distanceFromStart = 0.0;  // metres from the beginning of the runway in this direction
    double startWindow = 0.0;        // metres: min(0.4 x length, 1200)
    double length = 0.0;             // metres
    double width = 0.0;              // metres
    double startAltitude = 0.0;      // feet
    double endLatitude = 0.0;        // the runway end ahead in this direction
    double endLongitude = 0.0;
    std::optional<double> distancePastThreshold; // metres
    std::optional<double> lengthFromThreshold;   // metres
    double score = 0.0;         // |cross-track| (m) + heading difference (deg)
    double runnerUpScore = 0.0; // 0 without a runner-up
    bool valid = false;
};

// The best runway end for an aircraft at `position` with `heading` (radians);
// strict keeps only ends whose beginning lies between 700 m behind and the
// start window ahead. Invalid when no runway qualifies.
RunwayMatch lf_matchRunway(const LatLon& position, double heading, bool strict, double minimumLateralLimit);

// The runway the aircraft is on, lined up within 15 m (take-off and landing).
std::optional<RunwayMatch> gf_runwayUnderAircraft(const LatLon& position, double heading);
// The runway the aircraft is on within its width + 30 m, with threshold data.
std::optional<RunwayMatch> gf_runwayAtPosition(const LatLon& position, double heading);
// The runway end whose extended centre line the aircraft flies down, from up
// to 10 km out to the runway's far end: lined up with it within 20 degrees,
// inside a funnel (half width + 30 m beside the centre line, opening by the
// distance out up to 300 m and widening by a further 5 % of it: a visual
// final joins the centre line late), with threshold data. None where two runway ends (two
// parallels) fit alike.
std::optional<RunwayMatch> gf_runwayOnFinal(const LatLon& position, double heading);
// The text of the runway end the aircraft uses, for take-off and touch-down
// messages.
std::optional<std::string> gf_runwayNameAt(const LatLon& position, double heading);
