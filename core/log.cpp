// The one log file of the program.
#include "core/log.h"

#include <cstdint>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/files.h"
#include "core/version_data.h"

namespace {

constexpr const char* kLogFileName = "Log.txt";
constexpr uint64_t kFlushThreshold = 4096;

struct LogFile {
    std::mutex mutex;
    std::ofstream stream;
    uint64_t bytesSinceFlush = 0;
    // Large enough that ordinary lines stay in memory until the 4096-byte rule
    // flushes them.
    char buffer[16384];
};

LogFile& lf_log()
{
    // Built on first use and never destroyed, so that code logging during
    // static initialisation or destruction always finds it; the closer below
    // closes the file at exit, after which writes are silent no-ops.
    static LogFile* log = new LogFile;
    return *log;
}

struct LogCloser {
    ~LogCloser() { gf_closeLog(); }
} g_logCloser;

enum class Flush { AtThreshold, Now };

// Writes prefix + text + "\n" under the mutex; silent while the log is closed.
// Counted lines flush once 4096 bytes have built up; the others flush at once.
// The counter includes the prefix (ten blanks count, "==> " lines reset it).
void lf_writeLine(std::string_view prefix, std::string_view text, Flush flush)
{
    LogFile& log = lf_log();
    std::lock_guard lock(log.mutex);
    if (!log.stream.is_open())
        return;
    log.stream.write(prefix.data(), static_cast<std::streamsize>(prefix.size()));
    log.stream.write(text.data(), static_cast<std::streamsize>(text.size()));
    log.stream.put('\n');
    if (flush == Flush::AtThreshold) {
        log.bytesSinceFlush += prefix.size() + text.size() + 1;
        if (log.bytesSinceFlush < kFlushThreshold)
            return;
    }
    log.stream.flush();
    log.bytesSinceFlush = 0;
}

} // namespace

void gf_logLine(std::string_view text)
{
    lf_writeLine({}, text, Flush::AtThreshold);
}

void gf_logContinuation(std::string_view text)
{
    lf_writeLine("          ", text, Flush::AtThreshold);
}

void gf_logError(std::string_view text)
{
    lf_writeLine("==> ", text, Flush::Now);
}

void gf_logLineFlush(std::string_view text)
{
    lf_writeLine({}, text, Flush::Now);
}

void gf_logNoThrow(std::string_view text) noexcept
{
    try {
        gf_logLine(text);
    } catch (...) {
        // Called from destructors and catch blocks: a lost line is acceptable.
    }
}

void gf_flushLog()
{
    LogFile& log = lf_log();
    std::lock_guard lock(log.mutex);
    if (log.stream.is_open())
        log.stream.flush();
    log.bytesSinceFlush = 0;
}

void gf_closeLog()
{
    LogFile& log = lf_log();
    std::lock_guard lock(log.mutex);
    if (log.stream.is_open())
        log.stream.flush();
    log.bytesSinceFlush = 0;
    log.stream.close(); // a failed close sets the stream's fail state
}

void gf_openLog()
{
    const std::string path = kLogFileName;
    gf_closeLog();
    gf_save1GenerationOf(path);

    bool isOpen = false;
    {
        LogFile& log = lf_log();
        std::lock_guard lock(log.mutex);
        log.stream.rdbuf()->pubsetbuf(log.buffer, sizeof(log.buffer));
        log.stream.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
        log.bytesSinceFlush = 0;
        isOpen = log.stream.is_open();
    }
    if (!isOpen)
        throw std::runtime_error("Failed to write file " + path);

    gf_logLine(fmt::format("{} {} version {} for {}", gf_utcDateTimeText(), "Kelo", gf_programVersion(),
                           "MSFS 2020/2024"));
    gf_flushLog();
}
