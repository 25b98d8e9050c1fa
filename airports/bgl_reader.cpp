#include "airports/bgl_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <istream>
#include <iterator>
#include <numbers>
#include <set>
#include <utility>

#include <fmt/format.h>

#include "airports/airport_database.h"
#include "airports/parking_names.h"
#include "core/log.h"
#include "core/units.h"
#include "airports/weekly_traffic_airports.h"

std::vector<std::string> ScanLogLines;

void gf_addScanLogLine(std::string line)
{
    ScanLogLines.push_back(std::move(line));
}

bool BglAirportHandler::isKnownAirport(const IcaoCode& icao)
{
    return gf_airportDbLookup(icao).has_value();
}

bool BglAirportHandler::isWeeklyTrafficAirport(const IcaoCode& icao)
{
    return gf_isWeeklyTrafficAirport(icao.code);
}

namespace {

constexpr double LONGITUDE_FACTOR = 4.470348358154297e-07; // 360 / (3 * 2^28)
constexpr double LATITUDE_FACTOR = 3.3527612686157227e-07; // 180 / 2^29
constexpr int MAX_WALK_STEPS = 9000;

// Little-endian reads that never leave [0, limit).
std::optional<uint32_t> u32At(std::span<const std::byte> bytes, uint64_t offset, uint64_t limit)
{
    limit = std::min<uint64_t>(limit, bytes.size());
    if (offset > limit || limit - offset < 4)
        return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + offset;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::optional<uint16_t> u16At(std::span<const std::byte> bytes, uint64_t offset, uint64_t limit)
{
    limit = std::min<uint64_t>(limit, bytes.size());
    if (offset > limit || limit - offset < 2)
        return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + offset;
    return uint16_t(p[0] | p[1] << 8);
}

std::optional<float> f32At(std::span<const std::byte> bytes, uint64_t offset, uint64_t limit)
{
    const std::optional<uint32_t> raw = u32At(bytes, offset, limit);
    if (!raw)
        return std::nullopt;
    float value;
    std::memcpy(&value, &*raw, sizeof value);
    return value;
}

LatLon decodePosition(uint32_t longitude, uint32_t latitude)
{
    return {90.0 - latitude * LATITUDE_FACTOR, longitude * LONGITUDE_FACTOR - 180.0};
}

// Inside +-90/+-180 and not both within 0.0001 degrees of zero.
bool usablePosition(const LatLon& p)
{
    return std::abs(p.latitude) <= 90.0 && std::abs(p.longitude) <= 180.0 &&
           !(std::abs(p.latitude) <= 0.0001 && std::abs(p.longitude) <= 0.0001);
}

// Byte ranges already read; another range must be either one of them or apart from all.
// The kept ranges never overlap one another, so in (begin, end) order their ends
// rise too: the last range that begins before a new range ends is the only one
// that can reach into it.
class ReadRanges {
public:
    enum class Fit { NEW, SAME, OVERLAP };
    Fit add(uint64_t begin, uint64_t end)
    {
        if (m_ranges.contains({begin, end}))
            return Fit::SAME;
        const auto after = m_ranges.lower_bound({end, 0});
        if (after != m_ranges.begin() && begin < std::prev(after)->second)
            return Fit::OVERLAP;
        m_ranges.emplace(begin, end);
        return Fit::NEW;
    }

private:
    std::set<std::pair<uint64_t, uint64_t>> m_ranges;
};

BglStructureError structureError(int kind, uint64_t offset, std::string text)
{
    return {kind, static_cast<size_t>(offset), std::move(text)};
}

// The records of one data block, or the error that ends the check.
std::optional<BglStructureError> readRecords(std::span<const std::byte> bytes, uint64_t block, uint64_t blockEnd,
                                             uint32_t count, std::vector<BglRecord>& records)
{
    uint64_t pos = block;
    for (uint32_t r = 0; r < count; ++r) {
        if (blockEnd - pos < 6)
            return structureError(7, pos, "Airport section record header exceeds its subsection");
        const std::optional<uint16_t> id = u16At(bytes, pos, blockEnd);
        const std::optional<uint32_t> size = u32At(bytes, pos + 2, blockEnd);
        if (!id || !size)
            return structureError(7, pos, "Cannot read airport section record header");
        if (*size < 6 || *size % 4 != 0)
            return structureError(8, pos, "Airport section record has an invalid size");
        if (*size > blockEnd - pos)
            return structureError(9, pos, "Airport section record exceeds its subsection");
        records.push_back({*id, static_cast<size_t>(pos), *size});
        pos += *size;
    }
    if (pos != blockEnd)
        return structureError(10, pos, "Airport subsection record count does not consume its complete data block");
    return std::nullopt;
}

} // namespace

BglStructure lf_readBglStructure(std::span<const std::byte> bytes)
{
    const uint64_t size = bytes.size();
    if (size < BGL_HEADER_SIZE)
        return structureError(0, 0, "BGL file is smaller than its header");
    if (u32At(bytes, 4, size) != BGL_HEADER_SIZE)
        return structureError(1, 4, "Unexpected BGL header size");
    const std::optional<uint32_t> sections = u32At(bytes, 20, size);
    if (!sections)
        return structureError(2, 20, "Cannot read BGL section count");
    if (20 * uint64_t(*sections) > size - BGL_HEADER_SIZE)
        return structureError(2, 56, "BGL section table exceeds the file");

    std::vector<BglRecord> records;
    ReadRanges tables, blocks;
    for (uint32_t s = 0; s < *sections; ++s) {
        const uint64_t entry = BGL_HEADER_SIZE + 20 * uint64_t(s);
        if (u32At(bytes, entry, size) != 3u)
            continue;
        const std::optional<uint32_t> flags = u32At(bytes, entry + 4, size);
        const std::optional<uint32_t> count = u32At(bytes, entry + 8, size);
        const std::optional<uint32_t> table = u32At(bytes, entry + 12, size);
        if (!flags || !count || !table)
            return structureError(3, entry, "Incomplete airport section descriptor");
        const uint64_t descriptorSize = (*flags & 0x10000u) ? 20 : 16;
        const uint64_t tableEnd = *table + *count * descriptorSize;
        if (*table > size || tableEnd > size)
            return structureError(3, *table, "Airport subsection table exceeds the file");
        const ReadRanges::Fit tableFit = tables.add(*table, tableEnd);
        if (tableFit == ReadRanges::Fit::OVERLAP)
            return structureError(5, *table, "Airport subsection tables overlap");
        if (tableFit == ReadRanges::Fit::SAME)
            continue;

        for (uint32_t d = 0; d < *count; ++d) {
            const uint64_t descriptor = *table + d * descriptorSize;
            const std::optional<uint32_t> recordCount = u32At(bytes, descriptor + 4, size);
            const std::optional<uint32_t> block = u32At(bytes, descriptor + 8, size);
            const std::optional<uint32_t> blockSize = u32At(bytes, descriptor + 12, size);
            if (!recordCount || !block || !blockSize)
                return structureError(3, descriptor, "Incomplete airport subsection descriptor");
            const uint64_t blockEnd = uint64_t(*block) + *blockSize;
            if (*block > size || blockEnd > size)
                return structureError(4, *block, "Airport subsection data exceeds the file");
            if (*recordCount > size / 8)
                return structureError(6, descriptor, "Airport subsection record count cannot fit in its data block");
            const ReadRanges::Fit blockFit = blocks.add(*block, blockEnd);
            if (blockFit == ReadRanges::Fit::OVERLAP)
                return structureError(5, *block, "Airport subsection data blocks overlap");
            if (blockFit == ReadRanges::Fit::SAME)
                continue;
            if (auto error = readRecords(bytes, *block, blockEnd, *recordCount, records))
                return std::move(*error);
        }
    }
    return records;
}

std::span<uint32_t> BglFileBuffer::words(size_t count)
{
    if (count > m_capacity) {
        m_words.reset(); // the old storage goes before the new is taken
        m_words.reset(new uint32_t[count]);
        m_capacity = count;
    }
    return {m_words.get(), count};
}

std::span<const uint32_t> lf_readWholeFile(std::istream& in, BglFileBuffer& buffer)
{
    try {
        in.seekg(0, std::ios::end);
        const std::streamoff length = in.tellg();
        if (!in || length < 4)
            return {};
        in.seekg(0, std::ios::beg);
        const std::span<uint32_t> words = buffer.words(static_cast<size_t>(length / 4));
        in.read(reinterpret_cast<char*>(words.data()), static_cast<std::streamsize>(words.size_bytes()));
        if (!in)
            return {};
        return words;
    }
    catch (const std::exception&) {
        return {};
    }
}

bool lf_hasAirportSection(const std::filesystem::path& path)
{
    // One open and one small read: the header with as much of the section
    // table as it brings. The file's size is asked only when the section
    // count reaches past what was read, the rest of the table only when a
    // file has more sections than the read brought.
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::array<std::byte, 1024> head{};
    in.read(reinterpret_cast<char*>(head.data()), head.size());
    const uint64_t got = static_cast<uint64_t>(in.gcount());
    if (got <= BGL_HEADER_SIZE)
        return false;
    const uint32_t sections = *u32At(head, 20, got);
    if (sections == 0)
        return false;
    if (sections > (got - BGL_HEADER_SIZE) / 20) {
        if (got < head.size()) // the whole file was read
            return false;
        in.clear();
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        if (!in || size < 0 || sections > (static_cast<uint64_t>(size) - BGL_HEADER_SIZE) / 20)
            return false;
    }
    std::array<std::byte, 4> type{};
    for (uint32_t s = 0; s < sections; ++s) {
        const uint64_t entry = BGL_HEADER_SIZE + 20 * uint64_t(s);
        std::optional<uint32_t> value = u32At(head, entry, got);
        if (!value) {
            in.clear();
            in.seekg(static_cast<std::streamoff>(entry));
            if (!in.read(reinterpret_cast<char*>(type.data()), type.size()))
                return false;
            value = u32At(type, 0, type.size());
        }
        if (*value == 3)
            return true;
    }
    return false;
}

std::optional<std::string> lf_bglIdentText(uint32_t word)
{
    uint32_t value = word >> 5;
    std::string text;
    while (value != 0) {
        const uint32_t digit = value % 38;
        value /= 38;
        if (digit < 2 || text.size() == 10)
            return std::nullopt;
        text.insert(text.begin(), digit < 12 ? char('0' + digit - 2) : char('A' + digit - 12));
    }
    return text;
}

std::optional<IcaoCode> lf_decodeBglIdent(uint32_t word, BglAirportHandler& handler)
{
    const std::optional<std::string> text = lf_bglIdentText(word);
    if (!text || text->size() != 4)
        return std::nullopt;
    const std::optional<IcaoCode> icao = IcaoCode::tryParse(*text);
    if (!icao)
        return std::nullopt;
    if (!handler.isKnownAirport(*icao)) {
        gf_addScanLogLine(fmt::format("{} is not known", *text));
        return std::nullopt;
    }
    return icao;
}

int32_t lf_bglAirportAltitudeFeet(int32_t millimetres)
{
    const long feet = std::lround(millimetres * kFeetPerMetre / 1000.0);
    return feet >= -20 && feet <= 10000 ? static_cast<int32_t>(feet) : 0;
}

std::optional<std::string> lf_makeStandIdsUnique(const std::string& name, std::set<std::string>& used)
{
    if (used.insert(name).second)
        return name;
    for (const char letter : std::string_view("abcdefghij")) {
        std::string candidate = name + letter;
        if (used.insert(candidate).second)
            return candidate;
    }
    return std::nullopt;
}

namespace {

void logInvalidBoundary(uint64_t pos, bool asError)
{
    const std::string line = fmt::format("   Warning: invalid record boundary at o3 = {}", pos / 4);
    asError ? gf_logError(line) : gf_logLine(line);
}

std::string utf8Text(const std::filesystem::path& path)
{
    const auto u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

// One helipad sub-record in [pos, end); false when it cannot be read.
bool readHelipad(std::span<const std::byte> bytes, uint64_t pos, uint64_t end, BglAirportStands& out,
                 std::vector<LatLon>& seen)
{
    const std::optional<uint32_t> lon = u32At(bytes, pos + 12, end);
    const std::optional<uint32_t> lat = u32At(bytes, pos + 16, end);
    const std::optional<float> size = f32At(bytes, pos + 28, end);
    if (!lon || !lat || !size)
        return false;
    const LatLon position = decodePosition(*lon, *lat);
    if (!usablePosition(position)) {
        gf_addScanLogLine(fmt::format("lat/lon helipad incorrect (skipped): {}", position));
        return true;
    }
    for (const LatLon& earlier : seen) {
        if (std::abs(earlier.latitude - position.latitude) <= 1e-8 &&
            std::abs(earlier.longitude - position.longitude) <= 1e-8) {
            gf_addScanLogLine(fmt::format("double helipad {} (skipped) {}", "", position));
            return true;
        }
    }
    seen.push_back(position);
    Stand stand;
    stand.name = fmt::format("helipad{}", ++out.helipads);
    stand.lat = position.latitude;
    stand.lon = position.longitude;
    stand.radius = std::isfinite(*size) ? *size * 0.5 * kNmPerMetre : 0.0;
    stand.helipad = 1;
    out.stands.push_back(std::move(stand));
    return true;
}

// Heading in radians, 0 <= h < 2 pi.
double headingRadians(float degrees)
{
    if (!std::isfinite(degrees))
        return 0.0;
    double d = std::fmod(static_cast<double>(degrees), 360.0);
    if (d < 0.0)
        d += 360.0;
    const double radians = d * std::numbers::pi / 180.0;
    return radians < 2.0 * std::numbers::pi ? radians : 0.0;
}

// The parkings of one taxi-parking list sub-record in [pos, end).
void readTaxiParkings(std::span<const std::byte> bytes, uint64_t pos, uint64_t end, BglAirportStands& out)
{
    const std::optional<uint16_t> count = u16At(bytes, pos + 6, end);
    if (!count) {
        logInvalidBoundary(pos, false);
        return;
    }
    std::set<std::string> names;
    uint64_t entry = pos + 8;
    for (uint32_t i = 0; i < *count; ++i) {
        const std::optional<uint32_t> head = u32At(bytes, entry, end);
        const std::optional<float> radius = f32At(bytes, entry + 4, end);
        const std::optional<float> heading = f32At(bytes, entry + 8, end);
        const std::optional<uint32_t> lon = u32At(bytes, entry + 28, end);
        const std::optional<uint32_t> lat = u32At(bytes, entry + 32, end);
        const uint64_t entrySize = head ? 56 + 4 * uint64_t(*head >> 24) : 56;
        if (!head || !radius || !heading || !lon || !lat || entrySize > end - entry) {
            logInvalidBoundary(entry, false);
            return;
        }
        entry += entrySize;
        const uint32_t type = (*head >> 8) & 0xF;
        if (type == 0 || type == 13)
            continue;
        const std::string base = fmt::format("{}{}", gf_parkingNamePrefix(static_cast<int>(*head & 0x3F)), (*head >> 12) & 0xFFF);
        const std::optional<std::string> name = lf_makeStandIdsUnique(base, names);
        if (!name) {
            gf_addScanLogLine(fmt::format("{}Warning: more than 10 duplicate IDs {}", "===> ", base));
            continue;
        }
        const LatLon position = decodePosition(*lon, *lat);
        if (!usablePosition(position)) {
            gf_addScanLogLine(fmt::format("LatLon {} invalid (skipped)", position));
            continue;
        }
        Stand stand;
        stand.name = *name;
        stand.lat = position.latitude;
        stand.lon = position.longitude;
        stand.heading = headingRadians(*heading);
        stand.radius = std::isfinite(*radius) ? *radius * kNmPerMetre : 0.0;
        stand.type = static_cast<StandType>(type);
        stand.gaRamp = (type >= 1 && type <= 4) || type == 14;
        stand.cargo = type == 5 || type == 6;
        out.stands.push_back(std::move(stand));
    }
}

} // namespace

BglAirportStands lf_walkAirportSubrecords(std::span<const std::byte> bytes, const BglRecord& airport)
{
    BglAirportStands out;
    std::vector<LatLon> helipads;
    // Every read stays inside the airport record, and so inside the file.
    const uint64_t end = std::min<uint64_t>(uint64_t(airport.offset) + airport.size, bytes.size());
    uint64_t pos = uint64_t(airport.offset) + 68;
    for (int step = 0; step < MAX_WALK_STEPS; ++step) {
        if (pos >= end)
            return out;
        if (end - pos < 6) {
            gf_logError(fmt::format("   Error: o3={} exceeded data buffer size ({}), aborting.", pos / 4, end / 4));
            return out;
        }
        const uint16_t id = *u16At(bytes, pos, end);
        const uint32_t size = *u32At(bytes, pos + 2, end);
        if (size < 6 || size > end - pos) {
            logInvalidBoundary(pos, id == BGL_HELIPAD_RECORD);
            return out;
        }
        if (id == BGL_TAXI_PARKING_RECORD) {
            readTaxiParkings(bytes, pos, pos + size, out);
            return out;
        }
        if (id == BGL_HELIPAD_RECORD && !readHelipad(bytes, pos, pos + size, out, helipads)) {
            logInvalidBoundary(pos, true);
            return out;
        }
        pos += size;
    }
    gf_logError("Error: Maximum loop iterations reached (1) ");
    return out;
}

void lf_reportSlowBglPhase(const std::filesystem::path& path, std::chrono::steady_clock::time_point start,
                           std::string_view phase)
{
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count() <= 999'999'999)
        return;
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    gf_logError(fmt::format("Slow BGL processing: {:.2f} s, {}, phase {}, file '{}'",
                            std::chrono::duration<double>(elapsed).count(),
                            ec ? std::string("unknown size") : fmt::format("{} bytes", size), phase, utf8Text(path)));
}

namespace {

// The steps of one file; the phase reached is left in `phase`.
void processFile(const std::filesystem::path& path, BglAirportHandler& handler, std::string_view& phase)
{
    const std::string pathText = utf8Text(path);
    phase = "opening";
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return;
    phase = "reading";
    const std::span<const uint32_t> words = lf_readWholeFile(in, handler.fileBuffer);
    if (words.empty()) {
        phase = "empty";
        return;
    }
    phase = "enumerating";
    const std::span<const std::byte> bytes = std::as_bytes(words);
    const BglStructure structure = lf_readBglStructure(bytes);
    if (const auto* error = std::get_if<BglStructureError>(&structure)) {
        phase = "parse error";
        if (error->kind > 1)
            gf_logError(fmt::format("BGL airport section parse error at byte {} in '{}': {}", error->offset,
                                    pathText, error->text));
        return;
    }
    phase = "processing records";
    for (const BglRecord& record : std::get<std::vector<BglRecord>>(structure)) {
        if (record.id != BGL_AIRPORT_RECORD)
            continue;
        // The ident and the altitude are read inside the record only.
        const uint64_t recordEnd = uint64_t(record.offset) + record.size;
        const std::optional<uint32_t> identWord = u32At(bytes, record.offset + 40, recordEnd);
        if (!identWord) {
            gf_logError(fmt::format("Airport record at byte {} is too small to contain an ICAO", record.offset));
            continue;
        }
        const std::optional<IcaoCode> icao = lf_decodeBglIdent(*identWord, handler);
        if (!icao || !handler.isWeeklyTrafficAirport(*icao))
            continue;
        ScannedAirport airport;
        airport.icao = *icao;
        airport.bglFile = path;
        airport.bglPath = pathText;
        const std::optional<uint32_t> millimetres = u32At(bytes, record.offset + 20, recordEnd);
        airport.altitude = lf_bglAirportAltitudeFeet(static_cast<int32_t>(millimetres.value_or(0)));
        if (handler.coveredWithoutStands(airport))
            continue;
        BglAirportStands found = lf_walkAirportSubrecords(bytes, record);
        if (found.stands.empty())
            continue;
        airport.stands = std::move(found.stands);
        handler.airportRead(airport, found.helipads);
    }
    phase = "complete";
}

} // namespace

void lf_processBGLfile(const std::filesystem::path& path, BglAirportHandler& handler)
{
    const auto start = std::chrono::steady_clock::now();
    std::string_view phase = "opening";
    try {
        processFile(path, handler, phase);
    }
    catch (...) {
        try {
            lf_reportSlowBglPhase(path, start, phase);
        }
        catch (...) {
        }
        throw;
    }
    try {
        lf_reportSlowBglPhase(path, start, phase);
    }
    catch (...) {
    }
}
