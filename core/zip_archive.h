// A thin owner of one libzip archive: opened read-only to unpack a download,
// or created new to bundle files. Paths are wide, so any user folder works.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct zip;

class ZipArchive {
public:
    struct Entry {
        std::uint64_t index = 0;
        std::string name; // as stored: "/" separates folders, a trailing "/" marks a folder
        std::uint64_t size = 0; // uncompressed
    };

    // Opens an existing archive read-only, without a consistency check.
    // Empty, with the reason in *error when given, when it cannot be opened.
    static std::optional<ZipArchive> openForReading(const std::filesystem::path& path,
                                                    std::string* error = nullptr);
    // Creates a new, empty archive at path (an existing file is replaced when
    // the archive is closed). Empty, with the reason in *error, on failure.
    static std::optional<ZipArchive> create(const std::filesystem::path& path, std::string* error = nullptr);

    ZipArchive(ZipArchive&& other) noexcept;
    ZipArchive& operator=(ZipArchive&& other) noexcept;
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;
    // An archive still open is discarded: nothing is written.
    ~ZipArchive();

    bool isOpen() const { return m_zip != nullptr; }

    std::vector<Entry> entries() const;

    // Streams the uncompressed bytes of one entry to sink in pieces of at most
    // pieceSize bytes; sink returns false to stop. Returns the number of bytes
    // delivered, or -1 when the entry could not be opened or read. Never more
    // than the entry's declared size nor maxBytes is delivered: an entry whose
    // data runs past either (a zip bomb) ends in -1 at that point.
    std::int64_t readEntry(std::uint64_t index, std::size_t pieceSize,
                           const std::function<bool(const char*, std::size_t)>& sink,
                           std::uint64_t maxBytes = UINT64_MAX) const;

    // Adds (or replaces) an entry from memory. The bytes are not copied: they
    // must stay alive and unchanged until close() or the destructor. A name
    // the zip format cannot hold (empty, longer than 65 535 bytes, or with a
    // NUL byte) is refused: false, with the reason in lastError().
    bool addData(std::string_view name, const void* data, std::size_t size);

    // Where an entry of this name unpacks under `folder`, for callers that
    // write entries to disk. Nothing for a name that would land outside the
    // folder or cannot name a file there: empty, absolute ("/x", "\\x"), with
    // a drive or stream (any ':'), with a piece of only dots and blanks
    // (".."), with a piece that Windows takes for a device ("CON", "nul.txt",
    // "COM1"), with a NUL byte, or not UTF-8.
    static std::optional<std::filesystem::path> unpackTarget(const std::filesystem::path& folder,
                                                             std::string_view entryName);

    // Writes the archive out and closes it. Returns 0 on success, otherwise
    // libzip's error code (the archive is then discarded). Closing an archive
    // that is not open returns -1.
    int close();

    // The text of the last error of this archive.
    std::string lastError() const;

private:
    explicit ZipArchive(zip* z) : m_zip(z) {}
    zip* m_zip = nullptr;
    std::string m_refusal; // why the wrapper itself refused the last request
};
