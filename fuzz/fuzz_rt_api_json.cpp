// The web API's answers: traffic, parked traffic and the nearest METARs.
#include <cstddef>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "feed/rt_api_decoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const nlohmann::json json = nlohmann::json::parse(data, data + size, nullptr, false);
    if (json.is_discarded())
        return 0;
    TrafficConversionContext context;
    TrafficBatch batch;
    try {
        gf_decodeRTAPITraffic(json, context, batch);
    } catch (const std::exception&) {
    }
    try {
        gf_decodeRTAPIParkedTraffic(json);
    } catch (const std::exception&) {
    }
    try {
        gf_parseNearestMetar(json);
    } catch (const std::exception&) {
    }
    return 0;
}
