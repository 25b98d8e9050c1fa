#include "airports/airport_file_store.h"
#include "airports/airport_setup.h"

#include <algorithm>
#include <mutex>

#include <fmt/format.h>

#include "airports/airport_database.h"
#include "airports/airport_file_format.h"
#include "airports/airport_ui.h"
#include "core/gui_senders.h"
#include "airports/learned_airport_files.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/text.h"

std::atomic<bool> handmadeOverrule{false};

namespace {

std::mutex g_infoMutex;
LoadedAirportInfo g_info;
AirportSettingsBlock g_block;

void lf_setChecked(CheckBoxParameter& box, bool value)
{
    box.value = value;
    box.showValue();
}

void lf_setParkingPercentage(int32_t value)
{
    parking_percentage.value = std::clamp(value, parking_percentage.minValue, parking_percentage.maxValue);
}

// The rules for an airport without a learned file: thin or poor files park by
// themselves, tiny airports fill their few stands.
void lf_applyThinFileRules(const AirportFile& file)
{
    gf_logLine("learned airport file not available");
    const size_t n = file.stands.size();
    const std::string qf = gf_qualityFactorText(file.qfReal, file.qfSoft);
    if (file.qfReal < 16) {
        if (RT_PARKTRAFFIC_ONLY.value)
            lf_setChecked(RT_PARKTRAFFIC_ONLY, false);
        if (!AUTO_PARK.value) {
            lf_setChecked(AUTO_PARK, true);
            gf_logLine(fmt::format("auto park set because Qf is very low: {}", qf));
        }
    }
    if (n < 3 && parking_percentage.value != 100 && parking_percentage.value != 65) {
        const int32_t target = n == 1 ? 100 : 65;
        lf_setParkingPercentage(target);
        gf_logError(fmt::format("target parking % set at {}, because this airport has just {} stand{}", target, n,
                                gf_pluralSuffix(static_cast<int64_t>(n))));
        if (RT_PARKTRAFFIC_ONLY.value)
            lf_setChecked(RT_PARKTRAFFIC_ONLY, false);
        if (!AUTO_PARK.value) {
            lf_setChecked(AUTO_PARK, true);
            gf_logLine("auto park set");
        }
    }
    gf_publishAirportSettings();
    gf_logContinuation(fmt::format("{:24}: {}%", parking_percentage.name, parking_percentage.value));
    parking_percentage.selectCurrent();
    gf_airportUi().enableParkingPercentage(true);
}

void lf_applyLearnedSettings(const AirportFile& file)
{
    lf_setParkingPercentage(file.parking_percentage.value_or(parking_percentage.defaultValue));
    parking_percentage.selectCurrent();
    if (file.WEEK)
        lf_setChecked(WEEK, *file.WEEK);
    if (file.PARK_SOFT)
        lf_setChecked(PARK_SOFT, *file.PARK_SOFT);
    if (file.RT_PARKTRAFFIC_ONLY)
        lf_setChecked(RT_PARKTRAFFIC_ONLY, *file.RT_PARKTRAFFIC_ONLY);
    if (file.AUTO_PARK)
        lf_setChecked(AUTO_PARK, *file.AUTO_PARK);
    if (file.MAX_FIT) {
        MAX_FIT.value = std::clamp(*file.MAX_FIT, MAX_FIT.minValue, MAX_FIT.maxValue);
        gf_syncMaxFitFl();
    }
    gf_publishAirportSettings();
    gf_airportUi().updateParkingControls();
    if (file.handmadeOverrule)
        gf_logLine("A handmade airport file overruled the archived file!");
}

} // namespace

LoadedAirportInfo gf_loadedAirportInfo()
{
    std::lock_guard lock(g_infoMutex);
    return g_info;
}

AirportSettingsBlock gf_airportSettingsBlock()
{
    std::lock_guard lock(g_infoMutex);
    return g_block;
}

void lf_recordAirportSettings()
{
    const auto p = gf_parametersSnapshot();
    std::lock_guard lock(g_infoMutex);
    g_block = {p->parking_percentage, p->MAX_PARK_SEL, p->MAX_LIVE_SEL, p->MAX_FIT,
               p->RT_PARKTRAFFIC_ONLY, p->AUTO_PARK, p->WEEK, p->PARK_SOFT};
}

void gf_setupAirportFromFile(AirportFile& file)
{
    // The user's own values, before this airport's rules change them: they
    // come back when the airport is left.
    lf_recordAirportSettings();
    handmadeOverrule.store(file.handmadeOverrule);
    loadedAirportFileWeek.store(file.rtTrafficWeek);
    {
        std::unique_lock lock(engineLock);
        CurrentAirport.altitude = static_cast<double>(file.altitude);
    }
    if (file.learnedMerged)
        lf_applyLearnedSettings(file);
    else
        lf_applyThinFileRules(file);

    const size_t n = file.stands.size();
    gf_postGuiUpdate(GuiUpdate::StandCount{n});
    gf_logLine(fmt::format("Airport file read from '{}'", gf_pathText(file.origin == 2 ? file.loadedPath : file.sourcePath)));
    gf_setAirportPublisher(
        file.version ? fmt::format("{} ({})", file.publisher, *file.version) : file.publisher, file.handmadeOverrule);
    const std::string qf = gf_qualityFactorText(file.qfReal, file.qfSoft);
    gf_logContinuation(fmt::format("{:24}: {}", "publisher", file.publisher));
    if (file.version)
        gf_logContinuation(fmt::format("{:24}: {}", "version", *file.version));
    gf_logContinuation(fmt::format("{:24}: {} ft", "altitude", file.altitude));
    gf_logContinuation(fmt::format("{:24}: {}", "num_parkpos", n));
    gf_logContinuation(fmt::format("{:24}: {}", "quality factor", qf));
    gf_logContinuation(fmt::format("{:24}: {}", "RT traffic week", file.rtTrafficWeek));
    gf_postGuiUpdate(GuiUpdate::QualityFactor{qf});

    airportFileLoaded.store(true);
    parkingAirportLoaded.store(true);
    {
        std::lock_guard lock(g_infoMutex);
        g_info = {file.airport_name, file.publisher, file.altitude, file.learnedTarget};
    }
    gf_repaintAirportPanel();
}

void gf_showAirportSettings()
{
    const AirportSettingsBlock block = gf_airportSettingsBlock();
    if (block.MAX_FIT != MAX_FIT.value) {
        MAX_FIT.value = std::clamp(block.MAX_FIT, MAX_FIT.minValue, MAX_FIT.maxValue);
        MAX_FIT.save();
        gf_syncMaxFitFl();
    }
    if (block.parking_percentage != parking_percentage.value) {
        lf_setParkingPercentage(block.parking_percentage);
        parking_percentage.save();
        parking_percentage.selectCurrent();
        gf_updateParametersFrom(parking_percentage);
    }
    const std::pair<CheckBoxParameter*, bool> boxes[] = {
        {&RT_PARKTRAFFIC_ONLY, block.RT_PARKTRAFFIC_ONLY != 0},
        {&AUTO_PARK, block.AUTO_PARK != 0},
        {&PARK_SOFT, block.PARK_SOFT != 0},
        {&WEEK, block.WEEK != 0},
    };
    for (const auto& [box, value] : boxes) {
        if (box->value == value)
            continue;
        box->value = value;
        box->save();
        box->showValue();
    }
    gf_publishAirportSettings();
    gf_airportUi().updateParkingControls();
    gf_airportUi().enableMaxFitFl(!(!RT_PARKTRAFFIC_ONLY.value && AUTO_PARK.value));
}
