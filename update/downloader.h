// Every file fetched from the maker's download site goes through Downloader:
// libcurl's easy interface, a temporary file beside the target and one rename
// onto the target after a complete transfer. A stop request aborts a transfer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <curl/curl.h>

// The caller owns the easy handle (curl_easy_init / curl_easy_cleanup).
struct CurlEasyCleanup {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
using CurlEasyHandle = std::unique_ptr<CURL, CurlEasyCleanup>;
inline CurlEasyHandle gf_makeCurlEasyHandle() { return CurlEasyHandle(curl_easy_init()); }

// Called with the complete temporary file before it replaces the target;
// false keeps the old target (the callee logs why).
using DownloadCheck = std::function<bool(const std::filesystem::path& tempFile)>;

// Fetches url into target through target + ".download_tmp". binary selects
// "wb" or the C runtime's text mode "w" (LF becomes CR LF). True only when the
// target now holds the complete download: only an HTTP 200 answer counts,
// redirects are never followed and only the site's own scheme is used. A
// transfer that announces or delivers more than maxBytes is stopped at that
// point. When check is given it must accept the downloaded file before the
// target is replaced; the file is on disk (flushed through the system's
// cache) before it replaces the target.
bool Downloader(CURL* handle, const std::string& url, const std::filesystem::path& target, bool binary,
                std::uint64_t maxBytes, const DownloadCheck& check = {});

// Size caps of the downloads, in received bytes.
// versions.json: twice its size limit, so that a slightly larger file still
// reaches the size check after the download and is reported there.
inline constexpr std::uint64_t g_versionsJsonDownloadLimit = 2097152;
inline constexpr std::uint64_t g_installerArchiveDownloadLimit = 1073741824 + 1048576; // installer and zip records
inline constexpr std::uint64_t g_releaseNotesDownloadLimit = 67108864;            // ReleaseNotes.pdf
// A data set of the input folder: its encrypted size for the plaintext limit.
std::uint64_t gf_dataSetDownloadLimit(const std::string& fileName);

// Where Downloader writes: the temporary file and the bytes still allowed.
struct DownloadSink {
    FILE* file = nullptr;
    std::uint64_t written = 0;
    std::uint64_t limit = 0;
    bool overLimit = false;
};

// libcurl callbacks of Downloader. The write callback takes a DownloadSink
// and writes nothing that would carry the file past its limit.
std::size_t lf_curlWriteToFile(char* data, std::size_t size, std::size_t count, void* sink);
int lf_curlAbortOnStop(void* clientData, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal,
                       curl_off_t ulNow);

// Fetches "input/<fileName>" of the download folder into target. The file must
// decrypt with the data-set key and hold an XML document before it replaces
// target; otherwise the old file stays.
bool gf_downloadDataFile(const std::string& fileName, const std::filesystem::path& target);

// The download folder of the maker's site ("<site>/downloads/"); the site is
// fixed when the program is built.
std::string gf_downloadFolderUrl();

// Tests: serve the downloads from this site root instead ("http://127.0.0.1:<port>/");
// an empty text returns to the built-in site.
void gf_setDownloadSiteForTests(const std::string& siteRootUrl);
