#include "core/parameters_file.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "core/clock.h"
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
// The pending-settings file: what parameters.xml held for a key when its value
// was kept there, or that it held none; the file's own random id.
constexpr const char* kReplaces = "replaces";
constexpr const char* kReplacesNothing = "replacesNothing";
constexpr const char* kPendingId = "id";
// On the parameters section of parameters.xml: the pending-settings file (by
// the hash of its bytes) whose values are saved but which could not be removed.
constexpr const char* kPendingApplied = "pendingApplied";

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
    std::uint64_t hash = 0; // FNV-1a of the bytes read
};

std::uint64_t lf_fnv1a(const std::string& bytes)
{
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return h;
}

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
    result.hash = lf_fnv1a(bytes);
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

// What parameters.xml holds for a key: the value text of the first element
// named key that has a value; nothing when there is none (or no section).
using HeldText = std::optional<std::string>;

HeldText lf_heldIn(pugi::xml_node section, std::string_view key)
{
    for (pugi::xml_node e = section.child(kParameter); e; e = e.next_sibling(kParameter))
        if (key == e.attribute(kName).value())
            if (const pugi::xml_attribute value = e.attribute(kValue))
                return std::string(value.value());
    return std::nullopt;
}

// A setting whose save was refused (the file held open by another program,
// denied access, damaged), or one taken from the pending-settings file.
struct UnsavedValue {
    std::string key;
    std::string valueText;
    // Taken from the pending-settings file while parameters.xml could not be
    // read: written only once the file is read and shows that nothing changed
    // since that exit (lf_writeUnsaved).
    bool unchecked = false;
    // What parameters.xml held for the key when the value was kept in the
    // pending-settings file, when that file says so.
    bool saysReplaced = false;
    HeldText replaces;
};

// The unsaved values in the order first refused. Every later save and the next
// load write them too, until one reaches the disk: a refused change is never
// left behind by a save of another setting. Guarded by the parameters-file mutex.
std::vector<UnsavedValue> g_unsavedValues;

// What parameters.xml held at its last read or save in this process (the
// first value of each key); empty while it has not been read. The pending-
// settings file keeps it beside each value, so that the next start can tell
// whether the file was changed in between.
std::optional<std::map<std::string, std::string>> g_fileHeld;

void lf_noteFileHeld(pugi::xml_node section)
{
    std::map<std::string, std::string> held;
    for (pugi::xml_node e = section.child(kParameter); e; e = e.next_sibling(kParameter))
        if (const pugi::xml_attribute value = e.attribute(kValue))
            held.emplace(e.attribute(kName).value(), value.value());
    g_fileHeld = std::move(held);
}

// The pending-settings file of this process's settings.
struct PendingFileState {
    std::string identity; // the hash of its bytes, as hex
    bool inUse = false;   // its values are among the unsaved ones; it goes once they are saved
    bool markWanted = false; // done with but not removable: the next save of parameters.xml notes it
};
PendingFileState g_pending;

UnsavedValue lf_unsavedValue(const std::string& key, const std::string& valueText)
{
    UnsavedValue u;
    u.key = key;
    u.valueText = valueText;
    return u;
}

void lf_noteUnsaved(const std::string& key, const std::string& valueText)
{
    for (UnsavedValue& u : g_unsavedValues)
        if (u.key == key) {
            u = lf_unsavedValue(key, valueText);
            return;
        }
    g_unsavedValues.push_back(lf_unsavedValue(key, valueText));
}

// The pending-settings file's path as UTF-8 for messages; never throws.
std::string lf_pendingFileText()
{
    try {
        return lf_pathText(gf_pendingParametersXmlPath());
    } catch (...) {
        return "parameters-pending.xml";
    }
}

std::string lf_heldText(const HeldText& held)
{
    return held ? fmt::format("\"{}\"", *held) : std::string("no value");
}

void lf_setPendingMark(pugi::xml_node section, const std::string& identity)
{
    pugi::xml_attribute mark = section.attribute(kPendingApplied);
    if (!mark)
        mark = section.append_attribute(kPendingApplied);
    if (!mark || !mark.set_value(identity.c_str()))
        lf_logNoThrow("noting {} as applied failed", lf_pendingFileText());
}

bool lf_isMarkedApplied(pugi::xml_node section, const std::string& identity)
{
    return !identity.empty() && identity == section.attribute(kPendingApplied).value();
}

// Sets every element of each unsaved key to its value, appending an element
// for a key that has none. A value taken from the pending-settings file while
// parameters.xml could not be read is dropped here when the file turns out to
// have changed since that exit, or to have taken the pending file already.
void lf_writeUnsaved(pugi::xml_node section)
{
    const bool alreadyApplied = g_pending.inUse && lf_isMarkedApplied(section, g_pending.identity);
    if (alreadyApplied) {
        lf_logNoThrow("{} was applied at an earlier start: its settings are not taken again", lf_pendingFileText());
        g_pending.inUse = false;
    }
    std::erase_if(g_unsavedValues, [&](const UnsavedValue& u) {
        if (!u.unchecked)
            return false;
        if (alreadyApplied)
            return true;
        if (!u.saysReplaced)
            return false;
        const HeldText now = lf_heldIn(section, u.key);
        if (now == u.replaces)
            return false;
        lf_logNoThrow("'{}' from {} is not saved: {} holds {}, not {} as at that exit; the change made since stays",
                      u.key, lf_pendingFileText(), lf_fileText(), lf_heldText(now), lf_heldText(u.replaces));
        return true;
    });

    for (const UnsavedValue& u : g_unsavedValues) {
        bool matched = false;
        for (pugi::xml_node element = section.child(kParameter); element;
             element = element.next_sibling(kParameter)) {
            if (u.key != element.attribute(kName).value())
                continue;
            matched = true;
            pugi::xml_attribute value = element.attribute(kValue);
            if (!value)
                value = element.append_attribute(kValue);
            if (!value || !value.set_value(u.valueText.c_str()))
                lf_logNoThrow("updating XML parameter '{}' failed", u.key);
        }
        if (!matched && !gf_xmlAppendStringParameter(section, u.key, u.valueText))
            lf_logNoThrow("adding XML parameter '{}' failed", u.key);
    }
    if (g_pending.markWanted)
        lf_setPendingMark(section, g_pending.identity);
}

void lf_removeQuietly(const std::filesystem::path& path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

// What the safe save of the pending-settings file leaves beside it.
void lf_removePendingLeftovers()
{
    for (const wchar_t* suffix : {L".bak", L".tmp"}) {
        std::filesystem::path leftover = gf_pendingParametersXmlPath();
        leftover += suffix;
        lf_removeQuietly(leftover);
    }
}

// Removes the pending-settings file and what its writing left; false with the
// reason when the file stays (read-only, held open, no access).
bool lf_removePendingFile(std::string& why)
{
    lf_removePendingLeftovers();
    std::error_code ec;
    std::filesystem::remove(gf_pendingParametersXmlPath(), ec);
    if (!ec)
        return true;
    why = ec.message();
    return false;
}

// The document was saved as parameters.xml with every unsaved value: the
// pending-settings file they came from goes. When it cannot be removed,
// parameters.xml notes it as applied, so that no later start takes it again.
void lf_unsavedWritten(pugi::xml_document& document)
{
    g_unsavedValues.clear();
    const pugi::xml_node section = gf_xmlParametersSection(document);
    lf_noteFileHeld(section);
    g_pending.markWanted = false; // saved with the document
    if (!g_pending.inUse)
        return;
    g_pending.inUse = false;
    std::string why;
    if (lf_removePendingFile(why))
        return;
    lf_setPendingMark(section, g_pending.identity);
    if (gf_saveParametersXml(document)) {
        lf_logNoThrow("{} could not be removed ({}); its settings are saved in {}, which notes it as applied: it is "
                      "not applied again",
                      lf_pendingFileText(), why, lf_fileText());
        return;
    }
    g_pending.markWanted = true;
    lf_logNoThrow("{} could not be removed ({}); its settings are saved in {}, which notes it as applied at its "
                  "next save",
                  lf_pendingFileText(), why, lf_fileText());
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

    // What the file holds before this update changes it.
    lf_noteFileHeld(gf_xmlParametersSection(document));
    pugi::xml_node section = lf_sectionForUpdate(document);
    if (section)
        lf_writeUnsaved(section);
    else
        lf_logNoThrow("adding XML parameter '{}' failed", key);

    logValue();
    if (!gf_saveParametersXml(document))
        lf_logNoThrow("saving '{}' failed", fileText);
    else if (section)
        lf_unsavedWritten(document);
}

// One more try to write every unsaved value into the file, as a single
// update does; false when the file refused it again.
bool lf_trySavingUnsaved()
{
    pugi::xml_document document;
    const ReadResult read = lf_readParametersFile(gf_parametersXmlPath(), document);
    if (read.outcome == ReadOutcome::OpenFailed || read.outcome == ReadOutcome::ParseFailed)
        return false;
    lf_noteFileHeld(gf_xmlParametersSection(document));
    pugi::xml_node section = lf_sectionForUpdate(document);
    if (!section)
        return false;
    lf_writeUnsaved(section);
    if (!gf_saveParametersXml(document))
        return false;
    lf_unsavedWritten(document);
    return true;
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

void lf_takePendingValues(pugi::xml_node saveSection, pugi::xml_node heldSection, bool fileKnown);

// Appends every setting with its default value (in list order) to a new
// document and logs the current values; saves the document when `save` is set.
// Without `save` the file is there but could not be read: what it holds is
// unknown. Otherwise it holds none of the user's values any more.
void lf_writeDefaultParametersFile(bool save)
{
    pugi::xml_document document;
    pugi::xml_node root = document.append_child(kRoot);

    PROGRAM_VERSION.defaultValue = fmt::format("{}", gf_programVersion());

    pugi::xml_node section = root ? root.append_child(kParameters) : pugi::xml_node();
    if (section) {
        if (save)
            lf_noteFileHeld(pugi::xml_node());
        lf_takePendingValues(section, pugi::xml_node(), save);
        for (const SettingRow& row : gf_settingsTable())
            lf_appendDefault(section, row);
        if (save) {
            lf_writeUnsaved(section);
            if (gf_saveParametersXml(document))
                lf_unsavedWritten(document);
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

// Moves a file that cannot be read out of the way, to stem + "0" + extension
// beside it, or stem + "0-2" + extension, "0-3"... when that name is taken, so
// no later move overwrites an earlier one. `why` tells why it stayed.
NoReplaceMove lf_moveAside(const std::filesystem::path& path, std::filesystem::path& aside, std::string& why)
{
    // Enough names for every damaged file a user could produce; a move never
    // replaces an existing file.
    constexpr int kMaxNames = 1000;
    for (int n = 1; n <= kMaxNames; ++n) {
        aside = path.parent_path() / path.stem();
        aside += n == 1 ? std::wstring(L"0") : L"0-" + std::to_wstring(n);
        aside += path.extension();
        std::error_code ec;
        const NoReplaceMove move = gf_moveFileNoReplace(path, aside, ec);
        if (move == NoReplaceMove::failed)
            why = ec.message();
        if (move != NoReplaceMove::nameTaken)
            return move;
    }
    why = "every name is taken";
    return NoReplaceMove::nameTaken;
}

} // namespace

std::optional<std::filesystem::path> gf_setAsideParametersFile(const std::string& reason)
{
    std::lock_guard<std::recursive_mutex> lock(g_parametersFileMutex);
    const std::filesystem::path& path = gf_parametersXmlPath();
    const std::string fileText = lf_fileText();
    std::filesystem::path aside;
    std::string why;
    switch (lf_moveAside(path, aside, why)) {
    case NoReplaceMove::moved:
        try {
            const std::string text =
                fmt::format("{} could not be read ({}); it was kept as {} and the settings start from default values",
                            fileText, reason, lf_pathText(aside));
            gf_logError(text);
            gf_uiSink().showMessage(text, false);
        } catch (...) {
        }
        return aside;
    case NoReplaceMove::sourceMissing:
        return std::nullopt;
    case NoReplaceMove::nameTaken:
    case NoReplaceMove::failed:
        break;
    }
    lf_logNoThrow("{} could not be moved aside: {}", fileText, why);
    return std::nullopt;
}

void gf_forgetUnsavedSettings()
{
    std::lock_guard<std::recursive_mutex> lock(g_parametersFileMutex);
    g_unsavedValues.clear();
    g_pending = PendingFileState{};
    g_fileHeld.reset();
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

// ---- The pending-settings file ---------------------------------------------------------

// One value of the pending-settings file.
struct PendingValue {
    std::string key;
    std::string valueText;
    bool saysReplaced = false; // the file says what parameters.xml held for the key at that exit
    HeldText replaces;
};

struct PendingFile {
    ReadResult read;
    std::string identity; // the hash of its bytes, as hex
    std::vector<PendingValue> values; // the first element of each key
};

PendingFile lf_readPendingFile()
{
    PendingFile pending;
    pugi::xml_document document;
    pending.read = lf_readParametersFile(gf_pendingParametersXmlPath(), document);
    if (pending.read.outcome != ReadOutcome::Parsed)
        return pending;
    pending.identity = fmt::format("{:016x}", pending.read.hash);
    const pugi::xml_node section = gf_xmlParametersSection(document);
    for (pugi::xml_node e = section.child(kParameter); e; e = e.next_sibling(kParameter)) {
        const std::string key = e.attribute(kName).value();
        const pugi::xml_attribute value = e.attribute(kValue);
        if (key.empty() || !value)
            continue;
        if (std::any_of(pending.values.begin(), pending.values.end(),
                        [&key](const PendingValue& v) { return v.key == key; }))
            continue;
        PendingValue v;
        v.key = key;
        v.valueText = value.value();
        if (const pugi::xml_attribute replaces = e.attribute(kReplaces)) {
            v.saysReplaced = true;
            v.replaces = replaces.value();
        } else if (gf_xmlOptBool(e, kReplacesNothing).value_or(false)) {
            v.saysReplaced = true;
        }
        pending.values.push_back(std::move(v));
    }
    return pending;
}

const SettingRow* lf_rowOf(std::string_view key)
{
    for (const SettingRow& row : gf_settingsTable())
        if (row.setting->name == key)
            return &row;
    return nullptr;
}

// A pending-settings file that cannot be read is moved out of the way once,
// so it is neither met again at every start nor lost.
void lf_setPendingFileAside(const ReadResult& read)
{
    const std::string reason = read.detail.empty() ? std::string("it could not be opened") : read.detail;
    std::filesystem::path aside;
    std::string why;
    try {
        if (lf_moveAside(gf_pendingParametersXmlPath(), aside, why) == NoReplaceMove::moved)
            gf_logError(fmt::format("{} could not be read ({}); it was kept as {} and the settings it holds are not "
                                    "applied",
                                    lf_pendingFileText(), reason, lf_pathText(aside)));
        else
            gf_logError(fmt::format("{} could not be read ({}) nor moved aside ({}); the settings it holds are not "
                                    "applied",
                                    lf_pendingFileText(), reason, why));
    } catch (const std::exception& e) {
        lf_logNoThrow("{} could not be read ({}): {}", lf_pendingFileText(), reason, e.what());
    }
}

// The values that parameters.xml refused at the last exit. Each counts over
// the file's value only where the file still holds what it held at that exit
// (a value changed since, by hand or by the program, stays), and never over a
// value refused in this run, which is newer. The settings take them at once;
// the pending file goes once they are saved, or at once when none of them is
// needed. `heldSection` is what parameters.xml holds (null: nothing) when
// `fileKnown`; otherwise it could not be read and the values are checked when
// it is (lf_writeUnsaved). `saveSection` is the section the load saves.
void lf_takePendingValues(pugi::xml_node saveSection, pugi::xml_node heldSection, bool fileKnown)
{
    const PendingFile pending = lf_readPendingFile();
    const std::string pendingText = lf_pendingFileText();
    switch (pending.read.outcome) {
    case ReadOutcome::Missing:
        lf_removePendingLeftovers();
        saveSection.remove_attribute(kPendingApplied);
        g_pending = PendingFileState{};
        return;
    case ReadOutcome::Blank: {
        std::string why;
        if (lf_removePendingFile(why))
            gf_logLine(fmt::format("{} was empty and is removed", pendingText));
        else
            lf_setPendingFileAside(pending.read);
        return;
    }
    case ReadOutcome::OpenFailed:
    case ReadOutcome::ParseFailed:
        lf_setPendingFileAside(pending.read);
        return;
    case ReadOutcome::Parsed:
        break;
    }
    if (g_pending.inUse && g_pending.identity == pending.identity)
        return; // taken by an earlier load of this run and not saved yet
    g_pending = PendingFileState{pending.identity};

    if (fileKnown && lf_isMarkedApplied(heldSection, pending.identity)) {
        std::string why;
        if (lf_removePendingFile(why)) {
            saveSection.remove_attribute(kPendingApplied);
            gf_logLine(fmt::format("{} was applied at an earlier start and is removed now", pendingText));
        } else {
            gf_logLine(fmt::format("{} was applied at an earlier start and is not applied again; it could not be "
                                   "removed: {}",
                                   pendingText, why));
        }
        return;
    }
    if (fileKnown)
        saveSection.remove_attribute(kPendingApplied); // a mark of an earlier pending file

    gf_logLine(fmt::format("{} holds {} settings not saved at the last exit", pendingText, pending.values.size()));
    std::size_t taken = 0;
    for (const PendingValue& v : pending.values) {
        const std::string& key = v.key;
        if (std::any_of(g_unsavedValues.begin(), g_unsavedValues.end(),
                        [&key](const UnsavedValue& u) { return u.key == key; }))
            continue; // refused in this run: newer
        const SettingRow* row = lf_rowOf(key);
        if (!row) {
            lf_logNoThrow("'{}' in {} is no setting; it is not applied", key, pendingText);
            continue;
        }
        if (fileKnown && v.saysReplaced) {
            const HeldText now = lf_heldIn(heldSection, key);
            if (now != v.replaces) {
                lf_logNoThrow("'{}' is not applied: {} holds {}, not {} as at the last exit; the change made since "
                              "stays",
                              key, lf_fileText(), lf_heldText(now), lf_heldText(v.replaces));
                continue;
            }
        }
        if (!lf_setFromText(*row, v.valueText)) {
            lf_logNoThrow("'{}' in {} does not read (\"{}\"); it is not applied", key, pendingText, v.valueText);
            continue;
        }
        g_unsavedValues.push_back(UnsavedValue{key, v.valueText, !fileKnown, v.saysReplaced, v.replaces});
        ++taken;
    }
    if (fileKnown)
        gf_logLine(fmt::format("{} of them are applied", taken));
    else
        gf_logLine(fmt::format("{} of them are used; {} could not be read, they are checked against it once it can",
                               taken, lf_fileText()));
    if (taken > 0) {
        g_pending.inUse = true;
        return;
    }
    std::string why;
    if (!lf_removePendingFile(why)) {
        g_pending.markWanted = true;
        gf_logLine(fmt::format("{} could not be removed ({}); {} notes it as applied at its next save, so it is not "
                               "applied again",
                               pendingText, why, lf_fileText()));
    }
}

// Reads, repairs and saves the file; the caller holds the file mutex.
bool lf_loadParametersFile()
{
    gf_logLine(gf_makeBanner(g_bannerExtra, 0, true, false, "parameters"));
    const std::filesystem::path& path = gf_parametersXmlPath();
    const std::string fileText = lf_fileText();

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
    lf_noteFileHeld(section);
    lf_takePendingValues(section, section, true);
    lf_writeUnsaved(section);
    for (const SettingRow& row : gf_settingsTable())
        lf_loadSetting(document, section, row);

    if (gf_saveParametersXml(document))
        lf_unsavedWritten(document);
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

// Appends the unsaved values to the section of a new pending-settings file,
// each with what parameters.xml held for its key (as far as this process
// knows), so that the next start takes it only where nothing changed since.
void lf_writePendingValues(pugi::xml_node section)
{
    std::mt19937& random = gf_threadRandomEngine();
    // Two files with the same values are still told apart by the mark of an
    // applied one (kPendingApplied).
    const std::string id = fmt::format("{:08x}{:08x}", random(), random());
    if (!gf_xmlAppendAttr(section, kPendingId, id))
        lf_logNoThrow("adding the id of {} failed", lf_pendingFileText());
    for (const UnsavedValue& u : g_unsavedValues) {
        bool saysReplaced = u.saysReplaced;
        HeldText replaces = u.replaces;
        if (!u.unchecked && g_fileHeld) {
            saysReplaced = true;
            const auto held = g_fileHeld->find(u.key);
            replaces = held == g_fileHeld->end() ? HeldText() : HeldText(held->second);
        }
        bool written = gf_xmlAppendStringParameter(section, u.key, u.valueText);
        if (written && saysReplaced) {
            pugi::xml_node element = section.last_child();
            written = replaces ? gf_xmlAppendAttr(element, kReplaces, *replaces)
                               : gf_xmlAppendAttr(element, kReplacesNothing, "true");
        }
        if (!written)
            lf_logNoThrow("adding XML parameter '{}' failed", u.key);
    }
}

bool lf_saveUnsavedAtExit(const std::function<void(std::int64_t ms)>& sleepMs)
{
    if (g_unsavedValues.empty() && !g_pending.markWanted)
        return true;
    const std::string fileText = lf_fileText();
    // Another program that holds the file (a backup, a virus scanner) lets go
    // of it soon: a few tries, at most kExitSaveTries x kExitSaveWaitMs.
    for (int attempt = 1; attempt <= kExitSaveTries; ++attempt) {
        sleepMs(kExitSaveWaitMs);
        const std::size_t count = g_unsavedValues.size();
        if (lf_trySavingUnsaved()) {
            lf_logNoThrow("{}: {} unsaved settings were saved at exit", fileText, count);
            return true;
        }
    }
    if (g_unsavedValues.empty()) {
        lf_logNoThrow("{} could not note {} as applied", fileText, lf_pendingFileText());
        return true;
    }
    std::string values;
    for (const UnsavedValue& u : g_unsavedValues)
        values += fmt::format("{}{}=\"{}\"", values.empty() ? "" : ", ", u.key, u.valueText);
    const std::filesystem::path& pendingPath = gf_pendingParametersXmlPath();
    pugi::xml_document pending;
    pugi::xml_node root = pending.append_child(kRoot);
    pugi::xml_node section = root ? root.append_child(kParameters) : pugi::xml_node();
    if (section) {
        lf_writePendingValues(section);
        if (gf_saveXmlSafely(pending, pendingPath)) {
            // The earlier pending file is in the new one where it still counts.
            lf_removePendingLeftovers();
            g_pending = PendingFileState{lf_readPendingFile().identity, true};
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
    const PendingFile pending = lf_readPendingFile();
    if (pending.read.outcome != ReadOutcome::Parsed)
        return std::nullopt;
    // The same choice as the next load makes: a file that does not parse is
    // set aside there and holds nothing then.
    pugi::xml_document document;
    const ReadOutcome read = lf_readParametersFile(gf_parametersXmlPath(), document).outcome;
    const bool fileKnown = read != ReadOutcome::OpenFailed;
    const pugi::xml_node held = gf_xmlParametersSection(document);
    if (fileKnown && lf_isMarkedApplied(held, pending.identity))
        return std::nullopt;
    for (const PendingValue& v : pending.values)
        if (v.key == key) {
            if (fileKnown && v.saysReplaced && lf_heldIn(held, key) != v.replaces)
                return std::nullopt;
            return v.valueText;
        }
    return std::nullopt;
}
