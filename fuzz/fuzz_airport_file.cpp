// The program's airport files (<ICAO>.xml): their park positions.
#include <cstddef>
#include <cstdint>
#include <vector>

#include <pugixml.hpp>

#include "airports/airport_file_format.h"
#include "airports/stand.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pugi::xml_document document;
    if (!document.load_buffer(data, size))
        return 0;
    std::vector<Stand> stands;
    try {
        gf_readParkPositions(document, stands);
    } catch (const std::exception&) {
    }
    return 0;
}
