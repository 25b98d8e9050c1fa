// The per-airport parking settings: kept in an airport's learned file, put in
// force when the airport is loaded and given back when it is left. Each one is
// a settings object (core/settings.h), a key of the learned file and a member
// of the Parameters record, all of the same name.
#pragma once

#include <cstdint>
#include <optional>

#include "core/settings.h"

// X(type, NAME), in the order a learned file writes them.
#define KELO_AIRPORT_SETTINGS(X) \
    X(bool, RT_PARKTRAFFIC_ONLY) \
    X(bool, AUTO_PARK) \
    X(std::int32_t, parking_percentage) \
    X(std::int32_t, MAX_FIT) \
    X(bool, WEEK) \
    X(bool, PARK_SOFT)

// One member per setting, each a Holder<type>.
template <template <typename> class Holder>
struct AirportSettingsOf {
#define KELO_AIRPORT_SETTING_MEMBER(type, NAME) Holder<type> NAME{};
    KELO_AIRPORT_SETTINGS(KELO_AIRPORT_SETTING_MEMBER)
#undef KELO_AIRPORT_SETTING_MEMBER
};

template <typename T>
using AirportSettingValue = T;
// The settings of an airport, as they are in force.
using AirportSettings = AirportSettingsOf<AirportSettingValue>;
// The settings as a learned file gives them; empty when the file has none.
using LearnedAirportSettings = AirportSettingsOf<std::optional>;

// Calls visit(key, member, settingsObject, parametersMember) for every
// setting in list order: member is settings' own, settingsObject the
// program-wide object and parametersMember a pointer to the Parameters member.
template <typename Settings, typename Visit>
void gf_forEachAirportSetting(Settings& settings, Visit&& visit)
{
#define KELO_AIRPORT_SETTING_VISIT(type, NAME) visit(#NAME, settings.NAME, NAME, &Parameters::NAME);
    KELO_AIRPORT_SETTINGS(KELO_AIRPORT_SETTING_VISIT)
#undef KELO_AIRPORT_SETTING_VISIT
}

// The settings as the record publishes them.
inline AirportSettings gf_airportSettingsOf(const Parameters& published)
{
    AirportSettings settings;
    gf_forEachAirportSetting(settings, [&](const char*, auto& member, const auto&, auto field) {
        member = published.*field;
    });
    return settings;
}
