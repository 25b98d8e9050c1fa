// The conversions between UTF-8, UTF-16 and the ANSI code page, by Windows.
#include "core/text.h"

#include <windows.h>

#include <stdexcept>

std::string wide_to_utf8(std::wstring_view text)
{
    if (text.empty())
        return {};
    const int length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (length < 1)
        throw std::runtime_error("wide_to_utf8: invalid UTF-16");
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        out.data(), length, nullptr, nullptr);
    return out;
}

std::wstring utf8_to_wide(std::string_view text)
{
    if (text.empty())
        return {};
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    if (length < 1)
        throw std::runtime_error("utf8_to_wide: invalid UTF-8");
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        out.data(), length);
    return out;
}

std::string gf_ansiToUtf8(std::string_view text)
{
    if (text.empty())
        return {};
    const int inLength = static_cast<int>(text.size());
    int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), inLength, nullptr, 0);
    if (length < 1)
        length = MultiByteToWideChar(CP_ACP, 0, text.data(), inLength, nullptr, 0);
    if (length < 1)
        return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    length = MultiByteToWideChar(CP_ACP, 0, text.data(), inLength, wide.data(), length);
    if (length < 1)
        return {};
    wide.resize(static_cast<std::size_t>(length));
    const int outLength = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (outLength < 1)
        return {};
    std::string out(static_cast<std::size_t>(outLength), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, out.data(), outLength, nullptr, nullptr);
    return out;
}
