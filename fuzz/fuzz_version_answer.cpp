// The download site's version answer (versions.json): every member the
// version check reads.
#include <cstddef>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "core/version_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const nlohmann::json manifest = nlohmann::json::parse(data, data + size, nullptr, false);
    if (manifest.is_discarded() || !manifest.is_object())
        return 0;
    for (const char* member : {"msfs", "maintenance", "airports", "aig", "archives", "dbase", "weekly"})
        lf_webVersion(manifest, member);
    return 0;
}
