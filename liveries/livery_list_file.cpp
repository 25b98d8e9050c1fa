#include "liveries/livery_list_file.h"

#include <algorithm>
#include <fstream>
#include <system_error>
#include <tuple>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/data_file_header.h"
#include "core/files.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/text.h"
#include "core/value_types.h"
#include "core/version_data.h"

namespace fs = std::filesystem;

std::vector<LiveryRecord> LiveryScanResult;
std::vector<LiveryRecord> ScannedLiveryList;

bool operator<(const LiveryRecord& a, const LiveryRecord& b) noexcept
{
    return std::tie(a.ids.airline, a.ids.oper, a.ids.model, a.ids.cargo, a.title, a.registration) <
           std::tie(b.ids.airline, b.ids.oper, b.ids.model, b.ids.cargo, b.title, b.registration);
}

namespace {

std::string lf_utf8(const fs::path& path)
{
    return wide_to_utf8(path.wstring());
}

bool lf_parseFile(const fs::path& path, pugi::xml_document& document, pugi::xml_parse_result& parsed)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    parsed = document.load(in);
    return true;
}

// A true boolean attribute: first character 1, t, T, y or Y.
bool lf_isTrue(const pugi::xml_attribute& attribute)
{
    const char first = attribute.as_string()[0];
    return first == '1' || first == 't' || first == 'T' || first == 'y' || first == 'Y';
}

bool lf_buildDocument(pugi::xml_document& document)
{
    DataFileHeader header;
    header.version = fmt::format("{}", gf_programVersion());
    header.sim = static_cast<int32_t>(g_modeSettings.load()->sim);
    if (!gf_writeDataFileHeader(document, header)) {
        gf_logLine("Cannot write liveries scanned: failed to add metadata");
        return false;
    }
    pugi::xml_node root = document.child("root");
    if (!root) {
        gf_logLine("Cannot write liveries scanned: XML root missing");
        return false;
    }
    pugi::xml_node liveries = root.append_child("liveries");
    if (!liveries) {
        gf_logLine("Cannot write liveries scanned: failed to add Liveries node");
        return false;
    }
    for (const LiveryRecord& record : LiveryScanResult) {
        pugi::xml_node l = liveries.append_child("l");
        if (!l) {
            gf_logLine("Cannot write liveries scanned: failed to add Livery node");
            return false;
        }
        bool ok = gf_xmlAppendAttr(l, "a", gf_airlineCodeText(record.ids.airline));
        if (record.ids.oper != 0)
            ok = gf_xmlAppendAttr(l, "o", gf_airlineCodeText(record.ids.oper)) && ok;
        ok = gf_xmlAppendAttr(l, "m", gf_modelCodeText(record.ids.model)) && ok;
        if (record.ids.cargo != 0) {
            pugi::xml_attribute c = l.append_attribute("c");
            ok = c && c.set_value(true) && ok;
        }
        ok = gf_xmlAppendAttr(l, "t", record.title) && ok;
        if (!record.registration.empty())
            ok = gf_xmlAppendAttr(l, "r", record.registration) && ok;
        if (!ok) {
            gf_logLine("Cannot write liveries scanned: failed to add Livery attributes");
            return false;
        }
    }
    return true;
}

} // namespace

bool gf_writeScannedLiveries()
{
    if (LiveryScanResult.empty())
        return false;
    pugi::xml_document document;
    if (!lf_buildDocument(document))
        return false;

    const fs::path target = gf_liveriesScannedPath();
    fs::path temp = target;
    temp += L".scan_tmp";
    std::error_code ec;
    fs::remove(temp, ec);
    if (ec) {
        gf_logError(fmt::format("Cannot remove stale temporary livery scan file {}: {}", lf_utf8(temp), ec.message()));
        return false;
    }
    TempFileGuard guard(temp);
    if (!gf_saveXmlWithDeclaration(document, temp)) {
        gf_logError(fmt::format("Cannot write temporary livery scan file {}", lf_utf8(temp)));
        return false;
    }
    if (!lf_validateLiveryListFile(temp, LiveryScanResult.size())) {
        gf_logError(fmt::format("Temporary livery scan file {} failed validation", lf_utf8(temp)));
        return false;
    }
    if (!gf_flushFileToDisk(temp)) {
        gf_logError(fmt::format("Cannot write temporary livery scan file {} to disk: {}", lf_utf8(temp),
                                std::system_category().message(gf_lastSystemError())));
        return false;
    }
    if (!lf_replaceLiveryListFile(temp, target))
        return false;
    try {
        gf_logLine(fmt::format("{} liveries in {}", LiveryScanResult.size(), lf_utf8(target)));
    } catch (...) {
    }
    return true;
}

bool lf_validateLiveryListFile(const fs::path& path, size_t expected)
{
    pugi::xml_document document;
    pugi::xml_parse_result parsed;
    if (!lf_parseFile(path, document, parsed) || !parsed)
        return false;
    const pugi::xml_node liveries = document.child("root").child("liveries");
    if (!liveries)
        return false;
    size_t count = 0;
    for (pugi::xml_node l : liveries.children("l")) {
        if (!l.attribute("a") || !l.attribute("m") || !l.attribute("t"))
            return false;
        ++count;
    }
    return count == expected;
}

bool lf_replaceLiveryListFile(const fs::path& temp, const fs::path& target)
{
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (ec && status.type() != fs::file_type::not_found) {
        gf_logError(fmt::format("Cannot inspect {} before replacing it: {}", lf_utf8(target), ec.message()));
        return false;
    }
    if (!gf_replaceFileKeepingAttributes(temp, target, ec)) {
        gf_logError(fmt::format("Cannot replace {} after the livery scan: {}", lf_utf8(target), ec.message()));
        return false;
    }
    return true;
}

bool gf_readScannedLiveries()
{
    const fs::path path = gf_liveriesScannedPath();
    const std::string pathText = lf_utf8(path);
    try {
        std::vector<LiveryRecord> records;
        records.reserve(30000);
        pugi::xml_document document;
        pugi::xml_parse_result parsed;
        if (!lf_parseFile(path, document, parsed))
            throw kvr::UserRelatedException(51, fmt::format("Could not open {}", pathText));
        if (!parsed)
            throw kvr::UserRelatedException(51, fmt::format("Error reading {}: {}", pathText, parsed.description()));
        gf_readDataFileHeader(document, false);
        const pugi::xml_node root = document.child("root");
        if (!root)
            throw kvr::UserRelatedException(52, fmt::format("{} does not contain <{}>", pathText, "root"));
        const pugi::xml_node liveries = root.child("liveries");
        if (!liveries)
            throw kvr::UserRelatedException(52, fmt::format("{} does not contain a <{}> section", pathText, "liveries"));
        for (pugi::xml_node l : liveries.children()) {
            if (l.type() != pugi::node_element)
                continue;
            for (const char* required : {"a", "m", "t"})
                if (!l.attribute(required))
                    throw kvr::UserRelatedException(
                        999, fmt::format("Missing required attribute '{}' in <{}>", required, l.name()));
            LiveryRecord record;
            record.title = l.attribute("t").as_string();
            record.registration = l.attribute("r").as_string();
            record.ids.airline = gf_airlineCode2Id(l.attribute("a").as_string());
            record.ids.oper = gf_airlineCode2Id(l.attribute("o").as_string());
            record.ids.model = gf_modelCode2Id(l.attribute("m").as_string());
            record.ids.cargo = lf_isTrue(l.attribute("c")) ? 1 : 0;
            records.push_back(std::move(record));
        }
        if (records.empty())
            throw kvr::UserRelatedException(533, pathText + " does not contain liveries");
        std::sort(records.begin(), records.end());
        gf_logLine(fmt::format("{:5} liveries read from {}", records.size(), pathText));
        ScannedLiveryList.swap(records);
        return true;
    } catch (const kvr::UserRelatedException& e) {
        gf_logLine(e.what());
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("Error reading {}: {}", pathText, e.what()));
    }
    return false;
}
