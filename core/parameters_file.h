// parameters.xml: the user's settings between runs, in the settings folder
// under the roaming AppData (gf_parametersXmlPath, core/layout.h).
//
//   <root>
//     <parameters>
//       <parameter name="KEY" value="..."/>   one per setting
//
// Readers also accept <parameters> directly at the top level. Loading walks
// the settings table (core/settings.h) in file order, repairs what is
// missing or unreadable and saves the file back. Each single update
// (IntParameter::save and friends, declared in core/parameter.h) is a
// read-modify-write of the whole file under one mutex.
//
// The element readers and writers below also serve the settings block of
// the airport files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

// Loads and repairs every registered setting. True when the settings had to
// start from the default values (no file, or a file that could not be read,
// parsed or had no parameters section), false when an existing file was loaded.
bool gf_loadParametersFile();

// Forgets the values whose saves were refused and that the next save or load
// would still write, and what this process knows of the files: as a new
// process starts. A pending-settings file stays on the disk for the next load.
void gf_forgetUnsavedSettings();

// At exit, after the last save: values whose saves were refused are tried
// again a few times, `sleepMs` waiting between the tries (2 s at most in
// all). When the file still refuses them they are written to the
// pending-settings file beside it (gf_pendingParametersXmlPath), each with
// what parameters.xml held for it as far as this process knows; either way it
// is logged. True when nothing was left unsaved in parameters.xml.
//
// The next load applies a pending value only where parameters.xml still holds
// what it replaced (a change made in between stays), and only once: the file
// goes with its leftovers when its values are saved; when it cannot be
// removed, parameters.xml notes it as applied (an attribute of its
// `parameters` element) and no later start takes it again. A pending file
// that cannot be read is moved aside once ("parameters-pending0.xml").
bool gf_saveUnsavedSettingsAtExit(const std::function<void(std::int64_t ms)>& sleepMs);

// The value text that the next load would apply for key from the pending-
// settings file, if any; for readers that look at parameters.xml before it
// is loaded.
std::optional<std::string> gf_pendingSettingText(std::string_view key);

// The parameters-file lock. The setters hold it while they store a new value
// and save it, and loading holds it while it reads, repairs and saves, so a
// change made during a load lands either before the load reads the file or
// after it: memory and file always agree. Recursive, so the holder may save.
std::unique_lock<std::recursive_mutex> gf_lockParametersFile();

// Moves a parameters.xml that cannot be parsed out of the way, to
// "parameters0.xml" beside it, or to "parameters0-2.xml", "parameters0-3.xml"...
// when that name is taken by an earlier one, so no later save or set-aside
// overwrites the user's values. Logs where it went and shows it in the window.
// `reason` is the parser's description. Returns the new path; nothing when
// there was no file or it could not be moved (it is then left where it is and
// must not be written over).
std::optional<std::filesystem::path> gf_setAsideParametersFile(const std::string& reason);

// ---- Value texts -------------------------------------------------------------
// Trimmed of blank, tab, CR, LF and ASCII lower-cased: "true", "yes", "on", "1"
// and "false", "no", "off", "0"; anything else is unreadable.
std::optional<bool> gf_parseBoolText(std::string_view text);
// Trimmed; one optional leading "+" is skipped; the rest must be entirely a
// base-10 i32. Anything else, an out-of-range number or a lone "+" is unreadable.
std::optional<std::int32_t> gf_parseIntText(std::string_view text);

// ---- Element writers -----------------------------------------------------------
// Each appends <parameter name=key value=text/> to the section; false when the
// element or either attribute could not be appended.
bool gf_xmlAppendBoolParameter(pugi::xml_node section, const std::string& key, bool value);
bool gf_xmlAppendIntParameter(pugi::xml_node section, const std::string& key, std::int32_t value);
bool gf_xmlAppendPathParameter(pugi::xml_node section, const std::string& key, const std::filesystem::path& value);
bool gf_xmlAppendStringParameter(pugi::xml_node section, const std::string& key, const std::string& value);
// Sets the attribute to the path's UTF-8 text, appending the attribute first
// when it is missing; false when it could not be appended.
bool gf_xmlSetPathValue(pugi::xml_node element, const char* attributeName, const std::filesystem::path& value);

// ---- Element readers -------------------------------------------------------------
// The section: the `parameters` child of the document's `root`, or of the
// document itself when it has no `root`. Null when there is none.
pugi::xml_node gf_xmlParametersSection(const pugi::xml_document& document);
// The first <parameter> of the section whose name equals key exactly.
pugi::xml_node gf_xmlFindParameter(const pugi::xml_document& document, std::string_view key);
// The value of the first element named key whose value reads in the kind's
// text form (a text reads whenever it has a value); empty when the section is
// missing or no element named key has a readable value.
std::optional<bool> gf_xmlReadBoolParameter(const pugi::xml_document& document, std::string_view key);
std::optional<std::int32_t> gf_readIntParameter(const pugi::xml_document& document, std::string_view key);
std::optional<std::string> gf_xmlReadStringParameter(const pugi::xml_document& document, std::string_view key);
// One attribute read as a bool / an integer; empty when missing or unreadable.
std::optional<bool> gf_xmlOptBool(const pugi::xml_node& element, const char* attributeName);
std::optional<std::int32_t> gf_parseIntAttribute(const pugi::xml_node& element, const char* attributeName);
// The attribute text converted from UTF-8; empty when the attribute is
// missing. Text that is not valid UTF-8 throws std::runtime_error.
std::optional<std::filesystem::path> gf_xmlPathAttribute(const pugi::xml_node& element, const char* attributeName);
