#pragma once
// Whole-file reads and writes for tests, byte for byte (no newline
// translation).
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace kvr::test {

// Every byte of the file; empty if it cannot be opened.
inline std::string readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Replaces the file's contents with exactly these bytes.
inline void writeBytes(const std::filesystem::path& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Log.txt of the current folder as it is on disk now (nothing is flushed).
inline std::string logText()
{
    return readBytes("Log.txt");
}

} // namespace kvr::test
