#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "core/layout.h"
#include "core/log.h"
#include "liveries/livery_scan_report_files.h"
#include "liveries/livery_scan_reports.h"
#include "tests/liveries/livery_scan_fixture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"
#include "tests/support/ui_recorder.h"

namespace fs = std::filesystem;
using kvr::test::readBytes;

namespace {

class LiveryScanReportFiles : public LiveryScanTest {
protected:
    kvr::test::ScopedTestFolders folders{"scanreports"};
    void SetUp() override
    {
        LiveryScanTest::SetUp();
        gf_openLog();
    }
    void TearDown() override
    {
        gf_closeLog();
        LiveryScanTest::TearDown();
    }
    std::string log()
    {
        gf_flushLog();
        return kvr::test::logText();
    }
};

TEST_F(LiveryScanReportFiles, NoErrors)
{
    lf_writeLiveryScanReports();
    EXPECT_NE(log().find("\nNo errors\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(g_outputErrorsFolder));
    EXPECT_FALSE(fs::exists(g_outputInfoFolder));
}

TEST_F(LiveryScanReportFiles, ErrorFilesSortedAndCounted)
{
    InvalidAirlineList = {"b", "a"};
    InvalidModelList = {"m"};
    ModelFixList = {"fix 2", "fix 1"};
    IncompleteSectionList = {"y", "x", "y", "x"};
    NoFltsimCfgList = {"C:\\b\\aircraft.cfg", "C:\\a\\aircraft.cfg"};
    lf_writeLiveryScanReports();

    const auto& paths = gf_liveryReportPaths();
    EXPECT_EQ(readBytes(paths[2]), "a\nb\n");
    EXPECT_EQ(readBytes(paths[3]), "m\n");
    EXPECT_EQ(readBytes(paths[4]), "fix 2\nfix 1\n");
    EXPECT_FALSE(fs::exists(paths[5]));
    EXPECT_EQ(readBytes(paths[6]), "x\ny\n");
    EXPECT_EQ(readBytes(paths[0]), "C:\\a\\aircraft.cfg\nC:\\b\\aircraft.cfg\n");
    const std::string text = log();
    EXPECT_NE(text.find("\nErrors:\n"
                        "    2 invalid airline codes, see output\\errors\\InvalidAirlineCodes.txt\n"
                        "    1 invalid model code, see output\\errors\\InvalidAircraftCodes.txt\n"
                        "    2 fixes, see output\\errors\\Fixes.txt\n"
                        "    2 incomplete [fltsim.x] sections, see output\\errors\\IncompleFltsimSections.txt\n"
                        "\nInformation:\n"
                        "    2 empty aircraft.cfg files, see output\\info\\AircraftCfgWithNoFltsimSection.txt\n"),
              std::string::npos)
        << text;
}

TEST_F(LiveryScanReportFiles, DontUseTitlesNeedTheAigList)
{
    DontUseLiveryTitles.insert("left over");
    lf_collectDontUseLiveries();
    EXPECT_TRUE(DontUseLiveryTitles.empty());
    EXPECT_NE(log().find("==> input\\AIG-regcodes.enc not available\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(gf_liveryReportPaths()[1]));
}

TEST_F(LiveryScanReportFiles, EndOfScanClearsAndRepaints)
{
    kvr::test::RecordingUiSink sink;
    UsedLiveryTitles.insert("t");
    IncompleteSectionList.push_back("x");
    lf_endLiveryScan();
    EXPECT_TRUE(UsedLiveryTitles.empty());
    EXPECT_TRUE(IncompleteSectionList.empty());
    EXPECT_EQ(sink.all<GuiUpdate::ClearMessage>().size(), 1u);
    const auto repaint = sink.last<GuiUpdate::Repaint>();
    ASSERT_TRUE(repaint);
    EXPECT_NE(log().find("\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n"),
              std::string::npos);
}

} // namespace
