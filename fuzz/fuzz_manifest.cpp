// Packages' manifest.json files and the version texts in them.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "airports/package_manifest.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    gf_parsePackageVersion(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::filesystem::path path = kelo_fuzz::writeInput("Community/pkg/manifest.json", data, size);
    try {
        if (const auto manifest = lf_readManifest(path))
            lf_hasUsableManifestPublisher(*manifest);
    } catch (const std::exception&) {
    }
    return 0;
}
