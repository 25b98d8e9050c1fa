// Small shell services of the main window: opening a folder in File Explorer.
#pragma once

#include <filesystem>

// Opens File Explorer at the folder that holds path. False when path does not
// exist or the shell could not open it; a failing status query throws.
bool gf_openFolderInExplorer(const std::filesystem::path& path);
