// Shared by the fuzz targets: a private working folder per process (the
// program's relative folders input/, output/ and its settings lie there) and
// the input written to a file for the readers that take a path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "core/files.h"
#include "core/layout.h"

namespace kelo_fuzz {

// Enters the process's own folder once, with the known folders inside it.
inline const std::filesystem::path& workFolder()
{
    static const std::filesystem::path folder = [] {
        std::filesystem::path p = std::filesystem::temp_directory_path() /
                                  ("kelo-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(p / "roaming");
        std::filesystem::create_directories(p / "local");
        std::filesystem::current_path(p);
        gf_setKnownFolderOverride(KnownFolder::RoamingAppData, (p / "roaming").wstring());
        gf_setKnownFolderOverride(KnownFolder::LocalAppData, (p / "local").wstring());
        gf_setKnownFolderOverride(KnownFolder::Profile, p.wstring());
        gf_rebuildSettingsPaths();
        return p;
    }();
    return folder;
}

// Writes the input to `name` (relative to the work folder) and returns its path.
inline std::filesystem::path writeInput(const std::filesystem::path& name, const uint8_t* data, size_t size)
{
    workFolder();
    if (name.has_parent_path())
        std::filesystem::create_directories(name.parent_path());
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return name;
}

} // namespace kelo_fuzz
