// Stands in for the flush of a file to the disk: records every flushed file
// with its bytes at that moment and what the watched target held then, and
// can make the flush fail. Puts the real call back when it ends.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/files.h"
#include "tests/support/file_bytes.h"

namespace kvr::test {

class DiskFlushProbe {
public:
    struct Flush {
        std::filesystem::path path;
        std::string bytes;       // of the flushed file
        std::string targetBytes; // of the watched target, "" when absent
    };

    explicit DiskFlushProbe(std::filesystem::path watchedTarget)
    {
        s_target = std::move(watchedTarget);
        s_flushes.clear();
        s_fail = false;
        m_previous = gf_setFileCalls({});
        gf_setFileCalls({m_previous.rename, m_previous.copy, &DiskFlushProbe::record, m_previous.replace});
    }
    ~DiskFlushProbe() { gf_setFileCalls(m_previous); }
    DiskFlushProbe(const DiskFlushProbe&) = delete;
    DiskFlushProbe& operator=(const DiskFlushProbe&) = delete;

    const std::vector<Flush>& flushes() const { return s_flushes; }
    void failFlushes(bool fail) { s_fail = fail; }

private:
    static bool record(const wchar_t* path)
    {
        std::error_code ec;
        s_flushes.push_back({path, readBytes(path), std::filesystem::exists(s_target, ec) ? readBytes(s_target) : ""});
        if (s_fail) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        return true;
    }

    FileCalls m_previous{};
    static inline std::filesystem::path s_target;
    static inline std::vector<Flush> s_flushes;
    static inline bool s_fail = false;
};

} // namespace kvr::test
