#include "airports/airport_file_store.h"
#include "airports/airport_setup.h"

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
AirportSettings g_block;

void lf_setChecked(CheckBoxParameter& box, bool value)
{
    box.set(value);
    box.showValue();
}

// Shows a per-airport setting in its control: MAX_FIT, the one without a
// control of its own, through MAX_FIT_FL.
void lf_showSetting(CheckBoxParameter& box)
{
    box.showValue();
}

void lf_showSetting(IntChoiceParameter& choice)
{
    choice.selectCurrent();
}

void lf_showSetting(IntParameter& setting)
{
    if (&setting == &MAX_FIT)
        gf_syncMaxFitFl();
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
        parking_percentage.set(target);
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
    // A learned file without a parking percentage takes the default; every
    // other setting it lacks stays as it is.
    LearnedAirportSettings learned = file;
    learned.parking_percentage = learned.parking_percentage.value_or(parking_percentage.defaultValue);
    gf_forEachAirportSetting(learned, [](const char*, const auto& value, auto& setting, auto) {
        if (!value)
            return;
        setting.set(*value);
        lf_showSetting(setting);
    });
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

AirportSettings gf_airportSettingsBlock()
{
    std::lock_guard lock(g_infoMutex);
    return g_block;
}

void lf_recordAirportSettings()
{
    const AirportSettings settings = gf_airportSettingsOf(*gf_parametersSnapshot());
    std::lock_guard lock(g_infoMutex);
    g_block = settings;
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
    const AirportSettings block = gf_airportSettingsBlock();
    gf_forEachAirportSetting(block, [](const char*, const auto& value, auto& setting, auto) {
        if (setting.value == value)
            return;
        setting.set(value);
        setting.save();
        lf_showSetting(setting);
    });
    gf_publishAirportSettings();
    gf_airportUi().updateParkingControls();
    gf_airportUi().enableMaxFitFl(!(!RT_PARKTRAFFIC_ONLY.value && AUTO_PARK.value));
}
