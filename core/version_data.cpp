// Version numbers: parsing and printing.
#include "core/version_data.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "core/log.h"
#include "core/text.h"

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

// No version text comes near this length; a longer one is refused before
// any parsing, so its cost stays bounded.
constexpr std::size_t kMaxVersionTextLength = 4096;

bool lf_isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The whole text as "digits.digits" or "digits.digits.digits": the digit runs
// in `groups`, and how many there are (2 or 3); 0 when the text has another form.
std::size_t lf_splitDottedNumbers(std::string_view text, std::string_view (&groups)[3])
{
    std::size_t count = 0;
    std::size_t pos = 0;
    while (count < 3) {
        const std::size_t start = pos;
        while (pos < text.size() && lf_isDigit(text[pos]))
            ++pos;
        if (pos == start)
            return 0;
        groups[count++] = text.substr(start, pos - start);
        if (pos == text.size())
            return count >= 2 ? count : 0;
        if (text[pos] != '.')
            return 0;
        ++pos;
    }
    return 0;
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
        if (text.size() > kMaxVersionTextLength)
            throw std::runtime_error("invalid version format: the text is too long");
        std::string_view groups[3];
        const std::size_t count = lf_splitDottedNumbers(text, groups);
        if (count != 0) {
            major = lf_versionNumber(std::string(groups[0]));
            minor = lf_versionNumber(std::string(groups[1]));
            if (count == 3)
                patch = lf_versionNumber(std::string(groups[2]));
            return;
        }
        const std::string_view trimmed = gf_trimView(text, kAllWhitespace);
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

namespace {

std::optional<int32_t> lf_versionNumber(const nlohmann::json& object, const char* key)
{
    try {
        const auto it = object.find(key);
        if (it == object.end())
            return std::nullopt;
        constexpr auto kMax = static_cast<double>(std::numeric_limits<int32_t>::max());
        if (it->is_boolean())
            return it->get<bool>() ? 1 : 0;
        if (it->is_number_unsigned()) {
            const auto v = it->get<std::uint64_t>();
            return v <= static_cast<std::uint64_t>(kMax) ? std::optional<int32_t>(static_cast<int32_t>(v)) : std::nullopt;
        }
        if (it->is_number_integer()) {
            const auto v = it->get<std::int64_t>();
            return v >= 0 && v <= static_cast<std::int64_t>(kMax) ? std::optional<int32_t>(static_cast<int32_t>(v))
                                                                 : std::nullopt;
        }
        if (it->is_number_float()) {
            const double v = it->get<double>();
            return std::isfinite(v) && v >= 0 && v <= kMax ? std::optional<int32_t>(static_cast<int32_t>(v))
                                                            : std::nullopt;
        }
    } catch (const nlohmann::json::exception&) {
    }
    return std::nullopt;
}

} // namespace

std::optional<VersionData> lf_webVersion(const nlohmann::json& manifest, const char* name)
{
    const auto it = manifest.find(name);
    if (it == manifest.end()) {
        gf_logError(fmt::format("{} version not found", name));
        return std::nullopt;
    }
    if (!it->is_object()) {
        gf_logError(fmt::format("Invalid web version data for '{}'", name));
        return std::nullopt;
    }
    const auto major = lf_versionNumber(*it, "major");
    const auto minor = lf_versionNumber(*it, "minor");
    const auto patch = lf_versionNumber(*it, "patch");
    if (!major || !minor || !patch) {
        gf_logError(fmt::format("Invalid web version numbers for '{}'", name));
        return std::nullopt;
    }
    return VersionData(*major, *minor, *patch);
}
