#include "liveries/livery_scan_seams.h"

std::set<std::string>& gf_scanIcaoAirlineCodes()
{
    static std::set<std::string> codes;
    return codes;
}

bool gf_isIcaoAirline(std::string_view code)
{
    if (code.empty())
        return false;
    const auto& codes = gf_scanIcaoAirlineCodes();
    return codes.find(std::string(code)) != codes.end();
}

Category gf_modelCodeCategory(std::string_view code)
{
    return gf_modelCategory(gf_modelCode2Id(code));
}

std::optional<std::string> gf_findShortDbaseRegistration(std::string_view text)
{
    for (const DbaseRecord& record : gf_modelDatabase().records) {
        if (!record.registration.empty() && record.registration.size() <= 5 &&
            text.find(record.registration) != std::string_view::npos)
            return record.registration;
    }
    return std::nullopt;
}

size_t gf_readDontUseTitles(const std::filesystem::path&, std::unordered_set<std::string>&)
{
    return 0;
}

size_t gf_readDontUseTitlesInFolder(std::unordered_set<std::string>&)
{
    return 0;
}
