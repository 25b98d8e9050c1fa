// Explorer, opened at the folder that holds a file: for the settings folder,
// a downloaded installer and the tblo bundle.
#pragma once

#include <filesystem>

// Opens the folder that holds the given file or folder in Explorer; false
// when the path does not exist or Explorer did not start. A failing status
// query throws std::filesystem::filesystem_error.
bool gf_openFolderInExplorer(const std::filesystem::path& path);

// Opens the folder that holds parameters.xml; on failure the message box
// "Could not open folder with parameters.xml".
bool gf_openParametersFolder();

// Explorer: ShellExecuteW "open" unless a test replaced it; true when it started.
using ShellOpenHook = bool (*)(const std::filesystem::path& folder);
ShellOpenHook gf_setShellOpenHook(ShellOpenHook hook);
