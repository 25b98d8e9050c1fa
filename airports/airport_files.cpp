#include "airports/airport_file_store.h"
#include "airports/airport_files.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <numbers>
#include <system_error>
#include <unordered_set>

#include <fmt/format.h>

#include "airports/airport_file_format.h"
#include "airports/airport_ui.h"
#include "core/gui_senders.h"
#include "airports/learned_airport_files.h"
#include "core/data_file_header.h"
#include "core/files.h"
#include "core/geodesy.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/parameters_file.h"
#include "core/settings_snapshot.h"
#include "core/text.h"
#include "core/units.h"
#include "update/downloader.h"
#include "update/version_check.h"

namespace fs = std::filesystem;

std::atomic<bool> airportFileLoaded{false};
std::atomic<int> loadedAirportFileWeek{0};
std::atomic<bool> parkingAirportLoaded{false};

namespace {

std::atomic<uint64_t> g_downloadCounter{0};

void lf_removeQuietly(const fs::path& path)
{
    std::error_code ec;
    fs::remove(path, ec);
}

// Stand ids from 1, and each pair of stands whose circles (with a tenth to
// spare) overlap excludes the other.
void lf_numberStands(std::vector<Stand>& stands)
{
    for (size_t i = 0; i < stands.size(); ++i) {
        stands[i].id = static_cast<int32_t>(i + 1);
        stands[i].exclusions.clear();
    }
    for (size_t i = 0; i < stands.size(); ++i) {
        for (size_t j = i + 1; j < stands.size(); ++j) {
            const Stand& a = stands[i];
            const Stand& b = stands[j];
            const FlatOffsetNm o =
                gf_flatOffsetNmOfDegrees(a.lat - b.lat, a.lon - b.lon, gf_cosLatitude((a.lat + b.lat) / 2.0));
            const double s = a.radius + b.radius;
            if (1.21 * o.squared() < s * s) {
                stands[i].exclusions.push_back(static_cast<uint32_t>(b.id));
                stands[j].exclusions.push_back(static_cast<uint32_t>(a.id));
            }
        }
    }
}

void lf_mergeLearned(AirportFile& file)
{
    const std::optional<fs::path> learned =
        gf_learnedAirportFilePath(gf_stripFileNameVersion(file.sourcePath), file.publisher);
    if (!learned)
        return;
    file.learnedTarget = *learned;
    std::error_code ec;
    if (!fs::is_regular_file(*learned, ec))
        return;
    file.learnedPath = *learned;
    auto merged = gf_readLearnedAirportFile(*learned, file.airport_name, file.stands);
    if (auto* error = std::get_if<std::string>(&merged)) {
        gf_logError(*error);
        return;
    }
    LearnedAirportData& data = std::get<LearnedAirportData>(merged);
    file.stands = std::move(data.stands);
    static_cast<LearnedAirportSettings&>(file) = data;
    file.handmadeOverrule = data.handmade;
    file.learnedMerged = true;
    const auto [real, soft] = gf_computeStandScores(file.stands);
    file.qfReal = real;
    file.qfSoft = soft;
}

void lf_updateCache(const AirportFile& file, bool encrypted, pugi::xml_document& doc)
{
    if (encrypted) {
        if (!gf_saveXmlWithDeclaration(doc, g_parkAirportCachePath))
            gf_logError(fmt::format("could not update airport cache '{}'", gf_pathText(g_parkAirportCachePath)));
        return;
    }
    std::error_code ec;
    if (!gf_copyFileOverwrite(file.loadedPath, g_parkAirportCachePath, ec))
        gf_logError(fmt::format("could not update airport cache '{}': {}", gf_pathText(g_parkAirportCachePath),
                                ec.message()));
}

std::variant<AirportFile, std::string> lf_readAirportFile(const fs::path& source)
{
    std::error_code ec;
    fs::create_directories(g_airportsFolder, ec);
    std::optional<ArchiveSourceId> cached;
    if (fs::is_regular_file(g_parkAirportCachePath, ec))
        cached = lf_readCachedAirportIdentity();
    const std::optional<ArchiveSourceId> wanted = gf_parseArchiveSourcePath(source);

    AirportFile file;
    file.sourcePath = source;
    bool encrypted = false;
    if (cached && wanted && *cached == *wanted) {
        gf_logLine(fmt::format("cached: '{}' is taken instead of '{}'", gf_pathText(g_parkAirportCachePath), gf_pathText(source)));
        file.loadedPath = g_parkAirportCachePath;
        file.origin = 2;
    } else {
        auto fetched = lf_fetchAirportSource(source, true);
        if (auto* error = std::get_if<std::string>(&fetched))
            return std::move(*error);
        const AirportSourceFetch& f = std::get<AirportSourceFetch>(fetched);
        file.loadedPath = f.downloaded ? f.path : source;
        file.origin = f.downloaded ? 1 : 0;
        encrypted = f.encrypted;
    }
    // Removes a downloaded file always, and the cache when it fails to load.
    TempFileGuard guard(file.origin == 0 ? fs::path() : file.loadedPath);
    guard.armed = file.origin != 0;

    SecureBuffer buffer;
    pugi::xml_document doc;
    if (std::optional<std::string> error = lf_loadAirportXml(file.loadedPath, encrypted, buffer, doc))
        return std::move(*error);
    if (!gf_readDataFileHeader(doc, false).ok)
        return fmt::format("{}: refused to load", gf_pathText(source));

    file.rtTrafficWeek = gf_readIntParameter(doc, "RT_traffic_week").value_or(0);
    file.publisher = gf_xmlReadStringParameter(doc, "publisher").value_or(std::string());
    file.version = gf_xmlReadStringParameter(doc, "version");
    const std::optional<int32_t> altitude = gf_readIntParameter(doc, "altitude");
    if (!altitude)
        throw kvr::UserRelatedException(65, fmt::format("Parameter {} not found", "altitude"));
    file.altitude = *altitude;
    file.airport_name = gf_xmlReadStringParameter(doc, "airport_name").value_or(std::string());
    gf_readParkPositions(doc, file.stands);
    file.qfReal = gf_readIntParameter(doc, "Qf_real").value_or(0);
    file.qfSoft = gf_readIntParameter(doc, "Qf_soft").value_or(0);
    lf_mergeLearned(file);
    lf_numberStands(file.stands);
    if (file.stands.empty())
        gf_logLine("no stands found in the airport file");
    gf_airportUi().enableFlushButton(!file.stands.empty());
    if (file.origin != 2)
        lf_updateCache(file, encrypted, doc);
    guard.armed = file.origin == 1;
    return file;
}

// The airport file of the two destination readers, found, fetched, parsed
// and checked; a downloaded copy is removed with it.
struct OpenedAirportDocument {
    SecureBuffer buffer;
    pugi::xml_document doc;
    TempFileGuard guard{std::filesystem::path()};
    OpenedAirportDocument() { guard.armed = false; }
};

std::optional<std::string> lf_openAirportDocument(const IcaoCode& icao, OpenedAirportDocument& opened)
{
    SecureBuffer& buffer = opened.buffer;
    pugi::xml_document& doc = opened.doc;
    TempFileGuard& guard = opened.guard;
    const std::optional<fs::path> source = gf_findAirportFilePath(icao);
    if (!source)
        return std::string("airport source path not found");
    auto fetched = lf_fetchAirportSource(*source, false);
    if (auto* error = std::get_if<std::string>(&fetched))
        return std::move(*error);
    const AirportSourceFetch& f = std::get<AirportSourceFetch>(fetched);
    if (f.downloaded) {
        guard.path = f.path;
        guard.armed = true;
    }
    if (std::optional<std::string> error = lf_loadAirportXml(f.downloaded ? f.path : *source, f.encrypted, buffer, doc))
        return error;
    if (!gf_readDataFileHeader(doc, false).ok)
        return std::string("airport file has invalid metadata");
    return std::nullopt;
}

pugi::xml_node lf_parkPositions(const pugi::xml_document& doc)
{
    const pugi::xml_node root = doc.child("root");
    return root ? root.child("parkpositions") : doc.child("parkpositions");
}

} // namespace

std::variant<AirportFile, std::string> gf_readAirportFile(const fs::path& source)
{
    try {
        return lf_readAirportFile(source);
    } catch (const kvr::UserRelatedException&) {
        throw;
    } catch (const std::exception& e) {
        return fmt::format("{}: {}", "gf_readAirportFile", e.what());
    } catch (...) {
        return fmt::format("{}: unknown exception", "gf_readAirportFile");
    }
}

std::variant<AirportSourceFetch, std::string> lf_fetchAirportSource(const fs::path& source, bool forPark)
{
    if (WebMaintenanceFlag.load())
        return std::string("Web server temporarily unavailable due to maintenance.");
    if (source.begin() == source.end() || *source.begin() != fs::path(g_archiveName))
        return AirportSourceFetch{};
    AirportSourceFetch fetch;
    fetch.encrypted = gf_hasExtension(source, ".enc");
    const std::string suffix = fmt::format(".{}.{}", gf_processId(), g_downloadCounter.fetch_add(1));
    const char* base = forPark ? "park_airport" : "airport";
    const std::string name =
        fetch.encrypted ? fmt::format("{}{}.enc", base, suffix) : fmt::format("{}{}.xml", base, suffix);
    fetch.path = g_airportsFolder / fs::path(name);
    std::error_code ec;
    fs::create_directories(g_airportsFolder, ec);
    std::string message = lf_downloadAirportFile(source, fetch.path, fetch.encrypted);
    if (!message.empty())
        return message;
    fetch.downloaded = true;
    return fetch;
}

std::string gf_airportFileUrl(const fs::path& source)
{
    std::string url = gf_downloadFolderUrl() + (gf_isMSFS2020() ? "MSFS/" : "MSFS2024/");
    std::vector<std::string> elements;
    for (const fs::path& e : source)
        elements.push_back(wide_to_utf8(e.wstring()));
    for (size_t i = 0; i < elements.size(); ++i) {
        // The publisher folder of archive/thirdparty holds %XX escapes of its own.
        const bool publisherFolder = i == 2 && elements.size() == 4 && elements[1] == "thirdparty";
        if (i > 0)
            url += '/';
        url += gf_percentEncode(publisherFolder ? gf_percentDecode(elements[i]) : elements[i]);
    }
    return url;
}

std::string lf_downloadAirportFile(const fs::path& source, const fs::path& target, bool binary)
{
    std::string url;
    try {
        url = gf_airportFileUrl(source);
    } catch (const std::exception& e) {
        return fmt::format("failed to download: '{}'", e.what());
    }
    CurlEasyHandle handle = gf_makeCurlEasyHandle();
    // The same size limit as the reader: an encrypted file's encrypted size,
    // a plain file's bytes.
    const uint64_t limit = binary ? gf_encryptedSizeLimit(g_airportFilePlainLimit) : g_airportFilePlainLimit;
    if (Downloader(handle.get(), url, target, binary, limit))
        return {};
    lf_removeQuietly(target);
    std::string message = fmt::format("failed to download: '{}'", url);
    gf_showMessage(message, true);
    return message;
}

std::optional<std::string> lf_loadAirportXml(const fs::path& path, bool encrypted, SecureBuffer& buffer,
                                             pugi::xml_document& document)
{
    pugi::xml_parse_result parsed;
    if (encrypted) {
        DecryptResult decrypted = gf_decryptFile(path, g_airportFilePlainLimit);
        if (!decrypted.ok)
            return decrypted.error();
        buffer = std::move(decrypted.buffer());
        parsed = document.load_buffer_inplace(buffer.data, buffer.used);
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return fmt::format("{} could not be opened", gf_pathText(path));
        parsed = document.load(in);
    }
    if (!parsed)
        return fmt::format("{} not loaded: {}", gf_pathText(path), parsed.description());
    return std::nullopt;
}

std::optional<ArchiveSourceId> lf_readCachedAirportIdentity()
{
    std::ifstream in(g_parkAirportCachePath, std::ios::binary);
    if (!in) {
        gf_logLine(fmt::format("{} could not be opened", gf_pathText(g_parkAirportCachePath)));
        return std::nullopt;
    }
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load(in);
    if (!parsed) {
        gf_logLine(fmt::format("{} not loaded: {}", gf_pathText(g_parkAirportCachePath), parsed.description()));
        return std::nullopt;
    }
    const std::optional<std::string> icaoText = gf_xmlReadStringParameter(doc, "icao");
    const std::optional<IcaoCode> icao = icaoText ? IcaoCode::tryParse(*icaoText) : std::nullopt;
    if (!icao)
        return std::nullopt;
    ArchiveSourceId id;
    id.icao = *icao;
    id.publisher = gf_xmlReadStringParameter(doc, "publisher").value_or(std::string());
    for (const char c : gf_xmlReadStringParameter(doc, "version").value_or(std::string())) {
        if (c >= '0' && c <= '9')
            id.version.push_back(c);
    }
    return id;
}

std::variant<ClosestStand, std::string> gf_readDestApfForClosestStand(const IcaoCode& icao, const LatLon& reference)
{
    try {
        if (!gf_isValidLatLon(reference))
            return std::string("invalid reference position");
        OpenedAirportDocument opened;
        if (std::optional<std::string> error = lf_openAirportDocument(icao, opened))
            return std::move(*error);
        const pugi::xml_node positions = lf_parkPositions(opened.doc);
        if (!positions) {
            return fmt::format("airport file {} has no '{}' section",
                               gf_pathText(gf_findAirportFilePath(icao).value_or(fs::path())), "parkpositions");
        }
        const double c = gf_cosLatitude(reference.latitude);
        std::optional<ClosestStand> best;
        double bestD2 = 0.0;
        for (const pugi::xml_node parkpos : positions.children("parkpos")) {
            const LatLon at{parkpos.attribute("latitude").as_double(0.0), parkpos.attribute("longitude").as_double(0.0)};
            const std::string id = parkpos.attribute("id").value();
            if (!gf_isValidLatLon(at) || id.empty())
                continue;
            const double d2 =
                gf_flatOffsetNmOfDegrees(reference.latitude - at.latitude, reference.longitude - at.longitude, c)
                    .squared();
            if (!best || d2 < bestD2) {
                best = ClosestStand{id, 0.0};
                bestD2 = d2;
            }
        }
        if (!best)
            return std::string("airport file has no valid stands");
        best->distanceNm = std::sqrt(bestD2);
        return *best;
    } catch (const std::exception& e) {
        return fmt::format("{}: {}", "gf_readDestApfForClosestStand", e.what());
    } catch (...) {
        return fmt::format("{}: unknown exception", "gf_readDestApfForClosestStand");
    }
}

std::variant<std::vector<std::string>, std::string> gf_readApfForStands(const IcaoCode& icao)
{
    try {
        OpenedAirportDocument opened;
        if (std::optional<std::string> error = lf_openAirportDocument(icao, opened))
            return std::move(*error);
        const pugi::xml_node positions = lf_parkPositions(opened.doc);
        if (!positions)
            return fmt::format("airport file has no '{}' section", "parkpositions");
        std::vector<std::string> ids;
        std::unordered_set<std::string> upper;
        for (const pugi::xml_node parkpos : positions.children("parkpos")) {
            const pugi::xml_attribute attr = parkpos.attribute("id");
            if (!attr)
                continue;
            std::string id = gf_trim(attr.value());
            if (id.empty())
                continue;
            std::string key = id;
            std::transform(key.begin(), key.end(), key.begin(),
                           [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
            if (upper.insert(std::move(key)).second)
                ids.push_back(std::move(id));
        }
        return ids;
    } catch (const std::exception& e) {
        return fmt::format("{}: {}", "gf_readApfForStands", e.what());
    }
}
