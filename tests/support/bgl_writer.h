#pragma once
// Writes synthetic scenery BGL files: a 56-byte header, the section table,
// each section's subsection table and the data blocks, in that order, so
// tests can feed the BGL airport reader and break the structure on purpose.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvr::test {

struct BglHelipad {
    double lat = 0.0, lon = 0.0;
    float sizeMetres = 20.0f;
};

struct BglParking {
    uint32_t nameIndex = 10; // 10 = "GATE "
    uint32_t number = 1;
    uint32_t type = 8;
    uint32_t airlines = 0; // airline codes after the entry
    float radiusMetres = 20.0f;
    float headingDegrees = 0.0f;
    double lat = 0.0, lon = 0.0;
};

struct BglAirport {
    std::string ident = "EHAM";
    int32_t altitudeMillimetres = 0;
    std::vector<BglHelipad> helipads;
    std::vector<BglParking> parkings; // one taxi-parking list after the helipads when not empty
    std::vector<std::string> extraSubrecords; // raw sub-records before the helipads
};

// The packed ident word (base 38 above 5 low bits); "" gives 0.
uint32_t bglIdentWord(std::string_view ident);
uint32_t bglLongitude(double degrees);
uint32_t bglLatitude(double degrees);

// One record: u16 id, u32 size (header included), then the body.
std::string bglRecord(uint16_t id, std::string_view body);
std::string bglAirportRecord(const BglAirport& airport);

void putU16(std::string& bytes, std::size_t offset, uint16_t value);
void putU32(std::string& bytes, std::size_t offset, uint32_t value);
void putF32(std::string& bytes, std::size_t offset, float value);

struct BglSubsection {
    std::vector<std::string> records;
};
struct BglSection {
    uint32_t type = 3; // 3 = airport section
    bool wideDescriptors = false; // 20-byte subsection descriptors
    std::vector<BglSubsection> subsections;
};

struct BglFile {
    std::string bytes;
    std::vector<std::size_t> tables;      // subsection table offset per section
    std::vector<std::size_t> descriptors; // per subsection, in file order
    std::vector<std::size_t> blocks;      // data block offset per subsection, in file order
};
BglFile bglFile(const std::vector<BglSection>& sections);
// A file with one airport section holding the airports in one subsection.
BglFile bglAirportFile(const std::vector<BglAirport>& airports);

} // namespace kvr::test
