// The local air pressure from METAR reports, and the program-wide QNH.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

// The QNH in hPa; 1013 until a METAR gives another value.
extern std::atomic<int32_t> CurrentQnh;

struct QnhParseError {
    uint8_t code = 0; // 0 no group, 1 no usable METAR, 2 not a number, 3 outside 900..1100
    std::string message;
};

// The first five-character token starting with 'Q' (hPa) or 'A' (hundredths
// of inHg), one trailing '=' ignored. Never throws.
std::variant<int32_t, QnhParseError> gf_qnhFromMetar(std::string_view metar);
