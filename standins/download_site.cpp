#include "standins/download_site.h"

#include <httplib.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fmt/format.h>

#include "core/zip_archive.h"

namespace fs = std::filesystem;

#ifndef KELO_STANDIN_INSTALLER_RIGHT
#error "the stand-in installers' paths come from standins/download/CMakeLists.txt"
#endif

namespace {

const std::string kPrefix = "/downloads/";

std::string lf_readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("stand-in: cannot read " + path.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Builds an archive through the program's zip wrapper and returns its bytes.
std::string lf_zipOf(const std::vector<std::pair<std::string, std::string>>& entries)
{
    static std::atomic<int> counter{0};
    const fs::path path = fs::temp_directory_path() /
                          fmt::format("kelo_standin_{}_{}.zip", GetCurrentProcessId(), counter.fetch_add(1));
    {
        auto archive = ZipArchive::create(path);
        if (!archive)
            throw std::runtime_error("stand-in: cannot create a zip");
        for (const auto& [name, bytes] : entries)
            if (!archive->addData(name, bytes.data(), bytes.size()))
                throw std::runtime_error("stand-in: cannot add " + name);
        if (archive->close() != 0)
            throw std::runtime_error("stand-in: cannot write a zip");
    }
    std::string bytes = lf_readFile(path);
    std::error_code ec;
    fs::remove(path, ec);
    return bytes;
}

} // namespace

DownloadSite::DownloadSite(int port) : m_server(std::make_unique<httplib::Server>())
{
    m_server->Get(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
        Rule rule;
        std::string bytes;
        bool found = false;
        {
            std::lock_guard lock(m_mutex);
            m_log.push_back(req.path);
            m_lastUserAgent = req.get_header_value("User-Agent");
            m_requested.notify_all();
            if (req.path.starts_with(kPrefix)) {
                const std::string sitePath = req.path.substr(kPrefix.size());
                if (auto r = m_rules.find(sitePath); r != m_rules.end())
                    rule = r->second;
                if (auto f = m_files.find(sitePath); f != m_files.end()) {
                    bytes = f->second;
                    found = true;
                }
            }
        }
        switch (rule.behaviour) {
        case Behaviour::NotFound:
            res.status = 404;
            return;
        case Behaviour::ServerError:
            res.status = 500;
            res.set_content("internal error", "text/plain");
            return;
        case Behaviour::Redirect:
            res.set_redirect(rule.target, 302);
            res.set_content("<html>moved</html>", "text/html");
            return;
        case Behaviour::Hang: {
            const std::size_t length = std::max<std::size_t>(bytes.size(), 1000);
            res.set_content_provider(length, "application/octet-stream",
                                     [this](std::size_t, std::size_t, httplib::DataSink&) {
                                         std::this_thread::sleep_for(std::chrono::milliseconds(20));
                                         std::lock_guard lock(m_mutex);
                                         return !m_stopping;
                                     });
            return;
        }
        case Behaviour::Trickle: {
            auto shared = std::make_shared<std::string>(found ? bytes : std::string(1000, 'x'));
            res.set_content_provider(shared->size(), "application/octet-stream",
                                     [this, shared](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                         std::this_thread::sleep_for(std::chrono::milliseconds(20));
                                         {
                                             std::lock_guard lock(m_mutex);
                                             if (m_stopping)
                                                 return false;
                                         }
                                         return sink.write(shared->data() + offset, 1);
                                     });
            return;
        }
        case Behaviour::Flood: {
            auto piece = std::make_shared<std::string>(found && !bytes.empty() ? bytes : std::string(65536, 'x'));
            auto sent = std::make_shared<std::size_t>(0);
            res.set_chunked_content_provider("application/octet-stream",
                                             [this, piece, sent](std::size_t, httplib::DataSink& sink) {
                                                 {
                                                     std::lock_guard lock(m_mutex);
                                                     if (m_stopping)
                                                         return false;
                                                 }
                                                 if (*sent >= (64u << 20)) {
                                                     sink.done();
                                                     return true;
                                                 }
                                                 *sent += piece->size();
                                                 return sink.write(piece->data(), piece->size());
                                             });
            return;
        }
        case Behaviour::Serve:
            if (!found) {
                res.status = 404;
                return;
            }
            res.set_content(std::move(bytes), "application/octet-stream");
            return;
        }
    });
    m_port = port > 0 ? (m_server->bind_to_port("127.0.0.1", port) ? port : -1)
                      : m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0)
        throw std::runtime_error("stand-in download site: cannot listen on 127.0.0.1");
    m_thread = std::thread([this] {
        m_server->listen_after_bind();
        m_listenEnded.store(true);
    });
    // The server can only be stopped once its accept loop runs: a site
    // destroyed before that would never let its thread end.
    while (!m_server->is_running() && !m_listenEnded.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

DownloadSite::~DownloadSite()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
}

std::string DownloadSite::rootUrl() const
{
    return fmt::format("http://127.0.0.1:{}/", m_port);
}

void DownloadSite::putFile(const std::string& sitePath, std::string bytes)
{
    std::lock_guard lock(m_mutex);
    m_files[sitePath] = std::move(bytes);
}

void DownloadSite::removeFile(const std::string& sitePath)
{
    std::lock_guard lock(m_mutex);
    m_files.erase(sitePath);
}

void DownloadSite::setBehaviour(const std::string& sitePath, Behaviour behaviour, std::string redirectTarget)
{
    std::lock_guard lock(m_mutex);
    m_rules[sitePath] = Rule{behaviour, std::move(redirectTarget)};
}

std::vector<std::string> DownloadSite::requestLog() const
{
    std::lock_guard lock(m_mutex);
    return m_log;
}

std::string DownloadSite::lastUserAgent() const
{
    std::lock_guard lock(m_mutex);
    return m_lastUserAgent;
}

int DownloadSite::requestCount(const std::string& sitePath) const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count(m_log.begin(), m_log.end(), kPrefix + sitePath));
}

bool DownloadSite::waitForRequest(const std::string& sitePath, std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    return m_requested.wait_for(lock, limit, [&] {
        return std::find(m_log.begin(), m_log.end(), kPrefix + sitePath) != m_log.end();
    });
}

std::string gf_siteVersionJson(const SiteVersion& v)
{
    return fmt::format(R"({{"major":{},"minor":{},"patch":{}}})", v.major, v.minor, v.patch);
}

std::string gf_oversizeVersionsJson()
{
    std::string text = R"({"msfs":)" + gf_siteVersionJson({1, 0, 0}) + "}";
    text.resize(1048577, ' ');
    return text;
}

std::string gf_zipBombBytes(const std::string& name, std::uint32_t declaredSize, std::size_t actualSize)
{
    std::string bytes = lf_zipOf({{name, std::string(actualSize, '\0')}});
    std::string declared(4, '\0');
    for (int i = 0; i < 4; ++i)
        declared[i] = static_cast<char>((declaredSize >> (8 * i)) & 0xFF);
    // The uncompressed size in the local header and in the central directory.
    bytes.replace(22, 4, declared);
    const std::size_t central = bytes.find(std::string("PK\x01\x02", 4));
    if (central == std::string::npos)
        throw std::runtime_error("stand-in: no central directory in the zip");
    bytes.replace(central + 24, 4, declared);
    return bytes;
}

SiteVersion gf_standinInstallerVersion()
{
    return {KELO_STANDIN_INSTALLER_RIGHT_MAJOR, KELO_STANDIN_INSTALLER_RIGHT_MINOR, KELO_STANDIN_INSTALLER_RIGHT_PATCH};
}

SiteVersion gf_standinWrongInstallerVersion()
{
    return {KELO_STANDIN_INSTALLER_WRONG_MAJOR, KELO_STANDIN_INSTALLER_WRONG_MINOR, KELO_STANDIN_INSTALLER_WRONG_PATCH};
}

std::string gf_installerZipBytes(InstallerZip variant)
{
    const std::string name = "install_new_version.exe";
    switch (variant) {
    case InstallerZip::RightVersion:
        return lf_zipOf({{name, lf_readFile(KELO_STANDIN_INSTALLER_RIGHT)}});
    case InstallerZip::WrongVersion:
        return lf_zipOf({{name, lf_readFile(KELO_STANDIN_INSTALLER_WRONG)}});
    case InstallerZip::TwoFiles:
        return lf_zipOf({{name, lf_readFile(KELO_STANDIN_INSTALLER_RIGHT)}, {"readme.txt", "hello"}});
    case InstallerZip::FolderAndFile:
        return lf_zipOf({{"Kelo/", ""}, {"Kelo/" + name, lf_readFile(KELO_STANDIN_INSTALLER_RIGHT)}});
    case InstallerZip::Empty:
        // libzip writes no file for an archive without entries: the bare
        // end-of-central-directory record is the empty zip.
        return std::string("PK\x05\x06", 4) + std::string(18, '\0');
    case InstallerZip::EmptyInstaller:
        return lf_zipOf({{name, ""}});
    case InstallerZip::Bomb:
        return gf_zipBombBytes(name, 4096, 32u << 20);
    case InstallerZip::UnsafeName:
        return lf_zipOf({{"../" + name, lf_readFile(KELO_STANDIN_INSTALLER_RIGHT)}});
    }
    return {};
}
