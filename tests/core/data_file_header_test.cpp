#include <gtest/gtest.h>

#include <windows.h>
#include <knownfolders.h>

#include <regex>

#include <fmt/format.h>

#include "core/data_file_header.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/text.h"
#include "tests/support/disk_flush_probe.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace fs = std::filesystem;
using kvr::test::readBytes;
using kvr::test::ScopedTestFolders;
using kvr::test::writeBytes;

namespace {

// Error lines ("==> ...") written to Log.txt while the object lives.
class LogCapture {
public:
    LogCapture() { gf_openLog(); }
    ~LogCapture() { gf_closeLog(); }
    std::vector<std::string> errors()
    {
        gf_flushLog();
        std::vector<std::string> lines, out;
        gf_splitLines(kvr::test::logText(), lines);
        for (const std::string& l : lines)
            if (l.starts_with("==> "))
                out.push_back(l.substr(4));
        return out;
    }
};

using Errors = std::vector<std::string>;

// CopyFileW as Windows does it: a read-only or hidden destination is refused
// (Wine, run as root here, replaces it).
bool lf_windowsCopy(const wchar_t* from, const wchar_t* to)
{
    const DWORD attributes = GetFileAttributesW(to);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return CopyFileW(from, to, FALSE) != FALSE;
}

struct WindowsCopyRules {
    FileCalls previous = gf_setFileCalls({nullptr, &lf_windowsCopy});
    ~WindowsCopyRules() { gf_setFileCalls(previous); }
};

pugi::xml_document headerDoc(const std::string& infos)
{
    pugi::xml_document doc;
    const std::string text = "<root><meta>" + infos + "</meta><data/></root>";
    EXPECT_TRUE(doc.load_string(text.c_str()));
    return doc;
}

std::string info(const char* name, const char* value)
{
    return fmt::format("<info name=\"{}\" value=\"{}\"/>", name, value);
}

} // namespace

TEST(DataFileHeader, WrittenAndReadBack)
{
    pugi::xml_document doc;
    DataFileHeader header;
    header.version = "2.4.1";
    header.sim = 2;
    ASSERT_TRUE(gf_writeDataFileHeader(doc, header));

    const pugi::xml_node meta = doc.child("root").child("meta");
    ASSERT_TRUE(meta);
    std::vector<std::pair<std::string, std::string>> entries;
    for (pugi::xml_node i : meta.children("info"))
        entries.emplace_back(i.attribute("name").value(), i.attribute("value").value());
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0], (std::pair<std::string, std::string>{"author", "Kelo"}));
    EXPECT_EQ(entries[1], (std::pair<std::string, std::string>{"version", "2.4.1"}));
    EXPECT_EQ(entries[2].first, "date");
    EXPECT_TRUE(std::regex_match(entries[2].second,
                                 std::regex(R"([1-9][0-9]? (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) 20[0-9]{2})")))
        << entries[2].second;
    EXPECT_EQ(entries[3].first, "copyright");
    EXPECT_FALSE(entries[3].second.empty());
    EXPECT_EQ(entries[4], (std::pair<std::string, std::string>{"sim", "2"}));

    const DataFileHeader read = gf_readDataFileHeader(doc, false);
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(read.author, "Kelo");
    EXPECT_EQ(read.version, "2.4.1");
    EXPECT_EQ(read.date, entries[2].second);
    EXPECT_EQ(read.sim, 2);
}

TEST(DataFileHeader, WritingTwiceKeepsOneMeta)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string("<root><meta><info name='old' value='x'/></meta><items/><meta/></root>"));
    DataFileHeader header;
    header.version = "1";
    header.sim = 1;
    ASSERT_TRUE(gf_writeDataFileHeader(doc, header));
    header.version = "2";
    header.sim = 3;
    ASSERT_TRUE(gf_writeDataFileHeader(doc, header));
    const pugi::xml_node root = doc.child("root");
    int metas = 0;
    for (pugi::xml_node m : root.children("meta")) {
        ++metas;
        EXPECT_EQ(std::distance(m.children("info").begin(), m.children("info").end()), 5);
    }
    EXPECT_EQ(metas, 1);
    EXPECT_TRUE(root.child("items"));
    EXPECT_EQ(std::string(root.last_child().name()), "meta"); // appended after the existing children
    const DataFileHeader read = gf_readDataFileHeader(doc, false);
    EXPECT_EQ(read.version, "2");
    EXPECT_EQ(read.sim, 3);
}

TEST(DataFileHeader, SimIsWrittenUnsigned)
{
    pugi::xml_document doc;
    DataFileHeader header; // sim -1
    ASSERT_TRUE(gf_writeDataFileHeader(doc, header));
    EXPECT_STREQ(doc.child("root").child("meta").last_child().attribute("value").value(), "4294967295");
}

TEST(DataFileHeader, ReaderRules)
{
    ScopedTestFolders folders("hdr");
    const std::string cr = info("copyright", "(c) maker");
    struct Case {
        const char* name;
        std::string infos;
        bool skipSimCheck;
        bool ok;
        int sim;
        Errors errors;
    };
    const Case cases[] = {
        {"complete", info("author", "a") + info("version", "1") + cr + info("sim", "2"), false, true, 2, {}},
        {"any order, extra entries", info("sim", "1") + info("foo", "bar") + cr, false, true, 1, {}},
        {"empty copyright", info("author", "a") + info("copyright", "") + info("sim", "2"), false, false, -1,
         {"no copyright info in the file?"}},
        {"absent copyright value", "<info name='copyright'/>" + info("sim", "2"), false, false, -1,
         {"no copyright info in the file?"}},
        {"empty copyright with skip", info("copyright", ""), true, false, -1, {"no copyright info in the file?"}},
        {"no copyright", info("author", "a") + info("sim", "2"), false, false, 2, {}},
        {"padded plus sign", cr + info("sim", " +2 "), false, true, 2, {}},
        {"tab and line end", cr + "<info name='sim' value='&#9;3&#13;&#10;'/>", false, true, 3, {}},
        {"sim two", cr + info("sim", "two"), false, false, -1,
         {"invalid sim info in the file", "unsupported sim info in the file"}},
        {"bad sim then good sim", cr + info("sim", "2x") + info("sim", "1"), false, true, 1,
         {"invalid sim info in the file"}},
        {"first sim wins", cr + info("sim", "1") + info("sim", "9"), false, true, 1, {}},
        {"sim 4", cr + info("sim", "4"), false, false, 4, {"unsupported sim info in the file"}},
        {"sim 0", cr + info("sim", "0"), false, false, 0, {"unsupported sim info in the file"}},
        {"double plus", cr + info("sim", "++1"), false, false, -1,
         {"invalid sim info in the file", "unsupported sim info in the file"}},
        {"legacy MSFS 2024", cr + info("MSFS", "2024"), false, true, -1, {}},
        {"legacy MSFS 2020", cr + info("MSFS", "2020"), false, true, -1, {}},
        {"legacy MSFS 2022", cr + info("MSFS", "2022"), false, false, -1, {"unsupported sim info in the file"}},
        {"legacy P3D", cr + info("P3D", "v5"), false, true, -1, {}},
        {"legacy empty P3D", cr + info("P3D", ""), false, false, -1, {"unsupported sim info in the file"}},
        {"no sim at all", cr + info("author", "a"), false, false, -1, {}},
        {"learned file", cr, true, true, -1, {}},
        {"nameless entry skipped", "<info value='x'/>" + info("", "y") + cr + info("sim", "2"), false, true, 2, {}},
        {"names are case-sensitive", info("Copyright", "x") + info("sim", "2"), false, false, 2, {}},
    };
    for (const Case& c : cases) {
        LogCapture log;
        const pugi::xml_document doc = headerDoc(c.infos);
        const DataFileHeader h = gf_readDataFileHeader(doc, c.skipSimCheck);
        EXPECT_EQ(h.ok, c.ok) << c.name;
        EXPECT_EQ(h.sim, c.sim) << c.name;
        EXPECT_EQ(log.errors(), c.errors) << c.name;
    }
}

TEST(DataFileHeader, NoMetaAndNoRoot)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string("<root><data/></root>"));
    EXPECT_FALSE(gf_readDataFileHeader(doc, true).ok);

    // Without a root element the document itself holds the header.
    pugi::xml_document bare;
    ASSERT_TRUE(bare.load_string("<meta><info name='copyright' value='c'/><info name='MSFS' value='2020'/></meta>"));
    const DataFileHeader h = gf_readDataFileHeader(bare, false);
    EXPECT_TRUE(h.ok);
    EXPECT_EQ(h.msfs, "2020");
}

TEST(XmlSave, AppendAttr)
{
    pugi::xml_document doc;
    pugi::xml_node n = doc.append_child("n");
    EXPECT_TRUE(gf_xmlAppendAttr(n, "a", "1"));
    EXPECT_TRUE(gf_xmlAppendAttr(n, "b", std::string("x<y")));
    EXPECT_STREQ(n.attribute("b").value(), "x<y");
    EXPECT_FALSE(gf_xmlAppendAttr(doc, "a", "1")); // the document node takes no attributes
}

TEST(XmlSave, DeclarationAndIndent)
{
    ScopedTestFolders folders("decl");
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string("<?xml version=\"1.1\" standalone=\"yes\"?><root><a x=\"1\"><b/></a></root>",
                                pugi::parse_default | pugi::parse_declaration));
    ASSERT_TRUE(gf_saveXmlWithDeclaration(doc, "out.xml"));
    const std::string text = readBytes("out.xml");
    EXPECT_TRUE(text.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n")) << text;
    EXPECT_NE(text.find("\n<root>\n  <a x=\"1\">\n    <b />\n  </a>\n</root>"), std::string::npos) << text;

    pugi::xml_document plain;
    plain.append_child("root").append_child("c");
    ASSERT_TRUE(gf_saveXmlWithDeclaration(plain, "plain.xml"));
    EXPECT_EQ(readBytes("plain.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <c />\n</root>\n");

    EXPECT_FALSE(gf_saveXmlWithDeclaration(plain, "missing_folder/x.xml"));
}

TEST(XmlSave, ParametersFileReplacedSafely)
{
    ScopedTestFolders folders("safe");
    fs::create_directories(gf_settingsFolder());
    const fs::path target = gf_parametersXmlPath();
    const fs::path temp = target.wstring() + L".tmp";
    const fs::path backup = target.wstring() + L".bak";
    EXPECT_EQ(temp.filename().wstring(), L"parameters.xml.tmp");

    pugi::xml_document first;
    first.append_child("parameters").append_attribute("v").set_value(1);
    ASSERT_TRUE(gf_saveParametersXml(first));
    EXPECT_NE(readBytes(target).find("<parameters v=\"1\" />"), std::string::npos);
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_FALSE(fs::exists(backup)); // nothing to keep on the first save

    // A stale temp file from an interrupted save is replaced.
    writeBytes(temp, "garbage");
    pugi::xml_document second;
    second.append_child("parameters").append_attribute("v").set_value(2);
    ASSERT_TRUE(gf_saveParametersXml(second));
    EXPECT_NE(readBytes(target).find("<parameters v=\"2\" />"), std::string::npos);
    EXPECT_NE(readBytes(backup).find("<parameters v=\"1\" />"), std::string::npos);
    EXPECT_FALSE(fs::exists(temp));

    pugi::xml_document third;
    third.append_child("parameters").append_attribute("v").set_value(3);
    ASSERT_TRUE(gf_saveParametersXml(third));
    EXPECT_NE(readBytes(backup).find("<parameters v=\"2\" />"), std::string::npos);
}

TEST(XmlSave, TheNewFileIsOnDiskBeforeItReplacesTheOld)
{
    ScopedTestFolders folders("safeflush");
    fs::create_directories(gf_settingsFolder());
    const fs::path target = gf_parametersXmlPath();
    writeBytes(target, "<parameters v=\"1\"/>");
    kvr::test::DiskFlushProbe probe(target);
    pugi::xml_document doc;
    doc.append_child("parameters").append_attribute("v").set_value(2);
    ASSERT_TRUE(gf_saveParametersXml(doc));
    ASSERT_EQ(probe.flushes().size(), 1u);
    EXPECT_EQ(probe.flushes()[0].path, target.wstring() + L".tmp");
    EXPECT_NE(probe.flushes()[0].bytes.find("<parameters v=\"2\" />"), std::string::npos);
    EXPECT_EQ(probe.flushes()[0].targetBytes, "<parameters v=\"1\"/>") << "flushed before the replace";

    // A file that cannot be written to the disk does not replace the old one.
    probe.failFlushes(true);
    doc.child("parameters").attribute("v").set_value(3);
    EXPECT_FALSE(gf_saveParametersXml(doc));
    EXPECT_NE(readBytes(target).find("<parameters v=\"2\" />"), std::string::npos);
    EXPECT_FALSE(fs::exists(target.wstring() + L".tmp"));
}

TEST(XmlSave, AReadOnlyOrHiddenBackupIsReplacedAllTheSame)
{
    ScopedTestFolders folders("safero");
    WindowsCopyRules windows;
    fs::create_directories(gf_settingsFolder());
    const fs::path target = gf_parametersXmlPath();
    const fs::path backup = target.wstring() + L".bak";
    int v = 0;
    for (DWORD marks : {DWORD{FILE_ATTRIBUTE_READONLY}, DWORD{FILE_ATTRIBUTE_HIDDEN}}) {
        writeBytes(target, fmt::format("<parameters v=\"{}\"/>", ++v));
        writeBytes(backup, "old backup");
        ASSERT_TRUE(SetFileAttributesW(backup.c_str(), marks));
        pugi::xml_document doc;
        doc.append_child("parameters").append_attribute("v").set_value(++v);
        EXPECT_TRUE(gf_saveParametersXml(doc)) << marks;
        EXPECT_NE(readBytes(target).find(fmt::format("<parameters v=\"{}\" />", v)), std::string::npos);
        EXPECT_EQ(readBytes(backup), fmt::format("<parameters v=\"{}\"/>", v - 1));
        SetFileAttributesW(backup.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST(XmlSave, FailedSaveLeavesTheOldFileAndNoTemp)
{
    ScopedTestFolders folders("safefail");
    fs::create_directories(gf_settingsFolder());
    const fs::path target = gf_parametersXmlPath();
    const fs::path temp = target.wstring() + L".tmp";

    // An empty document does not read back as a settings file.
    pugi::xml_document empty;
    EXPECT_FALSE(gf_saveParametersXml(empty));
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_FALSE(fs::exists(target));

    // The target cannot be replaced while it is a folder.
    fs::create_directory(target);
    pugi::xml_document doc;
    doc.append_child("parameters");
    EXPECT_FALSE(gf_saveParametersXml(doc));
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_TRUE(fs::is_directory(target));
    fs::remove(target);

    // No settings folder at all.
    fs::remove_all(gf_settingsFolder());
    EXPECT_FALSE(gf_saveParametersXml(doc));
    EXPECT_FALSE(fs::exists(temp));
}

TEST(XmlSave, NonAsciiProfileFolder)
{
    ScopedTestFolders folders("safew");
    const fs::path roaming = folders.root() / L"Bj\u00F6rn \u0141\u00F3d\u017A \u65E5\u672C" / L"Roaming";
    gf_setKnownFolderOverride(KnownFolder::RoamingAppData, roaming.wstring());
    gf_rebuildSettingsPaths();
    fs::create_directories(gf_settingsFolder());

    pugi::xml_document doc;
    doc.append_child("parameters").append_attribute("name").set_value("Z\xC3\xBCrich");
    ASSERT_TRUE(gf_saveParametersXml(doc));
    ASSERT_TRUE(gf_saveParametersXml(doc));
    EXPECT_TRUE(fs::exists(roaming / L"Kelo" / L"parameters.xml"));
    EXPECT_TRUE(fs::exists(roaming / L"Kelo" / L"parameters.xml.bak"));

    pugi::xml_document back;
    ASSERT_TRUE(back.load_file(gf_parametersXmlPath().wstring().c_str()));
    EXPECT_STREQ(back.child("parameters").attribute("name").value(), "Z\xC3\xBCrich");

    // Any XML file in such a folder saves too.
    ASSERT_TRUE(gf_saveXmlWithDeclaration(doc, roaming / L"\u00E9t\u00E9.xml"));
    EXPECT_TRUE(fs::exists(roaming / L"\u00E9t\u00E9.xml"));
}
