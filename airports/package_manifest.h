// A scenery package's manifest.json and what the airport scan learns from it:
// the package's title, version, manufacturer and creator, the publisher of an
// add-on airport, the airport's ICAO code, and the package version grammar.
// Every finding and problem goes to the scan log; nothing here throws.
#pragma once

#include <compare>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

#include "core/value_types.h"

struct ScannedAirport;

struct PackageManifest {
    std::string title;
    std::string package_version; // "package_version", or "version" when that is empty
    std::string manufacturer;
    std::string creator;
};

// Manifests larger than this are not read.
inline constexpr uintmax_t g_manifestSizeLimit = 4194304;

struct PackageVersion {
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t patch = 0;
    uint32_t rc = 0;
    bool isRc = false;
    bool ok = false;

    // Numbers first; at equal numbers a release is above any release
    // candidate, and release candidates compare by their number.
    friend std::strong_ordering operator<=>(const PackageVersion& a, const PackageVersion& b)
    {
        if (auto c = std::tie(a.major, a.minor, a.patch) <=> std::tie(b.major, b.minor, b.patch); c != 0)
            return c;
        if (a.isRc != b.isRc)
            return a.isRc ? std::strong_ordering::less : std::strong_ordering::greater;
        return a.isRc ? a.rc <=> b.rc : std::strong_ordering::equal;
    }
    friend bool operator==(const PackageVersion& a, const PackageVersion& b) { return (a <=> b) == 0; }
};

// "1.2", "1.2.3", optionally followed by "-RC", "RC" (any case) and digits.
PackageVersion gf_parsePackageVersion(std::string_view text) noexcept;

std::optional<PackageManifest> lf_readManifest(const std::filesystem::path& path);
// The first manifest.json in the scenery file's folder or up to 11 above it.
std::optional<PackageManifest> gf_searchManifest(const std::filesystem::path& sceneryFile);
// A streamed package's manifest in a sub-folder (or sub-sub-folder) of `base`
// named like the package (without a leading "fs24-" first).
std::optional<PackageManifest> lf_findStreamedManifest(const std::filesystem::path& package,
                                                       const std::filesystem::path& base);

// Sets the airport's publisher text from its path, the publisher lists or
// its manifest; true when one was set.
bool lf_detectPublisher(ScannedAirport& airport);
bool lf_acceptManifestPublisher(std::string value, ScannedAirport& airport);
bool lf_hasUsableManifestPublisher(const PackageManifest& manifest);

using IcaoTest = std::function<bool(const IcaoCode&)>;
// The airport's code from its path, its file stem or its manifest title.
std::optional<IcaoCode> lf_airportCodeFromPackage(ScannedAirport& airport, const IcaoTest& accept);
