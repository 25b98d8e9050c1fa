// Text inside the program is UTF-8 in narrow strings; UTF-16 is used only at
// the Windows boundary. Also: reading text files of unknown encoding, line and
// comma-list splitting, small text builders, XML attribute readers and the
// texts of Winsock error codes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

// Result of charset detection; the numeric values are fixed.
enum class Charset : int {
    Ansi = 0,           // "ANSI": the system's ANSI code page
    Utf16Le = 1,        // "Unicode"
    Utf16Be = 2,        // "Unicode_big_endian"
    Utf8WithBom = 3,    // "UTF8_with_BOM"
    Utf8WithoutBom = 4, // "UTF8_without_BOM" (also pure ASCII)
    NoneFound = 5,      // "none_found": the file could not be opened
};

// Printed name of a charset; empty text for a value outside the table.
std::string gf_charsetName(Charset charset);

// Conversions at the Windows boundary. Empty in gives empty out; invalid input
// throws std::runtime_error ("wide_to_utf8: invalid UTF-16" /
// "utf8_to_wide: invalid UTF-8").
std::string wide_to_utf8(std::wstring_view text);
std::wstring utf8_to_wide(std::string_view text);
// A line in the ANSI code page to UTF-8; never throws, empty when Windows
// cannot convert it.
std::string gf_ansiToUtf8(std::string_view text);

// Appends the lines of a byte buffer (a leading UTF-8 mark is skipped, one
// '\r' before each '\n' is dropped).
void gf_splitLines(std::string_view bytes, std::vector<std::string>& lines);
// Reads a whole binary stream and appends its lines; nothing for a failed stream.
void gf_readStreamLines(std::istream& in, std::vector<std::string>& lines);
// Reads a whole UTF-16 stream and appends its lines as UTF-8. A byte-order
// mark gives the byte order; without one it is told by the zero bytes, as
// charset detection tells it. A stream of an odd size gives no lines.
void gf_readUtf16StreamLines(std::istream& in, std::vector<std::string>& lines);

// Judge the whole file / buffer: an accented letter far into a file decides
// as much as one at its start.
Charset gf_detectCharset(const std::filesystem::path& path);
Charset gf_detectCharsetOfBytes(std::string_view bytes);
// Clears `lines` and fills it with the file's lines as UTF-8, read in the
// given charset. False when the file cannot be opened, the charset is unknown
// or the lines cannot be decoded (the last two are shown to the user).
bool gf_readLinesInCharset(Charset charset, const std::filesystem::path& path, std::vector<std::string>& lines);
// Clears `lines`, detects the charset and reads the lines as UTF-8 with one
// read of the file. The charset is NoneFound when the file cannot be opened;
// `read` is false then and when the lines cannot be decoded (reported to the
// user).
struct TextFileLines {
    Charset charset = Charset::NoneFound;
    bool read = false;
};
TextFileLines gf_readTextFileLines(const std::filesystem::path& path, std::vector<std::string>& lines);

// Reads one file (UTF-8 path text) into its own line vector.
struct LineFileReader {
    struct Result {
        std::span<const std::string> lines; // the lines read (empty on failure)
        std::string_view error;             // "open_failed" when the file could not be opened
        bool ok = false;
    };

    std::string path;
    std::vector<std::string> lines;

    Result readAll(std::size_t reserve = 0);
};

// A path as UTF-8 for messages; "?" when it has no UTF-8 form. Never throws.
std::string gf_pathText(const std::filesystem::path& path);

// Write each line + "\n" / the text (+ "\n"); false when the file cannot be
// opened or written.
bool gf_writeLines(const std::vector<std::string>& lines, const std::filesystem::path& path);
bool gf_writeTextFile(std::string_view text, const std::filesystem::path& path, bool addNewline);

// Blank, tab, line feed and carriage return: the whitespace of text lines.
inline constexpr std::string_view kLineWhitespace = " \t\n\r";
// The same with form feed and vertical tab, as std::isspace in the C locale.
inline constexpr std::string_view kAllWhitespace = " \t\n\r\f\v";
// The text without the leading and trailing characters of `whitespace`.
std::string_view gf_trimView(std::string_view text, std::string_view whitespace = kLineWhitespace);
// gf_trimView with line whitespace, as a string.
std::string gf_trim(std::string_view text);
// Trimmed, non-empty pieces between the delimiters.
std::vector<std::string> gf_split(std::string_view text, char delimiter);
std::vector<std::string> gf_splitOnComma(std::string_view text);
// Trimmed pieces between commas (empty ones kept), sorted and unique.
std::vector<std::string> gf_splitSortedUnique(std::string_view text);
// A list holding whitespace becomes its trimmed non-empty pieces joined by ','.
void gf_normalizeCommaList(std::string& text);
// The text between the first two double quotes; the text itself without quotes.
std::string gf_unquote(std::string_view text);
std::string gf_removeDots(std::string_view text);

// "s" unless count is 1.
std::string gf_pluralSuffix(std::int64_t count);
// "{:.0f}" for whole values, else "{:.1f}".
std::string gf_formatNumber(double value);
// A line of '*' around an optional title, for log headers and footers.
std::string gf_makeBanner(int stars, int extra, bool leadingNewline, bool trailingNewline,
                          std::string_view title);

// Attribute readers: no value / empty text when the attribute is absent.
std::optional<std::string> gf_xmlOptString(const pugi::xml_node& node, const char* name);
std::string gf_xmlString(const pugi::xml_node& node, const char* name);

// "{code} {text}", as in "10061 Connection refused".
std::string gf_wsaErrorText(int code);
