// The log file: first line, flush rule, writer formats, generations.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/log.h"
#include "core/version_data.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace fs = std::filesystem;
using kvr::test::logText;
using kvr::test::readBytes;
using kvr::test::writeBytes;

namespace {

// Bytes of Log.txt that have reached the disk.
uintmax_t diskSize()
{
    std::error_code ec;
    auto n = fs::file_size("Log.txt", ec);
    return ec ? 0 : n;
}

class LogTest : public ::testing::Test {
protected:
    void TearDown() override { gf_closeLog(); }
    kvr::test::ScopedTestFolders folders{"log"};
};

// Writes `count` lines of 99 characters (100 bytes each with the line end).
void writeHundredByteLines(int count)
{
    const std::string text(99, 'a');
    for (int i = 0; i < count; ++i)
        gf_logLine(text);
}

} // namespace

TEST_F(LogTest, FirstLineNamesDateProgramVersionAndSimulators)
{
    gf_openLog();
    const std::string content = logText();
    static const std::regex firstLine(
        R"(^([1-9]|[12][0-9]|3[01]) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{4} [0-2][0-9]:[0-5][0-9]Z Kelo version ([0-9]+\.[0-9]+\.[0-9]+) for MSFS 2020/2024\n$)");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(content, m, firstLine)) << content;
    EXPECT_EQ(m[3].str(), gf_programVersion().toString());
}

TEST_F(LogTest, OrdinaryLinesWaitForTheFourKilobyteMark)
{
    gf_openLog();
    const uintmax_t header = diskSize();
    ASSERT_GT(header, 0u);

    writeHundredByteLines(40);          // 4000 bytes
    gf_logLine(std::string(94, 'b'));   // 4095 bytes: still below the mark
    EXPECT_EQ(diskSize(), header);
    gf_logLine("");                     // an empty line counts one byte: 4096
    EXPECT_EQ(diskSize(), header + 4096);

    // The count starts again after the flush.
    gf_logLine("c");
    EXPECT_EQ(diskSize(), header + 4096);
}

TEST_F(LogTest, ContinuationLinesCountTheirIndent)
{
    gf_openLog();
    const uintmax_t header = diskSize();
    writeHundredByteLines(40);
    gf_logContinuation(std::string(84, 'x')); // 84 + 11 = 95 -> 4095
    EXPECT_EQ(diskSize(), header);
    gf_logContinuation(""); // ten blanks and the line end: 4106
    EXPECT_EQ(diskSize(), header + 4106);

    const std::string content = logText();
    EXPECT_NE(content.find("\n          " + std::string(84, 'x') + "\n          \n"), std::string::npos);
}

TEST_F(LogTest, ErrorLinesAndFlushedLinesReachTheDiskAtOnceAndRestartTheCount)
{
    gf_openLog();
    const uintmax_t header = diskSize();
    writeHundredByteLines(40);
    gf_logError("");
    EXPECT_EQ(diskSize(), header + 4000 + 5);

    // Without the restart 4000 + 100 would cross the mark.
    writeHundredByteLines(1);
    EXPECT_EQ(diskSize(), header + 4005);

    gf_logLineFlush("now");
    EXPECT_EQ(diskSize(), header + 4005 + 100 + 4);
    writeHundredByteLines(40);
    EXPECT_EQ(diskSize(), header + 4109); // the flushed line restarted the count too

    gf_flushLog();
    EXPECT_EQ(diskSize(), header + 4109 + 4000);

    const std::string content = logText();
    EXPECT_NE(content.find("\n==> \n"), std::string::npos);
    EXPECT_NE(content.find("\nnow\n"), std::string::npos);
}

TEST_F(LogTest, ALineLongerThanTheMarkIsWrittenWholeAndFlushed)
{
    gf_openLog();
    const uintmax_t header = diskSize();
    const std::string longText(10000, 'L');
    gf_logLine(longText);
    EXPECT_EQ(diskSize(), header + 10001);
    const std::string content = logText();
    EXPECT_EQ(content.substr(header), longText + "\n");
}

TEST_F(LogTest, EveryWriterFormatsItsLine)
{
    gf_openLog();
    const uintmax_t header = diskSize();
    gf_logLine("plain");
    gf_logContinuation("more");
    gf_logError("bad");
    gf_logLineFlush("");
    gf_logNoThrow("safe");
    gf_logLine("");
    gf_closeLog();
    EXPECT_EQ(logText().substr(header), "plain\n          more\n==> bad\n\nsafe\n\n");
}

TEST_F(LogTest, WritingWhileClosedDoesNothing)
{
    gf_closeLog();
    EXPECT_NO_THROW(gf_logLine("before"));
    EXPECT_NO_THROW(gf_logError("before"));
    EXPECT_NO_THROW(gf_logContinuation("before"));
    EXPECT_NO_THROW(gf_logLineFlush("before"));
    EXPECT_NO_THROW(gf_logNoThrow("before"));
    EXPECT_NO_THROW(gf_flushLog());
    EXPECT_FALSE(fs::exists("Log.txt"));

    gf_openLog();
    gf_logLine("inside");
    gf_closeLog();
    const std::string closed = logText();
    EXPECT_NE(closed.find("\ninside\n"), std::string::npos);

    gf_logLine("after");
    gf_logError("after");
    gf_flushLog();
    gf_closeLog(); // closing twice is harmless
    EXPECT_EQ(logText(), closed);
}

TEST_F(LogTest, OpeningKeepsOnePreviousGeneration)
{
    // No earlier log: no Log0.txt.
    gf_openLog();
    EXPECT_FALSE(fs::exists("Log0.txt"));
    gf_logLine("first run");

    // Reopening keeps the first run (unflushed lines included) as Log0.txt.
    gf_openLog();
    const std::string generation0 = readBytes("Log0.txt");
    EXPECT_NE(generation0.find("\nfirst run\n"), std::string::npos);
    const std::string fresh = logText();
    EXPECT_EQ(fresh.find("first run"), std::string::npos);
    EXPECT_EQ(std::count(fresh.begin(), fresh.end(), '\n'), 1);

    gf_logLine("second run");
    gf_openLog();
    const std::string generation1 = readBytes("Log0.txt");
    EXPECT_NE(generation1.find("\nsecond run\n"), std::string::npos);
    EXPECT_EQ(generation1.find("first run"), std::string::npos);
}

TEST_F(LogTest, AnOldLogFromAnEarlierStartBecomesLog0)
{
    {
        writeBytes("Log.txt", "old start\n");
        writeBytes("Log0.txt", "older start\n");
    }
    gf_openLog();
    EXPECT_EQ(readBytes("Log0.txt"), "old start\n");
}

TEST_F(LogTest, OpenFailureThrowsAndLeavesTheLogClosed)
{
    fs::create_directory("Log.txt"); // a folder of that name cannot be opened as a file
    try {
        gf_openLog();
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Failed to write file Log.txt");
    }
    EXPECT_NO_THROW(gf_logLine("lost"));
    EXPECT_TRUE(fs::is_directory("Log.txt"));
}

TEST_F(LogTest, LinesOfManyThreadsNeverInterleave)
{
    gf_openLog();
    const uintmax_t header = diskSize();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            const std::string text(50 + t, static_cast<char>('A' + t));
            for (int i = 0; i < 500; ++i)
                gf_logLine(text);
        });
    for (auto& th : threads)
        th.join();
    gf_closeLog();

    std::istringstream lines(logText().substr(header));
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ASSERT_FALSE(line.empty());
        const int t = line[0] - 'A';
        ASSERT_GE(t, 0);
        ASSERT_LT(t, 4);
        EXPECT_EQ(line, std::string(50 + t, line[0]));
        ++count;
    }
    EXPECT_EQ(count, 2000);
}
