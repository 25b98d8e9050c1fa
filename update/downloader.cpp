#include "update/downloader.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string_view>
#include <system_error>
#include <vector>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/encrypted_file.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/stop_request.h"
#include "core/text.h"

namespace fs = std::filesystem;

#ifndef KELO_DOWNLOAD_BASE_URL
#define KELO_DOWNLOAD_BASE_URL "https://downloads.kelo.invalid/"
#endif

namespace {

std::mutex g_siteMutex;
std::string g_siteOverride; // set by tests only

std::string lf_siteRootUrl()
{
    std::lock_guard lock(g_siteMutex);
    std::string root = g_siteOverride.empty() ? std::string(KELO_DOWNLOAD_BASE_URL) : g_siteOverride;
    if (!root.empty() && root.back() != '/')
        root += '/';
    return root;
}

// The one scheme the downloads may use: the scheme of the site's own address.
// A build for the real site therefore speaks HTTPS only.
const char* lf_allowedScheme()
{
    return lf_siteRootUrl().starts_with("http://") ? "http" : "https";
}

std::string lf_u8(const fs::path& path)
{
    return wide_to_utf8(path.wstring());
}

// Closes a temporary file that is still open when the download ends early.
struct TempFileHandle {
    FILE* file = nullptr;
    ~TempFileHandle()
    {
        if (file)
            std::fclose(file);
    }
    // Closes now; false when closing failed.
    bool close()
    {
        FILE* f = file;
        file = nullptr;
        return std::fclose(f) == 0;
    }
};

// Sets the options in their fixed order; false at the first refused one.
bool lf_configure(CURL* handle, const std::string& url, DownloadSink* sink)
{
    curl_easy_reset(handle); // a borrowed handle keeps nothing from earlier calls
    return curl_easy_setopt(handle, CURLOPT_URL, url.c_str()) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_USERAGENT, "Kelo") == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &lf_curlWriteToFile) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_WRITEDATA, sink) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 10L) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, 30L) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &lf_curlAbortOnStop) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L) == CURLE_OK &&
           // A redirect is an answer without the file: it is never followed,
           // and no other scheme than the site's own is spoken.
           curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, lf_allowedScheme()) == CURLE_OK &&
           // An announced length over the cap ends the transfer before any byte.
           curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(std::min<std::uint64_t>(
                                                                   sink->limit, INT64_MAX))) == CURLE_OK;
}

// What a data set of the input folder must hold before it may replace the
// one in place: decrypted within its plaintext limit, the document element
// <root> and the sections its reader cannot do without. Another data set's
// XML decrypts and parses as well, but would leave the program without its
// data and with a version that says all is well.
struct DataSetKind {
    const fs::path* fileName;
    uint64_t plainLimit;
    std::vector<const char*> sections;
};

const std::vector<DataSetKind>& lf_dataSetKinds()
{
    static const std::vector<DataSetKind> kinds{
        {&g_airportsEncName, g_airportsDbPlainLimit, {"airports"}},
        {&g_aigRegcodesEncName, g_aigRegcodesPlainLimit, {"aig"}},
        // The simulator can be switched between starts: both simulators' lists.
        {&g_archivesEncName, g_archivesPlainLimit, {"simaddons20", "simaddons24"}},
        {&g_dbaseEncName, g_dbasePlainLimit,
         {"aircrafts", "cargo_types", "heavy", "large", "buzjet", "twoprops", "high_performance", "rotorcraft",
          "ICAO_airlines", "cargo_operators"}},
        {&g_wktrafficEncName, g_wktrafficPlainLimit, {"traffic_airports"}},
    };
    return kinds;
}

const DataSetKind* lf_dataSetKindOf(const std::string& fileName)
{
    const fs::path name = fs::u8path(fileName);
    for (const DataSetKind& kind : lf_dataSetKinds())
        if (name == *kind.fileName)
            return &kind;
    return nullptr;
}

uint64_t lf_plainLimitOf(const std::string& fileName)
{
    const DataSetKind* kind = lf_dataSetKindOf(fileName);
    return kind ? kind->plainLimit : g_airportFilePlainLimit;
}

// Why the parsed document is not a data set of this kind; empty when it is.
std::string lf_contentProblem(const pugi::xml_document& document, const DataSetKind* kind)
{
    const pugi::xml_node root = document.document_element();
    if (!root)
        return "no root element";
    if (kind == nullptr)
        return {};
    if (std::string_view(root.name()) != "root")
        return fmt::format("document element <{}> instead of <root>", root.name());
    for (const char* section : kind->sections)
        if (!root.child(section))
            return fmt::format("missing <{}> section", section);
    return {};
}

// A data set is usable when it decrypts with the data-set key and parses as
// an XML document with the root and sections of its kind.
bool lf_isUsableDataSet(const std::string& url, const fs::path& file, const DataSetKind* kind)
{
    DecryptResult plain = gf_decryptFile(file, kind ? kind->plainLimit : g_airportFilePlainLimit);
    if (!plain.ok) {
        gf_logError(fmt::format("Downloaded '{}' is not a usable data set: {}", url, plain.error()));
        return false;
    }
    SecureBuffer& buffer = plain.buffer();
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        buffer.used == 0 ? pugi::xml_parse_result{}
                         : document.load_buffer_inplace(buffer.data, static_cast<size_t>(buffer.used));
    const std::string problem = buffer.used == 0 ? std::string("empty")
                                : !parsed        ? std::string(parsed.description())
                                                 : lf_contentProblem(document, kind);
    if (!problem.empty()) {
        gf_logError(fmt::format("Downloaded '{}' is not a usable data set: {}", url, problem));
        return false;
    }
    return true;
}

} // namespace

std::size_t lf_curlWriteToFile(char* data, std::size_t size, std::size_t count, void* sinkData)
{
    auto* sink = static_cast<DownloadSink*>(sinkData);
    const std::uint64_t bytes = static_cast<std::uint64_t>(size) * count;
    if (bytes > sink->limit - sink->written) {
        // A short count makes libcurl end the transfer here.
        sink->overLimit = true;
        return 0;
    }
    const std::size_t written = std::fwrite(data, size, count, sink->file) * size;
    sink->written += written;
    return written;
}

int lf_curlAbortOnStop(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return gf_keepRunning() ? 0 : 1;
}

bool Downloader(CURL* handle, const std::string& url, const fs::path& target, bool binary, std::uint64_t maxBytes,
                const DownloadCheck& check)
{
    if (handle == nullptr)
        return false;
    try {
        fs::path temp = target;
        temp += L".download_tmp";

        std::error_code ec;
        fs::remove(temp, ec);
        if (ec) {
            gf_logError(fmt::format("Could not remove stale temporary download '{}': {}", lf_u8(temp), ec.message()));
            return false;
        }
        TempFileGuard guard(temp);

        TempFileHandle out;
#if defined(_WIN32)
        if (_wfopen_s(&out.file, temp.c_str(), binary ? L"wb" : L"w") != 0 || out.file == nullptr) {
#else
        if ((out.file = std::fopen(temp.c_str(), "wb")) == nullptr) {
#endif
            out.file = nullptr;
            gf_logError(fmt::format("Could not open temporary download file: {}", lf_u8(temp)));
            return false;
        }
        DownloadSink sink{out.file, 0, maxBytes, false};
        if (!lf_configure(handle, url, &sink)) {
            gf_logError(fmt::format("Could not configure download for '{}'", url));
            return false;
        }
        const CURLcode rc = curl_easy_perform(handle);
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        if (sink.overLimit || rc == CURLE_FILESIZE_EXCEEDED) {
            gf_logError(fmt::format("Download of '{}' stopped: larger than {} bytes", url, maxBytes));
            return false;
        }
        // Anything but 200 (a redirect page, an empty 204, ...) is not the file.
        if (rc != CURLE_OK || status != 200)
            return false;
        if (std::fflush(out.file) != 0) {
            gf_logError(fmt::format("Could not flush temporary download file '{}'", lf_u8(temp)));
            return false;
        }
        if (!out.close()) {
            gf_logError(fmt::format("Could not close temporary download file '{}'", lf_u8(temp)));
            return false;
        }
        // Through the system's cache onto the disk before the rename: after a
        // power cut the target is the old file or the complete new one.
        if (!gf_flushFileToDisk(temp)) {
            gf_logError(fmt::format("Could not write temporary download file '{}' to disk: {}", lf_u8(temp),
                                    std::system_category().message(gf_lastSystemError())));
            return false;
        }
        if (check && !check(temp))
            return false;
        std::error_code moved;
        if (!gf_replaceFileWriteThrough(temp, target, moved)) {
            gf_logError(fmt::format("Could not replace downloaded file '{}': {}", lf_u8(target), moved.message()));
            return false;
        }
        guard.armed = false;
        return true;
    } catch (const std::exception& e) {
        try {
            gf_logError(fmt::format("Downloader exception: '{}', {} => {}", e.what(), url, lf_u8(target)));
        } catch (...) {
        }
        return false;
    }
}

bool gf_downloadDataFile(const std::string& fileName, const fs::path& target)
{
    CurlEasyHandle handle = gf_makeCurlEasyHandle();
    const std::string url = fmt::format("{}input/{}", gf_downloadFolderUrl(), fileName);
    const DataSetKind* kind = lf_dataSetKindOf(fileName);
    const bool ok = Downloader(handle.get(), url, target, true, gf_dataSetDownloadLimit(fileName),
                               [&](const fs::path& temp) { return lf_isUsableDataSet(url, temp, kind); });
    if (ok)
        gf_logLine(fmt::format("Downloaded '{}' to '{}'", url, lf_u8(target)));
    else
        gf_logError(fmt::format("Downloading '{}' failed!", url));
    return ok;
}

std::uint64_t gf_dataSetDownloadLimit(const std::string& fileName)
{
    return gf_encryptedSizeLimit(lf_plainLimitOf(fileName));
}

std::string gf_downloadFolderUrl()
{
    return lf_siteRootUrl() + "downloads/";
}

void gf_setDownloadSiteForTests(const std::string& siteRootUrl)
{
    std::lock_guard lock(g_siteMutex);
    g_siteOverride = siteRootUrl;
}
