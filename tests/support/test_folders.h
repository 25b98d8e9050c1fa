#pragma once
// Every test gets folders of its own: a program folder (the current folder)
// and its own user profile, so nothing leaks between tests or into the Wine
// prefix's real profile.
#include <filesystem>
#include <string>

namespace kvr::test {

// A fresh, empty folder under the system temp folder, removed on destruction.
class TempDir {
public:
    explicit TempDir(const std::string& tag = "t");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Makes a temp folder the current folder and points the user profile
// variables (USERPROFILE, APPDATA, LOCALAPPDATA) and the known folders
// (Roaming/Local AppData, profile) into it, so the settings folder is
// roamingAppData()/Kelo; restores all on exit.
class ScopedTestFolders {
public:
    explicit ScopedTestFolders(const std::string& tag = "t");
    ~ScopedTestFolders();
    ScopedTestFolders(const ScopedTestFolders&) = delete;
    ScopedTestFolders& operator=(const ScopedTestFolders&) = delete;

    const std::filesystem::path& root() const { return m_dir.path(); }
    std::filesystem::path programFolder() const { return m_dir.path() / "program"; }
    std::filesystem::path roamingAppData() const { return m_dir.path() / "profile" / "AppData" / "Roaming"; }
    std::filesystem::path localAppData() const { return m_dir.path() / "profile" / "AppData" / "Local"; }

private:
    TempDir m_dir;
    std::filesystem::path m_oldCwd;
    std::wstring m_oldProfile, m_oldRoaming, m_oldLocal;
};

} // namespace kvr::test
