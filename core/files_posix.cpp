#include "core/files_system.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

bool lf_systemFlushToDisk(const fs::path& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return ok;
}

bool gf_copyFileOverwrite(const fs::path& from, const fs::path& to, std::error_code& ec)
{
    ec.clear();
    if (lf_fileCalls().copy) {
        if (lf_fileCalls().copy(from.wstring().c_str(), to.wstring().c_str()))
            return true;
        ec.assign(errno != 0 ? errno : EIO, std::system_category());
        return false;
    }
    return fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec) && !ec;
}

bool gf_replaceFileWriteThrough(const fs::path& from, const fs::path& to, std::error_code& ec)
{
    ec.clear();
    if (::rename(from.c_str(), to.c_str()) != 0) {
        ec.assign(errno, std::system_category());
        return false;
    }
    // The new name is on the disk once its folder is.
    const fs::path folder = to.has_parent_path() ? to.parent_path() : fs::path(".");
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return true;
}

bool gf_replaceFileKeepingAttributes(const fs::path& from, const fs::path& to, std::error_code& ec)
{
    return gf_replaceFileWriteThrough(from, to, ec);
}

NoReplaceMove gf_moveFileNoReplace(const fs::path& from, const fs::path& to, std::error_code& ec)
{
    ec.clear();
    // A hard link fails on an existing name, which rename would replace.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return NoReplaceMove::moved;
    }
    if (errno == EEXIST)
        return NoReplaceMove::nameTaken;
    if (errno == ENOENT)
        return NoReplaceMove::sourceMissing;
    ec.assign(errno, std::system_category());
    return NoReplaceMove::failed;
}

int gf_lastSystemError()
{
    return errno;
}

std::uint32_t gf_processId()
{
    return static_cast<std::uint32_t>(::getpid());
}

// POSIX has no such folders: the tests name them (gf_setKnownFolderOverride).
std::optional<std::wstring> lf_systemKnownFolder(KnownFolder)
{
    return std::nullopt;
}
