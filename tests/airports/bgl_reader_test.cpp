// The BGL airport reader against files of the project's own BGL writer.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <cstring>
#include <numbers>
#include <random>
#include <set>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include "airports/bgl_reader.h"
#include "airports/parking_names.h"
#include "core/log.h"
#include "tests/support/allocation_count.h"
#include "tests/support/bgl_writer.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

using namespace kvr::test;

namespace {

class RecordingHandler : public BglAirportHandler {
public:
    std::set<std::string> known{"EHAM", "EDDF"};
    bool cover = false;
    std::vector<std::pair<ScannedAirport, int>> read;

    bool isKnownAirport(const IcaoCode& icao) override { return known.count(icao.toString()) != 0; }
    bool isWeeklyTrafficAirport(const IcaoCode& icao) override { return icao.toString() != "EDDF"; }
    bool coveredWithoutStands(ScannedAirport&) override { return cover; }
    void airportRead(ScannedAirport& airport, int helipads) override { read.emplace_back(airport, helipads); }
};

std::span<const std::byte> span(const std::string& s)
{
    return std::as_bytes(std::span(s.data(), s.size()));
}

class BglReaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ScanLogLines.clear();
        gf_openLog();
    }
    void TearDown() override
    {
        gf_closeLog();
        ScanLogLines.clear();
    }
    // Writes the bytes as a file and reads it.
    void process(const std::string& bytes, const std::string& name = "a.bgl")
    {
        const std::filesystem::path path(name);
        if (path.has_parent_path())
            std::filesystem::create_directories(path.parent_path());
        writeBytes(path, bytes);
        lf_processBGLfile(name, handler);
        gf_flushLog();
    }
    bool scanLogHas(const std::string& line) const
    {
        return std::find(ScanLogLines.begin(), ScanLogLines.end(), line) != ScanLogLines.end();
    }

    ScopedTestFolders folders{"bgl"};
    RecordingHandler handler;
};

BglAirport named(const std::string& ident)
{
    BglAirport a;
    a.ident = ident;
    return a;
}

BglAirport eham()
{
    BglAirport a;
    a.ident = "EHAM";
    a.altitudeMillimetres = -3353; // -11 ft
    a.helipads = {{52.30, 4.76, 30.0f}, {52.31, 4.77, 20.0f}};
    a.parkings = {
        {10, 12, 8, 0, 20.0f, 0.0f, 52.300, 4.760},   // GATE 12, heading 0 stays 0
        {12, 5, 9, 2, 25.0f, 90.0f, 52.301, 4.761},   // GATE A5, two airline codes after it
        {1, 3, 0, 0, 10.0f, 10.0f, 52.302, 4.762},    // type 0: no stand
        {1, 7, 2, 0, 10.0f, -90.0f, 52.303, 4.763},   // PARKING 7, ramp
        {11, 2, 5, 0, 10.0f, 450.0f, 52.304, 4.764},  // DOCK 2, cargo
        {1, 8, 13, 0, 10.0f, 0.0f, 52.305, 4.766},    // type 13: no stand
        {1, 9, 3, 0, 10.0f, 0.0f, 0.0, 0.0},          // position 0,0: skipped
    };
    return a;
}

} // namespace

TEST(BglIdent, PackedIdentsDecodeInBase38)
{
    EXPECT_EQ(bglIdentWord("EHAM"), 0x01BA5180u);
    EXPECT_EQ(lf_bglIdentText(0x01BA5180u), "EHAM");
    EXPECT_EQ(lf_bglIdentText(0x01BA5180u | 0x1Fu), "EHAM"); // the low 5 bits are not part of it
    EXPECT_EQ(lf_bglIdentText(bglIdentWord("K1W2")), "K1W2");
    EXPECT_EQ(lf_bglIdentText(bglIdentWord("E HM")), std::nullopt); // a blank digit
    EXPECT_EQ(lf_bglIdentText(bglIdentWord("E?HM")), std::nullopt); // a "?" digit
    EXPECT_EQ(lf_bglIdentText(0), "");
}

TEST_F(BglReaderTest, IdentsMustBeFourCharactersAndKnown)
{
    EXPECT_EQ(lf_decodeBglIdent(bglIdentWord("EHAM"), handler), IcaoCode("EHAM"));
    EXPECT_EQ(lf_decodeBglIdent(bglIdentWord("AMS"), handler), std::nullopt);
    EXPECT_TRUE(ScanLogLines.empty());
    EXPECT_EQ(lf_decodeBglIdent(bglIdentWord("ZZZZ"), handler), std::nullopt);
    EXPECT_EQ(ScanLogLines, std::vector<std::string>{"ZZZZ is not known"});
}

TEST(BglAltitude, SignedMillimetresToFeetWithinRange)
{
    EXPECT_EQ(lf_bglAirportAltitudeFeet(-3353), -11);
    EXPECT_EQ(lf_bglAirportAltitudeFeet(-6096), -20);
    EXPECT_EQ(lf_bglAirportAltitudeFeet(-6401), 0);
    EXPECT_EQ(lf_bglAirportAltitudeFeet(3'048'000), 10000);
    EXPECT_EQ(lf_bglAirportAltitudeFeet(3'100'000), 0); // 10171 ft
}

namespace {

BglFile twoAirports()
{
    return bglAirportFile({eham(), named("EDDF")});
}

} // namespace

TEST(BglStructure, ErrorsAreFoundWithKindOffsetAndText)
{
    const BglFile f = twoAirports();
    const size_t airport2 = f.blocks[0] + bglAirportRecord(eham()).size();
    const size_t descriptor = f.descriptors[0], block = f.blocks[0];
    struct Case {
        size_t at;      // the word patched
        uint32_t value; // its new value
        int kind;
        size_t offset;
        std::string_view text;
    };
    const Case cases[] = {
        {4, 64, 1, 4, "Unexpected BGL header size"},
        {20, 1000, 2, 56, "BGL section table exceeds the file"},
        {56 + 8, 100000, 3, f.tables[0], "Airport subsection table exceeds the file"},
        {descriptor + 12, 1u << 30, 4, block, "Airport subsection data exceeds the file"},
        {descriptor + 4, 0x10000000, 6, descriptor, "Airport subsection record count cannot fit in its data block"},
        {descriptor + 4, 3, 7, f.bytes.size(), "Airport section record header exceeds its subsection"},
        {block + 2, 5, 8, block, "Airport section record has an invalid size"},
        {block + 2, 10, 8, block, "Airport section record has an invalid size"},
        {block + 2, 1u << 20, 9, block, "Airport section record exceeds its subsection"},
        {descriptor + 4, 1, 10, airport2, "Airport subsection record count does not consume its complete data block"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string bytes = f.bytes;
        putU32(bytes, c.at, c.value);
        const BglStructure result = lf_readBglStructure(span(bytes));
        const auto* error = std::get_if<BglStructureError>(&result);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->kind, c.kind);
        EXPECT_EQ(error->offset, c.offset);
        EXPECT_EQ(error->text, c.text);
    }
    const std::string small(40, '\0');
    const BglStructure result = lf_readBglStructure(span(small));
    ASSERT_TRUE(std::holds_alternative<BglStructureError>(result));
    EXPECT_EQ(std::get<BglStructureError>(result).text, "BGL file is smaller than its header");
}

TEST(BglStructure, SharedTablesAndBlocksAreReadOnceAndOverlapsRejected)
{
    BglSubsection one{{bglAirportRecord(eham())}};
    BglSection airports{3, true, {one}};
    BglSection other{5, false, {BglSubsection{{bglRecord(0x22, "abcdef")}}}};
    BglFile f = bglFile({airports, other, airports});
    // The third section points at the first one's table: read once.
    putU32(f.bytes, 56 + 40 + 12, static_cast<uint32_t>(f.tables[0]));
    BglStructure result = lf_readBglStructure(span(f.bytes));
    ASSERT_TRUE(std::holds_alternative<std::vector<BglRecord>>(result));
    const auto& records = std::get<std::vector<BglRecord>>(result);
    ASSERT_EQ(records.size(), 1u); // the other section's record is not listed
    EXPECT_EQ(records[0].id, BGL_AIRPORT_RECORD);
    EXPECT_EQ(records[0].offset, f.blocks[0]);

    // A table that starts inside the first one.
    putU32(f.bytes, 56 + 40 + 12, static_cast<uint32_t>(f.tables[0] + 4));
    result = lf_readBglStructure(span(f.bytes));
    ASSERT_TRUE(std::holds_alternative<BglStructureError>(result));
    EXPECT_EQ(std::get<BglStructureError>(result).kind, 5);
    EXPECT_EQ(std::get<BglStructureError>(result).text, "Airport subsection tables overlap");

    // Two descriptors naming the same block: read once; one that starts inside it: an error.
    f = bglFile({airports, airports});
    putU32(f.bytes, f.descriptors[1] + 8, static_cast<uint32_t>(f.blocks[0]));
    putU32(f.bytes, f.descriptors[1] + 12, static_cast<uint32_t>(one.records[0].size()));
    result = lf_readBglStructure(span(f.bytes));
    ASSERT_TRUE(std::holds_alternative<std::vector<BglRecord>>(result));
    EXPECT_EQ(std::get<std::vector<BglRecord>>(result).size(), 1u);
    putU32(f.bytes, f.descriptors[1] + 8, static_cast<uint32_t>(f.blocks[0] + 4));
    putU32(f.bytes, f.descriptors[1] + 12, 8);
    result = lf_readBglStructure(span(f.bytes));
    ASSERT_TRUE(std::holds_alternative<BglStructureError>(result));
    EXPECT_EQ(std::get<BglStructureError>(result).offset, f.blocks[0] + 4);
    EXPECT_EQ(std::get<BglStructureError>(result).text, "Airport subsection data blocks overlap");
}


// One airport section whose subsection table names the given data blocks.
// Each block is {offset, size} in units of one 8-byte record of a data area
// that is all records, so a block's record count is its size.
std::string blocksFile(const std::vector<std::pair<uint32_t, uint32_t>>& blocks, uint32_t units)
{
    const uint32_t table = 56 + 20;
    const uint32_t data = table + 16 * static_cast<uint32_t>(blocks.size());
    std::string bytes(data + 8 * units, '\0');
    putU32(bytes, 4, 56);
    putU32(bytes, 20, 1);
    putU32(bytes, 56, 3);
    putU32(bytes, 56 + 8, static_cast<uint32_t>(blocks.size()));
    putU32(bytes, 56 + 12, table);
    for (size_t d = 0; d < blocks.size(); ++d) {
        putU32(bytes, table + 16 * d + 4, blocks[d].second);
        putU32(bytes, table + 16 * d + 8, data + 8 * blocks[d].first);
        putU32(bytes, table + 16 * d + 12, 8 * blocks[d].second);
    }
    for (uint32_t u = 0; u < units; ++u) {
        putU16(bytes, data + 8 * u, 0x99);
        putU32(bytes, data + 8 * u + 2, 8);
    }
    return bytes;
}

TEST(BglStructure, OverlapsAreFoundAmongManyBlocksInAnyOrder)
{
    // An empty block counts as a point: a range around it overlaps it, one
    // that begins or ends there does not; ranges may come in any order.
    struct Case {
        std::vector<std::pair<uint32_t, uint32_t>> blocks;
        int overlapAt; // index of the block found overlapping; -1: none
        size_t records; // records read when none overlaps
    };
    const Case cases[] = {
        {{{15, 1}, {2, 1}, {3, 1}, {1, 1}, {0, 1}}, -1, 5},
        {{{15, 1}, {2, 1}, {7, 0}, {1, 1}, {6, 2}}, 4, 0},
        {{{15, 1}, {2, 1}, {7, 0}, {7, 0}, {6, 1}, {7, 1}, {6, 2}}, 6, 0},
        {{{15, 2}, {2, 2}, {5, 2}, {3, 1}}, 3, 0},
        {{{15, 2}, {2, 2}, {5, 2}, {4, 1}, {0, 2}, {1, 20}}, 5, 0},
        {{{15, 2}, {2, 2}, {15, 2}, {2, 2}, {17, 0}, {0, 0}, {14, 1}, {4, 9}}, -1, 14},
        {{{15, 2}, {2, 2}, {16, 1}}, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case with " << c.blocks.size() << " blocks");
        const std::string bytes = blocksFile(c.blocks, 32);
        const BglStructure result = lf_readBglStructure(span(bytes));
        if (c.overlapAt < 0) {
            ASSERT_TRUE(std::holds_alternative<std::vector<BglRecord>>(result));
            EXPECT_EQ(std::get<std::vector<BglRecord>>(result).size(), c.records);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<BglStructureError>(result));
        const size_t data = 56 + 20 + 16 * c.blocks.size();
        EXPECT_EQ(std::get<BglStructureError>(result).offset, data + 8 * c.blocks[size_t(c.overlapAt)].first);
        EXPECT_EQ(std::get<BglStructureError>(result).text, "Airport subsection data blocks overlap");
    }

    // A hostile file: 100 000 empty blocks in scattered order, then one block
    // around one of them; without it the file is sound.
    std::vector<std::pair<uint32_t, uint32_t>> many;
    for (uint32_t i = 0; i < 100000; ++i)
        many.emplace_back((i * 7919u) % 100000u, 0);
    many.emplace_back(49999, 2);
    const std::string bytes = blocksFile(many, 100000);
    const BglStructure result = lf_readBglStructure(span(bytes));
    ASSERT_TRUE(std::holds_alternative<BglStructureError>(result));
    EXPECT_EQ(std::get<BglStructureError>(result).offset, 56 + 20 + 16 * many.size() + 8 * 49999);
    many.back().second = 1;
    const BglStructure sound = lf_readBglStructure(span(blocksFile(many, 100000)));
    ASSERT_TRUE(std::holds_alternative<std::vector<BglRecord>>(sound));
    EXPECT_EQ(std::get<std::vector<BglRecord>>(sound).size(), 1u);
}

TEST_F(BglReaderTest, OnlyRealStructureErrorsAreLogged)
{
    process(std::string(40, 'x'), "small.bgl");
    BglFile f = twoAirports();
    putU32(f.bytes, 4, 64);
    process(f.bytes, "other.bgl");
    EXPECT_EQ(logText().find("parse error"), std::string::npos);

    f = twoAirports();
    putU32(f.bytes, 56 + 12, 1u << 24);
    process(f.bytes, "broken.bgl");
    EXPECT_NE(logText().find("==> BGL airport section parse error at byte 16777216 in 'broken.bgl': "
                             "Airport subsection table exceeds the file\n"),
              std::string::npos);
    EXPECT_TRUE(handler.read.empty());
}

TEST_F(BglReaderTest, NonAirportFilesAreRejectedFromTheHeader)
{
    writeBytes("airport.bgl", twoAirports().bytes);
    writeBytes("objects.bgl", bglFile({BglSection{5, false, {BglSubsection{{bglRecord(0x22, "ab")}}}}}).bytes);
    writeBytes("header.bgl", bglFile({}).bytes);
    BglFile lying = twoAirports();
    putU32(lying.bytes, 20, 1000);
    writeBytes("lying.bgl", lying.bytes);
    EXPECT_TRUE(lf_hasAirportSection("airport.bgl"));
    EXPECT_FALSE(lf_hasAirportSection("objects.bgl"));
    EXPECT_FALSE(lf_hasAirportSection("header.bgl"));
    EXPECT_FALSE(lf_hasAirportSection("lying.bgl"));
    EXPECT_FALSE(lf_hasAirportSection("missing.bgl"));

    // An airport section whose entry lies far into a long section table.
    std::vector<BglSection> sections(60, BglSection{5, false, {BglSubsection{{bglRecord(0x22, "ab")}}}});
    writeBytes("late.bgl", bglFile(sections).bytes);
    EXPECT_FALSE(lf_hasAirportSection("late.bgl"));
    sections.back() = BglSection{3, false, {BglSubsection{{bglAirportRecord(eham())}}}};
    writeBytes("late.bgl", bglFile(sections).bytes);
    EXPECT_TRUE(lf_hasAirportSection("late.bgl"));
}

// The large files of one walk are read into one buffer: it grows to the
// largest, and a smaller file after a larger one neither takes fresh memory
// nor sees the larger file's bytes.
TEST_F(BglReaderTest, LargeFilesShareOneReadBuffer)
{
    const std::string airport = bglAirportFile({eham()}).bytes;
    const auto padded = [&airport](size_t megabytes, char fill) {
        std::string bytes = airport;
        bytes.resize(megabytes << 20, fill);
        return bytes;
    };
    writeBytes("big3.bgl", padded(3, 'x'));
    writeBytes("big2.bgl", padded(2, 'y'));
    writeBytes("big1.bgl", padded(1, 'z'));
    {
        const AllocationCounter large(size_t(1) << 20);
        for (const char* name : {"big3.bgl", "big2.bgl", "big1.bgl", "big2.bgl"})
            lf_processBGLfile(name, handler);
        EXPECT_EQ(large.count(), 1);
    }
    ASSERT_EQ(handler.read.size(), 4u);
    for (const auto& [read, helipads] : handler.read)
        EXPECT_EQ(read.stands.size(), handler.read[0].first.stands.size());

    writeBytes("small.bgl", airport);
    std::ifstream in("small.bgl", std::ios::binary);
    const std::span<const uint32_t> words = lf_readWholeFile(in, handler.fileBuffer);
    ASSERT_EQ(words.size(), airport.size() / 4);
    EXPECT_EQ(std::memcmp(words.data(), airport.data(), words.size_bytes()), 0);
    writeBytes("tiny.bgl", "abc");
    std::ifstream tiny("tiny.bgl", std::ios::binary);
    EXPECT_TRUE(lf_readWholeFile(tiny, handler.fileBuffer).empty());
}

TEST_F(BglReaderTest, AirportWithHelipadsAndParkingsBecomesStands)
{
    process(twoAirports().bytes, "EHAM/scenery/eham.bgl");
    ASSERT_EQ(handler.read.size(), 1u); // EDDF has no weekly traffic
    const auto& [airport, helipads] = handler.read[0];
    EXPECT_EQ(airport.icao, IcaoCode("EHAM"));
    EXPECT_EQ(airport.altitude, -11);
    EXPECT_EQ(airport.bglPath, "EHAM/scenery/eham.bgl");
    EXPECT_EQ(helipads, 2);
    std::vector<std::string> names;
    for (const Stand& s : airport.stands)
        names.push_back(s.name);
    EXPECT_EQ(names, (std::vector<std::string>{"helipad1", "helipad2", "GATE 12", "GATE A5", "PARKING 7", "DOCK 2"}));

    const Stand& h1 = airport.stands[0];
    EXPECT_NEAR(h1.lat, 52.30, 1e-6);
    EXPECT_NEAR(h1.lon, 4.76, 1e-6);
    EXPECT_EQ(h1.heading, 0.0);
    EXPECT_DOUBLE_EQ(h1.radius, 15.0 * 0.0005399568034557236);
    EXPECT_EQ(h1.helipad, 1);
    const Stand& g12 = airport.stands[2];
    EXPECT_EQ(g12.heading, 0.0); // not 2 pi
    EXPECT_EQ(g12.type, StandType::GATE_SMALL);
    EXPECT_EQ(g12.helipad, 0);
    EXPECT_EQ(g12.gaRamp + g12.cargo, 0);
    EXPECT_DOUBLE_EQ(g12.radius, 20.0 * 0.0005399568034557236);
    EXPECT_NEAR(airport.stands[3].heading, std::numbers::pi / 2, 1e-12);
    EXPECT_NEAR(airport.stands[3].lat, 52.301, 1e-6); // read after an entry with airline codes
    EXPECT_NEAR(airport.stands[4].heading, 3 * std::numbers::pi / 2, 1e-12);
    EXPECT_EQ(airport.stands[4].gaRamp, 1);
    EXPECT_NEAR(airport.stands[5].heading, std::numbers::pi / 2, 1e-12);
    EXPECT_EQ(airport.stands[5].cargo, 1);
    for (const Stand& s : airport.stands)
        EXPECT_TRUE(s.heading >= 0.0 && s.heading < 2 * std::numbers::pi) << s.name;
    EXPECT_TRUE(scanLogHas("LatLon 0.000000,0.000000 invalid (skipped)"));

    handler.read.clear();
    handler.cover = true;
    process(twoAirports().bytes);
    EXPECT_TRUE(handler.read.empty());
}

TEST_F(BglReaderTest, DuplicateNamesAndHelipadsAreSkipped)
{
    BglAirport a = named("EHAM");
    a.helipads = {{52.3, 4.7}, {52.3, 4.7}, {91.0, 4.7}};
    for (int i = 0; i < 12; ++i)
        a.parkings.push_back({10, 1, 8, 0, 20.0f, 0.0f, 52.3 + i * 0.001, 4.7});
    process(bglAirportFile({a}).bytes);
    ASSERT_EQ(handler.read.size(), 1u);
    const auto& stands = handler.read[0].first.stands;
    ASSERT_EQ(stands.size(), 12u);
    EXPECT_EQ(handler.read[0].second, 1);
    EXPECT_EQ(stands[1].name, "GATE 1");
    EXPECT_EQ(stands[2].name, "GATE 1a");
    EXPECT_EQ(stands[11].name, "GATE 1j");
    EXPECT_TRUE(scanLogHas("===> Warning: more than 10 duplicate IDs GATE 1"));
    EXPECT_TRUE(scanLogHas("double helipad  (skipped) 52.300000,4.700000"));
    EXPECT_EQ(std::count_if(ScanLogLines.begin(), ScanLogLines.end(),
                            [](const std::string& l) { return l.starts_with("lat/lon helipad incorrect (skipped): "); }),
              1);
}

TEST_F(BglReaderTest, SubrecordsAreReadInsideTheAirportRecordOnly)
{
    // A helipad whose size runs past its airport record into the next one.
    BglAirport a = named("EHAM");
    a.helipads = {{52.3, 4.7}, {52.4, 4.8}};
    std::string first = bglAirportRecord(a);
    putU32(first, 68 + 36 + 2, 36 + 200);
    const BglFile f = bglFile({BglSection{3, false, {BglSubsection{{first, bglAirportRecord(eham())}}}}});
    const BglStructure structure = lf_readBglStructure(span(f.bytes));
    const auto& records = std::get<std::vector<BglRecord>>(structure);
    BglAirportStands found = lf_walkAirportSubrecords(span(f.bytes), records[0]);
    EXPECT_EQ(found.helipads, 1);
    EXPECT_EQ(found.stands.size(), 1u);

    // A parking list that claims more entries than its airport record holds.
    BglAirport b = named("EHAM");
    b.parkings = {{10, 1, 8, 0, 20.0f, 0.0f, 52.3, 4.7}, {10, 2, 8, 0, 20.0f, 0.0f, 52.31, 4.7}};
    std::string second = bglAirportRecord(b);
    putU16(second, 68 + 6, 60000);
    const BglFile g = bglFile({BglSection{3, false, {BglSubsection{{second, bglAirportRecord(eham())}}}}});
    const BglStructure structureG = lf_readBglStructure(span(g.bytes));
    const auto& more = std::get<std::vector<BglRecord>>(structureG);
    found = lf_walkAirportSubrecords(span(g.bytes), more[0]);
    ASSERT_EQ(found.stands.size(), 2u);
    EXPECT_EQ(found.stands[1].name, "GATE 2");
}

TEST(BglFuzz, MutatedFilesNeverReadPastTheirBuffer)
{
    BglAirport a = eham();
    a.extraSubrecords = {bglRecord(0x19, "xy")};
    const std::string original = bglAirportFile({a, named("EDDF"), eham()}).bytes;
    // The bytes end right at a page that cannot be read.
    const size_t page = 4096;
    const size_t pages = (original.size() + page - 1) / page;
    auto* region = static_cast<std::byte*>(VirtualAlloc(nullptr, (pages + 1) * page, MEM_RESERVE | MEM_COMMIT,
                                                        PAGE_READWRITE));
    ASSERT_NE(region, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(region + pages * page, page, PAGE_NOACCESS, &old));
    std::byte* data = region + pages * page - original.size();

    std::mt19937 random(2026);
    size_t airportsWalked = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = original;
        const int changes = 1 + int(random() % 6);
        for (int c = 0; c < changes; ++c) {
            const size_t at = random() % bytes.size();
            bytes[at] = char(random() % 3 == 0 ? 0xFF : random());
        }
        // Now and then a shorter file.
        const size_t length = round % 10 == 9 ? random() % bytes.size() : bytes.size();
        std::byte* start = data + (original.size() - length);
        std::memcpy(start, bytes.data(), length);
        const std::span<const std::byte> view(start, length);
        const BglStructure result = lf_readBglStructure(view);
        if (const auto* records = std::get_if<std::vector<BglRecord>>(&result)) {
            for (const BglRecord& r : *records) {
                ASSERT_LE(r.offset + r.size, length);
                if (r.id != BGL_AIRPORT_RECORD)
                    continue;
                ++airportsWalked;
                for (const Stand& s : lf_walkAirportSubrecords(view, r).stands)
                    ASSERT_TRUE(s.heading >= 0.0 && s.heading < 2 * std::numbers::pi);
            }
        }
    }
    EXPECT_GT(airportsWalked, 1000u); // most mutations keep the structure and reach the walk
    VirtualFree(region, 0, MEM_RELEASE);
    ScanLogLines.clear();
}
