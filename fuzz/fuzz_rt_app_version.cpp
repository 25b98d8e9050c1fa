// The RealTraffic App's answer to the version query (one JSON object).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "feed/rt_app_link.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    lf_processRTVersion(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
