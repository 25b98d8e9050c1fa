// Package manifests, the package version grammar and the publisher lists.
#include <gtest/gtest.h>

#include "airports/bgl_reader.h"
#include "airports/package_manifest.h"
#include "airports/publisher_lists.h"
#include "airports/scanned_airport.h"
#include "core/layout.h"
#include "core/log.h"
#include "tests/support/data_sets.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace fs = std::filesystem;
using namespace kvr::test;

namespace {

class ManifestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gf_openLog();
        ScanLogLines.clear();
        fs::create_directories("input");
    }
    void TearDown() override
    {
        lf_clearPublisherLists();
        ScanLogLines.clear();
        gf_closeLog();
    }
    void loadArchives(const std::string& body, bool msfs2020 = true)
    {
        writeDataSet(DataSetKind::Archives, "<root>" + body + "<simaddons20/></root>", g_archivesEncPath,
                     {.header = false});
        ASSERT_TRUE(gf_loadPublishers(msfs2020));
    }
    ScopedTestFolders folders{"mf"};
};

TEST(PackageVersion, Grammar)
{
    struct Row {
        const char* text;
        bool ok;
        uint32_t major, minor, patch, rc;
        bool isRc;
    } rows[] = {
        {"1.0", true, 1, 0, 0, 0, false},     {"2.1.3-RC2", true, 2, 1, 3, 2, true}, {"2.1.3rc", true, 2, 1, 3, 0, true},
        {"1.2RC7", true, 1, 2, 0, 7, true},   {"2.1.3 RC", false},                  {"2.1.3-RC2a", false},
        {"v1.2", false},                       {"1", false},                          {"1.2.3.4", false},
        {"1..2", false},                       {".1.2", false},                       {"4294967296.0", false},
        {"", false},
    };
    for (const Row& r : rows) {
        const PackageVersion v = gf_parsePackageVersion(r.text);
        EXPECT_EQ(v.ok, r.ok) << r.text;
        if (r.ok)
            EXPECT_TRUE(v.major == r.major && v.minor == r.minor && v.patch == r.patch && v.rc == r.rc &&
                        v.isRc == r.isRc)
                << r.text;
    }
    const auto v = [](const char* t) { return gf_parsePackageVersion(t); };
    EXPECT_LT(v("1.2.3-rc1"), v("1.2.3-rc2"));
    EXPECT_LT(v("1.2.3-rc9"), v("1.2.3"));
    EXPECT_LT(v("1.2.3"), v("1.10.0"));
}

TEST_F(ManifestTest, ReadingAndSearching)
{
    writeBytes("big.json", std::string(g_manifestSizeLimit, ' '));
    EXPECT_FALSE(lf_readManifest("big.json")) << "blank text is no JSON object";
    EXPECT_TRUE(ScanLogLines.empty()) << "exactly the limit is read";
    writeBytes("big.json", std::string(g_manifestSizeLimit + 1, ' '));
    EXPECT_FALSE(lf_readManifest("big.json"));
    EXPECT_EQ(ScanLogLines, std::vector<std::string>{"Ignoring manifest larger than 4194304 bytes: 'big.json'"});

    writeBytes("m.json", "\xEF\xBB\xBF{\"title\": 7,\r\n \"package_version\": \"\", \"version\": \"1.2.3\",\n"
                         "\"manufacturer\": \"Orbx\"}");
    const std::optional<PackageManifest> m = lf_readManifest("m.json");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->title, "");
    EXPECT_EQ(m->package_version, "1.2.3");
    EXPECT_EQ(m->manufacturer, "Orbx");

    // The scenery file's own folder is the first of twelve tried.
    fs::path deep = "pkg";
    for (int i = 0; i < 12; ++i)
        deep /= "d" + std::to_string(i);
    fs::create_directories(deep);
    writeBytes(deep / "x.bgl", "");
    writeBytes("pkg/manifest.json", R"({"title":"twelfth"})");
    EXPECT_FALSE(gf_searchManifest(deep / "x.bgl"));
    writeBytes("pkg/d0/manifest.json", R"({"title":"eleventh"})");
    EXPECT_EQ(gf_searchManifest(deep / "x.bgl")->title, "eleventh");

    // Streamed packages: the name without "fs24-" first, then the full name, then one level deeper.
    fs::create_directories("base/sub/fs24-pkg");
    writeBytes("base/sub/fs24-pkg/manifest.json", R"({"title":"deep full"})");
    EXPECT_EQ(lf_findStreamedManifest("streamed/fs24-pkg", "base")->title, "deep full");
    fs::create_directories("base/fs24-pkg");
    writeBytes("base/fs24-pkg/manifest.json", R"({"title":"full"})");
    EXPECT_EQ(lf_findStreamedManifest("streamed/fs24-pkg", "base")->title, "full");
    fs::create_directories("base/pkg");
    writeBytes("base/pkg/manifest.json", R"({"title":"short"})");
    EXPECT_EQ(lf_findStreamedManifest("streamed/fs24-pkg", "base")->title, "short");
}

TEST_F(ManifestTest, PublisherGroupsAndRejectedValues)
{
    loadArchives(R"(<publishers><pub pn="Zeta, zt"/><pub pn="Alpha Works, alphaworks"/><pub pn="Zeta, zt"/></publishers>)");
    gf_flushLog();
    EXPECT_NE(logText().find("    2 publishers\n    1 rejected manifest publisher value\n"), std::string::npos);
    EXPECT_TRUE(gf_isRejectedPublisherValue(" FSim "));
    EXPECT_EQ(lf_findPublisherGroup("community/AlphaWorks-eham").name, "Alpha Works");
    EXPECT_EQ(lf_findPublisherGroup("zt alphaworks").name, "Alpha Works") << "the group sorting first wins";
    EXPECT_EQ(lf_findPublisherGroup("nothing").status, 1u);
    EXPECT_EQ(lf_findPublisherGroup("").status, 2u);

    ScannedAirport airport;
    airport.bglPath = "c:/x/y.bgl";
    airport.manifestSearched = true;
    airport.manifest = PackageManifest{"", "", "fs", "ZETA studios"};
    EXPECT_TRUE(lf_detectPublisher(airport));
    EXPECT_EQ(airport.publisher, "Zeta");
    airport.manifest = PackageManifest{"", "", "MicroSoft", ""};
    EXPECT_TRUE(lf_detectPublisher(airport));
    EXPECT_EQ(airport.publisher, "simaddon");
    airport.manifest = PackageManifest{"", "", "fsim", "someone"};
    EXPECT_FALSE(lf_detectPublisher(airport)) << "a manifest value alone never names a publisher";
    EXPECT_FALSE(lf_hasUsableManifestPublisher({"", "", "fsim", "abc"}));
    EXPECT_TRUE(lf_hasUsableManifestPublisher({"", "", "fsim", "abcd"}));

    loadArchives(R"(<publishers><pub pn="Trailing,"/></publishers>)");
    EXPECT_EQ(lf_findPublisherGroup("anything").name, "Trailing") << "an empty name matches every text";
}

TEST_F(ManifestTest, ThirdpartyArchiveVersions)
{
    loadArchives(R"(<thirdparties20><t20 pub="P" aps="EHAM, EHAM110, EHAM120">)"
                 R"(<ap f="EHAM110" v="1.1.0"/><ap f="EHAM120" v="1.2.0"/><ap f="NONE" v="9.0"/></t20></thirdparties20>)");
    const IcaoCode eham("EHAM");
    const ThirdpartyArchiveMatch older = gf_findThirdpartyArchiveEntry("P", eham, "1.1.0");
    EXPECT_EQ(older.status, 2u);
    EXPECT_EQ(older.entry, "EHAM110");
    EXPECT_EQ(older.higherVersion, "1.2.0");
    EXPECT_EQ(gf_findThirdpartyArchiveEntry("P", eham, "1.3").status, 0u);
    EXPECT_EQ(gf_findThirdpartyArchiveEntry("P", eham, "").entry, "EHAM");
    EXPECT_EQ(gf_findThirdpartyArchiveEntry("P", eham, "").status, 1u);
    EXPECT_EQ(gf_findThirdpartyArchiveEntry("P", eham, "1.0").status, 3u);
    EXPECT_EQ(gf_findThirdpartyArchiveEntry("Q", eham, "").status, 0u);

    writeDataSet(DataSetKind::Archives, "<root><simaddons20/></root>", g_archivesEncPath, {.header = false});
    try {
        gf_loadPublishers(false);
        FAIL() << "the 2024 simaddon section is missing";
    }
    catch (const kvr::UserRelatedException& e) {
        EXPECT_STREQ(e.what(), "61: Missing section: simaddons24");
    }
}

} // namespace
