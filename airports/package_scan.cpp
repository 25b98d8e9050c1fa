#include "airports/package_scan.h"

#include <algorithm>
#include <array>
#include <cwctype>
#include <set>

#include <fmt/format.h>

#include "airports/airport_database.h"
#include "airports/airport_file_format.h"
#include "airports/airport_file_store.h"
#include "airports/bgl_reader.h"
#include "airports/publisher_lists.h"
#include "core/files.h"
#include "core/gui_senders.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/stop_request.h"
#include "core/text.h"
#include "airports/weekly_traffic_airports.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view ERROR_MARK = "===> ";

constexpr std::array<std::string_view, 40> STREAMED_SKIP_LIST{
    "fs20-", "-landingchallenge-", "-cabin-services", "-credits-override", "-devmode-streamed", "-livingworld",
    "-fa18e-character", "-jetways", "-material-lib", "-palettelib", "-procedural-hangar-", "-eventtriggers",
    "-event-rescuechallenge", "-discovery-", "-challenges-", "-aircraft-", "-ships-", "-certification-",
    "-training-", "-activities-", "-passiveaircraft-", "-trainings-", "-fs-base-", "-runway-lights",
    "-travelbook-", "-simobjects-", "-airrace-", "-procedural-", "-palette-", "-spotlight-", "-modellib-",
    "-texturelib", "-textlib", "-scenery-", "-surface-", "-vfx-", "-coverage-", "-point-of-interest",
    "-proceduralgeneration", "-simattachmentlib-"};

constexpr std::array<std::string_view, 14> SKIPPED_PACKAGES{
    "fs-base", "tutorials", "aircraft", "bushtrip", "discovery", "point-of-interest", "simobjects",
    "vcockpits", "aig-aitraffic", "justflight-aircraft", "fsltl", "gsx-pro", "gsx-world", "landingchallenge"};

constexpr std::array<std::string_view, 7> SKIPPED_BGLS{
    "statics", "afcad updates", "_heliports", "duijffmedia-eham-remove", "immersivelights", "immersive-",
    "bksq-scenery-"};

bool noFacilityData(const IcaoCode&, ScannedAirport&, int&)
{
    return false;
}

void noFacilityReaderToClose() {}

FacilityStandsReader g_simulatorReader = &noFacilityData;
void (*g_closeSimulatorReader)() = &noFacilityReaderToClose;
FacilityStandsReader g_facilityReader = &noFacilityData;

template <size_t N>
bool containsAny(std::string_view text, const std::array<std::string_view, N>& needles)
{
    return std::any_of(needles.begin(), needles.end(),
                       [&](std::string_view n) { return text.find(n) != std::string_view::npos; });
}

std::string lowerAscii(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

void addError(std::string text)
{
    gf_addScanLogLine(std::string(ERROR_MARK) + " " + text);
}

void sendSimaddonCount()
{
    gf_setSimaddonAirportCount(gf_countFilesWithExtension(g_mySimaddonFolder, L".xml"));
}

void sendThirdpartyCount()
{
    gf_postGuiUpdate(GuiUpdate::ThirdpAirports{gf_countFilesWithExtension(g_myThirdpartyFolder, L".xml")});
}

// Writes through a temporary file beside the target.
void writeLinkFile(const fs::path& folder, const IcaoCode& icao, const std::string& target)
{
    fs::create_directories(folder);
    const fs::path path = folder / gf_airportTxtName(icao);
    fs::path temp = path;
    temp += L".scan_tmp";
    TempFileGuard guard(temp);
    if (!gf_writeTextFile(target, temp, true))
        throw std::runtime_error(fmt::format("could not write {}", gf_pathText(temp)));
    fs::rename(temp, path);
    guard.armed = false;
}

// The scan's handling of the airports of a BGL file.
class ScanBglHandler final : public BglAirportHandler {
public:
    bool coveredWithoutStands(ScannedAirport& airport) override
    {
        airport.manifest = gf_searchManifest(airport.bglFile);
        airport.manifestSearched = true;
        if (lf_linkAddonAirport(airport)) {
            sendSimaddonCount();
            sendThirdpartyCount();
            return true;
        }
        return airport.manifest && !lf_hasUsableManifestPublisher(*airport.manifest);
    }
    void airportRead(ScannedAirport& airport, int helipads) override
    {
        lf_writeGeneratedAirportFile(airport, helipads);
        sendThirdpartyCount();
    }
};

// The part of a path text below the scanned root. The skip words are looked
// for there only: an install folder named "Aircraft Sims", say, must not hide
// every add-on airport.
std::string_view belowRoot(std::string_view text, std::string_view rootText)
{
    return text.starts_with(rootText) ? text.substr(rootText.size()) : text;
}

std::string upperKey(const fs::path& path)
{
    std::wstring text = path.wstring();
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return wide_to_utf8(text);
}

} // namespace

FacilityStandsReader gf_setFacilityStandsReader(FacilityStandsReader reader)
{
    const FacilityStandsReader previous = g_facilityReader;
    g_facilityReader = reader ? reader : g_simulatorReader;
    return previous;
}

void gf_registerSimulatorFacilityReader(FacilityStandsReader reader, void (*close)())
{
    const bool current = g_facilityReader == g_simulatorReader;
    g_simulatorReader = reader ? reader : &noFacilityData;
    g_closeSimulatorReader = close ? close : &noFacilityReaderToClose;
    if (current)
        g_facilityReader = g_simulatorReader;
}

void gf_closeSimulatorFacilityReader()
{
    g_closeSimulatorReader();
}

std::optional<IcaoCode> gf_icaoFromPath(std::string_view text, const IcaoTest& first, const IcaoTest& second)
{
    const auto alnum = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); };
    const auto passes = [](const IcaoTest& test, const IcaoCode& code) {
        if (!test)
            return true;
        try {
            return test(code);
        }
        catch (...) {
            return false;
        }
    };
    size_t i = 0;
    while (i < text.size()) {
        if (!alnum(text[i])) {
            ++i;
            continue;
        }
        const size_t start = i;
        while (i < text.size() && alnum(text[i]))
            ++i;
        if (i - start != 4)
            continue;
        const std::optional<IcaoCode> code = IcaoCode::tryParse(text.substr(start, 4));
        if (!code || code->toString() == "FS24")
            continue;
        if (passes(first, *code) && passes(second, *code))
            return code;
    }
    return std::nullopt;
}

const fs::path& gf_airportsScanLogPath()
{
    static const fs::path path = g_outputInfoFolder / L"AirportsScanLog.txt";
    return path;
}

void lf_writeScanLogFile()
{
    std::error_code ec;
    fs::create_directories(gf_airportsScanLogPath().parent_path(), ec);
    gf_writeLines(ScanLogLines, gf_airportsScanLogPath());
}

bool lf_isScannableAirport(const IcaoCode& icao)
{
    return gf_airportDbLookup(icao).has_value() && gf_isWeeklyTrafficAirport(icao.code);
}

bool lf_isSkippedPackage(const fs::path& folder, const fs::path& root)
{
    return folder.native().size() >= 250 ||
           containsAny(lowerAscii(std::string(belowRoot(gf_pathText(folder), gf_pathText(root)))), SKIPPED_PACKAGES);
}

std::optional<std::string> lf_checkSimaddonArchive(const IcaoCode& icao)
{
    if (gf_isSimaddonArchiveAirport(icao))
        return fmt::format("archive/simaddon/{}.enc", icao);
    gf_addScanLogLine(fmt::format("{} does not exist as simaddon", icao));
    return std::nullopt;
}

std::optional<std::string> lf_checkThirdpartyArchive(ScannedAirport& airport)
{
    std::string folder = "archive/thirdparty/";
    for (const char c : airport.publisher)
        folder += c == ' ' ? std::string("%20") : std::string(1, c);
    folder += '/';
    const std::string version = airport.manifest ? airport.manifest->package_version : std::string();
    const ThirdpartyArchiveMatch match = gf_findThirdpartyArchiveEntry(airport.publisher, airport.icao, version);
    const auto warn = [](std::string text) {
        gf_addScanLogLine(text);
        gf_showMessage(std::move(text), true);
    };
    switch (match.status) {
    case 1:
        return folder + match.entry + ".enc";
    case 2:
        warn(fmt::format("Warning: {} {} version {} is used; higher version {} is present in the archive",
                         airport.publisher, airport.icao, version, match.higherVersion));
        return folder + match.entry + ".enc";
    case 3:
        warn(fmt::format("Warning: {} {} version {} is not in the archive; higher version {} is present. The "
                         "airport is sent to TBLO",
                         airport.publisher, airport.icao, version, match.higherVersion));
        break;
    default:
        break;
    }
    gf_addScanLogLine(fmt::format("thirdparty {} {}{} does not exist", airport.publisher, airport.icao,
                                  version.empty() ? std::string() : fmt::format(" version {}", version)));
    return std::nullopt;
}

bool lf_linkAddonAirport(ScannedAirport& airport)
{
    if (airport.publisher.empty() && !lf_detectPublisher(airport))
        return false;
    if (airport.publisher == "simaddon") {
        const std::optional<std::string> target = lf_checkSimaddonArchive(airport.icao);
        if (!target)
            return false;
        writeLinkFile(g_mySimaddonFolder, airport.icao, *target);
        gf_addScanLogLine(fmt::format("{} airport {} linked to {}\n", "simaddon", airport.icao, *target));
        return true;
    }
    const std::optional<std::string> target = lf_checkThirdpartyArchive(airport);
    if (!target)
        return false;
    writeLinkFile(g_myThirdpartyFolder, airport.icao, *target);
    gf_addScanLogLine(fmt::format("thirdparty airport {} linked to {}\n", airport.icao, *target));
    return true;
}

void lf_writeGeneratedAirportFile(ScannedAirport& airport, int helipads)
{
    const fs::path& folder = airport.publisher == "simaddon" ? g_mySimaddonFolder : g_myThirdpartyFolder;
    const fs::path name = gf_airportXmlName(airport.icao);
    const auto count = static_cast<int64_t>(airport.stands.size());
    gf_addScanLogLine(fmt::format("Generated {}: {} position{}{}", gf_pathText(name), count, gf_pluralSuffix(count),
                                  helipads > 0 ? fmt::format(" of which {} helipad{}", helipads, helipads > 1 ? "s" : "")
                                               : std::string()));
    std::sort(airport.stands.begin(), airport.stands.end(),
              [](const Stand& a, const Stand& b) { return a.name < b.name; });
    if (!fs::exists(folder))
        fs::create_directory(folder);
    const fs::path path = folder / name;
    if (!gf_writeApf(airport, path, ApfWriteMode::Generated, g_modeSettings.load()->sim, false, std::nullopt))
        gf_addScanLogLine(fmt::format("{}Writing {} did not succeed", ERROR_MARK, gf_pathText(path)));
}

void lf_facilitiesForAirport(ScannedAirport& airport)
{
    if (lf_linkAddonAirport(airport))
        return;
    int helipads = 0;
    if (g_facilityReader(airport.icao, airport, helipads)) {
        lf_writeGeneratedAirportFile(airport, helipads);
        return;
    }
    const std::string line =
        fmt::format("Reading Facilities data for {} via SimConnect failed, is MSFS connected?", airport.icao);
    gf_logLine(line);
    gf_addScanLogLine(line);
    lf_writeScanLogFile();
}

void lf_scanRoot(const fs::path& root)
{
    const std::string rootText = gf_pathText(root);
    gf_logLine(fmt::format("\nScan: {}", rootText));
    gf_addScanLogLine(fmt::format("\nScan: {}", rootText));
    const std::optional<fs::path> official2024 = gf_checkInstallPath(L"Official2024");
    std::error_code ec;
    fs::directory_iterator it(root, ec);
    if (ec) {
        gf_logLine(fmt::format("Could not start directory scan in '{}': {}", rootText, ec.message()));
        addError(fmt::format("could not start directory scan in '{}': {}", rootText, ec.message()));
    }
    uint64_t stockAirports = 0;
    for (const fs::directory_iterator end; !ec && it != end;) {
        const fs::path folder = it->path();
        const std::string folderText = gf_pathText(folder);
        std::error_code statusEc;
        const bool isDirectory = it->is_directory(statusEc);
        if (statusEc) {
            gf_logLine(fmt::format("Could not test directory '{}': {}", folderText, statusEc.message()));
            addError(fmt::format("could not test directory '{}': {}", folderText, statusEc.message()));
        }
        else if (isDirectory && !containsAny(belowRoot(folderText, rootText), STREAMED_SKIP_LIST)) {
            if (!gf_keepRunning()) {
                lf_writeScanLogFile();
                return;
            }
            const bool stock = folderText.find("asobo-airport") != std::string::npos ||
                               folderText.find("microsoft-airport") != std::string::npos ||
                               folderText.find("microsoft-eddk") != std::string::npos;
            if (const std::optional<IcaoCode> icao = gf_icaoFromPath(folderText, lf_isScannableAirport)) {
                gf_addScanLogLine(fmt::format("\n{}", folderText));
                ScannedAirport airport;
                airport.icao = *icao;
                airport.bglFile = folder;
                airport.bglPath = folderText;
                if (stock) {
                    gf_addScanLogLine(fmt::format("airport has '{}' in directory path", *icao));
                    if (++stockAirports % 10 == 0)
                        gf_setSimaddonAirportCount(stockAirports);
                    airport.publisher = "simaddon";
                    airport.manifest = PackageManifest{"", "", "microsoft", "asobo"};
                }
                else {
                    gf_addScanLogLine(fmt::format("airport has '{}' in folder path", *icao));
                    if (const PublisherLookup group = lf_findPublisherGroup(folderText); group.status == 0) {
                        airport.publisher = group.name;
                        gf_addScanLogLine(fmt::format("publisher '{}' found", group.name));
                    }
                    if (official2024) {
                        airport.manifest = lf_findStreamedManifest(folder, *official2024);
                        if (airport.manifest)
                            gf_addScanLogLine(fmt::format("streamed package manifest found, version '{}'",
                                                          airport.manifest->package_version));
                    }
                }
                airport.manifestSearched = true;
                lf_facilitiesForAirport(airport);
            }
        }
        it.increment(ec);
        if (ec) {
            gf_logLine(fmt::format("Directory iterator increment failed in '{}': {}", rootText, ec.message()));
            addError(fmt::format("directory iterator increment failed in '{}': {}", rootText, ec.message()));
        }
    }
    if (!gf_keepRunning()) {
        lf_writeScanLogFile();
        return;
    }
    sendSimaddonCount();
    lf_writeScanLogFile();
}

bool lf_facilitiesForBgl(const fs::path& bgl)
{
    const std::string bglText = gf_pathText(bgl);
    gf_addScanLogLine(fmt::format("\nFac: {}", bglText));
    ScannedAirport airport;
    airport.bglFile = bgl;
    airport.bglPath = bglText;
    airport.manifest = gf_searchManifest(bgl);
    airport.manifestSearched = true;
    const std::optional<IcaoCode> icao = lf_airportCodeFromPackage(airport, lf_isScannableAirport);
    if (!icao)
        return false;
    airport.icao = *icao;
    if (!gf_isWeeklyTrafficAirport(icao->code)) {
        gf_addScanLogLine(fmt::format("facilities reader: {} has no Vada Davidor traffic file (this week)", *icao));
        return false;
    }
    if (lf_linkAddonAirport(airport)) {
        sendSimaddonCount();
        sendThirdpartyCount();
        return true;
    }
    if (airport.manifest && !lf_hasUsableManifestPublisher(*airport.manifest))
        return false;
    int helipads = 0;
    if (g_facilityReader(*icao, airport, helipads)) {
        lf_writeGeneratedAirportFile(airport, helipads);
        sendThirdpartyCount();
        return true;
    }
    const std::string line =
        fmt::format("Reading Facilites data for {} via SimConnect failed, is MSFS connected?", *icao);
    gf_logLine(line);
    gf_addScanLogLine(line);
    lf_writeScanLogFile();
    return false;
}

void lf_scanPackageTree(const fs::path& root)
{
    const std::string rootText = gf_pathText(root);
    gf_logLine(fmt::format("\nScan: {}", rootText));
    gf_addScanLogLine(fmt::format("\nScan: {}", rootText));
    std::set<std::string> visited;
    std::error_code ec;
    const fs::path resolvedRoot = fs::canonical(root, ec);
    if (ec)
        addError(fmt::format("could not resolve scan root, continuing without root cycle protection: {}",
                             ec.message()));
    else {
        visited.insert(upperKey(resolvedRoot));
        gf_addScanLogLine(fmt::format("scan root resolved to: {}", gf_pathText(resolvedRoot)));
    }
    fs::recursive_directory_iterator it(root, fs::directory_options::follow_directory_symlink, ec);
    if (ec) {
        addError(fmt::format("recursive directory iterator failed while starting scan root {}, cause: {}", rootText,
                             ec.message()));
        return;
    }
    ScanBglHandler handler;
    for (const fs::recursive_directory_iterator end; it != end;) {
        const int depth = it.depth() + 1;
        const fs::path path = it->path();
        // One status query per entry; a link's target only for a link.
        std::error_code typeEc;
        fs::file_status type = it->symlink_status(typeEc);
        if (!typeEc && fs::is_symlink(type))
            type = it->status(typeEc);
        if (!typeEc && fs::is_directory(type)) {
            const std::string folderText = gf_pathText(path);
            std::error_code canonicalEc;
            const fs::path resolved = fs::canonical(path, canonicalEc);
            std::string key;
            if (!canonicalEc) {
                try {
                    key = upperKey(resolved);
                }
                catch (const std::exception&) {
                    canonicalEc = std::make_error_code(std::errc::invalid_argument);
                }
            }
            if (canonicalEc) {
                addError(fmt::format("could not resolve directory during airport scan, skipping recursion, depth {}, "
                                     "folder: {}",
                                     depth, folderText));
                it.disable_recursion_pending();
            }
            else if (!visited.insert(key).second) {
                addError(fmt::format("skipping recursive directory link during airport scan, depth {}, folder: {}, "
                                     "resolved target: {}",
                                     depth, folderText, gf_pathText(resolved)));
                it.disable_recursion_pending();
            }
            else {
                std::error_code linkEc;
                if (it->is_symlink(linkEc))
                    gf_addScanLogLine(fmt::format("following airport scan directory link, depth {}, folder: {}, "
                                                  "resolved target: {}",
                                                  depth, folderText, gf_pathText(resolved)));
                if (lf_isSkippedPackage(path, root))
                    it.disable_recursion_pending();
            }
        }
        else if (!typeEc && fs::is_regular_file(type) && lowerAscii(gf_pathText(path.extension())) == ".bgl") {
            const std::string bglText = gf_pathText(path);
            if (!containsAny(belowRoot(bglText, rootText), SKIPPED_BGLS) && lf_hasAirportSection(path)) {
                if (!gf_keepRunning())
                    return;
                gf_addScanLogLine(fmt::format("Fac depth {}: {}", depth, bglText));
                if (!lf_facilitiesForBgl(path)) {
                    gf_addScanLogLine("Facilities reader did not succeed, trying the BGL file reader ...");
                    lf_processBGLfile(path, handler);
                }
            }
        }
        it.increment(ec);
        if (ec) {
            addError(fmt::format("recursive directory iterator failed in scan root {}, depth {}, cause: {}", rootText,
                                 depth, ec.message()));
            return;
        }
    }
}
