#include "tests/support/test_folders.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdlib>
#include <unistd.h>
#endif

#include <atomic>
#include <fmt/format.h>

#include "core/files.h"
#include "core/layout.h"
#include "core/text.h"

namespace kvr::test {
namespace {

#if defined(_WIN32)
std::wstring lf_getEnv(const wchar_t* name)
{
    wchar_t buf[32768];
    DWORD n = GetEnvironmentVariableW(name, buf, 32768);
    return n ? std::wstring(buf, n) : std::wstring();
}

void lf_setEnv(const wchar_t* name, const std::wstring& value)
{
    SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
    _wputenv_s(name, value.c_str());
}
#else
// The native build: the Windows variables mean nothing there, but tests that
// read them back still see what they set.
std::wstring lf_getEnv(const wchar_t* name)
{
    const char* value = std::getenv(wide_to_utf8(name).c_str());
    return value ? utf8_to_wide(value) : std::wstring();
}

void lf_setEnv(const wchar_t* name, const std::wstring& value)
{
    if (value.empty())
        ::unsetenv(wide_to_utf8(name).c_str());
    else
        ::setenv(wide_to_utf8(name).c_str(), wide_to_utf8(value).c_str(), 1);
}
#endif

} // namespace

TempDir::TempDir(const std::string& tag)
{
    static std::atomic<unsigned> counter{0};
    auto base = std::filesystem::temp_directory_path() / "kelo-tests";
    std::filesystem::create_directories(base);
    for (;;) {
        auto p = base / fmt::format("{}-{}-{}", tag, gf_processId(), counter++);
        if (std::filesystem::create_directory(p)) {
            m_path = p;
            break;
        }
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

ScopedTestFolders::ScopedTestFolders(const std::string& tag) : m_dir(tag)
{
    std::filesystem::create_directories(programFolder());
    std::filesystem::create_directories(roamingAppData());
    std::filesystem::create_directories(localAppData());
    m_oldCwd = std::filesystem::current_path();
    m_oldProfile = lf_getEnv(L"USERPROFILE");
    m_oldRoaming = lf_getEnv(L"APPDATA");
    m_oldLocal = lf_getEnv(L"LOCALAPPDATA");
    lf_setEnv(L"USERPROFILE", (m_dir.path() / "profile").wstring());
    lf_setEnv(L"APPDATA", roamingAppData().wstring());
    lf_setEnv(L"LOCALAPPDATA", localAppData().wstring());
    std::filesystem::current_path(programFolder());
    // Wine's known-folder lookup ignores the variables above: answer it here.
    gf_setKnownFolderOverride(KnownFolder::RoamingAppData, roamingAppData().wstring());
    gf_setKnownFolderOverride(KnownFolder::LocalAppData, localAppData().wstring());
    gf_setKnownFolderOverride(KnownFolder::Profile, (m_dir.path() / "profile").wstring());
    gf_rebuildSettingsPaths();
}

ScopedTestFolders::~ScopedTestFolders()
{
    gf_clearKnownFolderOverrides();
    gf_rebuildSettingsPaths();
    std::error_code ec;
    std::filesystem::current_path(m_oldCwd, ec);
    lf_setEnv(L"USERPROFILE", m_oldProfile);
    lf_setEnv(L"APPDATA", m_oldRoaming);
    lf_setEnv(L"LOCALAPPDATA", m_oldLocal);
}

} // namespace kvr::test
