#include "feed/qnh.h"

#include <cctype>
#include <cmath>

#include <fmt/format.h>

std::atomic<int32_t> CurrentQnh{1013};

std::variant<int32_t, QnhParseError> gf_qnhFromMetar(std::string_view text)
{
    std::string_view group;
    size_t i = 0;
    while (i < text.size() && group.empty()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        const size_t start = i;
        while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        std::string_view token = text.substr(start, i - start);
        if (!token.empty() && token.back() == '=')
            token.remove_suffix(1);
        if (token.size() == 5 && (token[0] == 'Q' || token[0] == 'A'))
            group = token;
    }
    if (group.empty())
        return QnhParseError{0, "no QNH code found in METAR"};

    const bool negative = group[1] == '-';
    const std::string_view digits = group.substr(negative ? 2 : 1);
    uint32_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return QnhParseError{2, fmt::format("invalid QNH code: {}", group)};
        value = value * 10 + static_cast<uint32_t>(c - '0'); // at most four digits: no overflow
    }
    int64_t raw = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
    int64_t hpa = group[0] == 'Q' ? raw : std::lround(static_cast<double>(raw) * 0.33865307);
    if (hpa < 900 || hpa > 1100)
        return QnhParseError{3, fmt::format("QNH outside limits: {} ({})", hpa, group)};
    return static_cast<int32_t>(hpa);
}
