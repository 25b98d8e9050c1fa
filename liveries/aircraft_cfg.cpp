#include "liveries/aircraft_cfg.h"

#include <charconv>
#include <limits>
#include <optional>
#include <span>
#include <unordered_map>

#include <fmt/format.h>

#include "core/log.h"
#include "core/text.h"
#include "liveries/fnv_hash.h"
#include "liveries/livery_candidates.h"
#include "liveries/livery_scan_reports.h"

namespace {

char lf_lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Stock simulator aircraft folder -> ICAO type.
const std::unordered_map<std::string, std::string, Fnv1aHash, std::equal_to<>>& lf_stockModelMap()
{
    static const std::unordered_map<std::string, std::string, Fnv1aHash, std::equal_to<>> map{
        {"Asobo_FlightDesignCT", "FDCT"}, {"Asobo_DA40_NG", "DA40"},
        {"Asobo_Longitude", "C700"},      {"Asobo_Cap10C", "CP10"},
        {"Asobo_VL3", "VL3"},             {"Asobo_CJ4", "C25C"},
        {"Asobo_Savage_Cub", "SAVG"},     {"Asobo_C152", "C152"},
        {"Asobo_Savage_ShockUltra", "SAVG"}, {"Asobo_C152_Aerobat", "C152"},
        {"Asobo_XCub", "CC19"},           {"Asobo_C172sp_AS1000", "C172"},
        {"Asobo_Pitts", "PTS2"},          {"Asobo_C172sp_classic", "C172"},
        {"Asobo_SR22", "SR22"},           {"Asobo_Bonanza_G36", "BE36"},
        {"Asobo_Icon", "A5"},             {"Asobo_Baron_G58", "B58T"},
        {"Asobo_TBM930", "TBM9"},         {"Asobo_B747_8i", "B748"},
        {"Asobo_KingAir350", "B350"},     {"Asobo_B787_10", "B78X"},
        {"Asobo_E330", "E300"},           {"Asobo_208B_GRAND_CARAVAN_EX", "C208"},
        {"Asobo_DV20", "DV20"},           {"Asobo_A320_NEO", "A20N"},
        {"Asobo_DR400", "DR40"},          {"FlyByWire_A320_NEO", "A20N"},
        {"Asobo_DA62", "DA62"},           {"Asobo_DA40_TDI", "DA40"},
    };
    return map;
}

// A key line's unquoted value, after the reader's common steps.
std::optional<std::string> lf_unquotedKeyValue(std::string_view line, std::string_view key)
{
    if (line.size() < key.size() || !lf_containsNoCase(line, key))
        return std::nullopt;
    const auto raw = lf_keyLineValue(line, key);
    if (!raw)
        return std::nullopt;
    return gf_unquote(*raw);
}

// Checks a found code against the ICAO type codes and the fixes.
std::string lf_validatedModel(const std::string& code, const std::filesystem::path& path)
{
    if (gf_isIcaoModel(code))
        return code;
    if (const auto fix = ModelFixes.find(code); fix != ModelFixes.end()) {
        ModelFixList.push_back(fmt::format("Model fix: {} found in {} changed into {}", code, lf_pathUtf8(path), fix->second));
        return fix->second;
    }
    lf_reportInvalidModel(code, path);
    return {};
}

// ".+/<root>/SimObjects/Airplanes/IVAO_(\w+)/aircraft\.cfg", as a whole and
// without regard to case: the text after IVAO_, else no value.
std::optional<std::string> lf_matchIvaoPath(std::string_view path, std::string_view root)
{
    constexpr std::string_view tail = "/aircraft.cfg";
    if (path.size() < tail.size() || !lf_equalNoCase(path.substr(path.size() - tail.size()), tail))
        return std::nullopt;
    const std::string_view rest = path.substr(0, path.size() - tail.size());
    const size_t slash = rest.rfind('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    const std::string_view folder = rest.substr(slash + 1);
    constexpr std::string_view prefix = "IVAO_";
    if (folder.size() <= prefix.size() || !lf_equalNoCase(folder.substr(0, prefix.size()), prefix))
        return std::nullopt;
    const std::string_view code = folder.substr(prefix.size());
    for (char c : code)
        if (!lf_isWordChar(c))
            return std::nullopt;
    const std::string middle = fmt::format("/{}/SimObjects/Airplanes", root);
    const std::string_view head = rest.substr(0, slash);
    if (head.size() <= middle.size() || !lf_equalNoCase(head.substr(head.size() - middle.size()), middle))
        return std::nullopt;
    for (char c : head.substr(0, head.size() - middle.size()))
        if (c == '\n' || c == '\r')
            return std::nullopt;
    return std::string(code);
}

} // namespace

bool lf_equalNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lf_lower(a[i]) != lf_lower(b[i]))
            return false;
    return true;
}

bool lf_isCfgSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool lf_isWordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::string lf_pathUtf8(const std::filesystem::path& path)
{
    return wide_to_utf8(path.wstring());
}

bool lf_containsNoCase(std::string_view text, std::string_view part)
{
    if (part.empty())
        return true;
    if (text.size() < part.size())
        return false;
    const char first = lf_lower(part.front());
    for (size_t i = 0; i + part.size() <= text.size(); ++i) {
        if (lf_lower(text[i]) == first && lf_equalNoCase(text.substr(i, part.size()), part))
            return true;
    }
    return false;
}

std::string lf_asciiUpper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::optional<std::string_view> lf_keyLineValue(std::string_view line, std::string_view key)
{
    size_t i = 0;
    while (i < line.size() && lf_isCfgSpace(line[i]))
        ++i;
    if (line.size() - i < key.size() || !lf_equalNoCase(line.substr(i, key.size()), key))
        return std::nullopt;
    i += key.size();
    while (i < line.size() && lf_isCfgSpace(line[i]))
        ++i;
    if (i == line.size() || line[i] != '=')
        return std::nullopt;
    ++i;
    while (i < line.size() && lf_isCfgSpace(line[i]))
        ++i;
    size_t end = line.size();
    while (end > i && lf_isCfgSpace(line[end - 1]))
        --end;
    if (end == i)
        return std::nullopt;
    const std::string_view value = line.substr(i, end - i);
    // The value is matched by ".*", which stops at line breaks.
    if (value.find_first_of("\r\n") != std::string_view::npos)
        return std::nullopt;
    return value;
}

namespace {

// A reader whose value must be at least `minSize` characters long.
bool lf_readValueKey(std::string_view line, std::string_view key, size_t minSize, std::string& value)
{
    auto v = lf_unquotedKeyValue(line, key);
    if (!v || v->size() < minSize)
        return false;
    value = std::move(*v);
    return true;
}

} // namespace

bool lf_readTitleKey(std::string_view line, std::string& value)
{
    return lf_readValueKey(line, "title", 1, value);
}

bool lf_readTextureKey(std::string_view line, std::string& value)
{
    return lf_readValueKey(line, "texture", 1, value);
}

bool lf_readAtcIdKey(std::string_view line, std::string& value)
{
    return lf_readValueKey(line, "atc_id", 5, value);
}

bool lf_readParkingTypesKey(std::string_view line, std::string& value)
{
    return lf_readValueKey(line, "atc_parking_types", 1, value);
}

bool lf_readIcaoAirlineKey(std::string_view line, std::string& value)
{
    auto v = lf_unquotedKeyValue(line, "icao_airline");
    if (!v)
        return false;
    value = (v->empty() || *v == "ZZZZ") ? std::string("ZZZ") : lf_asciiUpper(*v);
    return true;
}

std::string lf_readIcaoTypeKey(std::string_view line)
{
    auto v = lf_unquotedKeyValue(line, "icao_type_designator");
    if (!v)
        return {};
    if (v->size() >= 5)
        v->resize(4);
    return lf_asciiUpper(*v);
}

std::string lf_readBaseContainerKey(std::string_view line)
{
    const auto v = lf_unquotedKeyValue(line, "base_container");
    if (!v || v->size() < 4)
        return {};
    const auto& map = lf_stockModelMap();
    const auto hit = map.find(std::string_view(*v).substr(3));
    return hit == map.end() ? std::string() : lf_asciiUpper(hit->second);
}

bool lf_hasAtcIdAssignment(std::string_view line)
{
    return lf_containsNoCase(line, "atc_id=");
}

bool lf_hasParkingTypesKey(std::string_view line)
{
    return lf_containsNoCase(line, "atc_parking_types");
}

std::string lf_fltsimSectionNumber(std::string_view line)
{
    if (line.starts_with(';') || line.starts_with("//"))
        return {};
    constexpr std::string_view open = "[fltsim.";
    if (line.size() < open.size() || !lf_containsNoCase(line, open))
        return {};
    // "\s*\[fltsim\.(\d+)\]\s*" as a whole.
    size_t i = 0;
    while (i < line.size() && lf_isCfgSpace(line[i]))
        ++i;
    size_t end = line.size();
    while (end > i && lf_isCfgSpace(line[end - 1]))
        --end;
    const std::string_view core = line.substr(i, end - i);
    if (core.size() > open.size() + 1 && lf_equalNoCase(core.substr(0, open.size()), open) && core.back() == ']') {
        const std::string_view digits = core.substr(open.size(), core.size() - open.size() - 1);
        bool allDigits = true;
        for (char c : digits)
            allDigits = allDigits && c >= '0' && c <= '9';
        if (allDigits)
            return std::string(digits);
    }
    return "10000";
}

bool lf_checkFltsimNumbers(const CfgLines& lines, const std::filesystem::path& path)
{
    bool anyHeader = false;
    bool outOfRange = false;
    for (const std::string& line : lines) {
        const std::string number = lf_fltsimSectionNumber(line);
        if (number.empty())
            continue;
        anyHeader = true;
        int32_t value = 0;
        const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
        if (ec != std::errc() || end == number.data()) {
            gf_logError(fmt::format("fltsim num {} incorrect", line));
            return false;
        }
        if (static_cast<uint32_t>(value) > 10000u)
            outOfRange = true;
    }
    if (!anyHeader) {
        NoFltsimCfgList.push_back(lf_pathUtf8(path));
        return true;
    }
    if (outOfRange) {
        lf_addInvalidCfgFileLine(lf_pathUtf8(path) + " contains a [fltsim.x] section with a number < 0 or > " + "10000");
        return false;
    }
    return true;
}

std::string lf_modelOfAircraftCfg(const std::filesystem::path& path, const CfgLines& lines)
{
    for (const std::string& line : lines) {
        const std::string code = lf_readIcaoTypeKey(line);
        if (!code.empty())
            return lf_validatedModel(code, path);
    }
    return lf_modelFromBaseContainer(path, lines);
}

std::string lf_modelFromBaseContainer(const std::filesystem::path& path, const CfgLines& lines)
{
    for (const std::string& line : lines) {
        const std::string code = lf_readBaseContainerKey(line);
        if (!code.empty())
            return lf_validatedModel(code, path);
    }
    const std::string text = lf_pathUtf8(path);
    if (text.find("pmdg-aircraft-7") != std::string::npos || text.find("fnx-aircraft-3") != std::string::npos)
        return {};
    lf_addInvalidCfgFileLine("Line icao_type_designator= is missing in [General] section of " + text);
    return {};
}

std::string lf_ivaoModelFromPath(const std::filesystem::path& path)
{
    std::string text = lf_pathUtf8(path);
    for (char& c : text)
        if (c == '\\')
            c = '/';
    auto code = lf_matchIvaoPath(text, "IVAO_MTL");
    if (!code)
        code = lf_matchIvaoPath(text, "ivao_x-csl");
    if (!code) {
        lf_reportInvalidModel("  ", path);
        return {};
    }
    if (code->size() > 4)
        code->resize(4);
    return lf_validatedModel(*code, path);
}

namespace {

// Cuts the lines into [fltsim.N] sections and hands each to `process` as a
// view of the lines: a section is its header and the lines after it up to
// the line that ends it. `endsSection` decides whether a line that is no
// header closes the section.
template <typename EndsSection, typename Process>
void lf_forEachSection(const CfgLines& lines, EndsSection endsSection, Process process)
{
    const std::span<const std::string> all(lines);
    size_t begin = 0;
    bool inside = false;
    for (size_t n = 0; n < all.size(); ++n) {
        const std::string& line = all[n];
        if (!lf_fltsimSectionNumber(line).empty()) {
            if (inside)
                process(all.subspan(begin, n - begin));
            inside = true;
            begin = n;
        } else if (endsSection(line)) {
            if (inside)
                process(all.subspan(begin, n - begin));
            inside = false;
        }
    }
    if (inside)
        process(all.subspan(begin));
}

} // namespace

std::vector<LiveryRecord> lf_splitFltSimSections(uint32_t rank, const CfgLines& lines, const std::string& model,
                                                 const std::filesystem::path& path,
                                                 const std::filesystem::path& folder)
{
    std::vector<LiveryRecord> result;
    const auto opensOtherSection = [](const std::string& line) {
        const size_t first = line.find_first_not_of(" \t");
        return first != std::string::npos && line[first] == '[';
    };
    const std::string folderText = lf_pathUtf8(folder);
    lf_forEachSection(lines, opensOtherSection, [&](std::span<const std::string> section) {
        for (LiveryRecord& record : lf_procesFltSimSection(rank, section, model, path, folderText))
            result.push_back(std::move(record));
    });
    return result;
}

std::vector<LiveryRecord> lf_splitIVAOSections(uint32_t rank, const CfgLines& lines, const std::string& model,
                                               const std::filesystem::path& path)
{
    std::vector<LiveryRecord> result;
    const auto holdsBracket = [](const std::string& line) { return line.find('[') != std::string::npos; };
    lf_forEachSection(lines, holdsBracket, [&](std::span<const std::string> section) {
        LiveryRecord record = lf_procesIVAOFltSimSection(rank, CfgLines(section.begin(), section.end()), model, path);
        if (record.ids.airline != 0 && record.ids.model != 0)
            result.push_back(std::move(record));
    });
    return result;
}

namespace {

// Detects the charset and reads the lines; false (logged) when either fails.
// With `quietWhenMissing` a file that is not there is passed over without a
// word; its status is asked only when the file could not be read.
bool lf_readCfgLines(const std::filesystem::path& path, CfgLines& lines, bool noEncodingIsError,
                     bool quietWhenMissing)
{
    lines.reserve(4096);
    const TextFileLines read = gf_readTextFileLines(path, lines);
    if (quietWhenMissing && !read.read) {
        const auto type = std::filesystem::status(path).type();
        if (type == std::filesystem::file_type::not_found || type == std::filesystem::file_type::none)
            return false;
    }
    if (read.charset == Charset::NoneFound) {
        const std::string line = fmt::format("! No text encoding detected for {}", lf_pathUtf8(path));
        if (noEncodingIsError)
            gf_logError(line);
        else
            gf_logLine(line);
        return false;
    }
    if (!read.read) {
        gf_logLine(fmt::format("! Failed reading {}", lf_pathUtf8(path)));
        return false;
    }
    return true;
}

} // namespace

std::vector<LiveryRecord> lf_searchLiveriesinFile(uint32_t rank, const std::filesystem::path& path,
                                                  CfgLines& lines)
{
    try {
        if (!lf_readCfgLines(path, lines, false, true))
            return {};
        std::filesystem::path folder = path.parent_path();
        while (folder.has_relative_path() && !folder.has_filename())
            folder = folder.parent_path();
        if (!lf_checkFltsimNumbers(lines, path))
            return {};
        const std::string model = lf_modelOfAircraftCfg(path, lines);
        if (model.empty())
            return {};
        return lf_splitFltSimSections(rank, lines, model, path, folder);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("! Exception in lf_searchLiveriesinFile {}: {}", lf_pathUtf8(path), e.what()));
        throw;
    }
}

std::vector<LiveryRecord> lf_searchLiveriesinFile(uint32_t rank, const std::filesystem::path& path)
{
    CfgLines lines;
    return lf_searchLiveriesinFile(rank, path, lines);
}

std::vector<LiveryRecord> lf_searchLiveriesinIVAOFile(uint32_t rank, const std::filesystem::path& path)
{
    try {
        const std::string model = lf_ivaoModelFromPath(path);
        if (model.empty())
            return {};
        CfgLines lines;
        if (!lf_readCfgLines(path, lines, true, false))
            return {};
        if (!lf_checkFltsimNumbers(lines, path))
            return {};
        return lf_splitIVAOSections(rank, lines, model, path);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("! Exception in lf_searchLiveriesinIVAOFile {}: {}", lf_pathUtf8(path), e.what()));
        throw;
    } catch (...) {
        gf_logLine(fmt::format("! Unknown exception in lf_searchLiveriesinIVAOFile {}", lf_pathUtf8(path)));
        throw;
    }
}
