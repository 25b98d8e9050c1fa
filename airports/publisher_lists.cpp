#include "airports/publisher_lists.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/package_manifest.h"
#include "core/encrypted_file.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/text.h"
#include "core/value_types.h"
#include "airports/airport_file_store.h"

namespace {

PublisherLists g_lists;

std::string lowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A pn text as its names: split at ",", each trimmed, empty names kept.
std::vector<std::string> groupNames(std::string_view text)
{
    std::vector<std::string> names;
    if (text.empty())
        return names;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        names.push_back(gf_trim(text.substr(start, comma == std::string_view::npos ? text.npos : comma - start)));
        if (comma == std::string_view::npos)
            return names;
        start = comma + 1;
    }
}

bool nameMatches(std::string_view name, std::string_view text)
{
    return name.empty() || text.find(name) != std::string_view::npos || gf_containsNoCase(text, name);
}

void readSimSections(const pugi::xml_node& root, bool msfs2020)
{
    const char* simaddons = msfs2020 ? "simaddons20" : "simaddons24";
    const char* simaddon = msfs2020 ? "s20" : "s24";
    const char* thirdparties = msfs2020 ? "thirdparties20" : "thirdparties24";
    const char* thirdparty = msfs2020 ? "t20" : "t24";
    const pugi::xml_node section = root.child(simaddons);
    if (!section)
        throw kvr::UserRelatedException(61, std::string("Missing section: ") + simaddons);
    for (const pugi::xml_node s : section.children(simaddon))
        for (std::string& icao : gf_splitOnComma(gf_xmlString(s, "aps")))
            g_lists.simaddonAirports.insert(std::move(icao));
    for (const pugi::xml_node t : root.child(thirdparties).children(thirdparty)) {
        ThirdpartyRecord record;
        record.publisher = gf_xmlString(t, "pub");
        for (std::string& entry : gf_splitOnComma(gf_xmlString(t, "aps")))
            record.entries.emplace_back(std::move(entry), std::string());
        for (const pugi::xml_node ap : t.children("ap")) {
            const std::string f = gf_xmlString(ap, "f");
            const std::string v = gf_xmlString(ap, "v");
            if (f.empty() || v.empty())
                continue;
            const auto it = std::find_if(record.entries.begin(), record.entries.end(),
                                         [&](const auto& e) { return e.first == f; });
            if (it != record.entries.end())
                it->second = v;
        }
        g_lists.thirdparties.push_back(std::move(record));
    }
}

} // namespace

void lf_clearPublisherLists()
{
    g_lists = PublisherLists{};
    g_lists.groups.reserve(1024);
    g_lists.thirdparties.reserve(800);
}

bool gf_loadPublishers(bool msfs2020)
{
    lf_clearPublisherLists();
    const std::filesystem::path& path = g_archivesEncPath;
    if (!std::filesystem::exists(path)) // a status error throws
        throw std::runtime_error(fmt::format("{} not available", gf_pathText(path)));
    DecryptResult decrypted = gf_decryptFile(path, g_archivesPlainLimit);
    if (!decrypted.ok)
        throw std::runtime_error(decrypted.error());
    pugi::xml_document document;
    const SecureBuffer& buffer = decrypted.buffer();
    const pugi::xml_parse_result parsed =
        document.load_buffer_inplace(buffer.data, static_cast<size_t>(buffer.used));
    if (!parsed) {
        gf_logError(fmt::format("{} not read because: {}", gf_pathText(path), parsed.description()));
        return false;
    }
    const pugi::xml_node root = document.child("root");
    if (!root) {
        gf_logError(fmt::format("'{}' has no root node", gf_pathText(path)));
        return false;
    }

    std::vector<std::string> pnTexts;
    for (const pugi::xml_node pub : root.child("publishers").children("pub"))
        pnTexts.push_back(gf_xmlString(pub, "pn"));
    std::sort(pnTexts.begin(), pnTexts.end());
    pnTexts.erase(std::unique(pnTexts.begin(), pnTexts.end()), pnTexts.end());
    for (const std::string& text : pnTexts)
        g_lists.groups.push_back(groupNames(text));

    const pugi::xml_node rejected = root.child("rejectedpublishers");
    if (!rejected)
        g_lists.rejected.emplace("fsim", "FSIM");
    for (const pugi::xml_node rp : rejected.children("rp"))
        for (const std::string& piece : gf_splitOnComma(gf_xmlString(rp, "n"))) {
            std::string key = lowerAscii(gf_trim(piece));
            if (!key.empty())
                g_lists.rejected.emplace(std::move(key), piece);
        }

    const auto groups = static_cast<int64_t>(g_lists.groups.size());
    const auto values = static_cast<int64_t>(g_lists.rejected.size());
    gf_logLine(fmt::format("{:5} publisher{}", groups, gf_pluralSuffix(groups)));
    gf_logLine(fmt::format("{:5} rejected manifest publisher value{}", values, gf_pluralSuffix(values)));
    readSimSections(root, msfs2020);
    return true;
}

PublisherLookup lf_findPublisherGroup(std::string_view text)
{
    if (text.empty())
        return {2, {}};
    for (const std::vector<std::string>& group : g_lists.groups)
        for (const std::string& name : group)
            if (nameMatches(name, text))
                return {0, group.front()};
    return {1, {}};
}

bool gf_containsNoCase(std::string_view text, std::string_view needle)
{
    if (needle.empty())
        return true;
    const auto fold = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    return std::search(text.begin(), text.end(), needle.begin(), needle.end(), fold) != text.end();
}

bool gf_isRejectedPublisherValue(std::string_view text)
{
    const std::string key = lowerAscii(gf_trim(text));
    return !key.empty() && g_lists.rejected.contains(key);
}

bool gf_isSimaddonArchiveAirport(const IcaoCode& icao)
{
    return g_lists.simaddonAirports.contains(icao.toString());
}

ThirdpartyArchiveMatch gf_findThirdpartyArchiveEntry(std::string_view publisher, const IcaoCode& icao,
                                                     std::string_view version)
{
    ThirdpartyArchiveMatch result;
    const auto record = std::find_if(g_lists.thirdparties.begin(), g_lists.thirdparties.end(),
                                     [&](const ThirdpartyRecord& r) { return r.publisher == publisher; });
    if (record == g_lists.thirdparties.end())
        return result;
    const std::string code = icao.toString();
    const std::string key = version.empty() ? code : code + gf_removeDots(version);
    const PackageVersion given = gf_parsePackageVersion(version);
    bool matched = false;
    std::optional<PackageVersion> best;
    for (const auto& [name, entryVersion] : record->entries) {
        if (name == key && !matched) {
            matched = true;
            result.entry = name;
        }
        if (name.size() < 4 || name.compare(0, 4, code) != 0 || entryVersion.empty() || !given.ok)
            continue;
        const PackageVersion parsed = gf_parsePackageVersion(entryVersion);
        if (!parsed.ok)
            continue;
        if (parsed == given && !matched) {
            matched = true;
            result.entry = name;
        }
        if (given < parsed && (!best || *best < parsed)) {
            best = parsed;
            result.higherVersion = entryVersion;
        }
    }
    result.status = matched ? (best ? 2 : 1) : (best ? 3 : 0);
    return result;
}
