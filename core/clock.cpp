// Per-thread random draws and the clock texts.
#include "core/clock.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <time.h>

#include <fmt/format.h>

#include "core/settings_snapshot.h"

std::atomic<int32_t> engineClock{0};

namespace {

std::atomic<int64_t (*)()> g_systemTimeForTest{nullptr};

// Low 32 bits of the 64-bit FNV-1a over the four low bytes of the thread id.
uint32_t lf_threadIdHash()
{
    const std::thread::id id = std::this_thread::get_id();
    unsigned char bytes[sizeof(id)];
    std::memcpy(bytes, &id, sizeof(id));
    uint32_t h = 0x84222325u;
    for (size_t i = 0; i < 4 && i < sizeof(id); ++i) {
        h ^= bytes[i];
        h *= 435u;
    }
    return h;
}

std::mt19937 lf_seededEngine()
{
    std::random_device device;
    const auto steadyNs = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
    std::seed_seq seq{static_cast<uint32_t>(device()), static_cast<uint32_t>(steadyNs & 0xFFFFFFFFu),
                      static_cast<uint32_t>(steadyNs >> 32), lf_threadIdHash()};
    return std::mt19937(seq);
}

bool lf_randomOn()
{
    const auto params = gf_parametersSnapshot();
    return params && params->RANDOM;
}

int64_t lf_systemSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The traffic clock follows the traffic's own time while a time shift of a
// professional account is active.
bool lf_useTrafficTime()
{
    const TrafficClockInputs& in = gf_trafficClockInputs();
    return in.professionalLevel.load() && in.timeShiftActive.load();
}

constexpr const char* kWeekdays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

} // namespace

std::mt19937& gf_threadRandomEngine()
{
    thread_local std::mt19937 engine = lf_seededEngine();
    return engine;
}

size_t gf_randomIndex(size_t n)
{
    if (n < 2 || !lf_randomOn())
        return 0;
    std::uniform_int_distribution<size_t> dist(0, n - 1);
    return dist(gf_threadRandomEngine());
}

void gf_shuffleIfRandom(std::vector<uint16_t>& values)
{
    if (values.size() < 2 || !lf_randomOn())
        return;
    std::mt19937& engine = gf_threadRandomEngine();
    for (size_t i = 1; i < values.size(); ++i) {
        std::uniform_int_distribution<size_t> dist(0, i);
        const size_t j = dist(engine);
        if (j != i)
            std::swap(values[i], values[j]);
    }
}

double gf_randomPercentJitter(double value, double pct)
{
    const double sign = (gf_threadRandomEngine()() & 1u) ? -1.0 : 1.0;
    return value + sign * (pct > 0 ? value * pct / 100.0 : 0.0);
}

TrafficClockInputs& gf_trafficClockInputs()
{
    static TrafficClockInputs inputs;
    return inputs;
}

int64_t gf_nowSeconds(bool useTrafficTime)
{
    if (useTrafficTime) {
        const TrafficClockInputs& in = gf_trafficClockInputs();
        const uint64_t stamp = gf_isRTDirect() ? in.rtDirectLatestTimestamp.load() : in.rtAppLastTimestamp.load();
        if (stamp != 0)
            return static_cast<int64_t>(stamp);
    }
    return lf_systemSeconds();
}

std::optional<std::tm> gf_utcTm(int64_t secondsSince1970)
{
    // The runtime's own range: 1970 to the end of the year 3000. Times from the
    // network can lie anywhere; outside the range some runtimes end the process
    // through their invalid-parameter handler instead of returning an error.
    constexpr int64_t lastSecond = 32'535'215'999;
    if (secondsSince1970 < 0 || secondsSince1970 > lastSecond)
        return std::nullopt;
    std::tm tm{};
#if defined(_WIN32)
    const __time64_t t = secondsSince1970;
    if (_gmtime64_s(&tm, &t) != 0)
        return std::nullopt;
#else
    const time_t t = static_cast<time_t>(secondsSince1970);
    if (gmtime_r(&t, &tm) == nullptr)
        return std::nullopt;
#endif
    return tm;
}

int gf_halfHourSlotOf(const std::tm& utc)
{
    const int secondHalf = (utc.tm_min > 29 || (utc.tm_min == 29 && utc.tm_sec >= 30)) ? 1 : 0;
    return (2 * utc.tm_hour + secondHalf) % 48;
}

int gf_weekdayOf(const std::tm& utc)
{
    return utc.tm_wday == 0 ? 7 : utc.tm_wday;
}

std::string gf_utcDateTimeText()
{
    const auto tm = gf_utcTm(lf_systemSeconds());
    if (!tm)
        return "Invalid time";
    return fmt::format("{} {} {} {:02}:{:02}Z", tm->tm_mday, gf_monthName(tm->tm_mon + 1), tm->tm_year + 1900,
                       tm->tm_hour, tm->tm_min);
}

std::string gf_utcTimeText()
{
    const auto tm = gf_utcTm(lf_systemSeconds());
    if (!tm)
        return "??:??:??";
    return fmt::format("{:02}:{:02}:{:02}", tm->tm_hour, tm->tm_min, tm->tm_sec);
}

std::string gf_trafficClockText()
{
    const bool t = lf_useTrafficTime();
    const auto tm = gf_utcTm(gf_nowSeconds(t));
    if (!tm)
        return "??:??:??";
    std::string text = fmt::format("{:02}:{:02}:{:02}", tm->tm_hour, tm->tm_min, tm->tm_sec);
    return t ? fmt::format("<<< {}", text) : text;
}

std::string gf_trafficClockTextHm()
{
    const bool t = lf_useTrafficTime();
    const auto tm = gf_utcTm(gf_nowSeconds(t));
    if (!tm)
        return "??:??";
    std::string text = fmt::format("{:02}:{:02}", tm->tm_hour, tm->tm_min);
    return t ? fmt::format("<<< {}", text) : text;
}

int gf_halfHourSlotNow()
{
    const auto tm = gf_utcTm(gf_nowSeconds(lf_useTrafficTime()));
    return tm ? gf_halfHourSlotOf(*tm) : -1;
}

int64_t gf_weekdayAndHalfHourNow()
{
    const auto tm = gf_utcTm(gf_nowSeconds(lf_useTrafficTime()));
    const int weekday = tm ? gf_weekdayOf(*tm) : -1;
    const int slot = gf_halfHourSlotNow();
    const uint64_t word = (static_cast<uint64_t>(static_cast<uint32_t>(slot)) << 32) |
                          static_cast<uint64_t>(static_cast<uint32_t>(weekday));
    return static_cast<int64_t>(word);
}

const char* gf_weekdayName(int n)
{
    return n >= 1 && n <= 7 ? kWeekdays[n - 1] : "???";
}

const char* gf_monthName(int n)
{
    return n >= 1 && n <= 12 ? kMonths[n - 1] : "???";
}

void gf_setSystemTimeForTest(int64_t (*clock)())
{
    g_systemTimeForTest.store(clock);
}

int64_t gf_systemTime100ns()
{
    if (const auto clock = g_systemTimeForTest.load())
        return clock();
    using namespace std::chrono;
    return duration_cast<duration<int64_t, std::ratio<1, 10000000>>>(system_clock::now().time_since_epoch()).count();
}
