// The header of the program's own XML data files (root/meta/info entries), the
// attribute helper every XML writer uses, saving with the XML declaration, and
// the safe replacement of parameters.xml.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include <pugixml.hpp>

struct DataFileHeader {
    std::string author;  // entry "author"
    std::string version; // entry "version"; the writer writes this one
    std::string date;    // entry "date"
    std::string p3d;     // legacy entry "P3D"
    std::string msfs;    // legacy entry "MSFS"
    std::int32_t sim = -1; // entry "sim"; -1 when absent or invalid
    bool ok = false;       // found and valid
};

// The copyright line written into every header.
extern const char* const g_dataFileCopyright;

// Appends attribute `name` = `value`; false when it could not be appended.
bool gf_xmlAppendAttr(pugi::xml_node node, const char* name, const char* value);
bool gf_xmlAppendAttr(pugi::xml_node node, const char* name, const std::string& value);

// Replaces the root/meta header with author, version, date, copyright and sim.
bool gf_writeDataFileHeader(pugi::xml_document& document, const DataFileHeader& header);
// Reads and validates the header; skipSimCheck only for learned airport files.
DataFileHeader gf_readDataFileHeader(const pugi::xml_document& document, bool skipSimCheck);

// Makes the document start with <?xml version="1.0" encoding="UTF-8"?> and
// saves it with a two-blank indent.
bool gf_saveXmlWithDeclaration(pugi::xml_document& document, const std::filesystem::path& path);
// Writes parameters.xml through parameters.xml.tmp (read back), keeping the
// previous file as parameters.xml.bak. True when the new file is in place.
bool gf_saveParametersXml(pugi::xml_document& document);
// The same for any target path (the settings save uses gf_parametersXmlPath()).
bool gf_saveXmlSafely(pugi::xml_document& document, const std::filesystem::path& target);
