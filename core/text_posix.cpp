// The conversions between UTF-8, wide text and the ANSI code page on POSIX,
// where wchar_t holds UTF-32. Wide text that came from a UTF-16 file holds
// UTF-16 units, so surrogate pairs are joined as Windows would.
#include "core/text.h"

#include <stdexcept>

namespace {

void lf_appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Windows-1252, the ANSI code page of the western Windows systems: bytes
// 0x80-0x9F; the five bytes it leaves undefined map to the same code point,
// as Windows maps them.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

std::string wide_to_utf8(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char32_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF) {
            const char32_t low = i + 1 < text.size() ? static_cast<char32_t>(text[i + 1]) : 0;
            if (low < 0xDC00 || low > 0xDFFF)
                throw std::runtime_error("wide_to_utf8: invalid UTF-16");
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if ((c >= 0xDC00 && c <= 0xDFFF) || c > 0x10FFFF) {
            throw std::runtime_error("wide_to_utf8: invalid UTF-16");
        }
        lf_appendUtf8(out, c);
    }
    return out;
}

std::wstring utf8_to_wide(std::string_view text)
{
    std::wstring out;
    out.reserve(text.size());
    const auto bad = [] { return std::runtime_error("utf8_to_wide: invalid UTF-8"); };
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        char32_t c = 0;
        if (lead < 0x80) {
            c = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            c = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            c = lead & 0x07;
        } else {
            throw bad();
        }
        if (i + extra >= text.size() && extra > 0)
            throw bad();
        for (std::size_t k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                throw bad();
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are no UTF-8.
        if ((extra == 2 && c < 0x800) || (extra == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
            (c >= 0xD800 && c <= 0xDFFF))
            throw bad();
        out.push_back(static_cast<wchar_t>(c));
        i += extra + 1;
    }
    return out;
}

std::string gf_ansiToUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const unsigned char b = static_cast<unsigned char>(ch);
        lf_appendUtf8(out, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char32_t>(b));
    }
    return out;
}
