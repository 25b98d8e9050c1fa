// Version numbers of the program and of the data sets: major.minor.patch.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <fmt/format.h>
#include <nlohmann/json_fwd.hpp>

struct VersionData {
    int32_t major = 0;
    int32_t minor = 0;
    int32_t patch = 0;

    VersionData() = default;
    constexpr VersionData(int32_t ma, int32_t mi, int32_t pa) : major(ma), minor(mi), patch(pa) {}
    // "a.b" or "a.b.c", or a JSON object with "major", "minor" and "patch".
    // Never throws: a text it cannot read gives 0.0.0 and one log line.
    explicit VersionData(std::string_view text);

    // "{}.{}.{}"
    std::string toString() const;

    friend bool operator==(const VersionData&, const VersionData&) = default;
    friend auto operator<=>(const VersionData&, const VersionData&) = default;
};

// Strict parse of two or three dot-separated unsigned decimal numbers; logs nothing.
std::optional<VersionData> gf_tryParseVersionNumbers(std::string_view text);

// The member as an integer when it is an integer number; 0 otherwise.
int32_t lf_jsonVersionField(const nlohmann::json& object, const char* key);

// The running program's own version.
const VersionData& gf_programVersion();
// The member of the download site's version answer; empty (and an error
// line) when it is missing or not a version object of three non-negative
// numbers.
std::optional<VersionData> lf_webVersion(const nlohmann::json& manifest, const char* name);

template <>
struct fmt::formatter<VersionData> {
    constexpr auto parse(fmt::format_parse_context& ctx) { return ctx.begin(); }
    template <typename FormatContext>
    auto format(const VersionData& v, FormatContext& ctx) const
    {
        return fmt::format_to(ctx.out(), "{}.{}.{}", v.major, v.minor, v.patch);
    }
};
