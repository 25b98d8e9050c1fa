// Version numbers: the dotted and JSON forms, failures, the strict parse.
#include <gtest/gtest.h>

#include <algorithm>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "core/log.h"
#include "core/version_data.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace {

class VersionDataTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gf_openLog();
        m_headerSize = kvr::test::logText().size();
    }
    void TearDown() override { gf_closeLog(); }

    // What was logged after the first line.
    std::string logged()
    {
        gf_flushLog();
        return kvr::test::logText().substr(m_headerSize);
    }

    kvr::test::ScopedTestFolders folders{"version"};
    size_t m_headerSize = 0;
};

void expectVersion(const VersionData& v, int ma, int mi, int pa)
{
    EXPECT_EQ(v.major, ma);
    EXPECT_EQ(v.minor, mi);
    EXPECT_EQ(v.patch, pa);
}

} // namespace

TEST_F(VersionDataTest, DottedForms)
{
    expectVersion(VersionData("16.7.0"), 16, 7, 0);
    expectVersion(VersionData("16.7"), 16, 7, 0);
    expectVersion(VersionData("1.22.333"), 1, 22, 333);
    expectVersion(VersionData("007.08.09"), 7, 8, 9);
    EXPECT_EQ(logged(), "");
}

TEST_F(VersionDataTest, JsonObject)
{
    expectVersion(VersionData(R"(  {"major": 2, "minor": 1}  )"), 2, 1, 0);
    expectVersion(VersionData(R"({"major":3,"minor":4,"patch":5,"extra":"x"})"), 3, 4, 5);
    expectVersion(VersionData(R"({"major": 2.5, "minor": "1", "patch": true})"), 0, 0, 0);
    expectVersion(VersionData(R"({"major": -2, "minor": 4294967296})"), -2, 0, 0);
    expectVersion(VersionData("{}"), 0, 0, 0);
    EXPECT_EQ(logged(), "");
}

TEST_F(VersionDataTest, BadTextGivesZeroAndOneLogLine)
{
    struct Case {
        const char* text;
        const char* message;
    };
    for (const Case& c : {Case{"16.7.0.1", "invalid version format"}, Case{"abc", "invalid version format"},
                          Case{"  ", "invalid version format"}, Case{" 16.7", "invalid version format"},
                          Case{"[1, 2, 3]", "invalid version format"},
                          Case{"99999999999.1", "parse error in version string"}, Case{"1.2.", "invalid version format"},
                          Case{"1..2", "invalid version format"}, Case{"1.2a", "invalid version format"},
                          Case{".1.2", "invalid version format"}}) {
        const std::string before = logged();
        VersionData v{std::string_view(c.text)};
        expectVersion(v, 0, 0, 0);
        const std::string line = logged().substr(before.size());
        EXPECT_EQ(line, fmt::format("VersionData exception: {}\n", c.message)) << c.text;
    }
}

TEST_F(VersionDataTest, HugeTextsAreBadTextsNotCrashes)
{
    // A hand-edited or downloaded version text of any length ends as 0.0.0
    // with one log line, on a thread with an ordinary stack.
    const std::string digits(100000, '7');
    for (const std::string& text : {digits + ".0", "1." + digits, digits, "{\"major\": 1, \"x\": \"" + digits + "\"}"}) {
        const std::string before = logged();
        expectVersion(VersionData(text), 0, 0, 0);
        const std::string line = logged().substr(before.size());
        EXPECT_EQ(line, "VersionData exception: invalid version format: the text is too long\n");
    }
    // Below the bound a long number still reads as a number that does not fit.
    const std::string before = logged();
    expectVersion(VersionData(std::string(4000, '9') + ".1"), 0, 0, 0);
    EXPECT_EQ(logged().substr(before.size()), "VersionData exception: parse error in version string\n");
}

TEST_F(VersionDataTest, BrokenJsonIsCaught)
{
    VersionData v{std::string_view(R"({"major": 1,)")};
    expectVersion(v, 0, 0, 0);
    const std::string line = logged();
    EXPECT_EQ(line.rfind("VersionData exception: ", 0), 0u) << line;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
}

TEST_F(VersionDataTest, EmptyTextIsQuiet)
{
    expectVersion(VersionData(""), 0, 0, 0);
    expectVersion(VersionData(), 0, 0, 0);
    EXPECT_EQ(logged(), "");
}

TEST(VersionData, Printing)
{
    EXPECT_EQ(VersionData("16.7.0").toString(), "16.7.0");
    EXPECT_EQ(VersionData(16, 7, 2).toString(), "16.7.2");
    EXPECT_EQ(fmt::format("v{}!", VersionData(1, 2, 3)), "v1.2.3!");
    EXPECT_EQ(VersionData().toString(), "0.0.0");
}

TEST(VersionData, ComparesMajorThenMinorThenPatch)
{
    EXPECT_LT(VersionData(1, 9, 9), VersionData(2, 0, 0));
    EXPECT_LT(VersionData(2, 0, 9), VersionData(2, 1, 0));
    EXPECT_LT(VersionData(2, 1, 0), VersionData(2, 1, 1));
    EXPECT_EQ(VersionData("2.1"), VersionData(2, 1, 0));
}

TEST(VersionData, StrictParse)
{
    auto v = gf_tryParseVersionNumbers("1.2");
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(*v, VersionData(1, 2, 0));
    v = gf_tryParseVersionNumbers("1.2.3");
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(*v, VersionData(1, 2, 3));
    for (const char* bad : {"1", "1.", ".1", "1..2", "1.2.3.4", "1.x", "1.2-", "", "-1.2", "1.+2", " 1.2",
                            "1.2 ", "4294967296.1"})
        EXPECT_FALSE(gf_tryParseVersionNumbers(bad).has_value()) << bad;
}

TEST(VersionData, JsonField)
{
    const auto j = nlohmann::json::parse(R"({"a": 7, "b": 7.0, "c": "7", "d": null, "e": -3})");
    EXPECT_EQ(lf_jsonVersionField(j, "a"), 7);
    EXPECT_EQ(lf_jsonVersionField(j, "b"), 0);
    EXPECT_EQ(lf_jsonVersionField(j, "c"), 0);
    EXPECT_EQ(lf_jsonVersionField(j, "d"), 0);
    EXPECT_EQ(lf_jsonVersionField(j, "e"), -3);
    EXPECT_EQ(lf_jsonVersionField(j, "missing"), 0);
}

TEST(VersionData, ProgramVersionComesFromTheBuild)
{
    EXPECT_EQ(gf_programVersion(), VersionData(KELO_VERSION_MAJOR, KELO_VERSION_MINOR, KELO_VERSION_PATCH));
}
