#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/zip_archive.h"
#include "standins/download_site.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace fs = std::filesystem;
using kvr::test::readBytes;
using kvr::test::ScopedTestFolders;
using kvr::test::writeBytes;

namespace {

struct ZipArchiveTest : ::testing::Test {
    ScopedTestFolders folders{"zip"};
    fs::path dir = folders.root() / L"Zoë Ærø 日本";
    void SetUp() override { fs::create_directories(dir); }
};

std::string lf_readWhole(const ZipArchive& archive, std::uint64_t index, std::size_t piece,
                         std::size_t* largestPiece = nullptr)
{
    std::string out;
    const std::int64_t n = archive.readEntry(index, piece, [&](const char* p, std::size_t size) {
        out.append(p, size);
        if (largestPiece && size > *largestPiece)
            *largestPiece = size;
        return true;
    });
    EXPECT_EQ(n, static_cast<std::int64_t>(out.size()));
    return out;
}

} // namespace

TEST_F(ZipArchiveTest, WrittenEntriesReadBackUnderANonAsciiFolder)
{
    const fs::path target = dir / L"tblo.zip";
    const std::string first = "<airport icao='EDDF'/>";
    const std::string second(100000, 'x');
    {
        std::string error;
        auto archive = ZipArchive::create(target, &error);
        ASSERT_TRUE(archive) << error;
        EXPECT_TRUE(archive->addData("EDDF.xml", first.data(), first.size()));
        EXPECT_TRUE(archive->addData("KJFK.xml", second.data(), second.size()));
        EXPECT_EQ(archive->close(), 0);
        EXPECT_FALSE(archive->isOpen());
    }
    ASSERT_TRUE(fs::exists(target));

    auto archive = ZipArchive::openForReading(target);
    ASSERT_TRUE(archive);
    const auto entries = archive->entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "EDDF.xml");
    EXPECT_EQ(entries[0].size, first.size());
    EXPECT_EQ(entries[1].name, "KJFK.xml");
    EXPECT_EQ(entries[1].size, second.size());

    std::size_t largest = 0;
    EXPECT_EQ(lf_readWhole(*archive, 0, 5, &largest), first);
    EXPECT_LE(largest, 5u);
    EXPECT_EQ(lf_readWhole(*archive, 1, 524288), second);
}

TEST_F(ZipArchiveTest, ASinkCanStopTheRead)
{
    const fs::path target = dir / L"a.zip";
    const std::string data(1000, 'a');
    {
        auto archive = ZipArchive::create(target);
        ASSERT_TRUE(archive);
        ASSERT_TRUE(archive->addData("a", data.data(), data.size()));
        ASSERT_EQ(archive->close(), 0);
    }
    auto archive = ZipArchive::openForReading(target);
    ASSERT_TRUE(archive);
    int calls = 0;
    EXPECT_EQ(archive->readEntry(0, 100, [&](const char*, std::size_t) { return ++calls < 2; }), 200);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(archive->readEntry(7, 100, [](const char*, std::size_t) { return true; }), -1);
}

TEST_F(ZipArchiveTest, AnArchiveNotClosedIsDiscarded)
{
    const fs::path target = dir / L"discarded.zip";
    const std::string data = "data";
    {
        auto archive = ZipArchive::create(target);
        ASSERT_TRUE(archive);
        ASSERT_TRUE(archive->addData("x.txt", data.data(), data.size()));
    }
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(ZipArchiveTest, CreatingReplacesAnOldArchiveOnlyAtClose)
{
    const fs::path target = dir / L"old.zip";
    writeBytes(target, "not a zip at all");
    const std::string data = "new";
    auto archive = ZipArchive::create(target);
    ASSERT_TRUE(archive);
    ASSERT_TRUE(archive->addData("n.txt", data.data(), data.size()));
    EXPECT_EQ(readBytes(target), "not a zip at all");
    EXPECT_EQ(archive->close(), 0);
    auto reread = ZipArchive::openForReading(target);
    ASSERT_TRUE(reread);
    ASSERT_EQ(reread->entries().size(), 1u);
    EXPECT_EQ(reread->entries()[0].name, "n.txt");
}

TEST_F(ZipArchiveTest, AnEmptyArchiveLeavesNoFile)
{
    const fs::path target = dir / L"empty.zip";
    auto archive = ZipArchive::create(target);
    ASSERT_TRUE(archive);
    EXPECT_EQ(archive->close(), 0);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(archive->close(), -1) << "closing twice";
}

TEST_F(ZipArchiveTest, BadArchivesAndEntryNamesAreRefused)
{
    std::string error;
    EXPECT_FALSE(ZipArchive::openForReading(dir / L"missing.zip", &error));
    EXPECT_FALSE(error.empty());

    writeBytes(dir / L"garbage.zip", std::string(200, 'g'));
    error.clear();
    EXPECT_FALSE(ZipArchive::openForReading(dir / L"garbage.zip", &error));
    EXPECT_NE(error.find("Not a zip archive"), std::string::npos) << error;

    auto archive = ZipArchive::create(dir / L"names.zip");
    ASSERT_TRUE(archive);
    EXPECT_FALSE(archive->addData("", "x", 1));
    EXPECT_TRUE(archive->addData("same", "1", 1));
    EXPECT_TRUE(archive->addData("same", "22", 2)) << "a second add replaces the entry";
    ASSERT_EQ(archive->close(), 0);
    auto reread = ZipArchive::openForReading(dir / L"names.zip");
    ASSERT_TRUE(reread);
    ASSERT_EQ(reread->entries().size(), 1u);
    EXPECT_EQ(lf_readWhole(*reread, 0, 10), "22");
}

TEST_F(ZipArchiveTest, NamesTheFormatCannotHoldAreRefused)
{
    auto archive = ZipArchive::create(dir / L"long.zip");
    ASSERT_TRUE(archive);
    EXPECT_TRUE(archive->addData(std::string(65535, 'n'), "x", 1)) << "the longest name the format holds";
    EXPECT_FALSE(archive->addData(std::string(65537, 'n'), "y", 1));
    EXPECT_EQ(archive->lastError(),
              "entry name of 65537 bytes is longer than the zip format allows (65535 bytes)");
    EXPECT_FALSE(archive->addData(std::string("a\0x", 3), "1", 1));
    EXPECT_EQ(archive->lastError(), "entry name holds a NUL byte");
    EXPECT_FALSE(archive->addData(std::string("a\0y", 3), "2", 1));
    ASSERT_EQ(archive->close(), 0);
    auto reread = ZipArchive::openForReading(dir / L"long.zip");
    ASSERT_TRUE(reread);
    const auto entries = reread->entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, std::string(65535, 'n'));
}

TEST_F(ZipArchiveTest, EntriesThatWouldLandOutsideTheFolderHaveNoTarget)
{
    // Such names come from a hostile or broken download, stored as they are.
    const std::vector<std::string> hostile{"../evil.exe", "a/../../evil.exe", "..\\evil.exe", "/etc/evil",
                                           "\\evil.exe", "C:\\evil.exe", "C:evil.exe", "ok.txt:stream",
                                           "a/. ./evil", "a/.../evil", "/"};
    auto archive = ZipArchive::create(dir / L"hostile.zip");
    ASSERT_TRUE(archive);
    for (const std::string& name : hostile)
        ASSERT_TRUE(archive->addData(name, "x", 1)) << name;
    ASSERT_TRUE(archive->addData("Kelo/bin/Kelo.exe", "k", 1));
    ASSERT_TRUE(archive->addData("Kelo\\readme \xC3\xA9.txt", "r", 1));
    ASSERT_EQ(archive->close(), 0);

    auto reread = ZipArchive::openForReading(dir / L"hostile.zip");
    ASSERT_TRUE(reread);
    const fs::path target = dir / L"unpacked";
    std::vector<fs::path> safe;
    for (const ZipArchive::Entry& e : reread->entries()) {
        if (auto path = ZipArchive::unpackTarget(target, e.name))
            safe.push_back(*path);
    }
    EXPECT_EQ(safe, (std::vector<fs::path>{target / L"Kelo" / L"bin" / L"Kelo.exe",
                                           target / L"Kelo" / L"readme \u00E9.txt"}));
    EXPECT_EQ(ZipArchive::unpackTarget(target, "Kelo/data/"), target / L"Kelo" / L"data");
    EXPECT_FALSE(ZipArchive::unpackTarget(target, ""));
    EXPECT_FALSE(ZipArchive::unpackTarget(target, "bad\xC3\x28.txt"));
}

TEST_F(ZipArchiveTest, WindowsDeviceNamesHaveNoTarget)
{
    const fs::path target = dir / L"unpacked";
    for (const char* name : {"CON", "nul.txt", "COM1", "a/lpt9.log", "Aux", "prn.tar.gz", "con .txt", "COM\xC2\xB9",
                             "CONOUT$", "Kelo/NUL/x.txt"})
        EXPECT_FALSE(ZipArchive::unpackTarget(target, name)) << name;
    for (const char* name : {"CONSOLE.txt", "COM10", "nullable", "LPT", "xcon", "com1x.txt"})
        EXPECT_EQ(ZipArchive::unpackTarget(target, name), target / fs::u8path(name)) << name;
}

TEST_F(ZipArchiveTest, DataPastTheDeclaredSizeOrTheCapIsNeverDelivered)
{
    // An entry of 8 MiB of zeros whose headers declare 4 KiB: it inflates far
    // past what a caller checked.
    const fs::path path = dir / L"bomb.zip";
    writeBytes(path, gf_zipBombBytes("install_new_version.exe", 4096, 8u << 20));
    auto archive = ZipArchive::openForReading(path);
    ASSERT_TRUE(archive);
    ASSERT_EQ(archive->entries().at(0).size, 4096u);
    std::uint64_t delivered = 0;
    EXPECT_EQ(archive->readEntry(0, 65536, [&](const char*, std::size_t n) { delivered += n; return true; }), -1);
    EXPECT_EQ(delivered, 4096u);


    const fs::path small = dir / L"small.zip";
    {
        auto created = ZipArchive::create(small);
        ASSERT_TRUE(created);
        ASSERT_TRUE(created->addData("small.txt", "0123456789", 10));
        ASSERT_EQ(created->close(), 0);
    }
    auto reread = ZipArchive::openForReading(small);
    ASSERT_TRUE(reread);
    delivered = 0;
    EXPECT_EQ(reread->readEntry(0, 4, [&](const char*, std::size_t n) { delivered += n; return true; }, 6), -1);
    EXPECT_EQ(delivered, 6u) << "the caller's cap holds as well";
    EXPECT_EQ(lf_readWhole(*reread, 0, 4), "0123456789");
}
