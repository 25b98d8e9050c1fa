// Great-circle helpers on the sphere on which one minute of arc is one
// nautical mile, and the flat-earth offset that short distances use. Points are
// in degrees, bearings in radians clockwise from true north.
#pragma once

#include <cmath>
#include <limits>

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

// The sine and cosine of a latitude, kept with it: a moving aircraft's
// latitude at the end of one tick starts the next, and the great-circle sums
// of both ticks take the same sine and cosine.
struct LatitudeTrig {
    double latitude = std::numeric_limits<double>::quiet_NaN(); // degrees
    double sin = 0.0;
    double cos = 0.0;
};
LatitudeTrig gf_latitudeTrig(double latitudeDeg) noexcept;
// gf_distanceNm and gf_initialBearing from the latitudes' sines and cosines
// (the same results, bit for bit).
double gf_distanceNm(const LatLon& from, const LatLon& to, const LatitudeTrig& atFrom,
                     const LatitudeTrig& atTo) noexcept;
double gf_initialBearing(const LatLon& from, const LatLon& to, const LatitudeTrig& atFrom,
                         const LatitudeTrig& atTo) noexcept;

// The last two latitudes' sines and cosines, for the great-circle sums one
// aircraft makes tick after tick.
class LatitudeTrigMemo {
public:
    LatitudeTrig of(double latitudeDeg) noexcept;

private:
    LatitudeTrig m_kept[2];
    unsigned char m_newest = 0;
};

// ---- Flat earth ----
// Over a few miles the earth is taken as flat: a minute of latitude is one
// nautical mile, and a degree of longitude is shorter by the cosine of a
// latitude the caller chooses (its own, the other point's, the mean of both)
// and usually computes once for many points.

// cos(latitude) of a latitude in degrees.
double gf_cosLatitude(double latitudeDeg) noexcept;

// An offset in nautical miles, north and east positive.
struct FlatOffsetNm {
    double north = 0.0;
    double east = 0.0;
    double squared() const noexcept { return north * north + east * east; }
    double length() const noexcept { return std::sqrt(squared()); }
};

// Where `to` lies from `from`; the longitude difference is taken the short way
// round (gf_longitudeDelta).
FlatOffsetNm gf_flatOffsetNm(const LatLon& from, const LatLon& to, double cosLat) noexcept;
// The same for differences in degrees the caller has formed itself (a plain
// difference is not wrapped at the 180th meridian).
FlatOffsetNm gf_flatOffsetNmOfDegrees(double northDeg, double eastDeg, double cosLat) noexcept;
