// The weekly traffic airports list.
#include "airports/weekly_traffic_airports.h"

#include <algorithm>
#include <mutex>
#include <shared_mutex>
#include <system_error>

#include <fmt/format.h>

#include "core/encrypted_file.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/text.h"
#include "core/value_types.h"

namespace fs = std::filesystem;

namespace {

std::shared_mutex g_weeklyMutex;
std::vector<uint32_t> g_weeklyCodes;

std::string lf_pathText(const fs::path& path)
{
    return wide_to_utf8(path.wstring());
}

} // namespace

WeeklyTrafficCodes gf_parseWeeklyTrafficXml(const pugi::xml_document& document)
{
    const pugi::xml_node root = document.child("root");
    if (!root)
        return fmt::format("missing <{}> root element", "root");
    const pugi::xml_node list = root.child("traffic_airports");
    if (!list)
        return fmt::format("missing <{}> section", "traffic_airports");
    std::vector<uint32_t> codes;
    codes.reserve(15000);
    for (const pugi::xml_node arp : list.children("arp")) {
        const pugi::xml_attribute c = arp.attribute("c");
        if (!c)
            return fmt::format("<{}> element has no '{}' attribute", "arp", "c");
        std::string_view value = c.value();
        size_t start = 0;
        while (start <= value.size()) {
            const size_t comma = value.find(',', start);
            const size_t end = comma == std::string_view::npos ? value.size() : comma;
            const std::string piece = gf_trim(value.substr(start, end - start));
            if (!piece.empty()) {
                const std::optional<IcaoCode> code = IcaoCode::tryParse(piece);
                if (!code)
                    return fmt::format("invalid weekly traffic ICAO code '{}'", piece);
                codes.push_back(code->code);
            }
            if (comma == std::string_view::npos)
                break;
            start = comma + 1;
        }
    }
    if (codes.empty())
        return fmt::format("<{}> contains no ICAO codes", "traffic_airports");
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    return codes;
}

WeeklyTrafficCodes gf_readWeeklyTrafficAirportsFile()
{
    const fs::path& path = g_wktrafficEncPath;
    const std::string where = lf_pathText(path);
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (st.type() == fs::file_type::not_found)
        return fmt::format("'{}' not available", where);
    if (ec)
        return fmt::format("Could not inspect '{}': {}", where, ec.message());

    DecryptResult decrypted = gf_decryptFile(path, g_wktrafficPlainLimit);
    if (!decrypted.ok)
        return decrypted.error();
    SecureBuffer& buffer = decrypted.buffer();
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_buffer_inplace(buffer.data, buffer.used);
    if (!parsed) {
        std::string error = fmt::format("weekly traffic XML parse error: {}", parsed.description());
        buffer.release();
        return error;
    }
    WeeklyTrafficCodes result = gf_parseWeeklyTrafficXml(document);
    document.reset();
    buffer.release();
    if (auto* error = std::get_if<std::string>(&result))
        return fmt::format("'{}' has invalid weekly traffic XML: {}", where, *error);
    gf_logLine(fmt::format("{} ICAO airports supported by RealTraffic read from '{}'",
                           std::get<std::vector<uint32_t>>(result).size(), where));
    return result;
}

bool gf_loadWeeklyTrafficAirports()
{
    WeeklyTrafficCodes result = gf_readWeeklyTrafficAirportsFile();
    if (auto* codes = std::get_if<std::vector<uint32_t>>(&result)) {
        std::unique_lock lock(g_weeklyMutex);
        g_weeklyCodes = std::move(*codes);
        return true;
    }
    gf_logError(std::get<std::string>(result));
    std::unique_lock lock(g_weeklyMutex);
    g_weeklyCodes.clear();
    return false;
}

bool gf_isWeeklyTrafficAirport(uint32_t code)
{
    std::shared_lock lock(g_weeklyMutex);
    if (g_weeklyCodes.empty())
        return true;
    const auto it = std::lower_bound(g_weeklyCodes.begin(), g_weeklyCodes.end(), code);
    return it != g_weeklyCodes.end() && *it == code;
}

void gf_clearWeeklyTrafficAirports()
{
    std::unique_lock lock(g_weeklyMutex);
    g_weeklyCodes.clear();
}
