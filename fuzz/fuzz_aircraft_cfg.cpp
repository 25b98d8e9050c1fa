// aircraft.cfg files of the installed liveries, in any charset.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "liveries/aircraft_cfg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::filesystem::path path =
        kelo_fuzz::writeInput("Community/pkg/SimObjects/Airplanes/A320/aircraft.cfg", data, size);
    lf_searchLiveriesinFile(1, path);
    lf_searchLiveriesinIVAOFile(1, path);
    return 0;
}
