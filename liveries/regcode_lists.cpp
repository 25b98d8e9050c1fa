#include "liveries/regcode_lists.h"

#include <algorithm>
#include <map>
#include <system_error>

#include <fmt/format.h>

#include "core/data_file_header.h"
#include "core/encrypted_file.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/text.h"
#include "liveries/livery_list_file.h"
#include "liveries/livery_matching_tables.h"
#include "liveries/model_texts.h"

namespace fs = std::filesystem;

std::unordered_map<std::string, std::string_view, Fnv1aHash, std::equal_to<>> RegcodeLiveries;
std::unordered_map<std::string_view, std::string, Fnv1aHash> LiveryRegcodes;
std::unordered_set<std::string_view, Fnv1aHash> SpecialLiveryTitles;
std::set<std::string, std::less<>> UniqueRegcodes;
std::vector<std::string> OfflineRegcodeReport;

namespace {

std::string lf_utf8(const fs::path& path)
{
    return wide_to_utf8(path.wstring());
}

// The canonical view of a scanned livery's title; empty when it is none.
std::string_view lf_scannedTitle(std::string_view title)
{
    const auto it = LiveryTitles.find(title);
    return it == LiveryTitles.end() ? std::string_view() : it->second;
}

// The valid codes of a split code list; an error for each invalid one.
std::vector<std::string> lf_validCodes(std::string_view list, const std::string& title, bool aig,
                                       const std::string& prefix, std::vector<std::string>& errors)
{
    std::vector<std::string> valid;
    for (std::string& code : gf_splitSortedUnique(list)) {
        if (gf_isValidRegcode(code))
            valid.push_back(std::move(code));
        else if (aig)
            errors.push_back(fmt::format("invalid registration code '{}' for AIG title '{}'", code, title));
        else
            errors.push_back(fmt::format("{}invalid registration code '{}' for title '{}'", prefix, code, title));
    }
    return valid;
}

// Makes sure output\errors exists (a failure throws) and writes the lines.
void lf_writeErrorReport(const std::vector<std::string>& lines, const fs::path& path)
{
    fs::create_directories(g_outputErrorsFolder);
    if (!gf_writeLines(lines, path))
        gf_logError(fmt::format("Could not write '{}'", lf_utf8(path)));
}

void lf_logErrors(const std::vector<std::string>& errors)
{
    for (const std::string& error : errors)
        gf_logError(error);
}

size_t lf_insertDontUseTitles(const RegcodeLoadResult& result, std::unordered_set<std::string>& dontUse)
{
    lf_logErrors(result.errors);
    size_t added = 0;
    for (const RegcodeRecord& record : result.records)
        if (record.codes.empty() && dontUse.insert(record.title).second)
            ++added;
    return added;
}

} // namespace

bool gf_isValidRegcode(std::string_view code)
{
    if (code.size() < 3 || code.size() > 12)
        return false;
    return std::all_of(code.begin(), code.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    });
}

std::string lf_regcodeErrorPrefix(std::string_view source, size_t line)
{
    if (!source.empty() && line != 0)
        return fmt::format("{} line {}: ", source, line);
    if (!source.empty())
        return fmt::format("{}: ", source);
    if (line != 0)
        return fmt::format("line {}: ", line);
    return {};
}

RegcodeLoadResult gf_parseAigRegcodes(const pugi::xml_document& document)
{
    RegcodeLoadResult result;
    const pugi::xml_node root = document.child("root");
    if (!root) {
        result.errors.emplace_back("missing <root> element");
        return result;
    }
    const pugi::xml_node aig = root.child("aig");
    if (!aig) {
        result.errors.emplace_back("missing <aig> element");
        return result;
    }
    std::unordered_set<std::string, Fnv1aHash, std::equal_to<>> seen;
    size_t number = 0;
    for (pugi::xml_node l : aig.children("l")) {
        ++number;
        const std::string title = l.attribute("t").as_string();
        if (title.empty()) {
            result.errors.push_back(fmt::format("AIG XML record {} has no title", number));
            continue;
        }
        if (!seen.insert(title).second) {
            result.errors.push_back(fmt::format("duplicate AIG title '{}'", title));
            continue;
        }
        const std::string_view list = l.attribute("r").as_string();
        RegcodeRecord record{title, lf_validCodes(list, title, true, {}, result.errors), false};
        if (!list.empty() && record.codes.empty())
            continue;
        const char s = l.attribute("s").as_string()[0];
        record.special = s == '1' || s == 't' || s == 'T' || s == 'y' || s == 'Y';
        result.records.push_back(std::move(record));
    }
    return result;
}

RegcodeLoadResult gf_loadAigRegcodeFile(const fs::path& path)
{
    RegcodeLoadResult result;
    const std::string pathText = lf_utf8(path);
    DecryptResult decrypted = gf_decryptFile(path, g_aigRegcodesPlainLimit);
    if (!decrypted.ok) {
        result.errors.push_back(decrypted.error());
        return result;
    }
    pugi::xml_document document;
    const SecureBuffer& buffer = decrypted.buffer();
    const pugi::xml_parse_result parsed = document.load_buffer(buffer.data, buffer.used);
    if (!parsed) {
        result.errors.push_back(fmt::format("'{}' not loaded: {}", pathText, parsed.description()));
        return result;
    }
    if (!gf_readDataFileHeader(document, false).ok) {
        result.errors.push_back(fmt::format("'{}' has invalid metadata", pathText));
        return result;
    }
    result = gf_parseAigRegcodes(document);
    size_t codes = 0;
    for (const RegcodeRecord& record : result.records)
        codes += record.codes.size();
    gf_logLine(fmt::format("{:5} livery title{} with {} regcode{}, read from {}", result.records.size(),
                           gf_pluralSuffix(static_cast<int64_t>(result.records.size())), codes,
                           gf_pluralSuffix(static_cast<int64_t>(codes)), pathText));
    return result;
}

RegcodeLoadResult gf_parseRegcodeLines(const std::vector<std::string>& lines, std::string_view source)
{
    RegcodeLoadResult result;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string prefix = lf_regcodeErrorPrefix(source, i + 1);
        const std::vector<std::string> fields = gf_split(lines[i], ';');
        if (fields.empty())
            continue;
        if (fields.size() > 3) {
            result.errors.push_back(
                fmt::format("{}expected at most 3 semicolon-separated fields: '{}'", prefix, lines[i]));
            continue;
        }
        RegcodeRecord record{fields[0], {}, false};
        if (fields.size() >= 2) {
            record.codes = lf_validCodes(fields[1], record.title, false, prefix, result.errors);
            if (record.codes.empty())
                continue;
            record.special = record.codes.size() == 1;
            if (fields.size() == 3) {
                if (fields[2] == "#")
                    record.special = true;
                else
                    result.errors.push_back(fmt::format("{}invalid special marker '{}' for title '{}'", prefix,
                                                        fields[2], record.title));
            }
        }
        result.records.push_back(std::move(record));
    }
    return result;
}

RegcodeLoadResult gf_loadRegcodeFolder(const fs::path& folder)
{
    RegcodeLoadResult result;
    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    if (ec) {
        result.errors.push_back(fmt::format("could not inspect '{}': {}", lf_utf8(folder), ec.message()));
        return result;
    }
    if (!fs::is_directory(status)) {
        result.errors.push_back(fmt::format("'{}' is not a directory", lf_utf8(folder)));
        return result;
    }
    std::vector<fs::path> files;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code entryEc;
        const bool regular = it->is_regular_file(entryEc);
        if (entryEc) {
            result.errors.push_back(fmt::format("could not inspect '{}': {}", lf_utf8(it->path()), entryEc.message()));
            continue;
        }
        std::wstring extension = it->path().extension().wstring();
        std::transform(extension.begin(), extension.end(), extension.begin(), ::towlower);
        if (regular && extension == L".txt")
            files.push_back(it->path());
    }
    if (ec)
        result.errors.push_back(fmt::format("could not enumerate '{}': {}", lf_utf8(folder), ec.message()));
    std::sort(files.begin(), files.end());

    for (const fs::path& file : files) {
        const std::string fileText = lf_utf8(file);
        gf_logLine(fmt::format("Processing '{}'", fileText));
        LineFileReader reader{fileText, {}};
        const LineFileReader::Result read = reader.readAll(1024);
        if (!read.ok) {
            result.errors.push_back(fmt::format("could not read '{}': {}", fileText, read.error));
            continue;
        }
        RegcodeLoadResult one = gf_parseRegcodeLines(reader.lines, fileText);
        std::move(one.records.begin(), one.records.end(), std::back_inserter(result.records));
        std::move(one.errors.begin(), one.errors.end(), std::back_inserter(result.errors));
    }
    return result;
}

std::vector<std::string> gf_missingCustomRepaintLines(const std::vector<RegcodeRecord>& records,
                                                      const std::vector<std::string_view>& scannedTitles)
{
    const std::unordered_set<std::string_view, Fnv1aHash> scanned(scannedTitles.begin(), scannedTitles.end());
    std::map<std::string, std::set<std::string>> missing;
    for (const RegcodeRecord& record : records)
        if (!record.codes.empty() && !scanned.contains(record.title))
            missing[record.title].insert(record.codes.begin(), record.codes.end());
    std::vector<std::string> lines;
    lines.reserve(missing.size());
    for (const auto& [title, codes] : missing)
        lines.push_back(fmt::format("{}; {}", title, fmt::join(codes, ", ")));
    return lines;
}

void lf_processInlineRegcodes()
{
    std::vector<std::string> clashes;
    for (const LiveryRecord& livery : ScannedLiveryList) {
        if (livery.registration.empty())
            continue;
        const std::string_view title = lf_scannedTitle(livery.title);
        if (title.empty()) {
            clashes.push_back(fmt::format("==> [{}] {} '{}' not available, system error, should not happen?",
                                          lf_formatAirlOprModelText(livery.ids), livery.registration, livery.title));
            continue;
        }
        const auto [byCode, codeNew] = RegcodeLiveries.try_emplace(livery.registration, title);
        if (!codeNew && byCode->second != title)
            clashes.push_back(
                fmt::format("{} '{}' => already in use by '{}'", livery.registration, title, byCode->second));
        const auto [byTitle, titleNew] = LiveryRegcodes.try_emplace(title, livery.registration);
        if (!titleNew && byTitle->second != livery.registration)
            clashes.push_back(
                fmt::format("{} '{}' => already in use by '{}'", title, livery.registration, byTitle->second));
    }
    if (clashes.empty())
        return;
    const fs::path path = g_outputErrorsFolder / L"InlineRegcodes.txt";
    lf_writeErrorReport(clashes, path);
    gf_logLine(fmt::format("{:5} in-line regcode clashes, see '{}'", clashes.size(), lf_utf8(path)));
}

void lf_mergeRegcodeRecords(const RegcodeLoadResult& result)
{
    size_t added = 0, replaced = 0, special = 0;
    for (const RegcodeRecord& record : result.records) {
        const std::string_view title = lf_scannedTitle(record.title);
        if (title.empty())
            continue;
        for (const std::string& code : record.codes) {
            const auto [it, inserted] = RegcodeLiveries.try_emplace(code, title);
            if (inserted) {
                ++added;
            } else if (it->second != title) {
                OfflineRegcodeReport.push_back(
                    fmt::format("   regcode {} for '{}', instead of the same for '{}'", code, title, it->second));
                it->second = title;
                ++replaced;
            }
            if (record.special && record.codes.size() == 1)
                UniqueRegcodes.insert(code);
        }
        if (record.special) {
            SpecialLiveryTitles.insert(title);
            ++special;
        }
    }
    std::string summary = fmt::format("{} new regcode{} added", added, gf_pluralSuffix(static_cast<int64_t>(added)));
    if (replaced > 0)
        summary += fmt::format(", {} regcode{} replaced", replaced, replaced > 1 ? "s" : "");
    if (special > 0)
        summary += fmt::format(", {} regcode{} defined as special", special, special > 1 ? "s" : "");
    OfflineRegcodeReport.push_back(std::move(summary));
}

void lf_processAigRegcodeFile(const fs::path& path)
{
    const std::string line = fmt::format("Processing '{}'", lf_utf8(path));
    gf_logLine(line);
    OfflineRegcodeReport.push_back(line);
    const RegcodeLoadResult result = gf_loadAigRegcodeFile(path);
    lf_logErrors(result.errors);
    if (!result.errors.empty())
        OfflineRegcodeReport.push_back(
            fmt::format("There were errors processing the AIG-regcode file '{}', see Log.txt", lf_utf8(path)));
    lf_mergeRegcodeRecords(result);
}

void lf_processRegcodeFolder()
{
    const fs::path missingPath = g_outputErrorsFolder / L"MissingCustomRepaints.txt";
    std::error_code ec;
    fs::remove(missingPath, ec);
    if (!fs::exists(g_myRegcodesFolder, ec))
        return;
    const std::string folderText = lf_utf8(g_myRegcodesFolder);
    OfflineRegcodeReport.push_back(fmt::format("Processing files in {}", folderText));
    const RegcodeLoadResult result = gf_loadRegcodeFolder(g_myRegcodesFolder);
    lf_logErrors(result.errors);
    if (!result.errors.empty())
        gf_logLine(fmt::format("There were errors processing the regcode files in folder '{}', see Log.txt",
                               folderText));

    std::vector<std::string_view> scanned;
    scanned.reserve(LiveryTitles.size());
    for (const auto& entry : LiveryTitles)
        scanned.push_back(entry.first);
    const std::vector<std::string> lines = gf_missingCustomRepaintLines(result.records, scanned);
    if (!lines.empty()) {
        fs::create_directories(g_outputErrorsFolder);
        if (gf_writeLines(lines, missingPath))
            gf_logLine(fmt::format("{:5} custom repaint title{} not found in scanned liveries, see '{}'",
                                   lines.size(), gf_pluralSuffix(static_cast<int64_t>(lines.size())),
                                   lf_utf8(missingPath)));
        else
            gf_logError(fmt::format("Could not write '{}'", lf_utf8(missingPath)));
    }
    lf_mergeRegcodeRecords(result);
}

void lf_processOfflineRegcodes()
{
    try {
        OfflineRegcodeReport.clear();
        SpecialLiveryTitles.clear();
        UniqueRegcodes.clear();
        const fs::path aigPath = g_aigRegcodesEncPath;
        if (!fs::exists(aigPath)) {
            gf_logError(fmt::format("{} not available", lf_utf8(aigPath)));
            return;
        }
        gf_logLine("\n******* Offline regcodes ******");
        lf_processAigRegcodeFile(aigPath);
        lf_processRegcodeFolder();

        const fs::path reportPath = g_outputInfoFolder / L"OfflineRegcodes.txt";
        std::error_code ec;
        fs::remove(reportPath, ec);
        if (!OfflineRegcodeReport.empty()) {
            fs::create_directories(g_outputInfoFolder, ec);
            if (!gf_writeLines(OfflineRegcodeReport, reportPath))
                gf_logError(fmt::format("Could not write '{}'", lf_utf8(reportPath)));
            gf_logLine(fmt::format("****** Offline regcode files processed, results can be found in '{}' ******\n",
                                   lf_utf8(reportPath)));
            if (!SpecialLiveryTitles.empty())
                gf_logLine(fmt::format("{:5} special liveries", SpecialLiveryTitles.size()));
            if (!UniqueRegcodes.empty())
                gf_logLine(fmt::format("{:5} unique liveries", UniqueRegcodes.size()));
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("exception in lf_processOfflineRegcodes: {}", e.what()));
    } catch (...) {
        gf_logError("unknown exception in lf_processOfflineRegcodes");
    }
}

size_t gf_readDontUseTitles(const fs::path& path, std::unordered_set<std::string>& dontUse)
{
    const size_t added = lf_insertDontUseTitles(gf_loadAigRegcodeFile(path), dontUse);
    gf_logLine(fmt::format("{:5} don't use title{} read", added, gf_pluralSuffix(static_cast<int64_t>(added))));
    return added;
}

size_t gf_readDontUseTitlesInFolder(std::unordered_set<std::string>& dontUse)
{
    const size_t added = lf_insertDontUseTitles(gf_loadRegcodeFolder(g_myRegcodesFolder), dontUse);
    gf_logLine(fmt::format("{:5} don't use title{} read from files in {}", added,
                           gf_pluralSuffix(static_cast<int64_t>(added)), lf_utf8(g_myRegcodesFolder)));
    return added;
}
