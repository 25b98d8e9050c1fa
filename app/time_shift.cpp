#include "app/time_shift.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include <fmt/format.h>

#include "app/gui.h"
#include "app/gui_jobs.h"
#include "app/window_links.h"
#include "core/clock.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/stop_request.h"
#include "feed/rt_api_traffic_reader.h"
#include "feed/rt_api_weather_reader.h"

bool firstSimTimeAfterStart = true;
std::atomic<int64_t> lastSimTime{0};

namespace {

std::atomic<bool>& lf_timeShiftActive()
{
    return gf_trafficClockInputs().timeShiftActive;
}

void lf_storePart(IntChoiceParameter& p, int32_t part)
{
    p.setAndSave(part); // clamps to the setting's range
    gf_selectComboIndex(p, p.indexOfValue());
}

// The two ways of following the simulator's clock.
void lf_followSimTimeVariant(int32_t minutes, bool rtDirect)
{
    if (minutes == 0 && firstSimTimeAfterStart)
        return;
    lf_timeShiftActive().store(minutes > 0);
    if (minutes > kMaxTimeShiftMinutes) {
        gf_logError("time shift is limited to 2 weeks !");
        minutes = kMaxTimeShiftMinutes;
    }
    if (rtDirect)
        lf_storeTimeShift(minutes);
    gf_showMessage(gf_timeShiftedText(minutes), true);
    if (firstSimTimeAfterStart) {
        firstSimTimeAfterStart = false;
        if (rtDirect)
            gf_setRTDirectTimeOffset(minutes);
        return;
    }
    lastSimTime.store(0);
    lf_timeShiftActive().store(false);
    gf_requestStop(3, 0);
}

} // namespace

void gf_setRTDirectTimeOffset(int32_t minutes)
{
    const auto offset = static_cast<uint32_t>(std::clamp(minutes, 0, kMaxTimeShiftMinutes));
    gf_rtApiTrafficReader().toffset.store(offset);
    gf_rtApiWeatherReader().toffset.store(offset);
}

int32_t gf_rtDirectTimeOffset()
{
    return static_cast<int32_t>(gf_rtApiTrafficReader().toffset.load());
}

std::string gf_timeShiftedText(int32_t minutes)
{
    return fmt::format("Time shifted {} minute{}", minutes, (minutes == 1 || minutes < 0) ? "" : "s");
}

int32_t lf_getTimeShiftMinutes()
{
    const auto p = gf_parametersSnapshot();
    return (p->TIME_SHIFT_DAYS * 24 + p->TIME_SHIFT_HOURS) * 60 + p->TIME_SHIFT_MINS;
}

void lf_storeTimeShift(int32_t minutes)
{
    const int32_t days = minutes / 1440;
    const int32_t rest = minutes % 1440;
    lf_storePart(TIME_SHIFT_DAYS, days);
    lf_storePart(TIME_SHIFT_HOURS, rest / 60);
    lf_storePart(TIME_SHIFT_MINS, rest % 60);
}

void lf_applyTimeShift(int32_t minutes, bool noRestart, bool skipStore)
{
    const bool wasActive = lf_timeShiftActive().exchange(minutes > 0);
    if (!skipStore)
        lf_storeTimeShift(minutes);
    gf_setRTDirectTimeOffset(minutes);
    if (minutes == 0 && !wasActive) {
        gf_showMessage("Time shift = 0", true);
        return;
    }
    gf_showMessage(gf_timeShiftedText(minutes), true);
    if (!noRestart)
        gf_requestStop(3, 0);
}

void lf_followSimTimeAt(int64_t nowUtcSeconds, std::optional<int64_t> simUtcSeconds)
{
    if (!simUtcSeconds) {
        lastSimTime.store(0);
        return;
    }
    const int64_t t = *simUtcSeconds;
    if (std::llabs(t - lastSimTime.load()) < 30) {
        lastSimTime.store(t);
        return;
    }
    const int64_t minutes64 = std::max<int64_t>((nowUtcSeconds - t) / 60, 0);
    // Anything beyond two weeks is cut to two weeks by the variant; keep the
    // count inside an i32 on the way there.
    const int32_t minutes = static_cast<int32_t>(std::min<int64_t>(minutes64, INT32_MAX));
    lf_followSimTimeVariant(minutes, gf_isRTDirect());
    lastSimTime.store(t);
}

void lf_followSimTime()
{
    lf_followSimTimeAt(gf_nowSeconds(false), gf_simulatorUtcSeconds());
}

void gf_resetTimeShiftState()
{
    firstSimTimeAfterStart = true;
    lastSimTime.store(0);
    lf_timeShiftActive().store(false);
}
