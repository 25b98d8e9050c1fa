// BGL scenery files: the structure check and the airport records.
#include <cstddef>
#include <cstdint>
#include <span>

#include "airports/bgl_reader.h"
#include "airports/scanned_airport.h"
#include "fuzz/fuzz_support.h"

namespace {

struct Handler : BglAirportHandler {
    bool isKnownAirport(const IcaoCode&) override { return true; }
    bool isWeeklyTrafficAirport(const IcaoCode&) override { return true; }
    bool coveredWithoutStands(ScannedAirport&) override { return false; }
    void airportRead(ScannedAirport&, int) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    lf_readBglStructure(std::span<const std::byte>(reinterpret_cast<const std::byte*>(data), size));
    const std::filesystem::path path = kelo_fuzz::writeInput("scenery/airport.bgl", data, size);
    Handler handler;
    try {
        lf_processBGLfile(path, handler);
    } catch (const std::exception&) {
    }
    return 0;
}
