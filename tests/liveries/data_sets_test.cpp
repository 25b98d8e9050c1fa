#include <gtest/gtest.h>

#include <string>

#include <pugixml.hpp>

#include "core/data_file_header.h"
#include "core/encrypted_file.h"
#include "tests/support/data_sets.h"
#include "tests/support/test_folders.h"

using kvr::test::DataSetKind;

namespace {

pugi::xml_document lf_decryptXml(const char* path, std::uint64_t limit)
{
    DecryptResult result = gf_decryptFile(path, limit);
    pugi::xml_document doc;
    EXPECT_TRUE(result.ok) << (result.ok ? "" : result.error());
    if (result.ok) {
        EXPECT_TRUE(doc.load_buffer(result.buffer().data, result.buffer().used));
    }
    return doc;
}

} // namespace

TEST(DataSets, RepositorySourcesDecryptWithHeaderAndContent)
{
    kvr::test::ScopedTestFolders folders("ds");
    kvr::test::DataSetOptions options;
    options.sim = 2;
    options.version = "3.4.5";
    kvr::test::writeRepoDataSet(DataSetKind::Dbase, "dbase.enc", options);
    pugi::xml_document dbase = lf_decryptXml("dbase.enc", g_dbasePlainLimit);
    const DataFileHeader header = gf_readDataFileHeader(dbase, false);
    EXPECT_TRUE(header.ok);
    EXPECT_EQ(header.version, "3.4.5");
    EXPECT_EQ(header.sim, 2);
    EXPECT_EQ(std::string(dbase.child("root").first_child().name()), "meta");
    EXPECT_TRUE(dbase.child("root").child("aircrafts"));
    EXPECT_TRUE(dbase.child("root").child("dbase").find_child_by_attribute("d", "r", "D-AIPA"));

    kvr::test::writeRepoDataSet(DataSetKind::AigRegcodes, "AIG-regcodes.enc");
    pugi::xml_document aig = lf_decryptXml("AIG-regcodes.enc", g_aigRegcodesPlainLimit);
    EXPECT_TRUE(gf_readDataFileHeader(aig, false).ok);
    EXPECT_TRUE(aig.child("root").child("aig").child("l"));
}

TEST(DataSets, RefusesBadSourcesAndOversizePlaintext)
{
    kvr::test::ScopedTestFolders folders("ds");
    EXPECT_THROW(kvr::test::writeDataSet(DataSetKind::Dbase, "<root><a></root>", "x.enc"), std::runtime_error);
    EXPECT_THROW(kvr::test::writeDataSet(DataSetKind::Dbase, "<other/>", "x.enc"), std::runtime_error);
    kvr::test::DataSetOptions bare;
    bare.header = false;
    kvr::test::writeDataSet(DataSetKind::WeeklyTraffic, "<other/>", "bare.enc", bare);
    pugi::xml_document doc = lf_decryptXml("bare.enc", g_wktrafficPlainLimit);
    EXPECT_TRUE(doc.child("other"));
    EXPECT_FALSE(doc.child("root"));

    const std::string big = "<root>" + std::string(g_wktrafficPlainLimit, 'x') + "</root>";
    EXPECT_THROW(kvr::test::writeDataSet(DataSetKind::WeeklyTraffic, big, "big.enc", bare), std::runtime_error);
    EXPECT_EQ(kvr::test::dataSetKindOf("AIG-regcodes.enc"), DataSetKind::AigRegcodes);
    EXPECT_EQ(kvr::test::dataSetKindOf("wktraffic"), DataSetKind::WeeklyTraffic);
    EXPECT_FALSE(kvr::test::dataSetKindOf("dbase.xml"));
}

TEST(DataSets, SimArgumentIsAWholeNumberAndABadOneIsNamed)
{
    EXPECT_EQ(kvr::test::dataSetSimArgument("2"), 2);
    EXPECT_EQ(kvr::test::dataSetSimArgument("1"), 1);
    for (const char* bad : {"", "two", "2x", " 2", "99999999999"}) {
        try {
            kvr::test::dataSetSimArgument(bad);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const std::invalid_argument& e) {
            const std::string text = e.what();
            EXPECT_NE(text.find("--sim"), std::string::npos) << text;
            EXPECT_NE(text.find(std::string("'") + bad + "'"), std::string::npos) << text;
        }
    }
}
