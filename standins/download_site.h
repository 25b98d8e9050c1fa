// Stand-in for the maker's download site: an HTTP server on 127.0.0.1 (a free
// port) that serves a tree of files under "/downloads/", with switchable
// failures per file and a log of every request.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

class DownloadSite {
public:
    enum class Behaviour {
        Serve,       // 200 with the file's bytes (404 when there is no file)
        NotFound,    // 404
        ServerError, // 500
        Redirect,    // 302 to the behaviour's target
        Trickle,     // 200, the file's bytes one every 20 ms
        Hang,        // 200 with a length, then nothing until the client or the site gives up
        Flood,       // 200 without a length: the file's bytes (or 'x') again and again, 64 MiB in all
    };

    // port 0 takes a free port.
    explicit DownloadSite(int port = 0);
    ~DownloadSite(); // stops the server and joins its thread
    DownloadSite(const DownloadSite&) = delete;
    DownloadSite& operator=(const DownloadSite&) = delete;

    int port() const { return m_port; }
    // "http://127.0.0.1:<port>/": the site root the program is pointed at.
    std::string rootUrl() const;

    // sitePath is relative to "downloads/", e.g. "input/dbase.enc".
    void putFile(const std::string& sitePath, std::string bytes);
    void removeFile(const std::string& sitePath);
    void setBehaviour(const std::string& sitePath, Behaviour behaviour, std::string redirectTarget = {});

    // Every request path in order of arrival ("/downloads/versions.json").
    std::vector<std::string> requestLog() const;
    // The User-Agent header of the latest request.
    std::string lastUserAgent() const;
    // How often "/downloads/<sitePath>" was asked for.
    int requestCount(const std::string& sitePath) const;
    // Blocks until "/downloads/<sitePath>" was asked for at least once; false
    // after the safety limit.
    bool waitForRequest(const std::string& sitePath, std::chrono::milliseconds limit = std::chrono::seconds(30));

private:
    struct Rule {
        Behaviour behaviour = Behaviour::Serve;
        std::string target;
    };

    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    std::atomic<bool> m_listenEnded{false};
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_requested;
    std::map<std::string, std::string> m_files; // by sitePath
    std::map<std::string, Rule> m_rules;        // by sitePath
    std::vector<std::string> m_log;
    std::string m_lastUserAgent;
    bool m_stopping = false;
};

// Site content builders.
struct SiteVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;
};
// {"major":a,"minor":b,"patch":c}
std::string gf_siteVersionJson(const SiteVersion& v);
// versions.json of 1,048,577 bytes: a valid object padded with blanks.
std::string gf_oversizeVersionsJson();

// The installer archives the site can offer.
enum class InstallerZip {
    RightVersion,   // one installer whose ProductVersion is gf_standinInstallerVersion()
    WrongVersion,   // one installer with another ProductVersion
    TwoFiles,       // the installer and a second file
    FolderAndFile,  // a folder entry and the installer inside it
    Empty,          // no entries at all
    EmptyInstaller, // one entry of 0 bytes
    UnsafeName,     // the installer stored as "../install_new_version.exe"
    Bomb,           // one entry that declares 4 KiB and inflates to 32 MiB
};
std::string gf_installerZipBytes(InstallerZip variant);
// A zip of one entry `name` of `actualSize` zero bytes whose headers declare
// `declaredSize` (below 4 GiB) instead.
std::string gf_zipBombBytes(const std::string& name, std::uint32_t declaredSize, std::size_t actualSize);
// The ProductVersion of the right installer (16.8.0) and of the wrong one (16.7.5).
SiteVersion gf_standinInstallerVersion();
SiteVersion gf_standinWrongInstallerVersion();
