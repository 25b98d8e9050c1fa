#include "core/parameters_file.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "core/control_calls.h"
#include "core/data_file_header.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/parameter.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/text.h"
#include "core/ui_sink.h"
#include "core/version_data.h"

namespace {

constexpr const char* kParameter = "parameter";
constexpr const char* kParameters = "parameters";
constexpr const char* kRoot = "root";
constexpr const char* kName = "name";
constexpr const char* kValue = "value";

// The bounded retry of the values still unsaved at exit.
constexpr int kExitSaveTries = 10;
constexpr std::int64_t kExitSaveWaitMs = 200;

// Held by every single update for its whole read-modify-write of the file, by
// the setters while they store and save, and by loading. Recursive: a setter
// holds it around its own single update.
std::recursive_mutex g_parametersFileMutex;

const char* lf_boolText(bool value)
{
    return value ? "true" : "false";
}

std::string lf_pathText(const std::filesystem::path& path)
{
    return wide_to_utf8(path.wstring());
}

// The path as UTF-8 for messages; never throws.
std::string lf_fileText()
{
    try {
        return gf_parametersXmlPathUtf8();
    } catch (...) {
        return "parameters.xml";
    }
}

template <typename... Args>
void lf_logNoThrow(fmt::format_string<Args...> format, Args&&... args) noexcept
{
    try {
        gf_logNoThrow(fmt::format(format, std::forward<Args>(args)...));
    } catch (...) {
    }
}

// Writes a setting's value as text into its control; nothing without a window.
void lf_showInControl(const GuiControl& control, const std::string& text)
{
    if (!control.hasWindow())
        return;
    try {
        gf_changeControl([w = control.window, wide = utf8_to_wide(text)] { gf_setControlText(w, wide); });
    } catch (const std::exception& e) {
        lf_logNoThrow("utf8_to_wide failed for '{}': {}", text, e.what());
    }
}

// ---- Reading the file ------------------------------------------------------------

enum class ReadOutcome {
    Parsed,      // the document holds the file
    Missing,     // there is no file
    Blank,       // the file is empty or holds only white space: nothing to lose
    OpenFailed,  // it exists (or its status is unknown) but cannot be read
    ParseFailed, // it was read but does not parse
};

struct ReadResult {
    ReadOutcome outcome = ReadOutcome::Missing;
    std::string detail; // error text of a failed status query, open or parse
};

ReadResult lf_readParametersFile(const std::filesystem::path& path, pugi::xml_document& document)
{
    ReadResult result;
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec && status.type() != std::filesystem::file_type::not_found) {
        result.outcome = ReadOutcome::OpenFailed;
        result.detail = ec.message();
        return result;
    }
    if (status.type() == std::filesystem::file_type::not_found) {
        result.outcome = ReadOutcome::Missing;
        return result;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        result.outcome = ReadOutcome::OpenFailed;
        return result;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        result.outcome = ReadOutcome::OpenFailed;
        return result;
    }
    pugi::xml_parse_result parsed = document.load_buffer(bytes.data(), bytes.size());
    if (!parsed) {
        document.reset();
        result.outcome = gf_trimView(bytes).empty() ? ReadOutcome::Blank : ReadOutcome::ParseFailed;
        result.detail = parsed.description();
        return result;
    }
    result.outcome = ReadOutcome::Parsed;
    return result;
}

// ---- Values not yet in the file ------------------------------------------------------

// Each setting whose save was refused (the file held open by another program,
// denied access, damaged), as {key, value text}, in the order first refused.
// Every later save and the next load write them too, until one reaches the
// disk: a refused change is never left behind by a save of another setting.
// Guarded by the parameters-file mutex.
std::vector<std::pair<std::string, std::string>> g_unsavedValues;

void lf_noteUnsaved(const std::string& key, const std::string& valueText)
{
    for (auto& [k, v] : g_unsavedValues)
        if (k == key) {
            v = valueText;
            return;
        }
    g_unsavedValues.emplace_back(key, valueText);
}

// Sets every element of each unsaved key to its value, appending an element
// for a key that has none.
void lf_writeUnsaved(pugi::xml_node section)
{
    for (const auto& [key, valueText] : g_unsavedValues) {
        bool matched = false;
        for (pugi::xml_node element = section.child(kParameter); element;
             element = element.next_sibling(kParameter)) {
            if (key != element.attribute(kName).value())
                continue;
            matched = true;
            pugi::xml_attribute value = element.attribute(kValue);
            if (!value)
                value = element.append_attribute(kValue);
            if (!value || !value.set_value(valueText.c_str()))
                lf_logNoThrow("updating XML parameter '{}' failed", key);
        }
        if (!matched && !gf_xmlAppendStringParameter(section, key, valueText))
            lf_logNoThrow("adding XML parameter '{}' failed", key);
    }
}

// The values were taken from the pending-settings file at the last load; the
// file goes once they are in parameters.xml.
bool g_pendingFileInUse = false;

// The pending-settings file's path as UTF-8 for messages; never throws.
std::string lf_pendingFileText()
{
    try {
        return lf_pathText(gf_pendingParametersXmlPath());
    } catch (...) {
        return "parameters-pending.xml";
    }
}

// Every unsaved value reached the disk.
void lf_unsavedWritten()
{
    g_unsavedValues.clear();
    if (!g_pendingFileInUse)
        return;
    std::error_code ec;
    std::filesystem::remove(gf_pendingParametersXmlPath(), ec);
    if (ec) {
        lf_logNoThrow("{} could not be removed: {}", lf_pendingFileText(), ec.message());
        return;
    }
    g_pendingFileInUse = false;
}

// The section a single update writes into: `parameters` under `root`
// (appended when missing), the top-level section of a file without root, or a
// new root and section in an empty document. Null when it cannot be appended.
pugi::xml_node lf_sectionForUpdate(pugi::xml_document& document)
{
    pugi::xml_node section;
    if (pugi::xml_node root = document.child(kRoot)) {
        section = root.child(kParameters);
        if (!section)
            section = root.append_child(kParameters);
    } else if (pugi::xml_node topLevel = document.child(kParameters)) {
        // A file without root: its settings live in the top-level section.
        section = topLevel;
    }
    if (!section) {
        pugi::xml_node root = document.append_child(kRoot);
        section = root ? root.append_child(kParameters) : pugi::xml_node();
    }
    return section;
}

// ---- Single update -----------------------------------------------------------------

// The read-modify-write of one setting. `valueText` is the value in the kind's
// text form, `logValue` writes the object's value line.
template <typename LogValue>
void lf_updateOneSetting(const std::string& key, const std::string& valueText, LogValue&& logValue)
{
    std::lock_guard<std::recursive_mutex> lock(g_parametersFileMutex);
    const std::filesystem::path& path = gf_parametersXmlPath();
    const std::string fileText = lf_fileText();
    lf_noteUnsaved(key, valueText);

    pugi::xml_document document;
    ReadResult read = lf_readParametersFile(path, document);
    if (read.outcome == ReadOutcome::Blank) // nothing to lose: start from the empty document
        lf_logNoThrow("{} could not be loaded: {}", fileText, read.detail);
    if (read.outcome == ReadOutcome::OpenFailed || read.outcome == ReadOutcome::ParseFailed) {
        // Rewriting a file that cannot be read would replace every other
        // setting with this one; keep the file and the value in memory.
        if (read.outcome == ReadOutcome::ParseFailed)
            lf_logNoThrow("{} could not be loaded: {}", fileText, read.detail);
        else if (read.detail.empty())
            lf_logNoThrow("{} could not be opened", fileText);
        else
            lf_logNoThrow("{} could not be opened: {}", fileText, read.detail);
        logValue();
        lf_logNoThrow("'{}' not saved: {} was left as it is", key, fileText);
        return;
    }

    pugi::xml_node section = lf_sectionForUpdate(document);
    if (section)
        lf_writeUnsaved(section);
    else
        lf_logNoThrow("adding XML parameter '{}' failed", key);

    logValue();
    if (gf_saveParametersXml(document))
        lf_unsavedWritten();
    else
        lf_logNoThrow("saving '{}' failed", fileText);
}

// One more try to write every unsaved value into the file, as a single
// update does; false when the file refused it again.
bool lf_trySavingUnsaved()
{
    pugi::xml_document document;
    const ReadResult read = lf_readParametersFile(gf_parametersXmlPath(), document);
    if (read.outcome == ReadOutcome::OpenFailed || read.outcome == ReadOutcome::ParseFailed)
        return false;
    pugi::xml_node section = lf_sectionForUpdate(document);
    if (!section)
        return false;
    lf_writeUnsaved(section);
    return gf_saveParametersXml(document);
}

// ---- Loading and the new file -------------------------------------------------------

void lf_logClosingBanner()
{
    gf_logLine(gf_makeBanner(g_bannerExtra, g_bannerStars, false, true, ""));
}

void lf_logAppendFailed(bool appended, const std::string& key, const std::string& valueText)
{
    if (!appended)
        lf_logNoThrow("{}adding xml parameter {} with {} failed!", "===> ", key, valueText);
}

// Appends the setting's default to a new file and logs its current value.
void lf_appendDefault(pugi::xml_node section, const SettingRow& row)
{
    switch (row.list) {
    case SettingList::Bool:
    case SettingList::CheckBox: {
        auto& p = static_cast<BoolParameter&>(*row.setting);
        lf_logAppendFailed(p.appendDefault(section), p.name, lf_boolText(p.value));
        p.logValue();
        break;
    }
    case SettingList::Int:
    case SettingList::IntChoice: {
        auto& p = static_cast<IntParameter&>(*row.setting);
        lf_logAppendFailed(p.appendDefault(section), p.name, std::to_string(p.value));
        p.logValue();
        break;
    }
    case SettingList::String:
    case SettingList::StringChoice: {
        auto& p = static_cast<StringParameter&>(*row.setting);
        lf_logAppendFailed(p.appendDefault(section), p.name, p.value);
        p.logValue();
        break;
    }
    case SettingList::Path: {
        auto& p = static_cast<PathParameter&>(*row.setting);
        lf_logAppendFailed(gf_xmlAppendPathParameter(section, p.name, p.defaultValue), p.name, lf_pathText(p.value));
        p.logValue();
        break;
    }
    }
}

// Appends every setting with its default value (in list order) to a new
// document and logs the current values; saves the document when `save` is set.
void lf_writeDefaultParametersFile(bool save)
{
    pugi::xml_document document;
    pugi::xml_node root = document.append_child(kRoot);

    PROGRAM_VERSION.defaultValue = fmt::format("{}", gf_programVersion());

    pugi::xml_node section = root ? root.append_child(kParameters) : pugi::xml_node();
    if (section) {
        for (const SettingRow& row : gf_settingsTable())
            lf_appendDefault(section, row);
        if (save) {
            lf_writeUnsaved(section);
            if (gf_saveParametersXml(document))
                lf_unsavedWritten();
            else
                gf_logError(fmt::format("saving: {} failed", lf_fileText()));
        }
    }
    lf_logClosingBanner();
}

// Reads an integer setting: clamped when found, the default when missing;
// logs it and appends the default when it was missing.
void lf_loadInt(const pugi::xml_document& document, pugi::xml_node section, IntParameter& p)
{
    std::optional<std::int32_t> found = gf_readIntParameter(document, p.name);
    if (found) {
        std::int32_t v = *found;
        if (v < p.minValue)
            v = p.minValue;
        else if (v > p.maxValue)
            v = p.maxValue;
        p.value = v;
    } else {
        p.value = p.defaultValue;
    }
    p.logValue();
    if (!found)
        gf_xmlAppendIntParameter(section, p.name, p.value);
}

} // namespace

std::optional<std::filesystem::path> gf_setAsideParametersFile(const std::string& reason)
{
    std::lock_guard<std::recursive_mutex> lock(g_parametersFileMutex);
    const std::filesystem::path& path = gf_parametersXmlPath();
    const std::string fileText = lf_fileText();
    // Enough names for every damaged file a user could produce; a move never
    // replaces an existing file.
    constexpr int kMaxNames = 1000;
    for (int n = 1; n <= kMaxNames; ++n) {
        std::filesystem::path aside = path.parent_path() / path.stem();
        aside += n == 1 ? std::wstring(L"0") : L"0-" + std::to_wstring(n);
        aside += path.extension();
        std::error_code ec;
        const NoReplaceMove move = gf_moveFileNoReplace(path, aside, ec);
        if (move == NoReplaceMove::moved) {
            const std::string asideText = lf_pathText(aside);
            try {
                const std::string text =
                    fmt::format("{} could not be read ({}); it was kept as {} and the settings start from default "
                                "values",
                                fileText, reason, asideText);
                gf_logError(text);
                gf_uiSink().showMessage(text, false);
            } catch (...) {
            }
            return aside;
        }
        if (move != NoReplaceMove::nameTaken) {
            if (move == NoReplaceMove::failed)
                lf_logNoThrow("{} could not be moved aside: {}", fileText, ec.message());
            return std::nullopt;
        }
    }
    lf_logNoThrow("{} could not be moved aside: every name is taken", fileText);
    return std::nullopt;
}

void gf_forgetUnsavedSettings()
{
    std::lock_guard<std::recursive_mutex> lock(g_parametersFileMutex);
    g_unsavedValues.clear();
    g_pendingFileInUse = false;
}

std::unique_lock<std::recursive_mutex> gf_lockParametersFile()
{
    return std::unique_lock<std::recursive_mutex>(g_parametersFileMutex);
}

// ---- Value texts ---------------------------------------------------------------------

std::optional<bool> gf_parseBoolText(std::string_view text)
{
    std::string lower(gf_trimView(text));
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (lower == "true" || lower == "yes" || lower == "on" || lower == "1")
        return true;
    if (lower == "false" || lower == "no" || lower == "off" || lower == "0")
        return false;
    return std::nullopt;
}

std::optional<std::int32_t> gf_parseIntText(std::string_view text)
{
    text = gf_trimView(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return std::nullopt;
    std::int32_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

// ---- Element writers -------------------------------------------------------------------

bool gf_xmlAppendStringParameter(pugi::xml_node section, const std::string& key, const std::string& value)
{
    pugi::xml_node element = section.append_child(kParameter);
    if (!element)
        return false;
    return gf_xmlAppendAttr(element, kName, key) && gf_xmlAppendAttr(element, kValue, value);
}

bool gf_xmlAppendBoolParameter(pugi::xml_node section, const std::string& key, bool value)
{
    return gf_xmlAppendStringParameter(section, key, lf_boolText(value));
}

bool gf_xmlAppendIntParameter(pugi::xml_node section, const std::string& key, std::int32_t value)
{
    return gf_xmlAppendStringParameter(section, key, std::to_string(value));
}

bool gf_xmlAppendPathParameter(pugi::xml_node section, const std::string& key, const std::filesystem::path& value)
{
    return gf_xmlAppendStringParameter(section, key, lf_pathText(value));
}

bool gf_xmlSetPathValue(pugi::xml_node element, const char* attributeName, const std::filesystem::path& value)
{
    pugi::xml_attribute attribute = element.attribute(attributeName);
    if (!attribute)
        attribute = element.append_attribute(attributeName);
    if (!attribute)
        return false;
    return attribute.set_value(lf_pathText(value).c_str());
}

// ---- Element readers --------------------------------------------------------------------

pugi::xml_node gf_xmlParametersSection(const pugi::xml_document& document)
{
    pugi::xml_node root = document.child(kRoot);
    if (!root)
        root = document;
    return root.child(kParameters);
}

pugi::xml_node gf_xmlFindParameter(const pugi::xml_document& document, std::string_view key)
{
    pugi::xml_node section = gf_xmlParametersSection(document);
    if (!section)
        return {};
    for (pugi::xml_node element = section.child(kParameter); element; element = element.next_sibling(kParameter))
        if (key == element.attribute(kName).value())
            return element;
    return {};
}

std::optional<bool> gf_xmlOptBool(const pugi::xml_node& element, const char* attributeName)
{
    pugi::xml_attribute attribute = element.attribute(attributeName);
    if (!attribute)
        return std::nullopt;
    return gf_parseBoolText(attribute.value());
}

std::optional<std::int32_t> gf_parseIntAttribute(const pugi::xml_node& element, const char* attributeName)
{
    pugi::xml_attribute attribute = element.attribute(attributeName);
    if (!attribute)
        return std::nullopt;
    return gf_parseIntText(attribute.value());
}

std::optional<std::filesystem::path> gf_xmlPathAttribute(const pugi::xml_node& element, const char* attributeName)
{
    pugi::xml_attribute attribute = element.attribute(attributeName);
    if (!attribute)
        return std::nullopt;
    return std::filesystem::path(utf8_to_wide(attribute.value()));
}

namespace {

// The first element named key whose value reads as a T. A repaired setting
// has its default appended after the unreadable element, so the next load
// must find the appended one rather than append yet another.
template <typename Read>
auto lf_firstReadable(const pugi::xml_document& document, std::string_view key, Read read) -> decltype(read(pugi::xml_node()))
{
    pugi::xml_node section = gf_xmlParametersSection(document);
    if (!section)
        return std::nullopt;
    for (pugi::xml_node element = section.child(kParameter); element; element = element.next_sibling(kParameter))
        if (key == element.attribute(kName).value())
            if (auto value = read(element))
                return value;
    return std::nullopt;
}

bool lf_isUtf8(const char* text)
{
    try {
        (void)utf8_to_wide(text);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Every element named key whose value is not valid UTF-8, read or not: a bad
// copy after the one that counts would otherwise stay in the file for good.
std::vector<pugi::xml_node> lf_notUtf8Elements(const pugi::xml_document& document, std::string_view key)
{
    std::vector<pugi::xml_node> found;
    pugi::xml_node section = gf_xmlParametersSection(document);
    if (!section)
        return found;
    for (pugi::xml_node element = section.child(kParameter); element; element = element.next_sibling(kParameter)) {
        const pugi::xml_attribute value = element.attribute(kValue);
        if (key == element.attribute(kName).value() && value && !lf_isUtf8(value.value()))
            found.push_back(element);
    }
    return found;
}

void lf_logNotUtf8(const std::string& key) noexcept
{
    try {
        gf_logError(fmt::format("{}: the value is not valid UTF-8, the default is used", key));
    } catch (...) {
    }
}

} // namespace

std::optional<bool> gf_xmlReadBoolParameter(const pugi::xml_document& document, std::string_view key)
{
    return lf_firstReadable(document, key, [](pugi::xml_node e) { return gf_xmlOptBool(e, kValue); });
}

std::optional<std::int32_t> gf_readIntParameter(const pugi::xml_document& document, std::string_view key)
{
    return lf_firstReadable(document, key, [](pugi::xml_node e) { return gf_parseIntAttribute(e, kValue); });
}

std::optional<std::string> gf_xmlReadStringParameter(const pugi::xml_document& document, std::string_view key)
{
    return lf_firstReadable(document, key, [](pugi::xml_node e) { return gf_xmlOptString(e, kValue); });
}

// ---- Per-kind load steps, default writers and single updates ------------------------------

bool BoolParameter::readFrom(const pugi::xml_document& doc)
{
    std::optional<bool> found = gf_xmlReadBoolParameter(doc, name);
    value = found.value_or(defaultValue);
    logValue();
    return found.has_value();
}

bool StringParameter::readFrom(const pugi::xml_document& doc)
{
    // Texts end up in controls and folder paths, both UTF-16: a text that is
    // not valid UTF-8 (a hand-edited file) is unreadable, as a path is. Every
    // such element gets the value in effect, so the bad bytes leave the file
    // with this load's save instead of being met again at every start.
    const std::vector<pugi::xml_node> invalid = lf_notUtf8Elements(doc, name);
    std::optional<std::string> found = lf_firstReadable(doc, name, [](pugi::xml_node e) -> std::optional<std::string> {
        std::optional<std::string> text = gf_xmlOptString(e, kValue);
        if (!text || !lf_isUtf8(text->c_str()))
            return std::nullopt;
        return text;
    });
    if (!invalid.empty() && !found)
        lf_logNotUtf8(name);
    value = found ? std::move(*found) : defaultValue;
    for (pugi::xml_node e : invalid)
        e.attribute(kValue).set_value(value.c_str());
    logValue();
    return found.has_value() || !invalid.empty();
}

bool PathParameter::readFrom(const pugi::xml_document& doc)
{
    // A value that is not valid UTF-8 is unreadable like any other bad value:
    // the next readable element counts, else the default is taken. Every bad
    // element gets the value in effect, as a text setting's does.
    const std::vector<pugi::xml_node> invalid = lf_notUtf8Elements(doc, name);
    std::optional<std::filesystem::path> found =
        lf_firstReadable(doc, name, [](pugi::xml_node e) -> std::optional<std::filesystem::path> {
            try {
                return gf_xmlPathAttribute(e, kValue);
            } catch (const std::exception&) {
                return std::nullopt;
            }
        });
    if (!invalid.empty() && !found)
        lf_logNotUtf8(name);
    value = found ? std::move(*found) : defaultValue;
    for (pugi::xml_node e : invalid)
        gf_xmlSetPathValue(e, kValue, value);
    logValue();
    return found.has_value() || !invalid.empty();
}

bool BoolParameter::appendDefault(pugi::xml_node section) const
{
    return gf_xmlAppendBoolParameter(section, name, defaultValue);
}

bool IntParameter::appendDefault(pugi::xml_node section) const
{
    return gf_xmlAppendIntParameter(section, name, defaultValue);
}

bool StringParameter::appendDefault(pugi::xml_node section) const
{
    return gf_xmlAppendStringParameter(section, name, defaultValue);
}

void IntParameter::save() const
{
    lf_updateOneSetting(name, std::to_string(value), [this] { logValue(); });
    gf_updateParametersFrom(*this);
}

void BoolParameter::save() const
{
    lf_updateOneSetting(name, lf_boolText(value), [this] { logValue(); });
    gf_updateParametersFrom(*this);
}

void StringParameter::save() const
{
    lf_updateOneSetting(name, value, [this] { logValue(); });
    gf_updateParametersFrom(*this);
}

void PathParameter::save() const
{
    lf_updateOneSetting(name, lf_pathText(value), [this] { logValue(); });
    gf_updateParametersFrom(*this);
}

// ---- Loading -------------------------------------------------------------------------------

namespace {

// Shows the current values in the controls of the check boxes and of the
// choices that are loaded with them; nothing for controls without a window.
void lf_showValuesInControls()
{
    for (const SettingRow& row : gf_settingsTable()) {
        if (row.list == SettingList::CheckBox)
            static_cast<CheckBoxParameter*>(row.setting)->showValue();
        else if (row.list == SettingList::IntChoice) {
            auto* p = static_cast<IntChoiceParameter*>(row.setting);
            lf_showInControl(*p, std::to_string(p->value));
        } else if (row.list == SettingList::StringChoice) {
            auto* p = static_cast<StringChoiceParameter*>(row.setting);
            lf_showInControl(*p, p->value);
        }
    }
}

// Reads one setting from the file, appending its value to the section when it
// was missing or unreadable.
void lf_loadSetting(const pugi::xml_document& document, pugi::xml_node section, const SettingRow& row)
{
    switch (row.list) {
    case SettingList::Bool:
    case SettingList::CheckBox: {
        auto& p = static_cast<BoolParameter&>(*row.setting);
        if (!p.readFrom(document))
            gf_xmlAppendBoolParameter(section, p.name, p.value);
        break;
    }
    case SettingList::Int:
    case SettingList::IntChoice:
        lf_loadInt(document, section, static_cast<IntParameter&>(*row.setting));
        break;
    case SettingList::String:
    case SettingList::StringChoice: {
        auto& p = static_cast<StringParameter&>(*row.setting);
        if (!p.readFrom(document))
            gf_xmlAppendStringParameter(section, p.name, p.value);
        break;
    }
    case SettingList::Path: {
        auto& p = static_cast<PathParameter&>(*row.setting);
        if (!p.readFrom(document))
            gf_xmlAppendPathParameter(section, p.name, p.value);
        break;
    }
    }
}

// Sets a setting from a value text in its kind's form; false (and nothing
// changed) when the text does not read.
bool lf_setFromText(const SettingRow& row, const std::string& text)
{
    switch (row.list) {
    case SettingList::Bool:
    case SettingList::CheckBox:
        if (std::optional<bool> v = gf_parseBoolText(text)) {
            static_cast<BoolParameter&>(*row.setting).value = *v;
            return true;
        }
        return false;
    case SettingList::Int:
    case SettingList::IntChoice:
        if (std::optional<std::int32_t> v = gf_parseIntText(text)) {
            auto& p = static_cast<IntParameter&>(*row.setting);
            p.value = std::clamp(*v, p.minValue, p.maxValue);
            return true;
        }
        return false;
    case SettingList::String:
    case SettingList::StringChoice:
        if (!lf_isUtf8(text.c_str()))
            return false;
        static_cast<StringParameter&>(*row.setting).value = text;
        return true;
    case SettingList::Path:
        try {
            static_cast<PathParameter&>(*row.setting).value = std::filesystem::path(utf8_to_wide(text));
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }
    return false;
}

// The {key, value text} pairs of a settings document in the program's layout.
std::vector<std::pair<std::string, std::string>> lf_settingsOf(const pugi::xml_document& document)
{
    std::vector<std::pair<std::string, std::string>> values;
    const pugi::xml_node section = gf_xmlParametersSection(document);
    for (pugi::xml_node e = section.child(kParameter); e; e = e.next_sibling(kParameter))
        if (*e.attribute(kName).value() && e.attribute(kValue))
            values.emplace_back(e.attribute(kName).value(), e.attribute(kValue).value());
    return values;
}

// The values that parameters.xml refused at the last exit: they count over
// the file's and join the unsaved ones (a value refused in this run is newer
// and stays), and the settings take them at once. The file stays until they
// are written.
void lf_takePendingValues()
{
    const std::filesystem::path& path = gf_pendingParametersXmlPath();
    pugi::xml_document document;
    const ReadResult read = lf_readParametersFile(path, document);
    if (read.outcome == ReadOutcome::Missing)
        return;
    const std::string pathText = lf_pendingFileText();
    if (read.outcome != ReadOutcome::Parsed) {
        gf_logError(fmt::format("{} could not be read{}{}; the settings it holds are not applied", pathText,
                                read.detail.empty() ? "" : ": ", read.detail));
        return;
    }
    const auto values = lf_settingsOf(document);
    gf_logLine(fmt::format("{} holds {} settings not saved at the last exit; they are applied", pathText,
                           values.size()));
    for (const auto& [key, valueText] : values) {
        const std::string& name = key; // a structured binding cannot be captured by every compiler here
        const bool newer = std::any_of(g_unsavedValues.begin(), g_unsavedValues.end(),
                                       [&name](const auto& kv) { return kv.first == name; });
        if (newer)
            continue;
        g_unsavedValues.emplace_back(key, valueText);
        for (const SettingRow& row : gf_settingsTable())
            if (row.setting->name == key)
                lf_setFromText(row, valueText);
    }
    g_pendingFileInUse = true;
}

// Reads, repairs and saves the file; the caller holds the file mutex.
bool lf_loadParametersFile()
{
    gf_logLine(gf_makeBanner(g_bannerExtra, 0, true, false, "parameters"));
    const std::filesystem::path& path = gf_parametersXmlPath();
    const std::string fileText = lf_fileText();
    lf_takePendingValues();

    pugi::xml_document document;
    ReadResult read = lf_readParametersFile(path, document);
    switch (read.outcome) {
    case ReadOutcome::Missing:
        gf_logLine(fmt::format("{} could not be opened, creating new with default values:", fileText));
        lf_writeDefaultParametersFile(true);
        return true;
    case ReadOutcome::OpenFailed:
        // The file is there but cannot be read (locked, no access): writing
        // defaults over it would lose every setting. Use them in memory only.
        gf_logError(fmt::format("{} could not be opened{}{}, using default values; the file is left as it is:",
                                fileText, read.detail.empty() ? "" : ": ", read.detail));
        lf_writeDefaultParametersFile(false);
        return true;
    case ReadOutcome::Blank:
        gf_logLine(fmt::format("{} could not be loaded: {}, creating new with default values:", fileText,
                               read.detail));
        lf_writeDefaultParametersFile(true);
        return true;
    case ReadOutcome::ParseFailed:
        // The user's values are still in there (one bad byte is enough): keep
        // the file under a name of its own before defaults take its place.
        if (!gf_setAsideParametersFile(read.detail)) {
            gf_logError(fmt::format("{} could not be loaded: {}, using default values; the file is left as it is:",
                                    fileText, read.detail));
            lf_writeDefaultParametersFile(false);
            return true;
        }
        gf_logLine(fmt::format("{} could not be loaded: {}, creating new with default values:", fileText,
                               read.detail));
        lf_writeDefaultParametersFile(true);
        return true;
    case ReadOutcome::Parsed:
        break;
    }

    gf_logLine(fmt::format("from '{}'", fileText));
    pugi::xml_node section = gf_xmlParametersSection(document);
    if (!section) {
        gf_logLine(fmt::format("Section '{}' not found in '{}', creating new with default values:", kParameters,
                               fileText));
        lf_writeDefaultParametersFile(true);
        return true;
    }

    // Values whose saves were refused count over the file's older ones.
    lf_writeUnsaved(section);
    for (const SettingRow& row : gf_settingsTable())
        lf_loadSetting(document, section, row);

    if (gf_saveParametersXml(document))
        lf_unsavedWritten();
    lf_logClosingBanner();
    return false;
}

} // namespace

bool gf_loadParametersFile()
{
    bool created = false;
    {
        // The read, the repair and the save form one read-modify-write, like
        // a single update: a setting saved meanwhile on another thread (the
        // window being moved) is not overwritten by an older copy.
        std::lock_guard<std::recursive_mutex> lock(g_parametersFileMutex);
        created = lf_loadParametersFile();
    }
    // Outside the lock: the controls belong to the GUI thread, which may be
    // waiting for the lock in a single update.
    lf_showValuesInControls();
    return created;
}

namespace {

bool lf_saveUnsavedAtExit(const std::function<void(std::int64_t ms)>& sleepMs)
{
    if (g_unsavedValues.empty())
        return true;
    const std::string fileText = lf_fileText();
    // Another program that holds the file (a backup, a virus scanner) lets go
    // of it soon: a few tries, at most kExitSaveTries x kExitSaveWaitMs.
    for (int attempt = 1; attempt <= kExitSaveTries; ++attempt) {
        sleepMs(kExitSaveWaitMs);
        if (lf_trySavingUnsaved()) {
            lf_logNoThrow("{}: {} unsaved settings were saved at exit", fileText, g_unsavedValues.size());
            lf_unsavedWritten();
            return true;
        }
    }
    std::string values;
    for (const auto& [key, valueText] : g_unsavedValues)
        values += fmt::format("{}{}=\"{}\"", values.empty() ? "" : ", ", key, valueText);
    const std::filesystem::path& pendingPath = gf_pendingParametersXmlPath();
    pugi::xml_document pending;
    pugi::xml_node root = pending.append_child(kRoot);
    pugi::xml_node section = root ? root.append_child(kParameters) : pugi::xml_node();
    if (section) {
        lf_writeUnsaved(section);
        if (gf_saveXmlSafely(pending, pendingPath)) {
            g_pendingFileInUse = true;
            try {
                gf_logError(fmt::format("{} refused {} settings at exit; they were kept in {} for the next start: {}",
                                        fileText, g_unsavedValues.size(), lf_pendingFileText(), values));
            } catch (...) {
            }
            return false;
        }
    }
    try {
        gf_logError(fmt::format("{} refused {} settings at exit and {} could not be written; lost: {}", fileText,
                                g_unsavedValues.size(), lf_pendingFileText(), values));
    } catch (...) {
    }
    return false;
}

} // namespace

bool gf_saveUnsavedSettingsAtExit(const std::function<void(std::int64_t ms)>& sleepMs)
{
    std::lock_guard<std::recursive_mutex> lock(g_parametersFileMutex);
    // The exit goes on whatever happens here.
    try {
        return lf_saveUnsavedAtExit(sleepMs);
    } catch (const std::exception& e) {
        lf_logNoThrow("saving the unsaved settings at exit failed: {}", e.what());
    } catch (...) {
        lf_logNoThrow("saving the unsaved settings at exit failed");
    }
    return false;
}

std::optional<std::string> gf_pendingSettingText(std::string_view key)
{
    std::lock_guard<std::recursive_mutex> lock(g_parametersFileMutex);
    pugi::xml_document document;
    if (lf_readParametersFile(gf_pendingParametersXmlPath(), document).outcome != ReadOutcome::Parsed)
        return std::nullopt;
    return gf_xmlReadStringParameter(document, key);
}
