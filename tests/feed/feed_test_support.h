// Settings, mode and airport set-up shared by the feed tests.
#pragma once

#include <memory>
#include <mutex>
#include <shared_mutex>

#include "airports/airport_database.h"
#include "core/settings_snapshot.h"
#include "engine/traffic_state.h"

namespace kvr::test {

inline void setRTApp(bool rtApp)
{
    auto m = std::make_shared<ModeSettings>(*g_modeSettings.load());
    m->rtApp = rtApp;
    g_modeSettings.store(m);
}

inline void setRangeNm(double nm)
{
    gf_modifyParameters([nm](Parameters& p) {
        p.rangeNm = nm;
        p.rangeNmSquared = nm * nm;
    });
}

inline void setCurrentAirport(uint32_t code, double lat, double lon, double altitude)
{
    std::unique_lock lock(engineLock);
    CurrentAirport = CurrentAirportRecord{code, lat, lon, altitude};
}

} // namespace kvr::test
