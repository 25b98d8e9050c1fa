#include <gtest/gtest.h>

#include <windows.h>
#include <knownfolders.h>

#include <algorithm>
#include <fstream>

#include <fmt/format.h>

#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/text.h"
#include "core/value_types.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace fs = std::filesystem;
using kvr::test::readBytes;
using kvr::test::ScopedTestFolders;
using kvr::test::writeBytes;

namespace {

// Log.txt in the test's program folder, open for the test's lifetime.
struct TestLog {
    TestLog() { gf_openLog(); }
    ~TestLog() { gf_closeLog(); }
    std::string text()
    {
        gf_flushLog();
        return kvr::test::logText();
    }
};

std::vector<std::string> sortedCodes(const std::vector<IcaoCode>& codes)
{
    std::vector<std::string> out;
    for (const IcaoCode& c : codes)
        out.push_back(c.toString());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST(FilesMove, RenamesAndReplaces)
{
    ScopedTestFolders folders("move");
    const fs::path dir = L"\u00E4rger \u2708";
    fs::create_directory(dir);
    writeBytes(dir / "a.txt", "new");
    writeBytes(dir / "b.txt", "old");
    EXPECT_TRUE(gf_moveFile(dir / "a.txt", dir / "b.txt"));
    EXPECT_FALSE(fs::exists(dir / "a.txt"));
    EXPECT_EQ(readBytes(dir / "b.txt"), "new");
}

TEST(FilesMove, ToAnotherVolumeCopiesAndRemoves)
{
    ScopedTestFolders folders("movevol");
    // A rename between volumes fails on Windows; here every folder is on one.
    static int renames = 0;
    renames = 0;
    const FileCalls previous = gf_setFileCalls(
        {[](const fs::path&, const fs::path&, std::error_code& ec) {
             ++renames;
             ec.assign(ERROR_NOT_SAME_DEVICE, std::system_category());
         },
         nullptr});
    writeBytes("src.bin", std::string(10000, 'x'));
    writeBytes("dst.bin", "older");
    const bool moved = gf_moveFile("src.bin", "dst.bin");
    gf_setFileCalls(previous);
    EXPECT_TRUE(moved);
    EXPECT_EQ(renames, 1);
    EXPECT_FALSE(fs::exists("src.bin"));
    EXPECT_EQ(readBytes("dst.bin"), std::string(10000, 'x'));
}

TEST(FilesMove, FailuresAreLogged)
{
    ScopedTestFolders folders("movefail");
    TestLog log;
    EXPECT_FALSE(gf_moveFile("missing.txt", "to.txt"));
    EXPECT_NE(log.text().find("==> could not move missing.txt => to.txt: "), std::string::npos) << log.text();

    // A source held open cannot be renamed or removed, but it can be copied.
    writeBytes("held.txt", "data");
    {
        std::ifstream held("held.txt", std::ios::binary);
        ASSERT_TRUE(held.is_open());
        EXPECT_FALSE(gf_moveFile("held.txt", "copy.txt"));
        EXPECT_NE(log.text().find("==> could not remove held.txt after copy: "), std::string::npos) << log.text();
        EXPECT_EQ(readBytes("copy.txt"), "data");
    }
}

TEST(FilesGeneration, KeepsOnePreviousGeneration)
{
    ScopedTestFolders folders("gen");
    TestLog log;
    EXPECT_TRUE(gf_save1GenerationOf("absent.xml"));
    EXPECT_FALSE(fs::exists("absent0.xml"));

    writeBytes("parameters.xml", "<v1/>");
    writeBytes("parameters0.xml", "<old/>");
    EXPECT_TRUE(gf_save1GenerationOf("parameters.xml"));
    EXPECT_EQ(readBytes("parameters0.xml"), "<v1/>");
    EXPECT_EQ(readBytes("parameters.xml"), "<v1/>");

    fs::create_directory(L"d\u00FCr");
    writeBytes(fs::path(L"d\u00FCr") / "Log.txt.x", "x");
    EXPECT_TRUE(gf_save1GenerationOf(fs::path(L"d\u00FCr") / "Log.txt.x"));
    EXPECT_EQ(readBytes(fs::path(L"d\u00FCr") / "Log.txt0.x"), "x");

    writeBytes("README", "r");
    EXPECT_FALSE(gf_save1GenerationOf("README"));
    EXPECT_NE(log.text().find("==> gf_save1GenerationOf: no extension in filename: README\n"), std::string::npos);

    // The copy fails when the generation name is taken by a folder.
    writeBytes("data.txt", "d");
    fs::create_directory("data0.txt");
    EXPECT_FALSE(gf_save1GenerationOf("data.txt"));
    EXPECT_NE(log.text().find("==> copy data.txt -> data0.txt failed: "), std::string::npos) << log.text();
}

TEST(FilesRemove, EmptiesOneLevel)
{
    ScopedTestFolders folders("rm");
    fs::create_directories("f/sub");
    writeBytes("f/a.txt", "a");
    writeBytes("f/b.xml", "b");
    writeBytes("f/sub/c.txt", "c");
    gf_removeFilesFromDirectory("f");
    EXPECT_FALSE(fs::exists("f/a.txt"));
    EXPECT_FALSE(fs::exists("f/b.xml"));
    EXPECT_TRUE(fs::exists("f/sub/c.txt"));

    // A missing folder or a file in its place is quietly left alone.
    gf_removeFilesFromDirectory("nothere");
    writeBytes("plain.txt", "p");
    gf_removeFilesFromDirectory("plain.txt");
    EXPECT_TRUE(fs::exists("plain.txt"));
}

TEST(FilesRemove, XmlFilesOfTheTbloFolder)
{
    ScopedTestFolders folders("rmxml");
    fs::create_directories(g_tbloFolder / "d.xml");
    writeBytes(g_tbloFolder / "A.XML", "a");
    writeBytes(g_tbloFolder / "b.xml", "b");
    writeBytes(g_tbloFolder / "c.xml.bak", "c");
    writeBytes(g_tbloFolder / "e.xmlx", "e");
    writeBytes(g_tbloFolder / "F.XmL", "f");
    gf_removeXMLFilesFromDirectory();
    EXPECT_FALSE(fs::exists(g_tbloFolder / "A.XML"));
    EXPECT_FALSE(fs::exists(g_tbloFolder / "b.xml"));
    EXPECT_FALSE(fs::exists(g_tbloFolder / "F.XmL"));
    EXPECT_TRUE(fs::exists(g_tbloFolder / "c.xml.bak"));
    EXPECT_TRUE(fs::exists(g_tbloFolder / "e.xmlx"));
    EXPECT_TRUE(fs::is_directory(g_tbloFolder / "d.xml"));
}

TEST(FilesRemove, LockedFileIsLoggedAndTheRestRemoved)
{
    ScopedTestFolders folders("rmlock");
    TestLog log;
    fs::create_directory("f");
    writeBytes("f/1.txt", "1");
    writeBytes("f/2.txt", "2");
    writeBytes("f/3.txt", "3");
    {
        std::ifstream held("f/2.txt", std::ios::binary);
        gf_removeFilesFromDirectory("f");
        EXPECT_TRUE(fs::exists("f/2.txt"));
        EXPECT_NE(log.text().find("==> Failed to remove f\\2.txt ("), std::string::npos) << log.text();
    }
    EXPECT_FALSE(fs::exists("f/1.txt"));
    EXPECT_FALSE(fs::exists("f/3.txt"));
}

TEST(FilesCount, ByExtension)
{
    ScopedTestFolders folders("count");
    EXPECT_EQ(gf_countFilesWithExtension("none", ".xml"), 0u);
    fs::create_directories("f/sub.xml");
    writeBytes("f/a.xml", "");
    writeBytes("f/b.xml", "");
    writeBytes("f/c.txt", "");
    writeBytes("f/d", "");
    EXPECT_EQ(gf_countFilesWithExtension("f", ".xml"), 2u);
    EXPECT_EQ(gf_countFilesWithExtension("f", ".txt"), 1u);
    EXPECT_EQ(gf_countFilesWithExtension("f", ""), 4u);
    EXPECT_EQ(gf_countFilesWithExtension("f", ".bgl"), 0u);
}

TEST(FilesIcao, ListsAirportFiles)
{
    ScopedTestFolders folders("icao");
    EXPECT_TRUE(gf_listIcaoXmlFiles("none").empty());
    fs::create_directories("a/LFPG.xml");
    for (const char* name : {"EHAM.xml", "eddf.XML", "EHAM1.xml", "EHAM.xml.bak", "KJFK.txt", "EGL.xml"})
        writeBytes(fs::path("a") / name, "<root/>");
    EXPECT_EQ(sortedCodes(gf_listIcaoXmlFiles("a")), (std::vector<std::string>{"EDDF", "EHAM"}));
}

TEST(FilesIcao, InvalidStemIsSkipped)
{
    ScopedTestFolders folders("icaobad");
    fs::create_directory("a");
    for (const char* name : {"E-AM.xml", "EHAM.xml", "a b.xml", "KSFO.xml"})
        writeBytes(fs::path("a") / name, "<root/>");
    writeBytes(fs::path("a") / L"\u00C9DDF.xml", "<root/>");
    std::vector<IcaoCode> codes;
    ASSERT_NO_THROW(codes = gf_listIcaoXmlFiles("a"));
    EXPECT_EQ(sortedCodes(codes), (std::vector<std::string>{"EHAM", "KSFO"}));
}

TEST(FilesGuard, DeletesUnlessDisarmed)
{
    ScopedTestFolders folders("guard");
    writeBytes("a.scan_tmp", "a");
    writeBytes("b.scan_tmp", "b");
    {
        TempFileGuard armed("a.scan_tmp");
        TempFileGuard disarmed("b.scan_tmp");
        disarmed.armed = false;
        TempFileGuard missing("never.tmp");
    }
    EXPECT_FALSE(fs::exists("a.scan_tmp"));
    EXPECT_TRUE(fs::exists("b.scan_tmp"));
}

TEST(FilesKnownFolder, RealLookupThroughWindows)
{
    // No test folders here: the real SHGetKnownFolderPath answers.
    gf_clearKnownFolderOverrides();
    const std::optional<std::wstring> roaming = gf_getKnownFolderPath(KnownFolder::RoamingAppData);
    ASSERT_TRUE(roaming.has_value());
    EXPECT_FALSE(roaming->empty());
    EXPECT_TRUE(fs::is_directory(*roaming)) << wide_to_utf8(*roaming);
    const std::optional<std::wstring> local = gf_getKnownFolderPath(KnownFolder::LocalAppData);
    ASSERT_TRUE(local.has_value());
    EXPECT_NE(*local, *roaming);
}

TEST(FilesKnownFolder, TestAnswersAndFailure)
{
    const std::optional<std::wstring> real = gf_getKnownFolderPath(KnownFolder::RoamingAppData);
    {
        ScopedTestFolders folders("known");
        EXPECT_EQ(gf_getKnownFolderPath(KnownFolder::RoamingAppData), folders.roamingAppData().wstring());
        EXPECT_EQ(gf_getKnownFolderPath(KnownFolder::LocalAppData), folders.localAppData().wstring());
        gf_setKnownFolderOverride(KnownFolder::RoamingAppData, std::nullopt);
        EXPECT_EQ(gf_getKnownFolderPath(KnownFolder::RoamingAppData), std::nullopt);
    }
    EXPECT_EQ(gf_getKnownFolderPath(KnownFolder::RoamingAppData), real);
}

TEST(FilesLiveries, ScannedListFollowsTheSimulator)
{
    const auto previous = g_modeSettings.load();
    g_modeSettings.store(std::make_shared<const ModeSettings>(ModeSettings{1, false}));
    EXPECT_EQ(gf_liveriesScannedPath().wstring(), L"output\\LiveriesScanned_MSFS2020.xml");
    g_modeSettings.store(std::make_shared<const ModeSettings>(ModeSettings{2, false}));
    EXPECT_EQ(gf_liveriesScannedPath().wstring(), L"output\\LiveriesScanned_MSFS2024.xml");
    g_modeSettings.store(previous);
}
