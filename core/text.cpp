#include "core/text.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <istream>
#include <optional>
#include <stdexcept>

#include <fmt/format.h>

#include "core/ui_sink.h"

namespace {

bool lf_isWhitespace(char c)
{
    return kLineWhitespace.find(c) != std::string_view::npos;
}

// Reads the rest of a binary stream into a byte string.
std::string lf_readAllBytes(std::istream& in)
{
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size <= 0) {
        in.clear();
        in.seekg(0, std::ios::beg);
        return {};
    }
    in.seekg(0, std::ios::beg);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), size);
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

} // namespace

std::string gf_pathText(const std::filesystem::path& path)
{
    try {
        return wide_to_utf8(path.wstring());
    } catch (const std::exception&) {
        return "?";
    }
}

std::string gf_charsetName(Charset charset)
{
    switch (charset) {
    case Charset::Ansi: return "ANSI";
    case Charset::Utf16Le: return "Unicode";
    case Charset::Utf16Be: return "Unicode_big_endian";
    case Charset::Utf8WithBom: return "UTF8_with_BOM";
    case Charset::Utf8WithoutBom: return "UTF8_without_BOM";
    case Charset::NoneFound: return "none_found";
    }
    return {};
}

void gf_splitLines(std::string_view bytes, std::vector<std::string>& lines)
{
    if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
        static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF)
        bytes.remove_prefix(3);
    if (bytes.empty())
        return;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t lf = bytes.find('\n', pos);
        std::string_view line = bytes.substr(pos, lf == std::string_view::npos ? std::string_view::npos : lf - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.emplace_back(line);
        if (lf == std::string_view::npos || lf + 1 == bytes.size())
            break;
        pos = lf + 1;
    }
}

void gf_readStreamLines(std::istream& in, std::vector<std::string>& lines)
{
    if (!in)
        return;
    const std::string bytes = lf_readAllBytes(in);
    if (!bytes.empty())
        gf_splitLines(bytes, lines);
}

namespace {

// The lines of UTF-16 bytes as UTF-8. A byte-order mark decides the byte
// order and is skipped; without one, `bigEndian` does.
void lf_splitUtf16Lines(std::string_view bytes, bool bigEndian, std::vector<std::string>& lines)
{
    if (bytes.size() < 2 || bytes.size() % 2 != 0)
        return;
    const auto b0 = static_cast<unsigned char>(bytes[0]);
    const auto b1 = static_cast<unsigned char>(bytes[1]);
    std::size_t start = 2;
    if (b0 == 0xFF && b1 == 0xFE)
        bigEndian = false;
    else if (b0 == 0xFE && b1 == 0xFF)
        bigEndian = true;
    else
        start = 0;
    std::wstring wide;
    wide.reserve((bytes.size() - start) / 2);
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2) {
        const auto lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        const auto hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        wide.push_back(static_cast<wchar_t>(lo | (hi << 8)));
    }
    gf_splitLines(wide_to_utf8(wide), lines);
}

} // namespace

Charset gf_detectCharsetOfBytes(std::string_view bytes)
{
    const auto* buf = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();

    if (n >= 3 && buf[0] == 0xEF && buf[1] == 0xBB && buf[2] == 0xBF)
        return Charset::Utf8WithBom;
    if (n >= 2) {
        if (buf[0] == 0xFF && buf[1] == 0xFE)
            return Charset::Utf16Le;
        if (buf[0] == 0xFE && buf[1] == 0xFF)
            return Charset::Utf16Be;
        if (buf[1] == 0 && (n < 4 || buf[3] == 0))
            return Charset::Utf16Le;
        if (buf[0] == 0 && (n < 4 || buf[2] == 0))
            return Charset::Utf16Be;
    }
    if (n == 0)
        return Charset::Utf8WithoutBom;

    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = buf[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t follow = 0;
        if ((b & 0xE0) == 0xC0) {
            if (b < 0xC2)
                return Charset::Ansi;
            follow = 1;
        } else if ((b & 0xF0) == 0xE0) {
            follow = 2;
        } else if ((b & 0xF8) == 0xF0) {
            if (b > 0xF4)
                return Charset::Ansi;
            follow = 3;
        } else {
            return Charset::Ansi;
        }
        if (follow > n - 1 - i)
            return Charset::Ansi; // the text ends inside the letter
        for (std::size_t k = 1; k <= follow; ++k)
            if ((buf[i + k] & 0xC0) != 0x80)
                return Charset::Ansi;
        if ((b == 0xE0 && buf[i + 1] < 0xA0) || (b == 0xF0 && buf[i + 1] < 0x90) || (b == 0xF4 && buf[i + 1] > 0x8F))
            return Charset::Ansi;
        i += follow + 1;
    }
    return Charset::Utf8WithoutBom;
}

namespace {

// The lines of a file's bytes in the given charset, as UTF-8; throws for an
// unknown charset.
void lf_splitLinesInCharset(Charset charset, std::string_view bytes, const std::filesystem::path& path,
                            std::vector<std::string>& lines)
{
    switch (charset) {
    case Charset::Utf16Le:
    case Charset::Utf16Be:
        lf_splitUtf16Lines(bytes, charset == Charset::Utf16Be, lines);
        return;
    case Charset::Utf8WithBom:
    case Charset::Utf8WithoutBom:
        // gf_splitLines drops a leading UTF-8 mark; a file saved with two
        // loses the second as well.
        gf_splitLines(bytes, lines);
        if (charset == Charset::Utf8WithBom && !lines.empty() && lines.front().starts_with("\xEF\xBB\xBF"))
            lines.front().erase(0, 3);
        return;
    case Charset::Ansi: {
        std::vector<std::string> raw;
        raw.reserve(2048);
        gf_splitLines(bytes, raw);
        lines.reserve(raw.size());
        for (const std::string& line : raw)
            lines.push_back(gf_ansiToUtf8(line));
        return;
    }
    default:
        throw std::runtime_error(
            fmt::format("file {} has unknown charset: {}", wide_to_utf8(path.wstring()), gf_charsetName(charset)));
    }
}

// Reads the whole file; nullopt when it cannot be opened.
std::optional<std::string> lf_readFileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open())
        return std::nullopt;
    return lf_readAllBytes(in);
}

void lf_reportReadFailure(const std::filesystem::path& path, const std::exception& e)
{
    gf_uiSink().showMessage(fmt::format("Read failed for '{}': {}", gf_pathText(path), e.what()), true);
}

} // namespace

void gf_readUtf16StreamLines(std::istream& in, std::vector<std::string>& lines)
{
    if (!in)
        return;
    const std::string bytes = lf_readAllBytes(in);
    lf_splitUtf16Lines(bytes, gf_detectCharsetOfBytes(bytes) == Charset::Utf16Be, lines);
}

Charset gf_detectCharset(const std::filesystem::path& path)
{
    const std::optional<std::string> bytes = lf_readFileBytes(path);
    if (!bytes)
        return Charset::NoneFound;
    return gf_detectCharsetOfBytes(*bytes);
}

bool gf_readLinesInCharset(Charset charset, const std::filesystem::path& path, std::vector<std::string>& lines)
{
    lines.clear();
    try {
        if (static_cast<int>(charset) < static_cast<int>(Charset::Ansi) ||
            static_cast<int>(charset) > static_cast<int>(Charset::Utf8WithoutBom))
            lf_splitLinesInCharset(charset, {}, path, lines); // throws: unknown charset
        const std::optional<std::string> bytes = lf_readFileBytes(path);
        if (!bytes)
            return false;
        lf_splitLinesInCharset(charset, *bytes, path, lines);
    } catch (const std::exception& e) {
        lf_reportReadFailure(path, e);
        lines.clear();
        return false;
    }
    return true;
}

TextFileLines gf_readTextFileLines(const std::filesystem::path& path, std::vector<std::string>& lines)
{
    lines.clear();
    TextFileLines result;
    try {
        const std::optional<std::string> bytes = lf_readFileBytes(path);
        if (!bytes)
            return result;
        result.charset = gf_detectCharsetOfBytes(*bytes);
        lf_splitLinesInCharset(result.charset, *bytes, path, lines);
        result.read = true;
    } catch (const std::exception& e) {
        lf_reportReadFailure(path, e);
        lines.clear();
    }
    return result;
}

LineFileReader::Result LineFileReader::readAll(std::size_t reserve)
{
    lines.clear();
    std::filesystem::path p;
    try {
        p = std::filesystem::path(utf8_to_wide(path));
    } catch (const std::exception&) {
        return {{}, "open_failed", false};
    }
    std::ifstream in(p, std::ios::binary);
    if (!in.is_open())
        return {{}, "open_failed", false};
    if (reserve > lines.capacity())
        lines.reserve(reserve);
    gf_readStreamLines(in, lines);
    in.close();
    return {std::span<const std::string>(lines), {}, true};
}

bool gf_writeLines(const std::vector<std::string>& lines, const std::filesystem::path& path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.is_open())
        return false;
    for (const std::string& line : lines) {
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
        out.put('\n');
    }
    out.flush();
    const bool written = out.good();
    out.close();
    return written && !out.fail();
}

bool gf_writeTextFile(std::string_view text, const std::filesystem::path& path, bool addNewline)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.is_open())
        return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (addNewline)
        out.put('\n');
    out.flush();
    const bool written = out.good();
    out.close();
    return written && !out.fail();
}

std::string_view gf_trimView(std::string_view text, std::string_view whitespace)
{
    const std::size_t first = text.find_first_not_of(whitespace);
    if (first == std::string_view::npos)
        return text.substr(0, 0);
    const std::size_t last = text.find_last_not_of(whitespace);
    return text.substr(first, last - first + 1);
}

std::string gf_trim(std::string_view text)
{
    return std::string(gf_trimView(text));
}

std::vector<std::string> gf_split(std::string_view text, char delimiter)
{
    std::vector<std::string> pieces;
    if (text.empty())
        return pieces;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t cut = text.find(delimiter, pos);
        std::string piece = gf_trim(text.substr(pos, cut == std::string_view::npos ? std::string_view::npos : cut - pos));
        if (!piece.empty())
            pieces.push_back(std::move(piece));
        if (cut == std::string_view::npos)
            break;
        pos = cut + 1;
    }
    return pieces;
}

std::vector<std::string> gf_splitOnComma(std::string_view text)
{
    return gf_split(text, ',');
}

std::vector<std::string> gf_splitSortedUnique(std::string_view text)
{
    std::vector<std::string> pieces;
    if (text.empty())
        return pieces;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t cut = text.find(',', pos);
        pieces.push_back(gf_trim(text.substr(pos, cut == std::string_view::npos ? std::string_view::npos : cut - pos)));
        if (cut == std::string_view::npos)
            break;
        pos = cut + 1;
    }
    std::sort(pieces.begin(), pieces.end());
    pieces.erase(std::unique(pieces.begin(), pieces.end()), pieces.end());
    return pieces;
}

void gf_normalizeCommaList(std::string& text)
{
    if (std::none_of(text.begin(), text.end(), lf_isWhitespace))
        return;
    std::string joined;
    for (const std::string& piece : gf_split(text, ',')) {
        if (!joined.empty())
            joined += ',';
        joined += piece;
    }
    text = std::move(joined);
}

std::string gf_unquote(std::string_view text)
{
    const std::size_t first = text.find('"');
    if (first == std::string_view::npos)
        return std::string(text);
    if (first + 1 >= text.size())
        return {};
    const std::size_t second = text.find('"', first + 1);
    if (second == std::string_view::npos || second == first + 1)
        return {};
    return std::string(text.substr(first + 1, second - first - 1));
}

std::string gf_removeDots(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '.')
            out += c;
    return out;
}

std::string gf_pluralSuffix(std::int64_t count)
{
    return count == 1 ? std::string() : std::string("s");
}

std::string gf_formatNumber(double value)
{
    if (std::fmod(value, 1.0) == 0.0)
        return fmt::format("{:.0f}", value);
    return fmt::format("{:.1f}", value);
}

std::string gf_makeBanner(int stars, int extra, bool leadingNewline, bool trailingNewline, std::string_view title)
{
    std::string out = leadingNewline ? "\n" : "";
    int width = stars + extra;
    if (width % 2 != 0)
        ++width;
    if (!title.empty()) {
        if (width <= static_cast<int>(title.size()) + 2) {
            out += title;
        } else {
            const std::string side(static_cast<std::size_t>(width / 2 - 1), '*');
            out += side;
            out += ' ';
            out += title;
            out += ' ';
            out += side;
        }
    } else if (width > 0) {
        out.append(static_cast<std::size_t>(width), '*');
    }
    if (trailingNewline)
        out += '\n';
    return out;
}

std::optional<std::string> gf_xmlOptString(const pugi::xml_node& node, const char* name)
{
    const pugi::xml_attribute attr = node.attribute(name);
    if (!attr)
        return std::nullopt;
    return std::string(attr.value());
}

std::string gf_xmlString(const pugi::xml_node& node, const char* name)
{
    return gf_xmlOptString(node, name).value_or(std::string());
}

std::string gf_wsaErrorText(int code)
{
    const char* text = "Unknown errror code";
    switch (code) {
    case 10004: text = "Interrupted system call"; break;
    case 10009: text = "Bad file number"; break;
    case 10013: text = "Permission denied"; break;
    case 10014: text = "Bad address"; break;
    case 10022: text = "Invalid argument"; break;
    case 10024: text = "Too many open sockets"; break;
    case 10035: text = "Operation would block"; break;
    case 10036: text = "Operation now in progress"; break;
    case 10037: text = "Operation already in progress"; break;
    case 10038: text = "Socket operation on non-socket"; break;
    case 10039: text = "Destination address required"; break;
    case 10040: text = "Messenger too long"; break;
    case 10041: text = "Protocol wrong type for socket"; break;
    case 10042: text = "Bad protocol option"; break;
    case 10043: text = "Protocol not supported"; break;
    case 10044: text = "Socket type not supported"; break;
    case 10045: text = "Operation not supported on socket"; break;
    case 10046: text = "Protocol family not supported"; break;
    case 10047: text = "Address family not supported"; break;
    case 10048: text = "Address already in use"; break;
    case 10049: text = "Can't assign requested address"; break;
    case 10050: text = "Network is down"; break;
    case 10051: text = "Network is unreachable"; break;
    case 10052: text = "Net connection reset"; break;
    case 10053: text = "Software caused connection abort"; break;
    case 10054: text = "Connection reset by peer"; break;
    case 10055: text = "No buffer space available"; break;
    case 10056: text = "Socket is already connected"; break;
    case 10057: text = "Socket is not connected"; break;
    case 10058: text = "Can't send numLines socket shutdown"; break;
    case 10059: text = "Too many references, can't splice"; break;
    case 10060: text = "Connection timed out"; break;
    case 10061: text = "Connection refused"; break;
    case 10062: text = "Too many levels of symbolic links"; break;
    case 10063: text = "File name too long"; break;
    case 10064: text = "Host is down"; break;
    case 10065: text = "No route to host"; break;
    case 10066: text = "Directory not empty"; break;
    case 10067: text = "Too many processes"; break;
    case 10068: text = "Too many users"; break;
    case 10069: text = "Disc quota exceeded"; break;
    case 10070: text = "Stale NFS file handle"; break;
    case 10071: text = "Too many levels of remote in path"; break;
    case 10091: text = "Network system is unavailable"; break;
    case 10092: text = "Winsock version out of range"; break;
    case 10093: text = "WSAStartup not yet called"; break;
    case 10101: text = "Graceful shutdown in progress"; break;
    case 11001: text = "Host not found"; break;
    case 11004: text = "No host data of that type was found"; break;
    default: break;
    }
    return fmt::format("{} {}", code, text);
}
