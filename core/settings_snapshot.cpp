#include "core/settings_snapshot.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "core/control_calls.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/parameter.h"
#include "core/parameters_file.h"
#include "core/settings.h"
#include "core/shared_snapshot.h"
#include "core/ui_sink.h"
#include "core/units.h"
#include "core/version_data.h"

SharedSnapshot<const Parameters> g_parameters{std::make_shared<const Parameters>()};
SharedSnapshot<const ModeSettings> g_modeSettings{std::make_shared<const ModeSettings>()};
std::atomic<bool> callsignEndsWithUnderscore{false};

namespace {

constexpr double kRtDirectExtraMeters = 10000.0;

int32_t rangeMetersFor(double nm, bool rtDirect)
{
    return static_cast<int32_t>(nm * kMetresPerNm + (rtDirect ? kRtDirectExtraMeters : 0.0));
}

void setRangeFields(Parameters& p, double nm, bool rtDirect)
{
    p.rangeNm = nm;
    p.rangeNmSquared = nm * nm;
    p.rangeMeters = rangeMetersFor(nm, rtDirect);
}

template <typename T>
void setField(T Parameters::*field, T value)
{
    gf_modifyParameters([&](Parameters& p) { p.*field = value; });
}

// Rounded half away from zero and clamped to the setting's range.
int32_t lf_roundedInRange(const IntParameter& setting, double value)
{
    return static_cast<int32_t>(std::clamp(std::round(value), static_cast<double>(setting.minValue),
                                           static_cast<double>(setting.maxValue)));
}

} // namespace

BlockFilter gf_blockFilterFromSettings()
{
    BlockFilter f;
    f.aircraft = BLOCK_AIRCRAFT.value;
    f.callsign = BLOCK_CALLSIGN.value;
    f.regcode = BLOCK_REGCODE.value;
    f.hexid = BLOCK_HEXIDDEC.value;
    f.callsignEndsWithUnderscore = callsignEndsWithUnderscore.load();
    return f;
}

std::shared_ptr<const Parameters> gf_parametersSnapshot()
{
    return g_parameters.load();
}

bool gf_isRTDirect()
{
    return !g_modeSettings.load()->rtApp;
}

bool gf_isMSFS2020()
{
    return g_modeSettings.load()->sim == 1;
}

uint8_t lf_airGroundSelectorCode(const std::string& text)
{
    return gf_airGroundCode(text);
}

// ---- Start-up ------------------------------------------------------------------

void lf_validateSimAndTrafficSource()
{
    ModeSettings mode;
    if (SIM_CHOICE.value == "MSFS 2020") {
        mode.sim = 1;
    } else if (SIM_CHOICE.value == "MSFS 2024") {
        mode.sim = 2;
    } else {
        gf_logError(fmt::format("Invalid simulator choice '{}', using '{}'", SIM_CHOICE.value, "MSFS 2024"));
        SIM_CHOICE.value = "MSFS 2024";
        mode.sim = 2;
    }

    if (RT_CHOISE.value == "RT App") {
        mode.rtApp = true;
    } else if (RT_CHOISE.value == "RT Direct") {
        mode.rtApp = false;
    } else {
        gf_logError(fmt::format("Invalid traffic source '{}', using '{}'", RT_CHOISE.value, "RT Direct"));
        RT_CHOISE.value = "RT Direct";
        mode.rtApp = false;
    }

    g_modeSettings.store(std::make_shared<const ModeSettings>(mode));
}

void lf_publishParameters()
{
    auto p = std::make_shared<Parameters>();
    for (const SettingRow& row : gf_settingsTable())
        if (row.publish)
            row.publish(*p);

    // A filter that still blocks the same aircraft keeps what the engine has
    // learned about it since (its current callsign, hexid and registration).
    BlockFilter filter = gf_blockFilterFromSettings();
    const std::shared_ptr<const Parameters> published = g_parameters.load();
    if (!filter.aircraft.empty() && filter.aircraft == published->blockFilter.aircraft)
        p->blockFilter = published->blockFilter;
    else
        p->blockFilter = std::move(filter);

    setRangeFields(*p, RANGE.value, gf_isRTDirect());
    p->rangeNmWhole = RANGE.value;

    g_parameters.store(std::shared_ptr<const Parameters>(std::move(p)));
}

bool lf_applyRadiusRules(std::array<double, 5>& radii, std::array<double, 3>& levels)
{
    constexpr double d = 1.0;
    bool changed = false;

    for (double& r : radii) {
        if (r < 0.0) {
            r = 0.0;
            changed = true;
        }
    }

    const std::array<double, 3> levelsBefore = levels;
    std::sort(levels.begin(), levels.end());
    if (levels[0] >= levels[1])
        levels[1] = levels[0] + d;
    if (levels[1] >= levels[2])
        levels[2] = levels[1] + d;
    if (levels != levelsBefore)
        changed = true;

    for (size_t i = 1; i < radii.size(); ++i) {
        const double raised = std::max(radii[i - 1], radii[i]);
        if (raised != radii[i]) {
            radii[i] = raised;
            changed = true;
        }
    }
    return changed;
}

int32_t lf_snapHoldingThreshold(int32_t meters)
{
    static constexpr std::array<int32_t, 15> grid{10,  50,  100, 150, 200, 250, 300, 350,
                                                  400, 450, 500, 600, 700, 800, 900};
    if (meters <= grid.front())
        return grid.front();
    if (meters >= grid.back())
        return grid.back();
    // The first grid value at or above meters; its predecessor is below.
    const auto upper = std::lower_bound(grid.begin(), grid.end(), meters);
    if (*upper == meters)
        return meters;
    const int32_t high = *upper;
    const int32_t low = *(upper - 1);
    return (high - meters < meters - low) ? high : low;
}

void lf_checkRadiusParameters()
{
    if (gf_loadParametersFile())
        return; // a new file with defaults: nothing to check, no version to note

    std::array<IntParameter*, 5> radiusSettings{&RANGE_GROUND, &RANGE_1, &RANGE_2, &RANGE_3, &RANGE_ABOVE};
    std::array<IntParameter*, 3> levelSettings{&FLIGHT_LEVEL_1, &FLIGHT_LEVEL_2, &FLIGHT_LEVEL_3};
    std::array<double, 5> radii{};
    std::array<double, 3> levels{};
    for (size_t i = 0; i < radii.size(); ++i)
        radii[i] = radiusSettings[i]->value;
    for (size_t i = 0; i < levels.size(); ++i)
        levels[i] = levelSettings[i]->value;

    // Judged on what would be stored: levels raised beyond their maximum come
    // back to it, and values that end where they were are no change.
    lf_applyRadiusRules(radii, levels);
    std::array<std::pair<IntParameter*, int32_t>, 8> stored{};
    for (size_t i = 0; i < radii.size(); ++i)
        stored[i] = {radiusSettings[i], lf_roundedInRange(*radiusSettings[i], radii[i])};
    for (size_t i = 0; i < levels.size(); ++i)
        stored[radii.size() + i] = {levelSettings[i], lf_roundedInRange(*levelSettings[i], levels[i])};
    const bool changed =
        std::any_of(stored.begin(), stored.end(), [](const auto& s) { return s.first->value != s.second; });

    if (changed) {
        gf_logError("Radius parameters changed to fulfill the requirements (see Manual): ");
        for (const auto& [setting, value] : stored)
            setting->setAndSave(value);
    } else {
        gf_logLine("Radius parameters okay");
    }

    lf_noteVersionUpdate();
}

void lf_noteVersionUpdate()
{
    const VersionData& program = gf_programVersion();
    // The default is the empty text; a new settings file written earlier in
    // this process carries the program version as its default instead.
    if (PROGRAM_VERSION.value.empty() || PROGRAM_VERSION.value == PROGRAM_VERSION.defaultValue) {
        PROGRAM_VERSION.setAndSave(program.toString());
        return;
    }

    const VersionData stored(PROGRAM_VERSION.value);
    if (stored != program)
        PROGRAM_VERSION.setAndSave(program.toString());
    if (stored >= program)
        return;

    gf_logLine(fmt::format("This is a version update from {} -> {}", stored, program));
    HOLDING_THRESHOLD_METERS.setAndSave(lf_snapHoldingThreshold(HOLDING_THRESHOLD_METERS.value));
    std::error_code ignored;
    std::filesystem::remove_all(g_newVersionFolder, ignored);
}

// ---- Live updates ----------------------------------------------------------------

void gf_setParametersRange(int32_t nm)
{
    setField(&Parameters::rangeNmWhole, nm);
}

void gf_setRange(int32_t nm)
{
    RANGE.value = std::clamp(nm, RANGE.minValue, RANGE.maxValue);
    // The combo box follows the range as given: an automatic range beyond the
    // list's bounds is no option and leaves the selection as it is.
    const auto option = std::find(RANGE.options.begin(), RANGE.options.end(), nm);
    if (option != RANGE.options.end() && RANGE.hasWindow())
        gf_changeControl([w = RANGE.window, i = option - RANGE.options.begin()] {
            gf_selectComboItem(w, i);
        });

    const bool rtDirect = gf_isRTDirect();
    gf_modifyParameters([&](Parameters& p) { setRangeFields(p, nm, rtDirect); });
}

void gf_syncMaxFitFl()
{
    const int32_t index = std::clamp(MAX_FIT.value, 0, 47);
    const float hours = static_cast<float>(index + 1) * 0.5f;
    MAX_FIT_FL.set(hours);

    const auto& options = MAX_FIT_FL.options;
    const auto it = std::find(options.begin(), options.end(), MAX_FIT_FL.value);
    if (it != options.end() && MAX_FIT_FL.hasWindow())
        gf_changeControl([w = MAX_FIT_FL.window, i = it - options.begin()] {
            gf_selectComboItem(w, i);
        });
}

void lf_setParamAirGroundSelection(const std::string& text)
{
    setField(&Parameters::ALL_AIR_GND_SELECTOR, lf_airGroundSelectorCode(text));
}

void lf_setParamDestination(const std::string& destination)
{
    gf_modifyParameters([&](Parameters& p) { p.DESTINATION = destination; });
}

void lf_setParamBlockList(const BlockFilter& filter)
{
    gf_modifyParameters([&](Parameters& p) { p.blockFilter = filter; });
}

void lf_setParamTimeShift(int32_t days, int32_t hours, int32_t minutes)
{
    gf_modifyParameters([&](Parameters& p) {
        p.TIME_SHIFT_DAYS = days;
        p.TIME_SHIFT_HOURS = hours;
        p.TIME_SHIFT_MINS = minutes;
    });
}

void gf_updateParametersFrom(const Parameter& changed)
{
    // MAX_FIT_FL is the window's face of MAX_FIT.
    const Parameter* const c = &changed == &MAX_FIT_FL ? &MAX_FIT : &changed;
    for (const SettingRow& row : gf_settingsTable()) {
        if (row.setting == c) {
            if (row.publish)
                gf_modifyParameters(row.publish);
            return;
        }
    }
}

void gf_publishSettings(std::initializer_list<const Parameter*> settings)
{
    std::vector<void (*)(Parameters&)> publishers;
    for (const Parameter* setting : settings)
        for (const SettingRow& row : gf_settingsTable())
            if (row.setting == setting && row.publish)
                publishers.push_back(row.publish);
    gf_modifyParameters([&](Parameters& p) {
        for (auto publish : publishers)
            publish(p);
    });
}
