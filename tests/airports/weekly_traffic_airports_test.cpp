// The weekly traffic airports list from input/wktraffic.enc.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/log.h"
#include "core/value_types.h"
#include "airports/weekly_traffic_airports.h"
#include "core/layout.h"
#include "tests/support/data_sets.h"
#include "tests/support/enc_writer.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace {

uint32_t code(const char* icao)
{
    return IcaoCode(icao).code;
}

class WeeklyTrafficTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories("input");
        gf_openLog();
    }
    void TearDown() override
    {
        std::filesystem::remove("input/wktraffic.enc");
        gf_loadWeeklyTrafficAirports(); // back to the empty list
        gf_closeLog();
    }
    static void writeList(const std::string& arps)
    {
        kvr::test::writeEncFile("input/wktraffic.enc",
                                "<?xml version=\"1.0\"?><root><traffic_airports>" + arps + "</traffic_airports></root>");
    }
    std::string log()
    {
        gf_flushLog();
        return kvr::test::logText();
    }

    kvr::test::ScopedTestFolders folders{"wk"};
};

} // namespace

TEST_F(WeeklyTrafficTest, CodesAreTrimmedFoldedSortedAndUnique)
{
    writeList(R"(<arp c="EHAM, eddf ,"/><arp c=" KJFK,EHAM"/><arp c=""/>)");
    ASSERT_TRUE(gf_loadWeeklyTrafficAirports());
    EXPECT_NE(log().find("3 ICAO airports supported by RealTraffic read from 'input\\wktraffic.enc'\n"),
              std::string::npos)
        << log();
    EXPECT_TRUE(gf_isWeeklyTrafficAirport(code("EDDF")));
    EXPECT_TRUE(gf_isWeeklyTrafficAirport(code("EHAM")));
    EXPECT_TRUE(gf_isWeeklyTrafficAirport(code("KJFK")));
    EXPECT_FALSE(gf_isWeeklyTrafficAirport(code("LFPG")));
    EXPECT_FALSE(gf_isWeeklyTrafficAirport(code("ZZZZ")));
    EXPECT_FALSE(gf_isWeeklyTrafficAirport(code("AAAA")));
}

TEST_F(WeeklyTrafficTest, AnyErrorEmptiesTheListSoEveryAirportCounts)
{
    struct Case {
        std::string xml;
        std::string error;
    };
    const std::string prefix = "==> 'input\\wktraffic.enc' has invalid weekly traffic XML: ";
    const Case cases[] = {
        {R"(<arp c="EHAM, EHA"/>)", prefix + "invalid weekly traffic ICAO code 'EHA'"},
        {R"(<arp c=" , "/><arp c=""/>)", prefix + "<traffic_airports> contains no ICAO codes"},
        {R"(<arp code="EHAM"/>)", prefix + "<arp> element has no 'c' attribute"},
    };
    for (const Case& c : cases) {
        writeList(R"(<arp c="EDDF"/>)");
        ASSERT_TRUE(gf_loadWeeklyTrafficAirports());
        ASSERT_FALSE(gf_isWeeklyTrafficAirport(code("LFPG")));
        writeList(c.xml);
        EXPECT_FALSE(gf_loadWeeklyTrafficAirports());
        EXPECT_NE(log().find(c.error + "\n"), std::string::npos) << c.error;
        EXPECT_TRUE(gf_isWeeklyTrafficAirport(code("LFPG")));
    }
    kvr::test::writeEncFile("input/wktraffic.enc", "<other/>");
    EXPECT_FALSE(gf_loadWeeklyTrafficAirports());
    EXPECT_NE(log().find(prefix + "missing <root> root element\n"), std::string::npos);
    kvr::test::writeEncFile("input/wktraffic.enc", "<root><list/></root>");
    EXPECT_FALSE(gf_loadWeeklyTrafficAirports());
    EXPECT_NE(log().find(prefix + "missing <traffic_airports> section\n"), std::string::npos);
    kvr::test::writeEncFile("input/wktraffic.enc", "<root><traffic_airports>");
    EXPECT_FALSE(gf_loadWeeklyTrafficAirports());
    EXPECT_NE(log().find("==> weekly traffic XML parse error: "), std::string::npos);
}

TEST_F(WeeklyTrafficTest, MissingFile)
{
    EXPECT_FALSE(gf_loadWeeklyTrafficAirports());
    EXPECT_NE(log().find("==> 'input\\wktraffic.enc' not available\n"), std::string::npos);
    EXPECT_TRUE(gf_isWeeklyTrafficAirport(code("EHAM")));
}

// The repository's own list, which a program folder set up from the
// repository's data sets reads: it loads, and names airports of the
// repository's airport database only.
TEST_F(WeeklyTrafficTest, RepositoryListLoadsWithDatabaseAirportsOnly)
{
    using kvr::test::DataSetKind;
    kvr::test::writeRepoDataSet(DataSetKind::WeeklyTraffic, g_wktrafficEncPath);
    ASSERT_TRUE(gf_loadWeeklyTrafficAirports());
    EXPECT_NE(log().find("48 ICAO airports supported by RealTraffic read from 'input\\wktraffic.enc'\n"),
              std::string::npos);
    EXPECT_TRUE(gf_isWeeklyTrafficAirport(code("EHAM")));
    EXPECT_TRUE(gf_isWeeklyTrafficAirport(code("KLAX")));
    EXPECT_FALSE(gf_isWeeklyTrafficAirport(code("EHTE")));

    const std::string_view list = kvr::test::dataSetSource(DataSetKind::WeeklyTraffic);
    const std::string_view airports = kvr::test::dataSetSource(DataSetKind::Airports);
    size_t codes = 0;
    for (size_t at = list.find("<arp c=\""); at != std::string_view::npos; at = list.find("<arp c=\"", at + 1)) {
        const std::string_view value = list.substr(at + 8, list.find('"', at + 8) - at - 8);
        for (size_t start = 0; start < value.size(); start += 6, ++codes)
            EXPECT_NE(airports.find("c=\"" + std::string(value.substr(start, 4)) + "\""), std::string_view::npos)
                << value.substr(start, 4);
    }
    EXPECT_EQ(codes, 48u);
}
