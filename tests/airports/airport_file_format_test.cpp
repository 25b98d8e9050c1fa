// The airport file format: the stand reader's rules, the writer, and the
// quality factors.
#include <numbers>

#include <pugixml.hpp>

#include "airports/airport_file_format.h"
#include "airports/learned_airport_files.h"
#include "liveries/model_database.h"
#include "tests/airports/airport_test_support.h"

using namespace kvr::test;

namespace {

class AirportFileFormatTest : public AirportsTest {
protected:
    std::vector<Stand> read(const std::string& parkpositions)
    {
        pugi::xml_document doc;
        EXPECT_TRUE(doc.load_string(apfText(param("altitude", "0"), parkpositions).c_str()));
        std::vector<Stand> stands;
        gf_readParkPositions(doc, stands);
        return stands;
    }
    static std::string pos(const std::string& id, const std::string& attrs, const std::string& options = {})
    {
        return "<parkpos id=\"" + id + "\" latitude=\"52.1\" longitude=\"4.7\" " + attrs + ">" +
               options + "</parkpos>";
    }
    static AirportSettings settings()
    {
        return {.RT_PARKTRAFFIC_ONLY = false, .AUTO_PARK = true, .parking_percentage = 40, .MAX_FIT = 20,
                .WEEK = true, .PARK_SOFT = false};
    }
};

} // namespace

TEST_F(AirportFileFormatTest, StandTypesComeFromTheNameOrTheCargoRampFallback)
{
    struct Case {
        std::string attrs;
        uint32_t type; // 99: no stand
        uint8_t cargo, ramp;
    };
    const Case cases[] = {
        {R"(typestr="GATE_HEAVY" type="5" cargo="true" ramp="true" radius="20")", 10, 0, 0},
        {R"(typestr="RAMP_CARGO" radius="20")", 5, 1, 0},
        {R"(typestr="RAMP_GA_EXTRA" radius="20")", 14, 0, 1},
        {R"(typestr="gate_heavy" cargo="false" ramp="true" radius="20.0")", 3, 0, 1},
        {R"(type="0" cargo="false" ramp="true" radius="16.0")", 3, 0, 1},
        {R"(type="0" cargo="false" ramp="true" radius="15.9")", 2, 0, 1},
        {R"(type="0" cargo="false" ramp="false" radius="30")", 10, 0, 0},
        {R"(type="0" cargo="true" ramp="false" radius="8")", 5, 1, 0},
        {R"(type="9" radius="20")", 9, 0, 0},
        {R"(type="16" cargo="false" ramp="false" radius="10")", 8, 0, 0},
        {R"(type="0" heli="true" cargo="true" radius="10")", 0, 1, 0},
        {R"(type="0" cargo="false" ramp="true" radius="0")", 99, 0, 0},
        {R"(type="0" ramp="true" radius="20")", 99, 0, 0},
        {R"(typestr="GATE_SMALL" radius="-3")", 99, 0, 0},
    };
    for (const Case& c : cases) {
        const std::vector<Stand> stands = read(pos("S", c.attrs));
        if (c.type == 99) {
            EXPECT_TRUE(stands.empty()) << c.attrs;
            continue;
        }
        ASSERT_EQ(stands.size(), 1u) << c.attrs;
        EXPECT_EQ(static_cast<uint32_t>(stands[0].type), c.type) << c.attrs;
        EXPECT_EQ(stands[0].cargo, c.cargo) << c.attrs;
        EXPECT_EQ(stands[0].gaRamp, c.ramp) << c.attrs;
    }
    const std::string text = log();
    EXPECT_NE(text.find("==> stand S has no valid type and no usable radius\n"), std::string::npos);
    EXPECT_NE(text.find("==> stand S has no valid type, and no valid cargo/ramp fallback info\n"), std::string::npos);
    EXPECT_NE(text.find("==> stand S has invalid radius or heading\n"), std::string::npos);
}

TEST_F(AirportFileFormatTest, StandListLimitsIdsAndOptions)
{
    std::string many;
    for (int i = 0; i < 600; ++i)
        many += gate("G" + std::to_string(i), 52.1, 4.7);
    EXPECT_EQ(read(many).size(), 512u);
    EXPECT_NE(log().find("==> airport file contains more than 512 stands; remaining stands skipped\n"),
              std::string::npos);

    const std::string options = R"(<opt reg="PH-BXA" hh="" day="1"/><opt reg="PH-BXB" hh="3" day="0"/>)"
                                R"(<opt reg="PH-BXC" hh="3" day="8"/><opt reg="PH-BXD" hh="10:12,20" day="2" cs="KLM1:KLM2"/>)"
                                R"(<opt reg="PH-BXE" hh="4" day="7" soft="true" cs="KLM3:"/>)";
    const std::vector<Stand> stands =
        read(gate("A1", 52.1, 4.7, options) + gate(" A1 ", 52.2, 4.7) + R"(<parkpos latitude="1"/>)" +
             R"(<parkpos id="  "/>)" + pos("H", R"(typestr="GATE_SMALL" radius="10" heading="-90")"));
    ASSERT_EQ(stands.size(), 2u);
    EXPECT_EQ(stands[0].lat, 52.1) << "the first of two equal trimmed ids stays";
    ASSERT_EQ(stands[0].options.size(), 2u);
    const StandOption& d = stands[0].options[0];
    EXPECT_EQ(d.registration, "PH-BXD");
    EXPECT_EQ(d.optionId, 1);
    EXPECT_EQ(d.fromAirportFile, 1);
    EXPECT_EQ(d.fixed, 0);
    EXPECT_EQ(d.halfHours.to_ullong(), (0b111ull << 10) | (1ull << 20));
    EXPECT_EQ(d.callsign, "KLM1");
    EXPECT_EQ(d.callsign2, "KLM2");
    EXPECT_EQ(stands[0].options[1].callsign, "KLM3");
    EXPECT_EQ(stands[0].options[1].callsign2, "");
    EXPECT_EQ(stands[0].options[1].real, 0);
    EXPECT_NEAR(stands[1].heading, 1.5 * std::numbers::pi, 1e-12);
    EXPECT_NEAR(stands[1].radius, 10.0 / 1852.0, 1e-12);
    const std::string text = log();
    EXPECT_NE(text.find("==> Stand 'A1' appears more than once, last one skipped!\n"), std::string::npos);
    EXPECT_NE(text.find("==> Parking position #3 has no 'id' attribute, skipped.\n"), std::string::npos);
    EXPECT_NE(text.find("==> Stand #4 has empty 'id' attribute, skipped.\n"), std::string::npos);
}

TEST_F(AirportFileFormatTest, LearnedFileRoundTripIsByteForByte)
{
    // Learned options on a source stand and a stand made by hand are written,
    // merged back into the source stands and written again: the same bytes.
    // A slot set of two runs is written as two runs.
    const std::string options = R"(<opt reg="PH-BXD" airl="KLM" type="B738" day="2" hh="10:12,20" cs="KLM1:KLM2" cpl="true"/>)"
                                R"(<opt reg="PH-BXE" airl="KLM" type="E190" soft="true" day="7" hh="4"/>)";
    const std::vector<Stand> source = read(gate("A1", 52.1, 4.7) + gate("A2", 52.2, 4.7));
    std::vector<Stand> learned = read(gate("A1", 52.1, 4.7, options) + gate("A2", 52.2, 4.7) +
                                      pos("H", R"(typestr="GATE_SMALL" radius="10" heading="-90")"));
    ASSERT_EQ(learned.size(), 3u);
    for (Stand& s : learned)
        for (StandOption& o : s.options)
            o.fromAirportFile = 0;
    learned[2].flag = 1; // made by hand: written with its geometry
    ScannedAirport airport;
    airport.icao = IcaoCode("EHAM");
    airport.airportName = "Schiphol";
    airport.publisher = "stock";
    airport.stands = learned;
    ASSERT_TRUE(gf_writeApf(airport, "out/one.xml", ApfWriteMode::Learned, 2, false, settings()));
    const std::string first = readBytes("out/one.xml");
    EXPECT_NE(first.find(R"(hh="10:12,20")"), std::string::npos) << first;
    EXPECT_NE(first.find(R"(<parkpos id="H" typestr="GATE_SMALL" latitude="52.100000" longitude="4.700000" heading="270.0" radius="10.0" manual="true" />)"),
              std::string::npos)
        << first;
    EXPECT_NE(first.find(R"(<parkpos id="A1">)"), std::string::npos);
    EXPECT_EQ(first.find("altitude"), std::string::npos);

    auto merged = gf_readLearnedAirportFile("out/one.xml", "Schiphol", source);
    ASSERT_TRUE(std::holds_alternative<LearnedAirportData>(merged)) << std::get<std::string>(merged);
    LearnedAirportData& data = std::get<LearnedAirportData>(merged);
    EXPECT_EQ(data.parking_percentage, 40);
    EXPECT_EQ(data.AUTO_PARK, true);
    ASSERT_EQ(data.stands.size(), 3u);
    airport.stands = data.stands;
    ASSERT_TRUE(gf_writeApf(airport, "out/two.xml", ApfWriteMode::Learned, 2, false, settings()));
    EXPECT_EQ(readBytes("out/two.xml"), first);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("out"), std::filesystem::directory_iterator()), 2)
        << "no temporary file is left";
}

TEST_F(AirportFileFormatTest, WriterRefusals)
{
    ScannedAirport airport;
    airport.icao = IcaoCode("EHAM");
    airport.stands = read(gate("A1", 52.1, 4.7));
    EXPECT_FALSE(gf_writeApf(airport, "out/x.xml", ApfWriteMode::Learned, 2, false, std::nullopt));
    airport.stands.push_back(airport.stands[0]);
    EXPECT_FALSE(gf_writeApf(airport, "out/x.xml", ApfWriteMode::Generated, 2, false, std::nullopt));
    airport.stands.pop_back();
    airport.stands[0].lat = 0.0;
    airport.stands[0].lon = 0.0;
    EXPECT_FALSE(gf_writeApf(airport, "out/x.xml", ApfWriteMode::Generated, 2, false, std::nullopt));
    airport.stands[0].lat = 52.1;
    airport.stands[0].lon = 4.7;
    StandOption bad;
    bad.registration = "PH-BXA";
    bad.aom = {gf_airlineCode2Id("KLM"), gf_airlineCode2Id("KL"), gf_modelCode2Id("B738"), 0, 0};
    bad.optionId = 1;
    bad.weekday = 8;
    bad.halfHours.set(3);
    airport.stands[0].options = {bad};
    EXPECT_FALSE(gf_writeApf(airport, "out/x.xml", ApfWriteMode::Learned, 2, false, settings()));
    EXPECT_FALSE(std::filesystem::exists("out/x.xml"));
    const std::string text = log();
    EXPECT_NE(text.find("==> gf_writeApf: empty or duplicate stand id 'A1'\n"), std::string::npos);
    EXPECT_NE(text.find("==> gf_writeApf: stand 'A1' has invalid geometry\n"), std::string::npos);
    EXPECT_NE(text.find("==> invalid flight option: PH-BXA  KLM,KL  B738    \n"), std::string::npos) << text;

    // Generated: geometry, altitude and the stand count.
    airport.stands[0].options.clear();
    airport.altitude = -11;
    ASSERT_TRUE(gf_writeApf(airport, "out/gen.xml", ApfWriteMode::Generated, 1, false, std::nullopt));
    const std::string gen = readBytes("out/gen.xml");
    EXPECT_NE(gen.find(R"(<parameter name="altitude" value="-11" />)"), std::string::npos) << gen;
    EXPECT_NE(gen.find(R"(<parameter name="num_parkpos" value="1" />)"), std::string::npos);
    EXPECT_NE(gen.find(R"(<info name="sim" value="1" />)"), std::string::npos);
}

TEST_F(AirportFileFormatTest, QualityFactors)
{
    EXPECT_EQ(gf_computeStandScores({}), std::make_pair(-1, -1));
    std::vector<Stand> stands = read(gate("A1", 52.1, 4.7, R"(<opt reg="R" hh="5" day="3"/>)"));
    EXPECT_EQ(gf_computeStandScores(stands), std::make_pair(63, 0));
    stands[0].options[0].real = 0;
    const auto [real, soft] = gf_computeStandScores(stands);
    EXPECT_EQ(real, 0);
    EXPECT_GT(soft, 0);
    stands[0].type = StandType::FUEL;
    EXPECT_EQ(gf_computeStandScores(stands), std::make_pair(0, 0));
    EXPECT_EQ(gf_qualityFactorText(0, 0), "  ");
    EXPECT_EQ(gf_qualityFactorText(12, 3), "12/ 3");
    EXPECT_EQ(gf_qualityFactorText(40, 7), "40");
}
