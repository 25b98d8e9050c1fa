#include "liveries/livery_scan_driver.h"

#if defined(_WIN32)
#include <windows.h>
#endif

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>

#include <fmt/format.h>

#include "core/control_calls.h"
#if defined(_WIN32)
#include "core/explorer.h"
#endif
#include "core/files.h"
#include "core/gui_senders.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/stop_request.h"
#include "core/text.h"
#include "core/ui_sink.h"
#include "core/value_types.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/fnv_hash.h"
#include "liveries/livery_list_file.h"
#include "liveries/livery_scan_report_files.h"
#include "liveries/livery_scan_reports.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* c_programName = "Kelo";
constexpr uint32_t c_maxRank = 10;
// Folders at this length (UTF-8 bytes) or longer are not entered.
constexpr size_t c_maxFolderPathBytes = 250;
// Scenery and tool folders that hold aircraft.cfg files of no AI livery.
constexpr std::string_view c_skippedFolderWords[] = {"airport",    "lvfr",     "mkstudios", "simwings", "fsdreamteam",
                                                     "navigraph",  "flytampa", "inibuilds", "_CVT_"};

wchar_t lf_foldWide(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// Name order: ASCII letters folded, ties by the exact name.
bool lf_foldedLess(const std::wstring& x, const std::wstring& y)
{
    const auto folded = [](const std::wstring& p, const std::wstring& q) {
        return std::lexicographical_compare(p.begin(), p.end(), q.begin(), q.end(),
                                            [](wchar_t c, wchar_t d) { return lf_foldWide(c) < lf_foldWide(d); });
    };
    if (folded(x, y))
        return true;
    return !folded(y, x) && x < y;
}

bool lf_equalFolded(std::wstring_view text, std::wstring_view lower)
{
    return text.size() == lower.size() &&
           std::equal(text.begin(), text.end(), lower.begin(), [](wchar_t p, wchar_t q) { return lf_foldWide(p) == q; });
}

bool lf_hasSkippedWord(std::string_view path)
{
    return std::any_of(std::begin(c_skippedFolderWords), std::end(c_skippedFolderWords),
                       [path](std::string_view word) { return path.find(word) != std::string_view::npos; });
}

// One entry of a folder listing, with what the listing itself tells of it.
struct WalkEntry {
    std::wstring name;
    bool folder = false;
    bool linked = false; // a reparse point: a linked folder is not entered
};

// The entries of `folder` in name order, from one directory listing: the
// walk needs no file status query per entry. False when the listing could
// not start; a listing that fails later keeps what it had.
bool lf_listFolder(const fs::path& folder, std::vector<WalkEntry>& entries, std::error_code& ec)
{
    entries.clear();
#if defined(_WIN32)
    std::wstring pattern = folder.native();
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        ec.assign(static_cast<int>(GetLastError()), std::system_category());
        return false;
    }
    do {
        const std::wstring_view name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        entries.push_back({std::wstring(name), (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
    } while (FindNextFileW(find, &data));
    if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES)
        ec.assign(static_cast<int>(error), std::system_category());
    FindClose(find);
#else
    fs::directory_iterator it(folder, ec);
    if (ec)
        return false;
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::error_code status;
        entries.push_back({it->path().filename().wstring(), it->is_directory(status), it->is_symlink(status)});
    }
#endif
    std::sort(entries.begin(), entries.end(),
              [](const WalkEntry& a, const WalkEntry& b) { return lf_foldedLess(a.name, b.name); });
    return true;
}

// The recursive walk of one scanned folder, like a recursive directory
// iterator that does not follow linked folders, but in name order. The skip
// words are looked for below the scanned folder only: a user's own folder
// name above it (an "airports" drive folder, say) must not hide every livery.
class LiveryFolderWalk {
public:
    LiveryFolderWalk(const fs::path& root, const LiveryCfgVisitor& onCfgFile)
        : m_rootBytes(lf_pathUtf8(root).size()), m_onCfgFile(onCfgFile)
    {
    }

    bool walk(const fs::path& folder, std::error_code& ec)
    {
        std::vector<WalkEntry> entries;
        if (!lf_listFolder(folder, entries, ec))
            return false;
        for (const WalkEntry& entry : entries) {
            const fs::path path = folder / entry.name;
            if (entry.folder) {
                if (entry.linked)
                    continue;
                const std::string text = lf_pathUtf8(path);
                if (text.size() >= c_maxFolderPathBytes ||
                    lf_hasSkippedWord(std::string_view(text).substr(std::min(m_rootBytes, text.size()))))
                    continue;
                std::error_code later; // a folder that cannot be listed is passed over
                walk(path, later);
            } else if (lf_equalFolded(entry.name, L"aircraft.cfg")) {
                m_onCfgFile(path);
            }
        }
        return true;
    }

private:
    size_t m_rootBytes;
    const LiveryCfgVisitor& m_onCfgFile;
};

PackageOrderTable lf_buildPackageOrderTable()
{
    PackageOrderTable table;
    size_t row = 0;
    PackageOrder pick;
    // Every set of `size` packages in ascending combination order, each set's
    // orders in ascending lexicographic order.
    const std::function<void(size_t, uint8_t)> choose = [&](size_t size, uint8_t from) {
        if (pick.size() == size) {
            PackageOrder order = pick;
            do
                table.at(row++) = order;
            while (std::next_permutation(order.begin(), order.end()));
            return;
        }
        for (uint8_t p = from; p < 4; ++p) {
            pick.push_back(p);
            choose(size, static_cast<uint8_t>(p + 1));
            pick.pop_back();
        }
    };
    for (size_t size = 4; size >= 1; --size)
        choose(size, 0);
    return table;
}

// Offers the Community folder's entries to `take` in name order until it
// answers true; a listing failure is logged with `warning`.
template <class Take>
void lf_forCommunityEntries(const fs::path& community, std::string_view warning, Take take)
{
    std::error_code ec;
    std::vector<WalkEntry> entries;
    lf_listFolder(community, entries, ec);
    for (const WalkEntry& entry : entries)
        if (take(entry, community / entry.name))
            return;
    if (ec)
        gf_logLine(fmt::format(fmt::runtime(warning), lf_pathUtf8(community), ec.message()));
}

void lf_enableControl(const GuiControl& control, bool enabled)
{
    gf_changeControl([&control, enabled] {
        if (control.hasWindow())
            gf_enableControlWindow(control.window, enabled);
    });
}

bool lf_sameLivery(const LiveryRecord& a, const LiveryRecord& b)
{
    return a.title == b.title && a.ids.airline == b.ids.airline && a.ids.model == b.ids.model &&
           a.ids.oper == b.ids.oper && a.ids.cargo == b.ids.cargo && a.registration == b.registration;
}

struct LiveryKeyHash {
    size_t operator()(const AirlOprModel& k) const noexcept
    {
        const unsigned char bytes[] = {static_cast<unsigned char>(k.airline), static_cast<unsigned char>(k.airline >> 8),
                                       static_cast<unsigned char>(k.oper),    static_cast<unsigned char>(k.oper >> 8),
                                       static_cast<unsigned char>(k.model),   static_cast<unsigned char>(k.model >> 8),
                                       k.cargo};
        return static_cast<size_t>(gf_fnv1a(bytes, sizeof bytes));
    }
};

struct LiveryKeyEqual {
    bool operator()(const AirlOprModel& a, const AirlOprModel& b) const noexcept
    {
        return a.airline == b.airline && a.oper == b.oper && a.model == b.model && a.cargo == b.cargo;
    }
};

} // namespace

const PackageOrderTable& lf_packageOrderTable()
{
    static const PackageOrderTable table = lf_buildPackageOrderTable();
    return table;
}

std::string_view lf_packageLogName(uint32_t package)
{
    constexpr std::string_view names[] = {"AIG", "FSLTL", "JF", "IVAO_MTL"};
    return package < std::size(names) ? names[package] : "unknown";
}

bool lf_isAiPackageFolder(uint32_t package, std::string_view name)
{
    const auto has = [name](std::string_view part) { return name.find(part) != std::string_view::npos; };
    if (has("_CVT_"))
        return false;
    switch (package) {
    case 0:
        if (has("aig-aitraffic-oci-beta"))
            return gf_isMSFS2020();
        return has("aig-aitraffic-oci");
    case 1:
        return has("fsltl-traffic-base");
    case 2:
        return has("justflight-aircraft-traffic-fleet") || has("justflight-fstraffic-module");
    case 3:
        return has("IVAO_MTL");
    default:
        return false;
    }
}

void lf_findAiPackageFolders(const fs::path& community, const PackageOrder& order, LiveryFolderList& folders)
{
    std::array<fs::path, 4> slots;
    size_t filled = 0;
    const auto take = [&](const WalkEntry& e, const fs::path& path) {
        if (!e.folder) // linked package folders count
            return false;
        const std::string name = wide_to_utf8(e.name);
        for (uint8_t package : order) {
            if (slots.at(package).empty() && lf_isAiPackageFolder(package, name)) {
                slots[package] = path;
                ++filled;
                gf_logLine(fmt::format("Automatic {} scan found folder: '{}'", lf_packageLogName(package), name));
                break;
            }
        }
        return filled == order.size();
    };
    lf_forCommunityEntries(community, "Automatic AI package scan warning in '{}': {}", take);
    for (uint8_t package : order)
        if (!slots.at(package).empty())
            folders.push_back(slots[package]);
}

void lf_findUserAiTrafficFolder(const fs::path& community, LiveryFolderList& folders)
{
    lf_forCommunityEntries(community, "Automatic user-aitraffic scan warning in '{}': {}",
                           [&](const WalkEntry& e, const fs::path& path) {
                               const std::string name = wide_to_utf8(e.name);
                               if (name.find("user-aitraffic") == std::string::npos ||
                                   name.find("_CVT_") != std::string::npos)
                                   return false;
                               folders.push_back(path);
                               gf_logLine(fmt::format("Automatic user-aitraffic scan found folder: '{}'", name));
                               return true;
                           });
}

void lf_automaticLiveryFolders(const fs::path& community, LiveryFolderList& folders)
{
    const PackageOrderTable& table = lf_packageOrderTable();
    const std::optional<size_t> row = AI_PACKAGE_SELECTOR.indexOfValue();
    if (!row)
        throw std::runtime_error(fmt::format("{} not set", AI_PACKAGE_SELECTOR.name));
    lf_findAiPackageFolders(community, table.at(*row), folders);
    lf_findUserAiTrafficFolder(community, folders);
}

void lf_manualLiveryFolders(LiveryFolderList& folders)
{
    const StringParameter* settings[] = {&lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4,
                                         &lfolder5, &lfolder6, &lfolder7, &lfolder8, &lfolder9};
    for (const StringParameter* setting : settings) {
        if (setting->value.empty())
            continue;
        const fs::path folder = utf8_to_wide(setting->value);
        std::error_code ec;
        const fs::file_status status = fs::status(folder, ec);
        if (ec || !fs::exists(status)) {
            gf_logError(fmt::format("{}: '{}' does not exist", setting->name, setting->value));
            throw kvr::UserRelatedException(
                243, fmt::format("the path pointed to by parameter '{}' does not exist, see Log.txt!", setting->name));
        }
        folders.push_back(folder);
    }
}

bool lf_walkLiveryFolder(const fs::path& folder, const LiveryCfgVisitor& onCfgFile, std::error_code& ec)
{
    return LiveryFolderWalk(folder, onCfgFile).walk(folder, ec);
}

namespace {

// The aircraft.cfg files of one scanned folder, listed by a thread of their
// own while the scan reads and parses the files already listed, in the order
// the walk finds them.
class ListedCfgFiles {
public:
    explicit ListedCfgFiles(const fs::path& folder) : m_thread([this, folder] { list(folder); }) {}
    ~ListedCfgFiles()
    {
        m_cancelled = true;
        m_thread.join();
    }
    ListedCfgFiles(const ListedCfgFiles&) = delete;
    ListedCfgFiles& operator=(const ListedCfgFiles&) = delete;

    // The next file; none once the listing is over and every file handed out.
    std::optional<fs::path> next()
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return m_done || !m_paths.empty(); });
        if (m_paths.empty())
            return std::nullopt;
        std::optional<fs::path> path(std::move(m_paths.front()));
        m_paths.pop_front();
        return path;
    }
    // After the last file: false, with `ec`, when the listing of the folder
    // itself failed; an exception of the listing is thrown on.
    bool started(std::error_code& ec)
    {
        std::lock_guard lock(m_mutex);
        if (m_failure)
            std::rethrow_exception(m_failure);
        ec = m_ec;
        return m_started;
    }

private:
    struct Cancelled {};

    void list(const fs::path& folder)
    {
        std::error_code ec;
        bool started = true;
        std::exception_ptr failure;
        try {
            started = lf_walkLiveryFolder(
                folder,
                [this](const fs::path& path) {
                    if (m_cancelled)
                        throw Cancelled{};
                    std::lock_guard lock(m_mutex);
                    m_paths.push_back(path);
                    m_ready.notify_one();
                },
                ec);
        } catch (const Cancelled&) {
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(m_mutex);
        m_started = started;
        m_ec = ec;
        m_failure = failure;
        m_done = true;
        m_ready.notify_one();
    }

    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<fs::path> m_paths;
    bool m_done = false;
    bool m_started = true;
    std::error_code m_ec;
    std::exception_ptr m_failure;
    std::atomic<bool> m_cancelled{false};
    std::thread m_thread; // last: the listing starts once the rest exists
};

} // namespace

void lf_scanLiveryFolder(uint32_t rank, const fs::path& folder)
{
    ListedCfgFiles listed(folder);
    CfgLines lines; // one buffer for the walk: no thread-local object outlives it
    while (const std::optional<fs::path> path = listed.next()) {
        const std::string text = lf_pathUtf8(*path);
        const bool ivao = text.find("ivao_x-csl") != std::string::npos || text.find("IVAO_MTL") != std::string::npos;
        try {
            std::vector<LiveryRecord> records =
                ivao ? lf_searchLiveriesinIVAOFile(rank, *path) : lf_searchLiveriesinFile(rank, *path, lines);
            LiveryScanResult.insert(LiveryScanResult.end(), std::make_move_iterator(records.begin()),
                                    std::make_move_iterator(records.end()));
        } catch (const std::exception&) {
            // The reader logged it; this file's liveries are lost, the walk goes on.
        }
    }
    std::error_code ec;
    if (!listed.started(ec))
        gf_logError(
            fmt::format("Could not start liveries search in {}, cause: {}", lf_pathUtf8(folder), ec.message()));
}

size_t lf_prioritizeLiveries()
{
    std::unordered_map<AirlOprModel, int16_t, LiveryKeyHash, LiveryKeyEqual> lowest;
    lowest.reserve(LiveryScanResult.size());
    for (const LiveryRecord& r : LiveryScanResult) {
        const auto [it, added] = lowest.try_emplace(r.ids, r.packageRank);
        if (!added)
            it->second = std::min(it->second, r.packageRank);
    }
    return std::erase_if(LiveryScanResult,
                         [&lowest](const LiveryRecord& r) { return r.packageRank > lowest.find(r.ids)->second; });
}

int lf_scanLiveryFolders(const LiveryFolderList& folders, bool prioritise)
{
    LiveryScanResult.clear();
    LiveryScanResult.reserve(30000);
    gf_removeFilesFromDirectory(g_outputInfoFolder);
    gf_removeFilesFromDirectory(g_outputErrorsFolder);
    lf_collectDontUseLiveries();

    uint32_t rank = 0;
    for (const fs::path& folder : folders) {
        if (folder.empty())
            continue;
        const std::string text = lf_pathUtf8(folder);
        std::error_code ec;
        const fs::file_status status = fs::status(folder, ec);
        if (ec || !fs::exists(status)) {
            gf_logLine(text + " does not exist, skipped!");
            continue;
        }
        if (!fs::is_directory(status)) {
            gf_logLine(text + " is not a folder name, skipped!");
            continue;
        }
        rank = std::min(rank + 1, c_maxRank);
        if (!gf_keepRunning())
            return LiveryScanStopped;
        const size_t before = LiveryScanResult.size();
        lf_scanLiveryFolder(rank, folder);
        const size_t added = LiveryScanResult.size() - before;
        const std::string where = fmt::format("found in {}", text);
        if (added == 0)
            gf_logLine(fmt::format("No liveries {}", where));
        else
            gf_logLine(fmt::format("{:5} liverie{} {}", added, gf_pluralSuffix(static_cast<int64_t>(added)), where));
    }
    if (!gf_keepRunning())
        return LiveryScanStopped;
    if (LiveryScanResult.empty())
        return LiveryScanNothingFound;

    if (folders.size() > 1) {
        if (prioritise) {
            gf_logLine("\nPrioritizing the scanned liveries ...");
            const size_t removed = lf_prioritizeLiveries();
            gf_logLine(fmt::format("{:5} same airl+model liverie{} removed because from lower ai-package", removed,
                                   gf_pluralSuffix(static_cast<int64_t>(removed))));
        }
        gf_logLine(fmt::format("{:5} in total", LiveryScanResult.size()));
    }
    std::sort(LiveryScanResult.begin(), LiveryScanResult.end());
    const auto last = std::unique(LiveryScanResult.begin(), LiveryScanResult.end(), lf_sameLivery);
    const auto duplicates = static_cast<size_t>(LiveryScanResult.end() - last);
    LiveryScanResult.erase(last, LiveryScanResult.end());
    if (duplicates > 0)
        gf_logError(fmt::format("{} duplicates removed ?", duplicates));

    lf_writeLiveryScanReports();
    gf_flushLog();
    if (!gf_writeScannedLiveries())
        return LiveryScanNotCommitted;
    gf_flushLog();
    return LiveryScanDone;
}

int lf_runLiveryScan(const LiveryFolderList& folders, bool prioritise, bool automatic)
{
    const int result = lf_scanLiveryFolders(folders, prioritise);
    if (result == LiveryScanDone) {
        gf_postGuiUpdate(GuiUpdate::LiveryCount{LiveryScanResult.size()});
        gf_repaintStatusPanel();
        return result;
    }
    if (result == LiveryScanNothingFound) {
        if (!automatic)
            throw kvr::UserRelatedException(554, "no liveries found");
        throw kvr::UserRelatedException(553, "Automatic scan has not found any liveries in your packages, choose a "
                                             "different selection, or go to Manual mode");
    }
    return result;
}

void gf_scanLiveries()
{
    UsedLiveryTitles.reserve(30000);
    DontUseLiveryTitles.reserve(5000);
    struct EndOfScan {
        ~EndOfScan() { lf_endLiveryScan(); }
    } endOfScan;
    try {
        const auto params = gf_parametersSnapshot();
        const bool prioritise = params->LIG_PRIORITIZE;
        const bool automatic = params->LIG_AUTOMATIC;
        lf_enableControl(AI_PACKAGE_SELECTOR, false);
        lf_enableControl(SKIP_LIVERIES_SCAN, false);
        gf_showMessage("Scanning for liveries ...", false);
        gf_logLineFlush(fmt::format(
            "\n++++++++++++++++++++++++ liveries scan {} starts ++++++++++++++++++++++++++++++++",
            automatic ? "automatic" : "manual"));

        LiveryFolderList folders;
        folders.reserve(10);
        if (automatic) {
            if (const std::optional<fs::path> community = gf_checkInstallPath(L"Community"))
                lf_automaticLiveryFolders(*community, folders);
        } else {
            lf_manualLiveryFolders(folders);
        }
        if (folders.empty()) {
            if (!automatic) {
#if defined(_WIN32) // the native test build has no Explorer
                gf_openParametersFolder();
#endif
                throw kvr::UserRelatedException(
                    48, fmt::format("Exit {} first!   Then set one or more lfolder parameters to your liveries",
                                    c_programName));
            }
            throw kvr::UserRelatedException(148, "Automatic scan has not found any AI packages, choose a different "
                                                 "selection, or switch to Manual mode");
        }

        const int result = lf_runLiveryScan(folders, prioritise, automatic);
        lf_enableControl(SKIP_LIVERIES_SCAN, true);
        if (result == LiveryScanStopped) {
            gf_logLine("Liveries scan cancelled");
            return;
        }
        if (result == LiveryScanNotCommitted)
            throw std::runtime_error(
                fmt::format("the new {} could not be committed safely", lf_pathUtf8(gf_liveriesScannedPath())));
    } catch (const std::exception& e) {
        gf_logError(fmt::format("Liveries scan failed: {}", e.what()));
        throw;
    }
}
