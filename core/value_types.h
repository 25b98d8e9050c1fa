// Small value types shared by every part of the program: airport codes, the
// half-hour mask of a day, latitude/longitude points and the exception whose
// message is meant for the user.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include <fmt/format.h>

// A four-character ICAO location code, upper case.
class IcaoCode {
public:
    IcaoCode() = default;
    // Exactly four characters A-Z/0-9 (a-z are folded to upper case); throws
    // std::invalid_argument "'<text>' IcaoCode: invalid string" otherwise.
    explicit IcaoCode(std::string_view text);

    // The same rule without throwing.
    static std::optional<IcaoCode> tryParse(std::string_view text) noexcept;

    // The four characters; empty when unset.
    std::string toString() const;

    bool isSet() const noexcept { return code != 0; }
    friend bool operator==(const IcaoCode& a, const IcaoCode& b) noexcept { return a.code == b.code; }
    friend auto operator<=>(const IcaoCode& a, const IcaoCode& b) noexcept { return a.code <=> b.code; }

    // c0 << 24 | c1 << 16 | c2 << 8 | c3; 0 = unset.
    uint32_t code = 0;
    std::array<char, 4> chars{};
};

// A three-character IATA airport code, upper case.
class IataCode {
public:
    IataCode() = default;
    // Exactly three characters A-Z/0-9 (a-z folded); throws
    // std::invalid_argument "'<text>' IataCode: invalid string" otherwise.
    explicit IataCode(std::string_view text);

    static std::optional<IataCode> tryParse(std::string_view text) noexcept;

    // The three characters; empty when unset.
    std::string toString() const;

    bool isSet() const noexcept { return code != 0; }
    friend bool operator==(const IataCode& a, const IataCode& b) noexcept { return a.code == b.code; }
    friend auto operator<=>(const IataCode& a, const IataCode& b) noexcept { return a.code <=> b.code; }

    // c0 << 16 | c1 << 8 | c2; 0 = unset.
    uint32_t code = 0;
    std::array<char, 3> chars{};
};

// Both codes of one airport, printed as "EHAM (AMS)".
using AirportCodes = std::pair<IcaoCode, IataCode>;

// Bit i = half-hour slot i of the day (0 = 00:00-00:29, 47 = 23:30-23:59).
using HalfHourMask = std::bitset<48>;

// The mask of an hours text: one range "a:b" or a comma list of slots.
// Never throws; bad pieces are logged.
HalfHourMask gf_hours2bitset(std::string_view text);
// "a:b" for one unbroken run of two or more slots, "a" for one slot; no value
// for an empty mask or any other pattern.
std::optional<std::string> gf_bitset2hours(const HalfHourMask& mask);

// A point on the earth in degrees.
struct LatLon {
    double latitude = 0.0;
    double longitude = 0.0;
};

// Inside +-90/+-180 (NaN fails) and not within 0.0001 degrees of 0,0.
bool gf_isValidLatLon(const LatLon& point) noexcept;

namespace kvr {

// A runtime error whose message is meant for the user; what() is "<code>: <message>".
class UserRelatedException : public std::runtime_error {
public:
    UserRelatedException(int32_t code, const std::string& message);

    int32_t code;
};

} // namespace kvr

template <>
struct fmt::formatter<IcaoCode> : fmt::formatter<std::string_view> {
    template <typename FormatContext>
    auto format(const IcaoCode& c, FormatContext& ctx) const
    {
        return fmt::formatter<std::string_view>::format(
            c.isSet() ? std::string_view(c.chars.data(), c.chars.size()) : std::string_view(), ctx);
    }
};

template <>
struct fmt::formatter<IataCode> : fmt::formatter<std::string_view> {
    template <typename FormatContext>
    auto format(const IataCode& c, FormatContext& ctx) const
    {
        return fmt::formatter<std::string_view>::format(
            c.isSet() ? std::string_view(c.chars.data(), c.chars.size()) : std::string_view(), ctx);
    }
};

template <>
struct fmt::formatter<AirportCodes> {
    constexpr auto parse(fmt::format_parse_context& ctx) { return ctx.begin(); }
    template <typename FormatContext>
    auto format(const AirportCodes& p, FormatContext& ctx) const
    {
        auto out = p.first.isSet() ? fmt::format_to(ctx.out(), "{}", p.first) : fmt::format_to(ctx.out(), "?");
        if (p.second.isSet())
            out = fmt::format_to(out, " ({})", p.second);
        return out;
    }
};

template <>
struct fmt::formatter<LatLon> {
    constexpr auto parse(fmt::format_parse_context& ctx) { return ctx.begin(); }
    template <typename FormatContext>
    auto format(const LatLon& p, FormatContext& ctx) const
    {
        return fmt::format_to(ctx.out(), "{:.6f},{:.6f}", p.latitude, p.longitude);
    }
};
