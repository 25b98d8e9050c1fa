// The system side of the file operations of core/files.h: Windows in
// files_win32.cpp, POSIX (the native test build) in files_posix.cpp.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "core/files.h"

// The calls that tests put in place (gf_setFileCalls); null members use the system.
const FileCalls& lf_fileCalls();
// Writes a closed file's data to the disk.
bool lf_systemFlushToDisk(const std::filesystem::path& path);
// The folder as the system names it; no value when it has none.
std::optional<std::wstring> lf_systemKnownFolder(KnownFolder folder);
