#include "liveries/livery_candidates.h"

#include <array>

#include <fmt/format.h>

#include "core/log.h"
#include "core/text.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/livery_scan_reports.h"

namespace {

// IVAO folders whose titles carry a 'W' right after the model code.
constexpr std::array<std::string_view, 5> IvaoWTitleFolders{"IVAO_B738WLfa", "IVAO_B739WLfa", "IVAO_A320wCFM",
                                                           "IVAO_A320wIAE", "IVAO_A319fIAEw"};

// The section without its trailing empty and comment lines; the header stays.
size_t lf_usedSectionLength(std::span<const std::string> section)
{
    size_t n = section.size();
    while (n > 1) {
        const std::string& line = section[n - 1];
        if (!line.empty() && !line.starts_with(';') && !line.starts_with("//"))
            break;
        --n;
    }
    return n;
}

std::string lf_parkingTypesOf(std::string value)
{
    gf_normalizeCommaList(value);
    return lf_asciiUpper(value);
}

std::string_view lf_commentStart(std::string_view value)
{
    return value.substr(0, value.find(';'));
}

// The registration of an atc_id value: the one piece of a valid value, empty
// for several pieces; an invalid value is reported and gives empty.
std::string lf_registrationOf(std::string_view value, const std::string& title, bool ordinary)
{
    const std::vector<std::string> pieces = gf_split(ordinary ? lf_commentStart(value) : value, ',');
    bool valid = !pieces.empty();
    for (const std::string& piece : pieces)
        valid = valid && piece.size() <= 12 && piece.find('*') == std::string::npos;
    if (!valid) {
        lf_addIncompleteSectionLine(ordinary ? fmt::format("invalid atc_id={} in: {}", value, title)
                                             : fmt::format("invalid atc_id={} in {}", value, title));
        return {};
    }
    return pieces.size() == 1 ? pieces.front() : std::string();
}

// "<model>[W]\s*(\w\w\w).*" as a whole, without regard to ASCII case: the
// three word characters, else empty.
std::string lf_ivaoTitleAirline(std::string_view title, std::string_view prefix)
{
    if (title.size() < prefix.size() || !lf_equalNoCase(title.substr(0, prefix.size()), prefix))
        return {};
    size_t i = prefix.size();
    while (i < title.size() && lf_isCfgSpace(title[i]))
        ++i;
    if (title.size() - i < 3 || !lf_isWordChar(title[i]) || !lf_isWordChar(title[i + 1]) ||
        !lf_isWordChar(title[i + 2]))
        return {};
    if (title.find_first_of("\r\n", i + 3) != std::string_view::npos)
        return {};
    return std::string(title.substr(i, 3));
}

struct OrdinaryKeys {
    std::string title, airline, parkingTypes, registration;
    bool abandoned = false;
};

void lf_collectOrdinaryKeys(std::span<const std::string> section, size_t used, std::string_view folder,
                            const std::filesystem::path& path, OrdinaryKeys& keys)
{
    const std::string& header = section.front();
    const auto abandon = [&keys](std::string text) {
        lf_addIncompleteSectionLine(std::move(text));
        keys.abandoned = true;
    };
    for (size_t n = 0; n < used && !keys.abandoned; ++n) {
        const std::string& line = section[n];
        std::string value;
        if (keys.title.empty()) {
            if (lf_readTitleKey(line, value)) {
                keys.title = gf_trim(value);
                if (keys.title.find("FenixA320") != std::string::npos ||
                    keys.title.find("PMDG 737") != std::string::npos)
                    keys.abandoned = true;
                continue;
            }
        } else if (lf_readTitleKey(line, value)) {
            abandon(fmt::format("{} {} has more than one title key", folder, header));
            continue;
        }
        if (keys.airline.empty()) {
            if (lf_readIcaoAirlineKey(line, value)) {
                gf_normalizeCommaList(value);
                if (value.size() == 4 && (value[3] == 'X' || value[3] == 'C'))
                    value.resize(3);
                if (gf_isIcaoAirline(value)) {
                    keys.airline = value;
                } else if (value == "RFO") {
                    keys.airline = value;
                    keys.abandoned = true;
                } else {
                    lf_reportInvalidAirline(value, path, header);
                }
                continue;
            }
        } else if (lf_containsNoCase(line, "icao_airline")) {
            abandon(fmt::format("{} {} has more than one icao_airline key", folder, header));
            continue;
        }
        if (keys.parkingTypes.empty()) {
            if (lf_readParkingTypesKey(line, value)) {
                keys.parkingTypes = lf_parkingTypesOf(value);
                continue;
            }
        } else if (lf_hasParkingTypesKey(line)) {
            abandon(fmt::format("{} {} has more than one atc_parking_types key", folder, header));
            continue;
        }
        if (keys.registration.empty()) {
            if (lf_readAtcIdKey(line, value)) {
                keys.registration = lf_registrationOf(value, keys.title, true);
                continue;
            }
        } else if (lf_hasAtcIdAssignment(line)) {
            abandon(fmt::format("{}, {}, has more than one atc_id key", folder, header));
        }
    }
}

std::vector<LiveryRecord> lf_decideOrdinarySection(uint32_t rank, OrdinaryKeys& keys, const std::string& model,
                                                   const std::filesystem::path& path, std::string_view folder,
                                                   const std::string& header)
{
    if (keys.airline.empty())
        lf_addIncompleteSectionLine(
            fmt::format("{} {} icao_airline is missing, or it has invalid info ", lf_pathUtf8(path), header));
    if (keys.abandoned)
        return {};
    if (keys.title.empty()) {
        lf_addIncompleteSectionLine(fmt::format("{} {} misses title", folder, header));
        return {};
    }
    if (keys.title.find("Fictional") != std::string::npos)
        return {};
    if (keys.title.ends_with("-STUB"))
        keys.airline = "ZZZ";
    if (DontUseLiveryTitles.contains(keys.title))
        return {};
    if (keys.airline == "ZZZ")
        keys.registration.clear();

    std::optional<AirlOprModel> dbase;
    const auto lookup = [&] {
        dbase.reset();
        if (!keys.registration.empty())
            if (const auto hit = gf_lookupDbase(keys.registration); hit && hit->airline != 0)
                dbase = *hit;
    };
    lookup();
    if (keys.airline.empty()) {
        const bool heavy = gf_modelCodeCategory(model) == Category::Heavy;
        if (!keys.registration.empty()) {
            if (!dbase) {
                if (heavy) {
                    lf_addIncompleteSectionLine(
                        fmt::format("'{}' '{}' has no airline and regcode not in dbase", folder, header));
                    return {};
                }
                keys.airline = "PVT";
            }
        } else {
            if (heavy) {
                lf_addIncompleteSectionLine(fmt::format("'{}' '{}' has no airline and no regcode info", folder, header));
                return {};
            }
            keys.airline = "PVT";
            if (auto registration = gf_findShortDbaseRegistration(keys.title)) {
                keys.registration = std::move(*registration);
                lookup();
            }
        }
    }
    const std::string_view types = keys.parkingTypes;
    const uint8_t cargo = (types.size() >= 5 && types.find("CARGO") != std::string_view::npos &&
                           types.find("GATE") == std::string_view::npos)
                              ? 1
                              : 0;
    const AirlOprModel ids =
        dbase ? *dbase : AirlOprModel{gf_airlineCode2Id(keys.airline), 0, gf_modelIdOf(model), cargo, 0};
    LiveryRecord record = lf_makeLiveryCandidate(rank, ids, keys.title, keys.registration);
    if (!lf_isUnusableCandidate(record))
        return {std::move(record)};
    lf_addIncompleteSectionLine(fmt::format("{} {} title '{}' already exists", folder, header, keys.title));
    return {};
}

} // namespace

LiveryRecord lf_makeLiveryCandidate(uint32_t rank, const AirlOprModel& ids, const std::string& title,
                                    const std::string& registration)
{
    if (!UsedLiveryTitles.insert(title).second)
        return {};
    LiveryRecord record;
    record.title = title;
    record.registration = registration;
    record.ids = ids;
    record.packageRank = static_cast<int16_t>(static_cast<uint16_t>(rank & 0xFFFFu));
    return record;
}

bool lf_isUnusableCandidate(const LiveryRecord& record)
{
    return record.ids.airline == 0 || record.ids.model == 0;
}

std::vector<LiveryRecord> lf_procesFltSimSection(uint32_t rank, std::span<const std::string> section,
                                                 const std::string& model, const std::filesystem::path& path,
                                                 std::string_view folder)
{
    try {
        if (section.empty())
            return {};
        OrdinaryKeys keys;
        lf_collectOrdinaryKeys(section, lf_usedSectionLength(section), folder, path, keys);
        return lf_decideOrdinarySection(rank, keys, model, path, folder, section.front());
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("Exception in lf_procesFltSimSection: {}, file: {}", e.what(), lf_pathUtf8(path)));
        throw;
    }
}

LiveryRecord lf_procesIVAOFltSimSection(uint32_t rank, const std::vector<std::string>& section,
                                        const std::string& model, const std::filesystem::path& path)
{
    if (section.empty())
        return {};
    const std::filesystem::path folder = path.parent_path();
    const std::string folderText = lf_pathUtf8(folder);
    const std::string& header = section.front();
    std::string title, parkingTypes, registration, texture;
    const size_t used = lf_usedSectionLength(section);
    for (size_t n = 0; n < used; ++n) {
        const std::string& line = section[n];
        std::string value;
        if (title.empty()) {
            if (lf_readTitleKey(line, value)) {
                title = gf_trim(value);
                if (title != value)
                    gf_logLine(fmt::format("removed spaces around title '{}' --> '{}'", value, title));
                continue;
            }
        } else if (lf_readTitleKey(line, value)) {
            lf_addIncompleteSectionLine(folderText + " " + header + " has more than one title key");
            return {};
        }
        if (parkingTypes.empty()) {
            if (lf_readParkingTypesKey(line, value)) {
                parkingTypes = lf_parkingTypesOf(value);
                continue;
            }
        } else if (lf_hasParkingTypesKey(line)) {
            lf_addIncompleteSectionLine(folderText + " " + header + " has more than one atc_parking_types key");
            return {};
        }
        if (registration.empty()) {
            if (lf_readAtcIdKey(line, value)) {
                registration = lf_registrationOf(value, title, false);
                continue;
            }
        } else if (lf_hasAtcIdAssignment(line)) {
            lf_addIncompleteSectionLine(fmt::format("{}, {}, has more than one atc_id key", folderText, header));
            return {};
        }
        if (texture.empty() && lf_readTextureKey(line, value))
            texture = std::move(value);
    }

    const std::filesystem::path textureFolder = folder / utf8_to_wide("texture." + texture);
    if (!std::filesystem::is_directory(std::filesystem::status(textureFolder))) {
        lf_addIncompleteSectionLine(lf_pathUtf8(textureFolder) + " " + header + " does not exist");
        return {};
    }
    if (title.empty()) {
        lf_addIncompleteSectionLine(folderText + " " + header + " misses title");
        return {};
    }
    if (DontUseLiveryTitles.contains(title))
        return {};
    bool wFolder = false;
    for (std::string_view name : IvaoWTitleFolders)
        wFolder = wFolder || folderText.find(name) != std::string::npos;
    const std::string airline = lf_ivaoTitleAirline(title, wFolder ? model + "W" : model);
    LiveryRecord record;
    if (!airline.empty()) {
        if (!gf_isIcaoAirline(airline)) {
            lf_reportInvalidAirline(airline, path, header);
            return {};
        }
        if (airline == "ZZZ")
            registration.clear();
        record = lf_makeLiveryCandidate(rank, {gf_airlineCode2Id(airline), 0, gf_modelIdOf(model), 0, 0}, title,
                                        registration);
    } else if (registration.empty()) {
        lf_addIncompleteSectionLine(folderText + " " + header + " misses airlinecode in title: " + title +
                                    ", and no regcode");
        return {};
    } else {
        const auto dbase = gf_lookupDbase(registration);
        if (!dbase) {
            lf_addIncompleteSectionLine(folderText + " " + header + " misses airlinecode in title: " + title +
                                        ", and regcode unknown " + registration);
            return {};
        }
        record = lf_makeLiveryCandidate(rank, *dbase, title, registration);
    }
    if (lf_isUnusableCandidate(record)) {
        lf_addIncompleteSectionLine(folderText + " " + header + " title already exists: " + title);
        return {};
    }
    return record;
}
