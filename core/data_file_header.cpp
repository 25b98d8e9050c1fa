#include "core/data_file_header.h"

#include <ctime>
#include <optional>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/parameters_file.h"
#include "core/text.h"

namespace fs = std::filesystem;

const char* const g_dataFileCopyright = "Copyright (c) Kelo. All rights reserved.";

namespace {

// "{day} {Mon} {year}" of today's UTC date.
std::string lf_utcDateText()
{
    const std::time_t now = std::time(nullptr);
    const std::optional<std::tm> utc =
        now == static_cast<std::time_t>(-1) ? std::nullopt : gf_utcTm(static_cast<int64_t>(now));
    if (!utc)
        return "Invalid date";
    return fmt::format("{} {} {}", utc->tm_mday, gf_monthName(utc->tm_mon + 1), utc->tm_year + 1900);
}

void lf_removeQuietly(const fs::path& path)
{
    std::error_code ec;
    fs::remove(path, ec);
}

} // namespace

bool gf_xmlAppendAttr(pugi::xml_node node, const char* name, const char* value)
{
    pugi::xml_attribute attr = node.append_attribute(name);
    if (!attr)
        return false;
    return attr.set_value(value);
}

bool gf_xmlAppendAttr(pugi::xml_node node, const char* name, const std::string& value)
{
    return gf_xmlAppendAttr(node, name, value.c_str());
}

bool gf_writeDataFileHeader(pugi::xml_document& document, const DataFileHeader& header)
{
    pugi::xml_node root = document.child("root");
    if (!root)
        root = document.append_child("root");
    if (!root)
        return false;
    while (pugi::xml_node old = root.child("meta"))
        root.remove_child(old);
    pugi::xml_node meta = root.append_child("meta");
    if (!meta)
        return false;

    const std::string date = lf_utcDateText();
    const std::pair<const char*, const char*> entries[] = {
        {"author", "Kelo"},
        {"version", header.version.c_str()},
        {"date", date.c_str()},
        {"copyright", g_dataFileCopyright},
    };
    bool allWritten = true;
    for (const auto& [name, value] : entries) {
        pugi::xml_node info = meta.append_child("info");
        if (!info || !gf_xmlAppendAttr(info, "name", name) || !gf_xmlAppendAttr(info, "value", value))
            allWritten = false;
    }

    pugi::xml_node sim = meta.append_child("info");
    if (!sim || !gf_xmlAppendAttr(sim, "name", "sim"))
        return false;
    pugi::xml_attribute simValue = sim.append_attribute("value");
    if (!simValue || !simValue.set_value(static_cast<unsigned int>(header.sim)))
        return false;
    return allWritten;
}

DataFileHeader gf_readDataFileHeader(const pugi::xml_document& document, bool skipSimCheck)
{
    DataFileHeader header;
    pugi::xml_node root = document.child("root");
    if (!root)
        root = document;
    const pugi::xml_node meta = root.child("meta");
    if (!meta)
        return header;

    bool copyrightSeen = false, authorSeen = false, dateSeen = false, versionSeen = false;
    bool simSeen = false, p3dSeen = false, msfsSeen = false;
    // A "sim" entry that did not parse stays open for a later one, but the
    // file still names a simulator: its verdict is "unsupported", not silence.
    bool simNamed = false;

    for (const pugi::xml_node info : meta.children("info")) {
        const std::string name = gf_xmlString(info, "name");
        if (name.empty())
            continue;
        if (name == "copyright" && !copyrightSeen) {
            if (gf_xmlString(info, "value").empty()) {
                gf_logError("no copyright info in the file?");
                header.ok = false;
                return header;
            }
            copyrightSeen = true;
        } else if (name == "author" && !authorSeen) {
            header.author = gf_xmlString(info, "value");
            authorSeen = true;
        } else if (name == "date" && !dateSeen) {
            header.date = gf_xmlString(info, "value");
            dateSeen = true;
        } else if (name == "version" && !versionSeen) {
            header.version = gf_xmlString(info, "value");
            versionSeen = true;
        } else if (name == "sim" && !simSeen) {
            simNamed = true;
            const std::optional<std::int32_t> sim = gf_parseIntText(gf_xmlString(info, "value"));
            if (!sim) {
                gf_logError("invalid sim info in the file");
            } else {
                header.sim = *sim;
                simSeen = true;
            }
        } else if (name == "P3D" && !p3dSeen) {
            header.p3d = gf_xmlString(info, "value");
            p3dSeen = true;
        } else if (name == "MSFS" && !msfsSeen) {
            header.msfs = gf_xmlString(info, "value");
            msfsSeen = true;
        }
    }

    if (!copyrightSeen)
        return header;
    if (skipSimCheck) {
        header.ok = true;
        return header;
    }
    if (!simSeen && !simNamed && !p3dSeen && !msfsSeen)
        return header;
    const bool acceptable = (header.sim >= 1 && header.sim <= 3) || header.msfs == "2020" ||
                            header.msfs == "2024" || !header.p3d.empty();
    if (!acceptable) {
        gf_logError("unsupported sim info in the file");
        return header;
    }
    header.ok = true;
    return header;
}

bool gf_saveXmlWithDeclaration(pugi::xml_document& document, const fs::path& path)
{
    pugi::xml_node declaration;
    for (pugi::xml_node child : document.children()) {
        if (child.type() == pugi::node_declaration) {
            declaration = child;
            break;
        }
    }
    if (!declaration)
        declaration = document.prepend_child(pugi::node_declaration);
    // XML allows the pseudo-attributes only in the order version, encoding,
    // standalone: rebuild them so, keeping a standalone that was there.
    const std::string standalone = declaration.attribute("standalone").value();
    const bool hasStandalone = static_cast<bool>(declaration.attribute("standalone"));
    while (declaration.first_attribute())
        declaration.remove_attribute(declaration.first_attribute());
    declaration.append_attribute("version").set_value("1.0");
    declaration.append_attribute("encoding").set_value("UTF-8");
    if (hasStandalone)
        declaration.append_attribute("standalone").set_value(standalone.c_str());
    // Saved through the wide path, so folders with any characters work.
    return document.save_file(path.wstring().c_str(), "  ", pugi::format_indent, pugi::encoding_utf8);
}

bool gf_saveXmlSafely(pugi::xml_document& document, const fs::path& target)
{
    fs::path temp = target;
    temp += L".tmp";
    fs::path backup = target;
    backup += L".bak";

    lf_removeQuietly(temp);
    if (!gf_saveXmlWithDeclaration(document, temp)) {
        gf_logNoThrow(fmt::format("could not write {}", gf_pathText(temp)));
        lf_removeQuietly(temp);
        return false;
    }

    {
        pugi::xml_document check;
        const pugi::xml_parse_result parsed = check.load_file(temp.wstring().c_str());
        if (!parsed || !check.document_element()) {
            gf_logNoThrow(fmt::format("{} did not read back whole", gf_pathText(temp)));
            lf_removeQuietly(temp);
            return false;
        }
    }

    // On the disk before it replaces the target: a power cut must not leave
    // an empty file where the settings were.
    if (!gf_flushFileToDisk(temp)) {
        gf_logNoThrow(fmt::format("could not write {} to disk: {}", gf_pathText(temp),
                                  std::system_category().message(gf_lastSystemError())));
        lf_removeQuietly(temp);
        return false;
    }

    std::error_code ec;
    const fs::file_status st = fs::status(target, ec);
    if (st.type() == fs::file_type::not_found) {
        // First save: nothing to keep.
    } else if (ec) {
        lf_removeQuietly(temp);
        return false;
    } else {
        if (!gf_copyFileOverwrite(target, backup, ec)) {
            gf_logNoThrow(fmt::format("could not keep {} as {}: {}", gf_pathText(target), gf_pathText(backup),
                                      ec.message()));
            lf_removeQuietly(temp);
            return false;
        }
    }

    if (gf_replaceFileWriteThrough(temp, target, ec))
        return true;
    gf_logNoThrow(fmt::format("could not replace {}: {}", gf_pathText(target), ec.message()));
    lf_removeQuietly(temp);
    return false;
}

bool gf_saveParametersXml(pugi::xml_document& document)
{
    return gf_saveXmlSafely(document, gf_parametersXmlPath());
}
