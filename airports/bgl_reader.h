// The BGL airport reader: checks a scenery BGL file's structure strictly,
// finds the airport records of its airport sections and turns their helipads
// and taxi parkings into stands. Problems inside a file go to the scan log or
// the log; they never stop the scan.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "airports/scanned_airport.h"
#include "core/value_types.h"

// ---- What the reader needs of the rest of the airport scan -----------------

// The scan log lines of the whole airport scan; the scan owns them and writes
// them to AirportsScanLog.txt.
extern std::vector<std::string> ScanLogLines;
void gf_addScanLogLine(std::string line);

// The storage the BGL files of one walk are read into. It is kept from file
// to file and grows to the largest file read, so the large airport files of a
// scan are not each given fresh memory, nor is it cleared before a read
// overwrites it.
class BglFileBuffer {
public:
    // Room for `count` words; what it held before is not kept.
    std::span<uint32_t> words(size_t count);

private:
    std::unique_ptr<uint32_t[]> m_words;
    size_t m_capacity = 0;
};

// What the package scan does with the airports of one BGL file.
class BglAirportHandler {
public:
    virtual ~BglAirportHandler() = default;
    // The airport database knows the code.
    virtual bool isKnownAirport(const IcaoCode& icao);
    // The feed has traffic for the airport this week (an empty list takes all).
    virtual bool isWeeklyTrafficAirport(const IcaoCode& icao);
    // Before the stands are read: true when the airport needs none (it is
    // linked to an archived airport file, or its package's publisher is not
    // one the program uses).
    virtual bool coveredWithoutStands(ScannedAirport& airport) = 0;
    // An airport with at least one stand, and how many of them are helipads.
    virtual void airportRead(ScannedAirport& airport, int helipads) = 0;

    // The files handed to this handler are read into this one buffer.
    BglFileBuffer fileBuffer;
};

// ---- Structure --------------------------------------------------------------

inline constexpr size_t BGL_HEADER_SIZE = 56;
inline constexpr uint16_t BGL_AIRPORT_RECORD = 0x56;
inline constexpr uint16_t BGL_HELIPAD_RECORD = 0x26;
inline constexpr uint16_t BGL_TAXI_PARKING_RECORD = 0xE7;

struct BglStructureError {
    int kind = 0;
    size_t offset = 0; // bytes
    std::string text;
};

struct BglRecord {
    uint16_t id = 0;
    size_t offset = 0; // bytes
    size_t size = 0;   // bytes, header included
};

using BglStructure = std::variant<BglStructureError, std::vector<BglRecord>>;

// The first structure error, or every record of every airport section in file order.
BglStructure lf_readBglStructure(std::span<const std::byte> bytes);

// The file as little-endian 32-bit words, read into `buffer`; 1-3 trailing
// bytes are dropped; empty on any failure or when the file is shorter than 4
// bytes. The words stay valid until the buffer's next read.
std::span<const uint32_t> lf_readWholeFile(std::istream& in, BglFileBuffer& buffer);

// From the header and section table alone: the file may hold an airport section.
bool lf_hasAirportSection(const std::filesystem::path& path);

// ---- Decoding ---------------------------------------------------------------

// The ident text of a packed ident word (base 38 in bits 5-31); no value when
// it holds a blank or "?" or more than 10 characters.
std::optional<std::string> lf_bglIdentText(uint32_t word);
// The ICAO code of an airport record: valid, four characters and known to the
// handler; a four-character code it does not know adds "<code> is not known".
std::optional<IcaoCode> lf_decodeBglIdent(uint32_t word, BglAirportHandler& handler);

// Altitude in feet of an airport record's millimetres (signed: airports below
// sea level stay below it); 0 outside -20..10000 ft.
int32_t lf_bglAirportAltitudeFeet(int32_t millimetres);

// The name when new, else the name with the first free letter of "abcdefghij";
// no value when all ten are taken. A returned name is added to the set.
std::optional<std::string> lf_makeStandIdsUnique(const std::string& name, std::set<std::string>& used);

// The stands of one airport record (its byte offset and size in the file).
struct BglAirportStands {
    std::vector<Stand> stands;
    int helipads = 0;
};
BglAirportStands lf_walkAirportSubrecords(std::span<const std::byte> bytes, const BglRecord& airport);

// Reads one file and hands every supported airport with stands to the handler.
void lf_processBGLfile(const std::filesystem::path& path, BglAirportHandler& handler);

// After a file: an error line when it took one second or longer.
void lf_reportSlowBglPhase(const std::filesystem::path& path, std::chrono::steady_clock::time_point start,
                           std::string_view phase);
