#pragma once
// Writes ".enc" data files the way the maker's tools do (libsodium secret
// stream, push side), so tests can feed the program's reader.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace kvr::test {

using EncKey = std::array<unsigned char, 32>;

// The program's data-set key (the XOR of the two built-in parts).
EncKey dataSetKey();
// A key that differs from the data-set key.
EncKey wrongKey();

struct EncWriteOptions {
    bool useWrongKey = false;   // encrypt with wrongKey() instead of the data-set key
    bool omitFinalChunk = false; // stop before the chunk tagged final
    std::size_t extraBytes = 0;  // bytes appended after the final chunk
};

// Encrypts `plaintext` into `path`: 24-byte header, then 4096-byte plaintext
// chunks, TAG_MESSAGE on all but the last and TAG_FINAL on the last (an empty
// plaintext gives one empty final chunk: a 41-byte file). Returns the file size.
std::uint64_t writeEncFile(const std::filesystem::path& path, std::string_view plaintext,
                           const EncWriteOptions& options = {});
// The same with an explicit key.
std::uint64_t writeEncFileWithKey(const std::filesystem::path& path, std::string_view plaintext,
                                  const EncKey& key, const EncWriteOptions& options = {});

// Size of the ".enc" file of a plaintext of `plainSize` bytes.
std::uint64_t encFileSize(std::uint64_t plainSize);

} // namespace kvr::test
