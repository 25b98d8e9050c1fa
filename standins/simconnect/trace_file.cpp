#include "standins/simconnect/trace_file.h"

#include <cstdlib>

namespace kvr::standin {

void TraceFile::configure()
{
    close();
    const char* path = std::getenv("KELO_SIM_TRACE");
    m_path = path ? path : "";
    m_every = 1;
    if (const char* every = std::getenv("KELO_SIM_TRACE_EVERY"); every && *every) {
        const long long n = std::atoll(every);
        m_every = n > 1 ? static_cast<std::uint64_t>(n) : 1;
    }
    m_failed = false;
}

void TraceFile::write(const char* kind, std::uint64_t frame, double seconds, const nlohmann::json& members)
{
    if (m_path.empty() || m_failed)
        return;
    if (!m_file) {
        m_file = std::fopen(m_path.c_str(), "ab");
        if (!m_file) {
            m_failed = true; // a test that asked for the file sees it missing
            return;
        }
        m_lastFlush = std::chrono::steady_clock::now();
    }
    nlohmann::ordered_json line;
    line["k"] = kind;
    line["f"] = frame;
    line["t"] = seconds;
    for (const auto& [key, value] : members.items())
        line[key] = value;
    const std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    std::fwrite(text.data(), 1, text.size(), m_file);
    tick();
}

void TraceFile::tick()
{
    if (m_file && std::chrono::steady_clock::now() - m_lastFlush >= std::chrono::seconds(1))
        flush();
}

void TraceFile::flush()
{
    if (!m_file)
        return;
    std::fflush(m_file);
    m_lastFlush = std::chrono::steady_clock::now();
}

void TraceFile::close()
{
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
}

} // namespace kvr::standin
