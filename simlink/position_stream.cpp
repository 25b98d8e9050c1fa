#include "simlink/position_stream.h"

#include <chrono>
#include <cmath>
#include <numbers>

#include "core/geodesy.h"
#include "core/units.h"

PositionDoubleBuffer g_positionBuffer;

namespace {

constexpr int64_t kMaxStepNs = 250'000'000;
constexpr double kMaxJumpMetres = 1000.0;
constexpr double kMaxClimbFt = 2000.0;

std::atomic<int64_t (*)()> g_clockOverride{nullptr};

// Flat earth is exact enough for a step of at most a kilometre. A step whose
// degrees alone are within the limit needs no cosine: a degree of longitude
// is never longer than one of latitude.
bool lf_withinJump(const PositionBlock& a, const PositionBlock& b)
{
    constexpr double limitDeg = kMaxJumpMetres / kMetresPerNm / kNmPerDegree;
    constexpr double limitSq = limitDeg * limitDeg;
    const double dLat = b.latitude - a.latitude;
    const double dLon = gf_longitudeDelta(b.longitude, a.longitude);
    const double plainSq = dLat * dLat + dLon * dLon;
    if (plainSq <= limitSq)
        return true;
    const double east = dLon * gf_cosLatitude((a.latitude + b.latitude) * 0.5);
    return dLat * dLat + east * east <= limitSq;
}

// The IEEE remainder of x by the period, and x reduced into [0, period) as
// fmod with a negative result raised by a period: both by one exact
// subtraction or addition for x within one and a half periods of zero (the
// case of every interpolation), the library's functions otherwise.
double lf_remainder(double x, double period)
{
    const double half = period * 0.5;
    if (x >= -half && x <= half)
        return x;
    if (x > half && x < 3.0 * half)
        return x - period;
    if (x < -half && x > -3.0 * half)
        return x + period;
    return std::remainder(x, period);
}

double lf_wrapPositive(double x, double period)
{
    if (x >= 0.0 && x < period)
        return x;
    if (x >= period && x < 2.0 * period)
        return x - period;
    if (x < 0.0 && x > -period)
        return x + period;
    const double r = std::fmod(x, period);
    return r < 0.0 ? r + period : r;
}

double lf_lerp(double a, double b, double f)
{
    return f >= 1.0 ? b : a + f * (b - a);
}

} // namespace

int64_t gf_steadyNowNs()
{
    if (auto clock = g_clockOverride.load())
        return clock();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void gf_setSteadyClockForTest(int64_t (*clock)())
{
    g_clockOverride.store(clock);
}

// ---- PositionDoubleBuffer ---------------------------------------------------

PositionDoubleBuffer::PositionDoubleBuffer()
{
    reset(true);
}

void PositionDoubleBuffer::flushStaging(int64_t now)
{
    std::lock_guard lock(mutex);
    for (const auto& [id, block] : staging)
        if (id != 0)
            posted[id].pushNewest({block, now});
    staging.clear();
}

void PositionDoubleBuffer::erase(uint32_t objectId)
{
    std::lock_guard lock(mutex);
    staging.erase(objectId);
    posted.erase(objectId);
}

void PositionDoubleBuffer::clearPosted()
{
    std::lock_guard lock(mutex);
    posted.clear();
}

void PositionDoubleBuffer::reset(bool reserve)
{
    std::lock_guard lock(mutex);
    for (auto* slots : {&posted, &taken})
        slots->release();
    staging.release();
    if (reserve) {
        staging.reserve(512);
        posted.reserve(512);
        taken.reserve(512);
    }
    generation.fetch_add(1);
}

// ---- PositionRing -----------------------------------------------------------

void PositionRing::dropOldest() noexcept
{
    if (m_count == 0)
        return;
    m_head = (m_head + 1) % kPositionSamplesKept;
    --m_count;
}

void PositionRing::pushNewest(const TimedPosition& sample) noexcept
{
    if (m_count == kPositionSamplesKept)
        dropOldest();
    m_ring[(m_head + m_count) % kPositionSamplesKept] = sample;
    ++m_count;
}

void gf_appendToHistory(PositionHistory& history, const TimedPosition& sample)
{
    if (!history.empty()) {
        const TimedPosition& last = history.newest();
        const int64_t dt = sample.time - last.time;
        // A NaN distance or altitude fails the "within" tests and clears too.
        const bool follows = dt >= 1 && dt <= kMaxStepNs && lf_withinJump(last.block, sample.block) &&
                             std::fabs(sample.block.altitude - last.block.altitude) <= kMaxClimbFt;
        if (!follows)
            history.clear();
    }
    history.pushNewest(sample);
}

std::optional<PositionBlock> gf_interpolatePosition(PositionHistory& history, int64_t now)
{
    const int64_t t = now - history.delay;
    if (history.empty())
        return std::nullopt;
    while (history.size() > 2 && history[1].time <= t)
        history.dropOldest();
    if (history.size() == 1 || t <= history[0].time)
        return history[0].block;
    if (t >= history.newest().time)
        return history.newest().block;

    // First entry after t (the oldest is at or before t).
    size_t lo = 1, hi = history.size() - 1;
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (history[mid].time > t)
            hi = mid;
        else
            lo = mid + 1;
    }
    const TimedPosition& a = history[lo - 1];
    const TimedPosition& b = history[lo];
    const int64_t d = b.time - a.time;
    if (d < 1 || d > kMaxStepNs)
        return history.newest().block;
    double f = (static_cast<double>(t - a.time) / 1e9) / (static_cast<double>(d) / 1e9);
    f = f < 0.0 ? 0.0 : (f > 1.0 ? 1.0 : f);

    constexpr double twoPi = 2.0 * std::numbers::pi;
    PositionBlock r;
    r.latitude = lf_lerp(a.block.latitude, b.block.latitude, f);
    r.pitch = lf_lerp(a.block.pitch, b.block.pitch, f);
    r.bank = lf_lerp(a.block.bank, b.block.bank, f);
    r.altitude = lf_lerp(a.block.altitude, b.block.altitude, f);
    r.verticalSpeed = lf_lerp(a.block.verticalSpeed, b.block.verticalSpeed, f);
    r.airspeed = lf_lerp(a.block.airspeed, b.block.airspeed, f);
    r.longitude =
        lf_remainder(a.block.longitude + lf_remainder(b.block.longitude - a.block.longitude, 360.0) * f, 360.0);
    r.heading = lf_wrapPositive(a.block.heading + lf_remainder(b.block.heading - a.block.heading, twoPi) * f, twoPi);
    return r;
}

// ---- PositionStreamer -------------------------------------------------------

bool PositionStreamer::takePosted(PositionDoubleBuffer& buffer)
{
    buffer.taken.clear();
    const uint64_t generation = buffer.generation.load();
    if (generation != m_generation) {
        m_histories.clear();
        m_generation = generation;
    }
    std::unique_lock lock(buffer.mutex, std::try_to_lock);
    if (!lock.owns_lock())
        return false;
    if (!buffer.posted.empty())
        buffer.posted.swap(buffer.taken);
    lock.unlock();

    if (++m_takes % kRemovedIdTakes == 0)
        std::erase_if(m_removedBySim, [&](const auto& entry) { return m_takes - entry.second >= kRemovedIdTakes; });
    if (m_dropAllPosted) {
        buffer.taken.clear();
        m_dropAllPosted = false;
    }
    for (uint32_t id : m_dropPostedOf)
        buffer.taken.erase(id);
    m_dropPostedOf.clear();
    for (const auto& [id, samples] : buffer.taken) {
        if (id == 0 || samples.empty() || (!m_removedBySim.empty() && m_removedBySim.count(id)))
            continue;
        PositionHistory& history = m_histories[id];
        for (size_t i = 0; i < samples.size(); ++i)
            gf_appendToHistory(history, samples[i]);
    }
    return true;
}

void PositionStreamer::objectRemovedBySim(uint32_t objectId)
{
    m_histories.erase(objectId);
    m_removedBySim.insert_or_assign(objectId, m_takes);
}

void PositionStreamer::objectAssigned(uint32_t objectId)
{
    m_removedBySim.erase(objectId);
    m_histories.erase(objectId);
    m_dropPostedOf.insert(objectId);
}

void PositionStreamer::newConnection()
{
    m_histories.clear();
    m_removedBySim.clear();
    m_dropPostedOf.clear();
    m_dropAllPosted = true;
}

void PositionStreamer::clear()
{
    m_histories.clear();
    m_removedBySim.clear();
    m_dropPostedOf.clear();
    m_dropAllPosted = false;
}

const PositionHistory* PositionStreamer::history(uint32_t objectId) const
{
    auto it = m_histories.find(objectId);
    return it == m_histories.end() ? nullptr : &it->second;
}
