#include "tests/support/test_folders.h"

#include <windows.h>
#include <knownfolders.h>

#include <atomic>
#include <fmt/format.h>

#include "core/files.h"
#include "core/layout.h"

namespace kvr::test {
namespace {

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

} // namespace

TempDir::TempDir(const std::string& tag)
{
    static std::atomic<unsigned> counter{0};
    auto base = std::filesystem::temp_directory_path() / "kelo-tests";
    std::filesystem::create_directories(base);
    for (;;) {
        auto p = base / fmt::format("{}-{}-{}", tag, GetCurrentProcessId(), counter++);
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
    gf_setKnownFolderOverride(FOLDERID_RoamingAppData, roamingAppData().wstring());
    gf_setKnownFolderOverride(FOLDERID_LocalAppData, localAppData().wstring());
    gf_setKnownFolderOverride(FOLDERID_Profile, (m_dir.path() / "profile").wstring());
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
