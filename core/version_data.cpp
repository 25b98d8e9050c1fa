// Version numbers: parsing and printing.
#include "core/version_data.h"

#include <charconv>
#include <limits>
#include <regex>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "core/log.h"

#ifndef KELO_VERSION_MAJOR
#define KELO_VERSION_MAJOR 0
#endif
#ifndef KELO_VERSION_MINOR
#define KELO_VERSION_MINOR 0
#endif
#ifndef KELO_VERSION_PATCH
#define KELO_VERSION_PATCH 0
#endif

namespace {

bool lf_isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view lf_trimmed(std::string_view text)
{
    while (!text.empty() && lf_isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && lf_isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// A run of decimal digits that must fit a signed 32-bit number.
int32_t lf_versionNumber(const std::string& digits)
{
    int32_t value = 0;
    const char* end = digits.data() + digits.size();
    auto [ptr, ec] = std::from_chars(digits.data(), end, value);
    if (ec != std::errc() || ptr != end)
        throw std::runtime_error("parse error in version string");
    return value;
}

} // namespace

int32_t lf_jsonVersionField(const nlohmann::json& object, const char* key)
{
    if (!object.is_object())
        return 0;
    auto it = object.find(key);
    if (it == object.end())
        return 0;
    if (it->is_number_unsigned()) {
        auto v = it->get<uint64_t>();
        return v <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) ? static_cast<int32_t>(v) : 0;
    }
    if (it->is_number_integer()) {
        auto v = it->get<int64_t>();
        return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max()
                   ? static_cast<int32_t>(v)
                   : 0;
    }
    return 0;
}

VersionData::VersionData(std::string_view text)
{
    if (text.empty())
        return;
    try {
        static const std::regex pattern(R"((\d+)\.(\d+)(?:\.(\d+))?)", std::regex::ECMAScript);
        std::match_results<std::string_view::const_iterator> m;
        if (std::regex_match(text.begin(), text.end(), m, pattern)) {
            major = lf_versionNumber(m[1].str());
            minor = lf_versionNumber(m[2].str());
            if (m[3].matched)
                patch = lf_versionNumber(m[3].str());
            return;
        }
        const std::string_view trimmed = lf_trimmed(text);
        if (trimmed.empty() || trimmed.front() != '{')
            throw std::runtime_error("invalid version format");
        const nlohmann::json j = nlohmann::json::parse(trimmed);
        if (!j.is_object())
            throw std::runtime_error("invalid version format");
        major = lf_jsonVersionField(j, "major");
        minor = lf_jsonVersionField(j, "minor");
        patch = lf_jsonVersionField(j, "patch");
    } catch (const std::exception& e) {
        major = minor = patch = 0;
        gf_logLine(fmt::format("{} exception: {}", "VersionData", e.what()));
    }
}

std::string VersionData::toString() const
{
    return fmt::format("{}.{}.{}", major, minor, patch);
}

std::optional<VersionData> gf_tryParseVersionNumbers(std::string_view text)
{
    uint32_t numbers[3] = {0, 0, 0};
    size_t taken = 0;
    size_t pos = 0;
    bool usedAll = false;
    while (taken < 3) {
        const size_t dot = text.find('.', pos);
        const size_t end = dot == std::string_view::npos ? text.size() : dot;
        const std::string_view piece = text.substr(pos, end - pos);
        if (piece.empty())
            return std::nullopt;
        uint32_t value = 0;
        auto [ptr, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (ec != std::errc() || ptr != piece.data() + piece.size())
            return std::nullopt;
        numbers[taken++] = value;
        if (dot == std::string_view::npos) {
            usedAll = true;
            break;
        }
        pos = dot + 1;
    }
    if (taken < 2 || !usedAll)
        return std::nullopt;
    // The fields are compared as signed numbers elsewhere; a number that does
    // not fit them is no version.
    for (uint32_t n : numbers)
        if (n > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
            return std::nullopt;
    return VersionData(static_cast<int32_t>(numbers[0]), static_cast<int32_t>(numbers[1]),
                       static_cast<int32_t>(numbers[2]));
}

const VersionData& gf_programVersion()
{
    static const VersionData version(
        fmt::format("{}.{}.{}", KELO_VERSION_MAJOR, KELO_VERSION_MINOR, KELO_VERSION_PATCH));
    return version;
}
