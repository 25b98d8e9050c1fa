#include "engine/speed_ramp.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The speed at fraction u, not yet limited to 0.
double lf_speedAt(const SpeedRamp& r, double u) noexcept
{
    const double D = r.length;
    const double T = r.duration;
    return ((3.0 * u * u - 4.0 * u + 1.0) * T * r.startSpeed + (6.0 * u - 6.0 * u * u) * D +
            (3.0 * u * u - 2.0 * u) * T * r.endSpeed) /
           T;
}

// The speed at the interior extreme, at least 0, when the ramp has one.
bool lf_interiorExtreme(const SpeedRamp& r, double& speed) noexcept
{
    const double u = lf_rampExtremeFraction(r);
    if (!(u > 0.0 && u < 1.0))
        return false;
    speed = std::max(lf_speedAt(r, u), 0.0);
    return true;
}

// The end speeds and the interior extreme, folded with `pick`.
template <typename Pick>
double lf_rampBound(const SpeedRamp& r, Pick pick) noexcept
{
    if (!r.valid)
        return 0.0;
    double bound = pick(r.startSpeed, r.endSpeed);
    double extreme = 0.0;
    if (lf_interiorExtreme(r, extreme))
        bound = pick(bound, extreme);
    return bound;
}

// The acceptance test of a planned ramp.
bool lf_acceptable(const SpeedRamp& r, double wantedStart, double limit) noexcept
{
    if (!r.valid || !(r.startSpeed + 1e-9 >= wantedStart) || !(lf_rampMaxSpeed(r) <= limit + 1e-9))
        return false;
    const double D = r.length;
    const double T = r.duration;
    const double startAcceleration = (6.0 * D - 4.0 * T * r.startSpeed - 2.0 * T * r.endSpeed) / (T * T);
    const double endAcceleration = (2.0 * T * r.startSpeed - 6.0 * D + 4.0 * T * r.endSpeed) / (T * T);
    return startAcceleration >= -1e-10 && endAcceleration >= -1e-10;
}

} // namespace

SpeedRamp lf_buildRamp(double length, double duration, double wantedStart, double wantedEnd) noexcept
{
    if (!std::isfinite(length) || !std::isfinite(duration) || !(length > 0.0) || !(duration > 0.0) ||
        !std::isfinite(wantedStart) || !std::isfinite(wantedEnd))
        return {};
    const double mean = length / duration;
    double a = std::max(wantedStart, 0.0) / mean;
    double b = std::max(wantedEnd, 0.0) / mean;
    const double norm2 = a * a + b * b;
    if (norm2 > 9.0) {
        const double scale = 3.0 / std::sqrt(norm2);
        a *= scale;
        b *= scale;
    }
    return SpeedRamp{length, duration, a * mean, b * mean, 1};
}

bool lf_planRamp(double length, double duration, double wantedStart, double wantedEnd, double speedLimit,
                 SpeedRamp& ramp) noexcept
{
    if (!std::isfinite(speedLimit) || !(speedLimit > 0.0))
        return false;
    SpeedRamp first = lf_buildRamp(length, duration, wantedStart, wantedEnd);
    if (lf_acceptable(first, wantedStart, speedLimit)) {
        ramp = first;
        return true;
    }
    if (!std::isfinite(length) || !std::isfinite(duration) || !(length > 0.0) || !(duration > 0.0) ||
        !std::isfinite(wantedStart) || !(wantedStart >= 0.0))
        return false;
    const double mean = length / duration;
    if (!(wantedStart <= mean + 1e-9))
        return false;
    SpeedRamp second = lf_buildRamp(length, duration, wantedStart, std::max(2.0 * mean - wantedStart, wantedStart));
    if (!lf_acceptable(second, wantedStart, speedLimit))
        return false;
    ramp = second;
    return true;
}

double lf_rampFraction(const SpeedRamp& ramp, double t) noexcept
{
    if (!std::isfinite(t))
        return t == std::numeric_limits<double>::infinity() ? 1.0 : 0.0;
    if (!(ramp.duration > 0.0))
        return t > 0.0 ? 1.0 : 0.0;
    return std::clamp(t / ramp.duration, 0.0, 1.0);
}

double lf_rampSpeed(const SpeedRamp& ramp, double t) noexcept
{
    if (!ramp.valid)
        return 0.0;
    return std::max(lf_speedAt(ramp, lf_rampFraction(ramp, t)), 0.0);
}

double lf_rampExtremeFraction(const SpeedRamp& ramp) noexcept
{
    if (!ramp.valid)
        return -1.0;
    const double D = ramp.length;
    const double T = ramp.duration;
    const double A = (3.0 * T * ramp.startSpeed - 6.0 * D + 3.0 * T * ramp.endSpeed) / T;
    if (std::fabs(A) <= 1e-12)
        return -1.0;
    return -((6.0 * D - 4.0 * T * ramp.startSpeed - 2.0 * T * ramp.endSpeed) / T) / (2.0 * A);
}

double lf_rampMaxSpeed(const SpeedRamp& ramp) noexcept
{
    return lf_rampBound(ramp, [](double a, double b) { return std::max(a, b); });
}

double lf_rampMinSpeed(const SpeedRamp& ramp) noexcept
{
    return lf_rampBound(ramp, [](double a, double b) { return std::min(a, b); });
}
