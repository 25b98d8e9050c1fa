#include "airports/airport_file_store.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "airports/airport_database.h"
#include "core/layout.h"
#include "core/text.h"

namespace fs = std::filesystem;

namespace {

bool lf_exists(const fs::path& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::string lf_lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// The elements of a relative path as UTF-8 texts; none for an absolute path
// or one whose names do not convert.
std::optional<std::vector<std::string>> lf_elements(const fs::path& path)
{
    if (path.has_root_name() || path.has_root_directory())
        return std::nullopt;
    std::vector<std::string> out;
    try {
        for (const fs::path& e : path)
            out.push_back(wide_to_utf8(e.wstring()));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return out;
}

int lf_hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<fs::path> lf_linkOrXml(const fs::path& folder, const IcaoCode& icao)
{
    const fs::path link = folder / gf_airportTxtName(icao);
    if (lf_exists(link)) {
        if (std::optional<fs::path> target = gf_readAirportLink(link))
            return target;
    }
    const fs::path xml = folder / gf_airportXmlName(icao);
    if (lf_exists(xml))
        return xml;
    return std::nullopt;
}

// airports/learned/thirdparty/<safe publisher>/<file>
std::optional<fs::path> lf_learnedThirdpartyPath(std::string_view publisher, const fs::path& file)
{
    const std::string safe = gf_safeFileName(publisher);
    if (safe.empty())
        return std::nullopt;
    try {
        return g_learnedThirdpartyFolder / fs::path(utf8_to_wide(safe)) / file;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

fs::path gf_airportXmlName(const IcaoCode& icao)
{
    return fs::path(icao.toString() + ".xml");
}

fs::path gf_airportEncName(const IcaoCode& icao)
{
    return fs::path(icao.toString() + ".enc");
}

fs::path gf_airportTxtName(const IcaoCode& icao)
{
    return fs::path(icao.toString() + ".txt");
}

bool gf_hasExtension(const fs::path& path, std::string_view extension)
{
    const std::wstring ext = path.extension().wstring();
    if (ext.size() != extension.size())
        return false;
    for (size_t i = 0; i < ext.size(); ++i) {
        if (ext[i] > 0x7F || std::tolower(static_cast<unsigned char>(ext[i])) !=
                                 std::tolower(static_cast<unsigned char>(extension[i])))
            return false;
    }
    return true;
}

bool gf_hasAirportFile(const IcaoCode& icao)
{
    for (const fs::path& folder : {g_myThirdpartyFolder, g_mySimaddonFolder}) {
        if (lf_exists(folder / gf_airportXmlName(icao)) || lf_exists(folder / gf_airportTxtName(icao)))
            return true;
    }
    return gf_airportDbContains(icao);
}

std::optional<fs::path> gf_readAirportLink(const fs::path& linkFile)
{
    LineFileReader reader;
    try {
        reader.path = wide_to_utf8(linkFile.wstring());
    } catch (const std::exception&) {
        return std::nullopt;
    }
    const LineFileReader::Result read = reader.readAll(1);
    if (!read.ok || read.lines.empty())
        return std::nullopt;
    const std::string line = gf_trim(read.lines.front());
    if (line.size() <= 3)
        return std::nullopt;
    fs::path target;
    try {
        target = fs::path(utf8_to_wide(line)).lexically_normal();
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (!gf_hasExtension(target, ".xml") && !gf_hasExtension(target, ".enc"))
        return std::nullopt;
    // Only the program's own places: the site's archive or an add-on folder.
    const std::optional<std::vector<std::string>> elements = lf_elements(target);
    if (!elements || elements->size() < 2)
        return std::nullopt;
    if (std::find(elements->begin(), elements->end(), "..") != elements->end())
        return std::nullopt;
    const std::string& first = elements->front();
    const bool archive = first == "archive";
    const bool addOn = first == "airports" && elements->size() == 3 && (*elements)[1].starts_with("my_");
    if (!archive && !addOn)
        return std::nullopt;
    return target;
}

std::optional<fs::path> gf_findAirportFilePath(const IcaoCode& icao)
{
    for (const fs::path& folder : {g_myThirdpartyFolder, g_mySimaddonFolder}) {
        if (std::optional<fs::path> found = lf_linkOrXml(folder, icao))
            return found;
    }
    if (gf_airportDbContains(icao))
        return g_archiveName / g_stockName / gf_airportEncName(icao);
    return std::nullopt;
}

std::optional<ArchiveSourceId> gf_parseArchiveSourcePath(const fs::path& path)
{
    const std::optional<std::vector<std::string>> e = lf_elements(path);
    if (!e || e->size() < 3 || lf_lower((*e)[0]) != "archive")
        return std::nullopt;
    ArchiveSourceId id;
    const std::string kind = lf_lower((*e)[1]);
    size_t fileIndex = 2;
    if (kind == "stock" || kind == "simaddon") {
        id.publisher = kind;
    } else if (kind == "thirdparty") {
        if (e->size() < 4)
            return std::nullopt;
        id.publisher = gf_percentDecode((*e)[2]);
        fileIndex = 3;
    } else {
        return std::nullopt;
    }
    if (e->size() != fileIndex + 1)
        return std::nullopt;
    const fs::path file((*e)[fileIndex]);
    if (!gf_hasExtension(file, ".xml") && !gf_hasExtension(file, ".enc"))
        return std::nullopt;
    const std::string& name = (*e)[fileIndex];
    const std::string stem = name.substr(0, name.size() - 4);
    if (stem.size() < 4)
        return std::nullopt;
    const std::optional<IcaoCode> icao = IcaoCode::tryParse(std::string_view(stem).substr(0, 4));
    if (!icao)
        return std::nullopt;
    const std::string version = stem.substr(4);
    if (!std::all_of(version.begin(), version.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    id.icao = *icao;
    id.version = version;
    return id;
}

fs::path gf_stripFileNameVersion(const fs::path& path)
{
    const std::wstring stem = path.stem().wstring();
    if (stem.size() < 5)
        return path;
    fs::path out = path;
    out.replace_filename(stem.substr(0, 4) + path.extension().wstring());
    return out;
}

std::optional<fs::path> gf_learnedAirportFilePath(const fs::path& source, std::string_view publisher)
{
    if (source.empty())
        return std::nullopt;
    fs::path path = source;
    if (gf_hasExtension(path, ".enc"))
        path.replace_extension(".xml");
    else if (!gf_hasExtension(path, ".xml"))
        return std::nullopt;
    const std::optional<std::vector<std::string>> e = lf_elements(path);
    if (!e || e->size() < 3)
        return std::nullopt;
    const std::string& a = (*e)[0];
    const std::string& b = (*e)[1];
    const fs::path file = path.filename();
    if (e->size() == 3) {
        if (a == "archive" && b == "stock")
            return g_learnedStockFolder / file;
        if (a == "archive" && b == "simaddon")
            return g_learnedSimaddonFolder / file;
        if (a == "airports" && b == "stock")
            return g_learnedStockFolder / file;
        if (a == "airports" && b == "my_simaddon")
            return g_learnedFolder / L"my_simaddon" / file;
        if (a == "airports" && (b == "my_thirdparty" || b == "my_thirdparty2024")) {
            return lf_learnedThirdpartyPath(publisher, file);
        }
        return std::nullopt;
    }
    if (e->size() == 4 && a == "archive" && b == "thirdparty") {
        return lf_learnedThirdpartyPath(gf_percentDecode((*e)[2]), file);
    }
    return std::nullopt;
}

std::string gf_percentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int hi = lf_hexValue(text[i + 1]);
            const int lo = lf_hexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::string gf_percentEncode(std::string_view text)
{
    std::string out;
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) && c < 0x80)
            out.push_back(ch);
        else if (ch == '-' || ch == '.' || ch == '_' || ch == '~')
            out.push_back(ch);
        else
            out += fmt::format("%{:02X}", c);
    }
    return out;
}

std::string gf_safeFileName(std::string_view text)
{
    std::string out(text);
    for (char& ch : out) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || std::string_view("<>:\"/\\|?*").find(ch) != std::string_view::npos)
            ch = ' ';
    }
    out = gf_trim(out);
    if (std::all_of(out.begin(), out.end(), [](char c) { return c == '.' || c == ' '; }))
        return {};
    // Windows opens a device for these names, whatever the extension.
    std::string base = lf_lower(out.substr(0, out.find('.')));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    static const std::array<std::string_view, 4> kDevices{"con", "prn", "aux", "nul"};
    if (std::find(kDevices.begin(), kDevices.end(), base) != kDevices.end())
        return {};
    if (base.size() == 4 && (base.starts_with("com") || base.starts_with("lpt")) && base[3] >= '0' && base[3] <= '9')
        return {};
    return out;
}
