#include <gtest/gtest.h>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/data_file_header.h"
#include "core/files.h"
#include "core/version_data.h"
#include "tests/liveries/livery_fixture.h"

namespace fs = std::filesystem;
using kvr::test::readBytes;
using kvr::test::writeBytes;

namespace {

class LiveryListFile : public kvr::test::LiveryFixture {
protected:
    void SetUp() override
    {
        LiveryFixture::SetUp();
        fs::create_directories(g_outputFolder);
        ScannedLiveryList.clear();
    }
    void TearDown() override
    {
        LiveryScanResult.clear();
        ScannedLiveryList.clear();
        LiveryFixture::TearDown();
    }
    // Reads a list file of this text; the log line of the failure, if any.
    std::string readFailure(const std::string& xml)
    {
        writeBytes(gf_liveriesScannedPath(), xml);
        const size_t logged = log().size();
        EXPECT_FALSE(gf_readScannedLiveries());
        return log().substr(logged);
    }
};

std::string listXml(const std::string& body)
{
    return "<?xml version=\"1.0\"?><root><meta><info name=\"copyright\" value=\"x\"/><info name=\"sim\" value=\"1\"/>"
           "</meta>" + body + "</root>";
}

} // namespace

TEST_F(LiveryListFile, WrittenAndReadBackInRecordOrder)
{
    LiveryScanResult = {
        livery("KLM", "", "B738", false, "Boeing 737-800 KLM"),
        livery("DLH", "CLH", "CRJ9", true, "CRJ900 Lufthansa CityLine \"cargo\" <&>", "D-ACNA"),
        livery("KLM", "", "B738", false, "Boeing 737-800 KLM Alt", "PH-BXA"),
        livery("ZZZ", "", "NEWT", false, "A type the database has not seen"),
    };
    LiveryScanResult[0].packageRank = 3;
    ASSERT_TRUE(gf_writeScannedLiveries());
    const fs::path path = g_liveriesScanned2020Path;
    EXPECT_FALSE(fs::exists(fs::path(path).concat(L".scan_tmp")));

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(path.c_str()));
    const DataFileHeader header = gf_readDataFileHeader(doc, false);
    EXPECT_TRUE(header.ok);
    EXPECT_EQ(header.sim, 1);
    EXPECT_EQ(header.version, fmt::format("{}", gf_programVersion()));
    // Attributes in their order; o, c and r only when set.
    const std::string text = readBytes(path);
    EXPECT_TRUE(text.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <meta>")) << text;
    EXPECT_NE(text.find("<l a=\"KLM\" m=\"B738\" t=\"Boeing 737-800 KLM\" />"), std::string::npos) << text;
    EXPECT_NE(text.find("<l a=\"DLH\" o=\"CLH\" m=\"CRJ9\" c=\"true\" t=\"CRJ900 Lufthansa CityLine &quot;cargo&quot; "
                        "&lt;&amp;>\" r=\"D-ACNA\" />"),
              std::string::npos)
        << text;

    ASSERT_TRUE(gf_readScannedLiveries());
    ASSERT_EQ(ScannedLiveryList.size(), 4u);
    std::vector<LiveryRecord> expected = LiveryScanResult;
    std::sort(expected.begin(), expected.end());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(ScannedLiveryList[i].title, expected[i].title);
        EXPECT_EQ(ScannedLiveryList[i].registration, expected[i].registration);
        EXPECT_EQ(ScannedLiveryList[i].ids, expected[i].ids);
        EXPECT_EQ(ScannedLiveryList[i].packageRank, 0);
    }
    EXPECT_NE(log().find(fmt::format("    4 liveries read from {}", wide_to_utf8(path.wstring()))), std::string::npos);

    // A second write replaces the file; an empty scan writes nothing and leaves it.
    LiveryScanResult.resize(1);
    ASSERT_TRUE(gf_writeScannedLiveries());
    ASSERT_TRUE(gf_readScannedLiveries());
    EXPECT_EQ(ScannedLiveryList.size(), 1u);
    const std::string before = readBytes(path);
    const size_t logged = log().size();
    LiveryScanResult.clear();
    EXPECT_FALSE(gf_writeScannedLiveries());
    EXPECT_EQ(readBytes(path), before);
    EXPECT_EQ(log().size(), logged);
}

TEST_F(LiveryListFile, ReadErrorsKeepThePreviousList)
{
    LiveryScanResult = {livery("KLM", "", "B738", false, "Boeing 737-800 KLM")};
    ASSERT_TRUE(gf_writeScannedLiveries());
    ASSERT_TRUE(gf_readScannedLiveries());
    const fs::path path = g_liveriesScanned2020Path;
    const std::string p = wide_to_utf8(path.wstring());

    EXPECT_NE(readFailure("<root><liveries>").find(fmt::format("51: Error reading {}: ", p)), std::string::npos);
    EXPECT_NE(readFailure("<other/>").find(fmt::format("52: {} does not contain <root>", p)), std::string::npos);
    EXPECT_NE(readFailure(listXml("")).find(fmt::format("52: {} does not contain a <liveries> section", p)),
              std::string::npos);
    EXPECT_NE(readFailure(listXml("<liveries/>")).find(fmt::format("533: {} does not contain liveries", p)),
              std::string::npos);
    EXPECT_NE(readFailure(listXml("<liveries><l a='KLM' m='' t='x'/><l a='KLM' t='y'/></liveries>"))
                  .find("999: Missing required attribute 'm' in <l>"),
              std::string::npos);
    EXPECT_NE(readFailure(listXml("<liveries><x m='B738' t='y'/></liveries>")).find("999: Missing required attribute 'a' in <x>"),
              std::string::npos);
    ASSERT_EQ(ScannedLiveryList.size(), 1u);
    EXPECT_EQ(ScannedLiveryList[0].title, "Boeing 737-800 KLM");

    fs::remove(path);
    const size_t logged = log().size();
    EXPECT_FALSE(gf_readScannedLiveries());
    EXPECT_NE(log().substr(logged).find(fmt::format("51: Could not open {}", p)), std::string::npos);

    // Any element name, empty values and the boolean forms of c.
    writeBytes(path, listXml("<liveries><z a='' m='' t=''/><l a='EZY' o='EJU' m='A320' c='Yes' t='b'/>"
                             "<l a='EZY' m='A320' c='no' t='a' r='G-EZWA'/></liveries>"));
    ASSERT_TRUE(gf_readScannedLiveries());
    ASSERT_EQ(ScannedLiveryList.size(), 3u);
    EXPECT_EQ(ScannedLiveryList[0].ids, AirlOprModel{});
    EXPECT_EQ(ScannedLiveryList[1].title, "a");
    EXPECT_EQ(ScannedLiveryList[1].ids.cargo, 0);
    EXPECT_EQ(ScannedLiveryList[2].ids.oper, gf_airlineCode2Id("EJU"));
    EXPECT_EQ(ScannedLiveryList[2].ids.cargo, 1);
}

TEST_F(LiveryListFile, ValidationAndReplacement)
{
    const fs::path file = "check.xml";
    writeBytes(file, listXml("<liveries><l a='K' m='M' t='T'/><l a='K' m='M' t='U'/><other/></liveries>"));
    EXPECT_TRUE(lf_validateLiveryListFile(file, 2));
    EXPECT_FALSE(lf_validateLiveryListFile(file, 3));
    writeBytes(file, listXml("<liveries><l a='K' m='M'/></liveries>"));
    EXPECT_FALSE(lf_validateLiveryListFile(file, 1));
    writeBytes(file, listXml("<x/>"));
    EXPECT_FALSE(lf_validateLiveryListFile(file, 0));
    EXPECT_FALSE(lf_validateLiveryListFile("missing.xml", 0));

    // Absent target: moved; present target: replaced.
    writeBytes("a.tmp", "first");
    EXPECT_TRUE(lf_replaceLiveryListFile("a.tmp", "target.xml"));
    writeBytes("b.tmp", "second");
    EXPECT_TRUE(lf_replaceLiveryListFile("b.tmp", "target.xml"));
    EXPECT_EQ(readBytes("target.xml"), "second");
    EXPECT_FALSE(fs::exists("a.tmp") || fs::exists("b.tmp"));
    EXPECT_FALSE(lf_replaceLiveryListFile("gone.tmp", "target.xml"));
    EXPECT_EQ(readBytes("target.xml"), "second");
    EXPECT_NE(log().find("==> Cannot replace target.xml after the livery scan: "), std::string::npos);

    // A stale temporary file that cannot be removed (a folder of that name)
    // stops the write; the old list stays.
    LiveryScanResult = {livery("KLM", "", "B738", false, "T")};
    ASSERT_TRUE(gf_writeScannedLiveries());
    const std::string before = readBytes(g_liveriesScanned2020Path);
    fs::create_directories(fs::path(g_liveriesScanned2020Path).concat(L".scan_tmp") / "inside");
    LiveryScanResult.push_back(livery("KLM", "", "B738", false, "U"));
    EXPECT_FALSE(gf_writeScannedLiveries());
    EXPECT_EQ(readBytes(g_liveriesScanned2020Path), before);
    EXPECT_NE(log().find("==> Cannot remove stale temporary livery scan file output\\LiveriesScanned_MSFS2020.xml.scan_tmp"),
              std::string::npos);
}

TEST_F(LiveryListFile, RepositoryListNamesKnownTypesAndAirlines)
{
    kvr::test::writeStartUpDataFiles();
    ASSERT_TRUE(gf_readScannedLiveries());
    EXPECT_GE(ScannedLiveryList.size(), 20u);
    for (const LiveryRecord& r : ScannedLiveryList) {
        EXPECT_TRUE(gf_isIcaoModel(gf_modelCodeText(r.ids.model))) << r.title;
        const std::string airline = gf_airlineCodeText(r.ids.airline);
        EXPECT_TRUE(airline == "ZZZ" || gf_isIcaoAirline(airline)) << r.title;
    }
}

TEST_F(LiveryListFile, ATargetWhoseStatusCannotBeReadIsNotReplaced)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows reports an overlong name as not found, which is no failed status query";
#endif
    // A name longer than the file system takes: its status query fails.
    const fs::path target = std::string(300, 'n') + ".xml";
    writeBytes("scan.tmp", "new list");
    const size_t logged = log().size();
    EXPECT_FALSE(lf_replaceLiveryListFile("scan.tmp", target));
    EXPECT_EQ(readBytes("scan.tmp"), "new list");
    const std::string lines = log().substr(logged);
    EXPECT_NE(lines.find(fmt::format("==> Cannot inspect {} before replacing it: ", target.string())), std::string::npos)
        << lines;
    EXPECT_EQ(lines.find("Cannot replace"), std::string::npos) << lines;
}
