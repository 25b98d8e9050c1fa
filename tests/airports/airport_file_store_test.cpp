// Where airport files are: archive identities, learned paths, link files and
// the names made from publishers.
#include "airports/airport_file_store.h"
#include "airports/airport_files.h"
#include "tests/airports/airport_test_support.h"
#include "update/downloader.h"

using namespace kvr::test;
namespace fs = std::filesystem;

namespace {
class AirportFileStoreTest : public AirportsTest {};

std::string text(const std::optional<fs::path>& p)
{
    return p ? p->generic_string() : "<none>";
}
} // namespace

TEST(AirportFileStore, ArchiveIdentities)
{
    struct Case {
        const char* path;
        const char* icao; // nullptr: no identity
        const char* publisher;
        const char* version;
    };
    const Case cases[] = {
        {"ARCHIVE/Stock/eddf.enc", "EDDF", "stock", ""},
        {"archive/stock/EDDF12.enc", "EDDF", "stock", "12"},
        {"archive/SimAddon/EGLL3.XML", "EGLL", "simaddon", "3"},
        {"archive/thirdparty/A%2FB/LFPG7.xml", "LFPG", "A/B", "7"},
        {"archive/stock/EDDF1a.enc", nullptr, "", ""},
        {"archive/stock/EDD.enc", nullptr, "", ""},
        {"archive/stock/EDDF.bgl", nullptr, "", ""},
        {"archive/other/EDDF.enc", nullptr, "", ""},
        {"archive/stock/x/EDDF.enc", nullptr, "", ""},
        {"airports/my_thirdparty/EDDF.xml", nullptr, "", ""},
    };
    for (const Case& c : cases) {
        const auto id = gf_parseArchiveSourcePath(c.path);
        ASSERT_EQ(id.has_value(), c.icao != nullptr) << c.path;
        if (!id)
            continue;
        EXPECT_EQ(id->icao.toString(), c.icao) << c.path;
        EXPECT_EQ(id->publisher, c.publisher) << c.path;
        EXPECT_EQ(id->version, c.version) << c.path;
    }
}

TEST(AirportFileStore, LearnedPaths)
{
    struct Case {
        const char* source;
        const char* publisher;
        const char* learned;
    };
    const Case cases[] = {
        {"archive/stock/EDDF.enc", "stock", "airports/learned/stock/EDDF.xml"},
        {"archive/simaddon/EGLL.xml", "", "airports/learned/simaddon/EGLL.xml"},
        {"archive/thirdparty/A%2FB/LFPG.enc", "ignored", "airports/learned/thirdparty/A B/LFPG.xml"},
        {"archive/thirdparty/%20%3F/LFPG.enc", "x", "<none>"},
        {"airports/my_simaddon/EHAM.xml", "simaddon", "airports/learned/my_simaddon/EHAM.xml"},
        {"airports/my_thirdparty/KJFK.xml", "Some Studio", "airports/learned/thirdparty/Some Studio/KJFK.xml"},
        {"airports/my_thirdparty2024/KJFK.xml", "Some Studio", "airports/learned/thirdparty/Some Studio/KJFK.xml"},
        {"airports/my_thirdparty/KJFK.xml", "CON", "<none>"},
        {"airports/my_thirdparty/KJFK.xml", "..", "<none>"},
        {"airports/My_Simaddon/EHAM.xml", "simaddon", "<none>"},
        {"airports/my_simaddon/EHAM.txt", "simaddon", "<none>"},
        {"airports/my_simaddon/x/EHAM.xml", "simaddon", "<none>"},
        {"", "stock", "<none>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text(gf_learnedAirportFilePath(c.source, c.publisher)), c.learned) << c.source;
    EXPECT_EQ(gf_stripFileNameVersion("archive/stock/EDDF12.enc").generic_string(), "archive/stock/EDDF.enc");
    EXPECT_EQ(gf_stripFileNameVersion("archive/stock/EDD.enc").generic_string(), "archive/stock/EDD.enc");
}

TEST(AirportFileStore, PublisherNamesAndAddresses)
{
    EXPECT_EQ(gf_percentDecode("Some%20Studio%2fX%4"), "Some Studio/X%4");
    EXPECT_EQ(gf_percentDecode("100%zz%"), "100%zz%");
    const std::pair<const char*, const char*> names[] = {
        {"  ?? ? ", ""}, {" . . ", ""}, {"..", ""}, {"nul", ""}, {"Com3.txt", ""}, {"LPT1", ""},
        {"a<b>c", "a b c"}, {"Console", "Console"}, {"COM10", "COM10"}, {"Orbx\tAU", "Orbx AU"},
    };
    for (const auto& [in, out] : names)
        EXPECT_EQ(gf_safeFileName(in), out) << in;
    gf_setDownloadSiteForTests("http://127.0.0.1:1/");
    EXPECT_EQ(gf_airportFileUrl("archive/thirdparty/Some Studio & Co%2B/EGLL3.enc").substr(19),
              "downloads/MSFS2024/archive/thirdparty/Some%20Studio%20%26%20Co%2B/EGLL3.enc");
    gf_setDownloadSiteForTests("");
}

TEST_F(AirportFileStoreTest, LinkFilesNameOnlyTheProgramsOwnPlaces)
{
    installAirports({dbRecord("EGLL", 51.47, -0.45)});
    fs::create_directories("airports/my_thirdparty");
    fs::create_directories("airports/my_simaddon");
    writeBytes("airports/my_simaddon/EGLL.xml", "x");
    const std::pair<const char*, const char*> cases[] = {
        {"\xEF\xBB\xBF  archive/thirdparty/Some%20Studio/EGLL3.enc \r\nsecond", "archive/thirdparty/Some%20Studio/EGLL3.enc"},
        {"airports/my_simaddon/EGLL.xml", "airports/my_simaddon/EGLL.xml"},
        {"\narchive/stock/EGLL.enc", "airports/my_simaddon/EGLL.xml"},
        {"archive/stock/EGLL.bgl", "airports/my_simaddon/EGLL.xml"},
        {"C:/Windows/win.ini.xml", "airports/my_simaddon/EGLL.xml"},
        {"archive/../../secret.xml", "airports/my_simaddon/EGLL.xml"},
        {"airports/learned/stock/EGLL.xml", "airports/my_simaddon/EGLL.xml"},
    };
    for (const auto& [link, found] : cases) {
        writeBytes("airports/my_thirdparty/EGLL.txt", link);
        EXPECT_EQ(text(gf_findAirportFilePath(IcaoCode("EGLL"))), found) << link;
    }
    fs::remove_all("airports/my_simaddon");
    EXPECT_EQ(text(gf_findAirportFilePath(IcaoCode("EGLL"))), "archive/stock/EGLL.enc");
    EXPECT_TRUE(gf_hasAirportFile(IcaoCode("EGLL")));
    EXPECT_FALSE(gf_hasAirportFile(IcaoCode("LOWW")));
    writeBytes("airports/my_thirdparty/LOWW.txt", "");
    EXPECT_TRUE(gf_hasAirportFile(IcaoCode("LOWW")));
    EXPECT_EQ(text(gf_findAirportFilePath(IcaoCode("LOWW"))), "<none>");
}
