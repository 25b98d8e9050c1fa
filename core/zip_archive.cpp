#include "core/zip_archive.h"

#include <zip.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <utility>

#include <fmt/format.h>

#include "core/text.h"

namespace {

std::string lf_errorText(zip_error_t* error)
{
    const char* text = zip_error_strerror(error);
    return text ? text : "unknown zip error";
}

std::optional<ZipArchive> lf_fail(std::string* error, zip_error_t* ze)
{
    if (error)
        *error = lf_errorText(ze);
    zip_error_fini(ze);
    return std::nullopt;
}

// Windows opens a device, not a file, for these base names, whatever
// extension follows ("nul.txt") and with trailing blanks ("CON .log").
bool lf_isDeviceName(std::string_view piece)
{
    std::string_view base = piece.substr(0, piece.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    std::string upper(base);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    static constexpr std::array<std::string_view, 6> kNames{"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    if (std::find(kNames.begin(), kNames.end(), upper) != kNames.end())
        return true;
    if (upper.size() < 4 || (!upper.starts_with("COM") && !upper.starts_with("LPT")))
        return false;
    const std::string_view number = std::string_view(upper).substr(3);
    // COM0-9, LPT0-9 and the superscript digits one to three.
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

// The archive's file as a libzip source: by its wide name on Windows.
zip_source_t* lf_fileSource(const std::filesystem::path& path, zip_error_t* ze)
{
#if defined(_WIN32)
    return zip_source_win32w_create(path.c_str(), 0, -1, ze);
#else
    return zip_source_file_create(path.c_str(), 0, -1, ze);
#endif
}

} // namespace

std::optional<ZipArchive> ZipArchive::openForReading(const std::filesystem::path& path, std::string* error)
{
    zip_error_t ze;
    zip_error_init(&ze);
    zip_source_t* source = lf_fileSource(path, &ze);
    if (!source)
        return lf_fail(error, &ze);
    zip_t* z = zip_open_from_source(source, ZIP_RDONLY, &ze);
    if (!z) {
        zip_source_free(source);
        return lf_fail(error, &ze);
    }
    zip_error_fini(&ze);
    return ZipArchive(z);
}

std::optional<ZipArchive> ZipArchive::create(const std::filesystem::path& path, std::string* error)
{
    zip_error_t ze;
    zip_error_init(&ze);
    zip_source_t* source = lf_fileSource(path, &ze);
    if (!source)
        return lf_fail(error, &ze);
    zip_t* z = zip_open_from_source(source, ZIP_CREATE | ZIP_TRUNCATE, &ze);
    if (!z) {
        zip_source_free(source);
        return lf_fail(error, &ze);
    }
    zip_error_fini(&ze);
    return ZipArchive(z);
}

ZipArchive::ZipArchive(ZipArchive&& other) noexcept
    : m_zip(std::exchange(other.m_zip, nullptr)), m_refusal(std::move(other.m_refusal))
{
}

ZipArchive& ZipArchive::operator=(ZipArchive&& other) noexcept
{
    if (this != &other) {
        if (m_zip)
            zip_discard(m_zip);
        m_zip = std::exchange(other.m_zip, nullptr);
        m_refusal = std::move(other.m_refusal);
    }
    return *this;
}

ZipArchive::~ZipArchive()
{
    if (m_zip)
        zip_discard(m_zip);
}

std::vector<ZipArchive::Entry> ZipArchive::entries() const
{
    std::vector<Entry> result;
    if (!m_zip)
        return result;
    const zip_int64_t count = zip_get_num_entries(m_zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(m_zip, static_cast<zip_uint64_t>(i), 0, &st) != 0)
            continue;
        Entry e;
        e.index = static_cast<std::uint64_t>(i);
        e.name = (st.valid & ZIP_STAT_NAME) && st.name ? st.name : "";
        e.size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
        result.push_back(std::move(e));
    }
    return result;
}

std::int64_t ZipArchive::readEntry(std::uint64_t index, std::size_t pieceSize,
                                   const std::function<bool(const char*, std::size_t)>& sink,
                                   std::uint64_t maxBytes) const
{
    if (!m_zip || pieceSize == 0)
        return -1;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(m_zip, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
        return -1;
    // The declared size is what the caller checked; inflated data beyond it
    // is never handed on.
    const std::uint64_t limit = std::min<std::uint64_t>(st.size, maxBytes);
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> file(zip_fopen_index(m_zip, index, 0), &zip_fclose);
    if (!file)
        return -1;
    std::vector<char> piece(pieceSize);
    std::uint64_t total = 0;
    for (;;) {
        const zip_int64_t n = zip_fread(file.get(), piece.data(), piece.size());
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        const auto got = static_cast<std::uint64_t>(n);
        if (got > limit - total) {
            const std::uint64_t allowed = limit - total;
            if (allowed > 0)
                sink(piece.data(), static_cast<std::size_t>(allowed));
            return -1;
        }
        total += got;
        if (!sink(piece.data(), static_cast<std::size_t>(got)))
            break;
    }
    return static_cast<std::int64_t>(total);
}

bool ZipArchive::addData(std::string_view name, const void* data, std::size_t size)
{
    if (!m_zip)
        return false;
    // The format stores a name's length in 16 bits and libzip reads names as
    // C strings: a longer name would be cut, one with a NUL would be cut at it
    // and could replace another entry.
    constexpr std::size_t kMaxNameLength = 65535;
    if (name.empty()) {
        m_refusal = "an entry needs a name";
        return false;
    }
    if (name.size() > kMaxNameLength) {
        m_refusal = fmt::format("entry name of {} bytes is longer than the zip format allows ({} bytes)",
                                name.size(), kMaxNameLength);
        return false;
    }
    if (name.find('\0') != std::string_view::npos) {
        m_refusal = "entry name holds a NUL byte";
        return false;
    }
    m_refusal.clear();
    zip_source_t* source = zip_source_buffer(m_zip, data, size, 0);
    if (!source)
        return false;
    const std::string entryName(name);
    if (zip_file_add(m_zip, entryName.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
        zip_source_free(source);
        return false;
    }
    return true;
}

int ZipArchive::close()
{
    if (!m_zip)
        return -1;
    if (zip_close(m_zip) == 0) {
        m_zip = nullptr;
        return 0;
    }
    const int code = zip_error_code_zip(zip_get_error(m_zip));
    zip_discard(m_zip);
    m_zip = nullptr;
    return code != 0 ? code : -1;
}

std::optional<std::filesystem::path> ZipArchive::unpackTarget(const std::filesystem::path& folder,
                                                              std::string_view entryName)
{
    if (entryName.empty() || entryName.front() == '/' || entryName.front() == '\\')
        return std::nullopt;
    if (entryName.find_first_of(std::string_view(":\0", 2)) != std::string_view::npos)
        return std::nullopt;
    std::filesystem::path relative;
    std::size_t pos = 0;
    while (pos <= entryName.size()) {
        std::size_t end = entryName.find_first_of("/\\", pos);
        if (end == std::string_view::npos)
            end = entryName.size();
        const std::string_view piece = entryName.substr(pos, end - pos);
        pos = end + 1;
        if (piece.empty())
            continue; // "a//b", or the trailing "/" of a folder
        // Windows drops trailing dots and blanks, so ". ." or "..." can mean "..".
        if (piece.find_first_not_of(". ") == std::string_view::npos || lf_isDeviceName(piece))
            return std::nullopt;
        try {
            relative /= utf8_to_wide(piece);
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }
    if (relative.empty())
        return std::nullopt;
    return folder / relative;
}

std::string ZipArchive::lastError() const
{
    if (!m_refusal.empty())
        return m_refusal;
    if (!m_zip)
        return {};
    return lf_errorText(zip_get_error(m_zip));
}
