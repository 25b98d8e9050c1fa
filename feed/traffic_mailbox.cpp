#include "feed/traffic_mailbox.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/log.h"
#include "core/stop_request.h"

namespace {

int32_t lf_clampToI32(int64_t v)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

int64_t lf_saturatingRound(double v)
{
    if (v >= 9223372036854775807.0)
        return std::numeric_limits<int64_t>::max();
    if (v <= -9223372036854775808.0)
        return std::numeric_limits<int64_t>::min();
    return std::llround(v);
}

int64_t lf_saturatingAdd(int64_t a, int64_t b)
{
    int64_t sum;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return sum;
}

} // namespace

TrafficMailbox& gf_trafficMailbox()
{
    static TrafficMailbox box;
    return box;
}

void lf_stampPlayTimes(std::vector<LiveTrafficRecord>& batch, int32_t clock, int32_t delay)
{
    if (batch.empty())
        return;
    std::vector<double> stamps;
    stamps.reserve(batch.size());
    for (const LiveTrafficRecord& r : batch)
        if (std::isfinite(r.timestamp))
            stamps.push_back(r.timestamp);
    const int64_t base = static_cast<int64_t>(delay) * 100 + clock;
    if (stamps.empty()) {
        for (LiveTrafficRecord& r : batch)
            r.playTime = lf_clampToI32(base);
        return;
    }
    std::sort(stamps.begin(), stamps.end());
    const size_t n = stamps.size();
    const double median = n % 2 == 1 ? stamps[n / 2] : (stamps[n / 2 - 1] + stamps[n / 2]) / 2.0;
    for (LiveTrafficRecord& r : batch) {
        const double offset = (r.timestamp - median) * 100.0;
        const int64_t rounded = std::isfinite(offset) ? lf_saturatingRound(offset) : 0;
        r.playTime = lf_clampToI32(lf_saturatingAdd(base, rounded));
    }
}

void TrafficMailbox::post(std::vector<LiveTrafficRecord>& batch, uint32_t delay, bool dropWhenIdle)
{
    post(batch, delay == 30 ? TrafficBatchKind::Live : TrafficBatchKind::Buffered, delay, dropWhenIdle);
}

void TrafficMailbox::post(std::vector<LiveTrafficRecord>& batch, TrafficBatchKind kind, uint32_t delay,
                          bool dropWhenIdle)
{
    if (batch.empty())
        return;
    const int32_t delaySeconds = static_cast<int32_t>(std::min<uint32_t>(delay, 21'000'000));
    if (kind == TrafficBatchKind::Buffered) {
        lf_stampPlayTimes(batch, engineClock.load(), delaySeconds);
        {
            std::lock_guard lock(mutex);
            buffered.insert(buffered.end(), std::make_move_iterator(batch.begin()),
                            std::make_move_iterator(batch.end()));
        }
        batch.clear();
        return;
    }

    const bool on = deliveryOn.load();
    if (dropWhenIdle && !on) {
        batch.clear();
        return;
    }
    lf_stampPlayTimes(batch, engineClock.load(), delaySeconds);

    bool stall = false;
    uint64_t replaced = 0;
    size_t pending = 0;
    const size_t incoming = batch.size();
    if (on) {
        std::lock_guard lock(mutex);
        if (deliveryOn.load()) {
            if (!slot.empty()) {
                const Clock::time_point t = now();
                if (!firstUnconsumedSet) {
                    firstUnconsumed = t;
                    firstUnconsumedSet = true;
                }
                ++replacedCount;
                if (!stalled && t - firstUnconsumed >= std::chrono::seconds(60)) {
                    stalled = true;
                    stall = true;
                    replaced = replacedCount;
                    pending = slot.size();
                    deliveryStopped = true;
                    deliveryOn.store(false);
                    slot.clear();
                }
            } else {
                firstUnconsumedSet = false;
                replacedCount = 0;
                stalled = false;
            }
            if (!stall)
                slot.swap(batch);
        }
    }
    batch.clear();

    if (stall) {
        StopRequestPtr expected;
        gf_compareExchangeStopRequest(expected, std::make_shared<const StopRequest>(StopRequest{10, 0}));
        gf_logError(fmt::format("Traffic mailbox stalled: no messages consumed for 1 minute; {} batches replaced, "
                                "{} pending and {} incoming messages. Stopping traffic delivery and requesting "
                                "shutdown.",
                                replaced, pending, incoming));
    }
}

void TrafficMailbox::reset()
{
    std::lock_guard lock(mutex);
    slot.clear();
    buffered.clear();
    firstUnconsumedSet = false;
    replacedCount = 0;
    stalled = false;
    deliveryStopped = false;
}

void gf_setTrafficDelivery(bool on)
{
    TrafficMailbox& box = gf_trafficMailbox();
    std::lock_guard lock(box.mutex);
    box.firstUnconsumedSet = false;
    box.replacedCount = 0;
    box.stalled = false;
    box.deliveryOn.store(on && !box.deliveryStopped);
}

size_t TrafficMailbox::take(std::vector<LiveTrafficRecord>& out, size_t max)
{
    std::lock_guard lock(mutex);
    size_t n = 0;
    for (; n < max && !buffered.empty(); ++n) {
        out.push_back(std::move(buffered.front()));
        buffered.pop_front();
    }
    if (n == max || slot.empty())
        return n;
    for (; n < max && !slot.empty(); ++n) {
        out.push_back(std::move(slot.back()));
        slot.pop_back();
    }
    firstUnconsumedSet = false;
    replacedCount = 0;
    stalled = false;
    return n;
}
