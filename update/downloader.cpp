#include "update/downloader.h"

#include <windows.h>

#include <cstdio>
#include <exception>
#include <mutex>
#include <string_view>
#include <system_error>

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

std::string lf_lastErrorText()
{
    return std::system_category().message(static_cast<int>(GetLastError()));
}

// Sets the options in their fixed order; false at the first refused one.
bool lf_configure(CURL* handle, const std::string& url, FILE* file)
{
    curl_easy_reset(handle); // a borrowed handle keeps nothing from earlier calls
    return curl_easy_setopt(handle, CURLOPT_URL, url.c_str()) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_USERAGENT, "Kelo") == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &lf_curlWriteToFile) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_WRITEDATA, file) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 10L) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, 30L) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &lf_curlAbortOnStop) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L) == CURLE_OK &&
           // A redirect is an answer without the file: it is never followed,
           // and no other scheme than the site's own is spoken.
           curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, lf_allowedScheme()) == CURLE_OK;
}

uint64_t lf_plainLimitOf(const std::string& fileName)
{
    const fs::path name = fs::u8path(fileName);
    if (name == g_wktrafficEncName)
        return g_wktrafficPlainLimit;
    if (name == g_archivesEncName)
        return g_archivesPlainLimit;
    if (name == g_aigRegcodesEncName)
        return g_aigRegcodesPlainLimit;
    if (name == g_airportsEncName)
        return g_airportsDbPlainLimit;
    if (name == g_dbaseEncName)
        return g_dbasePlainLimit;
    return g_airportFilePlainLimit;
}

// A data set is usable when it decrypts with the data-set key and parses as
// an XML document with a root element.
bool lf_isUsableDataSet(const std::string& url, const fs::path& file, uint64_t limit)
{
    DecryptResult plain = gf_decryptFile(file, limit);
    if (!plain.ok) {
        gf_logError(fmt::format("Downloaded '{}' is not a usable data set: {}", url, plain.error()));
        return false;
    }
    SecureBuffer& buffer = plain.buffer();
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        buffer.used == 0 ? pugi::xml_parse_result{}
                         : document.load_buffer_inplace(buffer.data, static_cast<size_t>(buffer.used));
    if (buffer.used == 0 || !parsed || !document.document_element()) {
        gf_logError(fmt::format("Downloaded '{}' is not a usable data set: {}", url,
                                buffer.used == 0 ? "empty" : parsed ? "no root element" : parsed.description()));
        return false;
    }
    return true;
}

} // namespace

std::size_t lf_curlWriteToFile(char* data, std::size_t size, std::size_t count, void* file)
{
    return std::fwrite(data, size, count, static_cast<FILE*>(file)) * size;
}

int lf_curlAbortOnStop(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return gf_keepRunning() ? 0 : 1;
}

bool Downloader(CURL* handle, const std::string& url, const fs::path& target, bool binary,
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
        if (_wfopen_s(&out.file, temp.c_str(), binary ? L"wb" : L"w") != 0 || out.file == nullptr) {
            out.file = nullptr;
            gf_logError(fmt::format("Could not open temporary download file: {}", lf_u8(temp)));
            return false;
        }
        if (!lf_configure(handle, url, out.file)) {
            gf_logError(fmt::format("Could not configure download for '{}'", url));
            return false;
        }
        const CURLcode rc = curl_easy_perform(handle);
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
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
        if (check && !check(temp))
            return false;
        if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            gf_logError(fmt::format("Could not replace downloaded file '{}': {}", lf_u8(target), lf_lastErrorText()));
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
    const uint64_t limit = lf_plainLimitOf(fileName);
    const bool ok = Downloader(handle.get(), url, target, true,
                               [&](const fs::path& temp) { return lf_isUsableDataSet(url, temp, limit); });
    if (ok)
        gf_logLine(fmt::format("Downloaded '{}' to '{}'", url, lf_u8(target)));
    else
        gf_logError(fmt::format("Downloading '{}' failed!", url));
    return ok;
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
