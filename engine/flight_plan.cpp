#include "engine/flight_plan.h"

#include <cstdio>
#include <system_error>

#include <fmt/format.h>

#include "core/layout.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/text.h"
#include "engine/aircraft.h"

namespace fs = std::filesystem;

namespace {

std::string lf_systemMessage(const std::error_code& ec)
{
    return ec.message();
}

bool lf_isIfr(Category category)
{
    return category >= Category::TwoProps && category <= Category::Heavy;
}

} // namespace

std::optional<fs::path> gf_flightPlanFolder()
{
    if (!gf_isMSFS2020())
        return std::nullopt;
    return gf_settingsFolder() / L"orig_dest";
}

bool gf_ensureFlightPlanFolder(const fs::path& folder)
{
    std::error_code ec;
    const auto status = fs::status(folder, ec);
    if (ec && status.type() != fs::file_type::not_found) {
        gf_logLine(fmt::format("Could not inspect flight-plan folder '{}': {}", gf_pathText(folder),
                               lf_systemMessage(ec)));
        return false;
    }
    if (status.type() == fs::file_type::not_found) {
        fs::create_directories(folder, ec);
        if (ec || !fs::is_directory(folder)) {
            gf_logLine(fmt::format("Could not create flight-plan folder '{}': {}", gf_pathText(folder),
                                   lf_systemMessage(ec)));
            return false;
        }
        return true;
    }
    if (status.type() != fs::file_type::directory) {
        gf_logLine(fmt::format("Flight-plan path '{}' is not a directory", gf_pathText(folder)));
        return false;
    }
    return true;
}

fs::path gf_createFlightPlan(uint32_t number, const LiveAircraft& aircraft)
{
    const auto folder = gf_flightPlanFolder();
    if (!folder || !gf_ensureFlightPlanFolder(*folder))
        return {};
    fs::path path = *folder / fmt::format("{}.pln", number);
    return lf_writeFlightPlanFile(path, aircraft) ? path : fs::path();
}

bool lf_writeFlightPlanFile(const fs::path& path, const LiveAircraft& aircraft)
{
    const std::string text = fmt::format(
        "{}\n{}\n{}\n{}{}{}\n{}{}{}\n{}{}{}\n{}\n{}\n", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
        "<SimBase.Document Type=\"AceXML\" version=\"4,3\">", "<FlightPlan.FlightPlan>", "<FPType>",
        lf_isIfr(aircraft.identity.category) ? "IFR" : "VFR", "</FPType>", "<DepartureID>", aircraft.identity.origin.toString(),
        "</DepartureID>", "<DestinationID>", aircraft.identity.destination.toString(), "</DestinationID>",
        "</FlightPlan.FlightPlan>", "</SimBase.Document>");
#if defined(_WIN32)
    FILE* file = _wfopen(path.c_str(), L"wb");
#else
    FILE* file = std::fopen(path.c_str(), "wb");
#endif
    if (!file) {
        gf_logLine(fmt::format("Could not open flight plan '{}' for writing", gf_pathText(path)));
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        gf_logLine(fmt::format("Writing flight plan '{}' failed", gf_pathText(path)));
        std::error_code ec;
        fs::remove(path, ec);
        return false;
    }
    return true;
}

bool gf_removeFlightPlan(uint32_t number)
{
    const auto folder = gf_flightPlanFolder();
    if (!folder)
        return false;
    const fs::path path = *folder / fmt::format("{}.pln", number);
    std::error_code ec;
    const bool removed = fs::remove(path, ec);
    if (ec) {
        gf_logLine(fmt::format("Could not remove flight plan '{}': {}", gf_pathText(path), lf_systemMessage(ec)));
        return false;
    }
    return removed;
}

bool gf_removeFlightPlanFolder()
{
    const auto folder = gf_flightPlanFolder();
    if (!folder)
        return true;
    std::error_code ec;
    fs::remove(*folder, ec);
    if (ec && ec.value() == 145) // ERROR_DIR_NOT_EMPTY
        ec.clear(), fs::remove_all(*folder, ec);
    else if (ec && fs::is_directory(*folder))
        ec.clear(), fs::remove_all(*folder, ec);
    if (ec) {
        gf_logLine(fmt::format("Could not remove flight-plan folder '{}': {}", gf_pathText(*folder),
                               lf_systemMessage(ec)));
        return false;
    }
    const bool stillThere = fs::exists(*folder, ec);
    if (ec || stillThere) {
        gf_logLine(fmt::format("Could not inspect removed flight-plan folder '{}': {}", gf_pathText(*folder),
                               ec ? lf_systemMessage(ec) : std::string("still present")));
        return false;
    }
    return true;
}
