// Great-circle helpers on the sphere on which one minute of arc is one
// nautical mile. Points are in degrees, bearings in radians clockwise from
// true north.
#pragma once

#include "core/value_types.h"

// A bearing (radians) and a distance (feet) from a point.
struct BearingDistance {
    double bearing = 0.0;
    double distanceFt = 0.0;
};

// a brought into [0, 2*pi); infinite or NaN input gives 0.
double gf_normalizeAngle(double a) noexcept;
// a - b in degrees of longitude the short way round, within [-180, 180], so
// that points on both sides of the 180th meridian lie close together.
double gf_longitudeDelta(double a, double b) noexcept;
// Great-circle distance in nautical miles (haversine).
double gf_distanceNm(const LatLon& from, const LatLon& to) noexcept;
// Initial great-circle bearing in radians, in [0, 2*pi).
double gf_initialBearing(const LatLon& from, const LatLon& to) noexcept;
// The point reached from start along the great circle with the given initial
// bearing after the given distance; longitude in [-180, 180].
LatLon gf_destinationPoint(const LatLon& start, const BearingDistance& move) noexcept;
