#include <gtest/gtest.h>

#include "liveries/regcode_lists.h"
#include "tests/support/enc_writer.h"
#include "tests/liveries/livery_fixture.h"

namespace fs = std::filesystem;
using Records = std::vector<RegcodeRecord>;
using Strings = std::vector<std::string>;

namespace {

std::string describe(const RegcodeLoadResult& r)
{
    std::string out;
    for (const RegcodeRecord& rec : r.records) {
        out += rec.title + "|";
        for (const std::string& c : rec.codes)
            out += c + ",";
        out += rec.special ? "|S\n" : "|-\n";
    }
    return out;
}

} // namespace

TEST(RegcodeLists, CodeValidityAndPrefix)
{
    for (const char* ok : {"PH-BXA", "N12", "G-EZWA", "ABCDEFGHIJ12", "9H+A.B"})
        EXPECT_TRUE(gf_isValidRegcode(ok)) << ok;
    for (const char* bad : {"AB", "ABCDEFGHIJ123", "ph-bxa", "PH BXA", "PH,BX", "", "PH_BXA", "ÄBC"})
        EXPECT_FALSE(gf_isValidRegcode(bad)) << bad;
    EXPECT_EQ(lf_regcodeErrorPrefix("a.txt", 3), "a.txt line 3: ");
    EXPECT_EQ(lf_regcodeErrorPrefix("a.txt", 0), "a.txt: ");
    EXPECT_EQ(lf_regcodeErrorPrefix("", 7), "line 7: ");
    EXPECT_EQ(lf_regcodeErrorPrefix("", 0), "");
}

TEST(RegcodeLists, UserLines)
{
    const Strings lines{
        "Title Only",                          // 1: a don't-use title
        "",                                    // 2: skipped
        " ; ;  ",                              // 3: all fields empty: skipped
        "One Code; PH-BXA",                    // 4: one valid code: special
        "Two Codes; PH-BXB, PH-BXA ,PH-BXA",   // 5: sorted, unique, not special
        "Two Marked; D-AINA,D-AINB; #",        // 6: special by marker
        "Lower; ph-bxa",                       // 7: dropped
        "Mixed; ph-bxa, G-EUYA",               // 8: kept with G-EUYA, special
        "Bad Marker; G-STBA, G-STBB; *",       // 9: error, kept, not special
        "Bad Marker One; G-STBC; x",           // 10: error, kept, special
        "Hash As Codes;;#",                    // 11: "#" is the code list: dropped
        "a;b;c;d",                             // 12: too many fields
        "Blank Inside; PH BXA",                // 13: dropped
        "Empty Piece; PH-BXC,,",               // 14: the empty piece fails, PH-BXC stays
    };
    const RegcodeLoadResult r = gf_parseRegcodeLines(lines, "my.txt");
    EXPECT_EQ(describe(r), "Title Only||-\n"
                           "One Code|PH-BXA,|S\n"
                           "Two Codes|PH-BXA,PH-BXB,|-\n"
                           "Two Marked|D-AINA,D-AINB,|S\n"
                           "Mixed|G-EUYA,|S\n"
                           "Bad Marker|G-STBA,G-STBB,|-\n"
                           "Bad Marker One|G-STBC,|S\n"
                           "Empty Piece|PH-BXC,|S\n");
    EXPECT_EQ(r.errors, (Strings{
                            "my.txt line 7: invalid registration code 'ph-bxa' for title 'Lower'",
                            "my.txt line 8: invalid registration code 'ph-bxa' for title 'Mixed'",
                            "my.txt line 9: invalid special marker '*' for title 'Bad Marker'",
                            "my.txt line 10: invalid special marker 'x' for title 'Bad Marker One'",
                            "my.txt line 11: invalid registration code '#' for title 'Hash As Codes'",
                            "my.txt line 12: expected at most 3 semicolon-separated fields: 'a;b;c;d'",
                            "my.txt line 13: invalid registration code 'PH BXA' for title 'Blank Inside'",
                            "my.txt line 14: invalid registration code '' for title 'Empty Piece'",
                        }));
}

TEST(RegcodeLists, AigDocument)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string("<root><aig>"
                                "<l t='A' r='PH-BXA, PH-BXB' s='yes'/>"
                                "<l r='PH-BXC'/>"
                                "<l t='B' r=''/>"
                                "<l t='C' r='bad'/>"
                                "<l t='C' r='G-EUYA'/>"
                                "<l t='A' r='G-EUYB'/>"
                                "<l t='D' r='bad, G-EUYC' s='0'/>"
                                "<l t='E' s='T'/>"
                                "</aig></root>"));
    const RegcodeLoadResult r = gf_parseAigRegcodes(doc);
    EXPECT_EQ(describe(r), "A|PH-BXA,PH-BXB,|S\nB||-\nD|G-EUYC,|-\nE||S\n");
    EXPECT_EQ(r.errors, (Strings{"AIG XML record 2 has no title", "invalid registration code 'bad' for AIG title 'C'",
                                 "duplicate AIG title 'C'", "duplicate AIG title 'A'",
                                 "invalid registration code 'bad' for AIG title 'D'"}));
    pugi::xml_document noAig, noRoot;
    noAig.load_string("<root/>");
    noRoot.load_string("<aig/>");
    EXPECT_EQ(gf_parseAigRegcodes(noAig).errors, Strings{"missing <aig> element"});
    EXPECT_EQ(gf_parseAigRegcodes(noRoot).errors, Strings{"missing <root> element"});
}

using RegcodeFiles = kvr::test::LiveryFixture;

TEST_F(RegcodeFiles, AigFileAndUserFolder)
{
    const RegcodeLoadResult aig = gf_loadAigRegcodeFile(g_aigRegcodesEncPath);
    EXPECT_TRUE(aig.errors.empty());
    EXPECT_EQ(aig.records.size(), 18u);
    EXPECT_NE(log().find("   18 livery titles with 23 regcodes, read from input\\AIG-regcodes.enc"), std::string::npos)
        << log();

    // Header and decryption failures are single errors.
    kvr::test::DataSetOptions noHeader;
    noHeader.header = false;
    kvr::test::writeDataSet(kvr::test::DataSetKind::AigRegcodes, "<root><aig/></root>", "plain.enc", noHeader);
    EXPECT_EQ(gf_loadAigRegcodeFile("plain.enc").errors, Strings{"'plain.enc' has invalid metadata"});
    kvr::test::writeEncFile("broken.enc", "<root><aig>");
    EXPECT_EQ(gf_loadAigRegcodeFile("broken.enc").errors.size(), 1u);
    EXPECT_TRUE(gf_loadAigRegcodeFile("broken.enc").errors[0].starts_with("'broken.enc' not loaded: "));
    EXPECT_EQ(gf_loadAigRegcodeFile("none.enc").errors.size(), 1u);

    // The folder: only .txt files (any case), in path order.
    fs::create_directories(g_myRegcodesFolder / "sub.txt");
    kvr::test::writeBytes(g_myRegcodesFolder / "b.TXT", "\xEF\xBB\xBFSecond; PH-BXA\r\nDont Use\n");
    kvr::test::writeBytes(g_myRegcodesFolder / "a.txt", "First; PH-BXA\nbad;line;with;four\n");
    kvr::test::writeBytes(g_myRegcodesFolder / "c.csv", "Ignored; PH-BXA\n");
    const RegcodeLoadResult folder = gf_loadRegcodeFolder(g_myRegcodesFolder);
    EXPECT_EQ(describe(folder), "First|PH-BXA,|S\nSecond|PH-BXA,|S\nDont Use||-\n");
    EXPECT_EQ(folder.errors, Strings{"input\\my_regcodes\\a.txt line 2: expected at most 3 semicolon-separated fields: "
                                     "'bad;line;with;four'"});
    const Strings nowhere = gf_loadRegcodeFolder("nowhere").errors;
    ASSERT_EQ(nowhere.size(), 1u);
    EXPECT_TRUE(nowhere[0].starts_with("could not inspect 'nowhere': ")) << nowhere[0];
    EXPECT_EQ(gf_loadRegcodeFolder(g_myRegcodesFolder / "a.txt").errors,
              Strings{"'input\\my_regcodes\\a.txt' is not a directory"});

    std::unordered_set<std::string> dontUse{"Dash 8 Q400 Flybe (retired colours)"};
    EXPECT_EQ(gf_readDontUseTitles(g_aigRegcodesEncPath, dontUse), 0u);
    EXPECT_EQ(gf_readDontUseTitlesInFolder(dontUse), 1u);
    EXPECT_TRUE(dontUse.contains("Dont Use"));
    EXPECT_NE(log().find("    1 don't use title read from files in input\\my_regcodes"), std::string::npos);

    const Records records{{"Missing", {"PH-BXA", "PH-BXB"}, false}, {"Missing", {"PH-BXC"}, true},
                          {"Known", {"G-EUYA"}, false}, {"No Codes", {}, false}};
    EXPECT_EQ(gf_missingCustomRepaintLines(records, {"Known"}), Strings{"Missing; PH-BXA, PH-BXB, PH-BXC"});
}
