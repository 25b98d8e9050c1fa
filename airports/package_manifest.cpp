#include "airports/package_manifest.h"

#include <algorithm>
#include <charconv>
#include <fstream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "airports/airport_file_store.h"
#include "airports/bgl_reader.h"
#include "airports/package_scan.h"
#include "airports/publisher_lists.h"
#include "airports/scanned_airport.h"
#include "core/text.h"

namespace fs = std::filesystem;

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::optional<uint32_t> number(std::string_view text)
{
    if (text.empty() || !std::all_of(text.begin(), text.end(), isDigit))
        return std::nullopt;
    uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// Two or three numbers separated by single dots.
bool parseNumbers(std::string_view text, PackageVersion& v)
{
    uint32_t* fields[] = {&v.major, &v.minor, &v.patch};
    size_t count = 0;
    size_t start = 0;
    for (;;) {
        const size_t dot = text.find('.', start);
        const std::optional<uint32_t> n = number(text.substr(start, dot == text.npos ? text.npos : dot - start));
        if (!n || count == 3)
            return false;
        *fields[count++] = *n;
        if (dot == text.npos)
            break;
        start = dot + 1;
    }
    if (count < 2)
        return false;
    if (count == 2)
        v.patch = 0;
    return true;
}

std::string jsonText(const nlohmann::json& object, const char* key)
{
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool isRegularFile(const fs::path& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// The record's manifest, searched for at most once.
const std::optional<PackageManifest>& manifestOf(ScannedAirport& airport)
{
    if (!airport.manifest && !airport.manifestSearched)
        airport.manifest = gf_searchManifest(airport.bglFile);
    airport.manifestSearched = true;
    return airport.manifest;
}

void setPublisher(ScannedAirport& airport, const std::string& name)
{
    airport.publisher =
        gf_containsNoCase(name, "Microsoft") || gf_containsNoCase(name, "Asobo") ? std::string("simaddon") : name;
    gf_addScanLogLine(fmt::format("publisher '{}'", airport.publisher));
}

} // namespace

PackageVersion gf_parsePackageVersion(std::string_view text) noexcept
{
    PackageVersion v;
    if (parseNumbers(text, v)) {
        v.ok = true;
        return v;
    }
    v = PackageVersion{};
    const size_t numbersEnd = text.find_first_not_of("0123456789.");
    if (numbersEnd == text.npos || !parseNumbers(text.substr(0, numbersEnd), v))
        return PackageVersion{};
    std::string_view rest = text.substr(numbersEnd);
    if (rest.starts_with('-'))
        rest.remove_prefix(1);
    if (rest.size() < 2 || (rest[0] != 'R' && rest[0] != 'r') || (rest[1] != 'C' && rest[1] != 'c'))
        return PackageVersion{};
    rest.remove_prefix(2);
    if (!rest.empty()) {
        const std::optional<uint32_t> rc = number(rest);
        if (!rc)
            return PackageVersion{};
        v.rc = *rc;
    }
    v.isRc = v.ok = true;
    return v;
}

std::optional<PackageManifest> lf_readManifest(const fs::path& path)
{
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    if (!ec && size > g_manifestSizeLimit) {
        gf_addScanLogLine(fmt::format("Ignoring manifest larger than {} bytes: '{}'", g_manifestSizeLimit,
                                      gf_pathText(path)));
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<std::string> lines;
    lines.reserve(4096);
    gf_readStreamLines(in, lines);
    if (lines.empty())
        return std::nullopt;
    std::string text;
    text.reserve(16384);
    for (const std::string& line : lines)
        text += line;
    const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object())
        return std::nullopt;
    PackageManifest manifest;
    manifest.title = jsonText(json, "title");
    manifest.package_version = jsonText(json, "package_version");
    if (manifest.package_version.empty())
        manifest.package_version = jsonText(json, "version");
    manifest.manufacturer = jsonText(json, "manufacturer");
    manifest.creator = jsonText(json, "creator");
    return manifest;
}

std::optional<PackageManifest> gf_searchManifest(const fs::path& sceneryFile)
{
    try {
        fs::path folder = sceneryFile.parent_path();
        for (int i = 0; i < 12 && !folder.empty(); ++i) {
            const fs::path candidate = folder / L"manifest.json";
            if (isRegularFile(candidate))
                return lf_readManifest(candidate);
            // Trailing and repeated separators do not count as a level.
            fs::path trimmed = folder;
            while (!trimmed.has_filename() && trimmed.has_relative_path())
                trimmed = trimmed.parent_path();
            const fs::path parent = trimmed.parent_path();
            if (parent.empty() || parent == trimmed)
                break;
            folder = parent;
        }
    }
    catch (const std::exception& e) {
        gf_addScanLogLine(fmt::format("Exception in gf_searchManifest for '{}': {}", gf_pathText(sceneryFile), e.what()));
    }
    return std::nullopt;
}

std::optional<PackageManifest> lf_findStreamedManifest(const fs::path& package, const fs::path& base)
{
    const std::string name = gf_pathText(package.filename());
    if (name.empty() || base.empty())
        return std::nullopt;
    std::vector<std::string> candidates;
    if (name.size() >= 6 && name.starts_with("fs24-"))
        candidates.push_back(name.substr(5));
    candidates.push_back(name);
    const auto lookIn = [&](const fs::path& folder) -> std::optional<fs::path> {
        for (const std::string& candidate : candidates) {
            const fs::path manifest = folder / fs::path(std::u8string(candidate.begin(), candidate.end())) / L"manifest.json";
            if (isRegularFile(manifest))
                return manifest;
        }
        return std::nullopt;
    };
    if (const auto found = lookIn(base))
        return lf_readManifest(*found);
    std::error_code ec;
    for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code dirEc;
        if (!it->is_directory(dirEc))
            continue;
        if (const auto found = lookIn(it->path()))
            return lf_readManifest(*found);
    }
    return std::nullopt;
}

bool lf_acceptManifestPublisher(std::string value, ScannedAirport& airport)
{
    value = gf_trim(value);
    if (value.size() <= 2)
        return false;
    if (gf_isRejectedPublisherValue(value)) {
        gf_addScanLogLine(fmt::format("manifest publisher value '{}' rejected by archives data", value));
        return false;
    }
    if (gf_containsNoCase(value, "Microsoft") || gf_containsNoCase(value, "Asobo")) {
        setPublisher(airport, value);
        return true;
    }
    const PublisherLookup group = lf_findPublisherGroup(value);
    if (group.status != 0)
        return false;
    setPublisher(airport, group.name);
    return true;
}

bool lf_detectPublisher(ScannedAirport& airport)
{
    try {
        airport.publisher.clear();
        if (gf_containsNoCase(airport.bglPath, "microsoft-airport") || gf_containsNoCase(airport.bglPath, "asobo-airport")) {
            airport.publisher = "simaddon";
            gf_addScanLogLine(fmt::format("publisher: {}", airport.publisher));
            return true;
        }
        if (const PublisherLookup group = lf_findPublisherGroup(airport.bglPath); group.status == 0) {
            setPublisher(airport, group.name);
            return true;
        }
        if (!manifestOf(airport))
            return false;
        return lf_acceptManifestPublisher(airport.manifest->manufacturer, airport) ||
               lf_acceptManifestPublisher(airport.manifest->creator, airport);
    }
    catch (const std::exception& e) {
        gf_addScanLogLine(fmt::format("Publisher detection failed: {}", e.what()));
        return false;
    }
}

bool lf_hasUsableManifestPublisher(const PackageManifest& manifest)
{
    const auto usable = [](const std::string& value) {
        const std::string trimmed = gf_trim(value);
        return trimmed.size() >= 4 && !gf_isRejectedPublisherValue(trimmed);
    };
    return usable(manifest.manufacturer) || usable(manifest.creator);
}

std::optional<IcaoCode> lf_airportCodeFromPackage(ScannedAirport& airport, const IcaoTest& accept)
{
    try {
        if (const auto code = gf_icaoFromPath(airport.bglPath, accept)) {
            gf_addScanLogLine(fmt::format("airport has code '{}' in BGL path", *code));
            return code;
        }
        const std::optional<IcaoCode> stem = IcaoCode::tryParse(gf_pathText(airport.bglFile.stem()));
        if (stem && (!accept || accept(*stem))) {
            gf_addScanLogLine(fmt::format("airport has code '{}' in stem", *stem));
            return stem;
        }
        if (!manifestOf(airport))
            return std::nullopt;
        if (const auto code = gf_icaoFromPath(airport.manifest->title, accept)) {
            gf_addScanLogLine(fmt::format("airport has code '{}' in title of manifest", *code));
            return code;
        }
    }
    catch (const std::exception& e) {
        gf_addScanLogLine(fmt::format("Exception {}", e.what()));
    }
    return std::nullopt;
}
