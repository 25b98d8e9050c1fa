// parameters.xml: the new file, loading with repair, single updates, and the
// files that must never be shrunk (damaged, locked).
#include "tests/core/parameters_test_support.h"

#include <windows.h>
#include <knownfolders.h>

#include <algorithm>
#include <atomic>
#include <numeric>
#include <optional>
#include <thread>

#include <fmt/format.h>

#include "app/gui.h"
#include "core/files.h"
#include "core/parameters_file.h"
#include "core/text.h"
#include "core/version_data.h"

using namespace settings_test;

namespace {

std::size_t lf_count(const std::string& text, const std::string& needle)
{
    std::size_t n = 0;
    for (std::size_t pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1))
        ++n;
    return n;
}

// The values of every element named key, in document order.
std::vector<std::string> lf_valuesOf(const Elements& elements, const std::string& key)
{
    std::vector<std::string> out;
    for (const auto& [name, value] : elements)
        if (name == key)
            out.push_back(value);
    return out;
}

// Holds a file open without sharing, so nobody else can open it.
class LockedFile {
public:
    explicit LockedFile(const std::filesystem::path& path)
        : m_handle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~LockedFile()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    bool locked() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};

const std::string kStars34(34, '*');
const std::string kStars80(80, '*');

} // namespace

class ParametersFile : public SettingsFileTest {};

// ---- The new file -------------------------------------------------------------------

TEST_F(ParametersFile, NoFileWritesEverySettingInListOrderWithItsDefault)
{
    ASSERT_FALSE(std::filesystem::exists(file()));
    EXPECT_TRUE(gf_loadParametersFile());

    const std::string bytes = readBytes(file());
    EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters>\n    <parameter ", 0), 0u)
        << bytes.substr(0, 120);

    const Elements elements = elementsOfFile(file());
    std::vector<std::string> names;
    for (const auto& e : elements)
        names.push_back(e.first);
    EXPECT_EQ(names, registeredKeys());
    ASSERT_EQ(elements.size(), 82u);
    // The edge rows: list boundaries and the texts that need care.
    EXPECT_EQ(elements[0], (std::pair<std::string, std::string>{"PSX_SERVER_HERE", "true"}));
    EXPECT_EQ(elements[2], (std::pair<std::string, std::string>{"SKIP_AIRPORT_SCAN", "false"}));
    EXPECT_EQ(elements[27], (std::pair<std::string, std::string>{"MAIN_WINDOW_X", "400"}));
    EXPECT_EQ(elements[30], (std::pair<std::string, std::string>{"LAST_EPOCH_TIME:", "0"}));
    EXPECT_EQ(elements[41], (std::pair<std::string, std::string>{"RANGE", "40"}));
    EXPECT_EQ(elements[53], (std::pair<std::string, std::string>{"parking_percentage", "30"}));
    EXPECT_EQ(elements[54], (std::pair<std::string, std::string>{"PROGRAM_VERSION",
                                                                 fmt::format("{}", gf_programVersion())}));
    EXPECT_EQ(elements[55], (std::pair<std::string, std::string>{"AI_PACKAGE_SELECTOR", "AIG, FSLTL, JF, MTL"}));
    EXPECT_EQ(elements[61], (std::pair<std::string, std::string>{"PORT_NUMBER", "10747"}));
    EXPECT_EQ(elements[76], (std::pair<std::string, std::string>{"ALL_AIR_GND_SELECTOR", "All traffic"}));
    EXPECT_EQ(elements[78], (std::pair<std::string, std::string>{"RT_CHOISE", "RT Direct"}));
    EXPECT_EQ(elements[81], (std::pair<std::string, std::string>{"MSFS_2024_INSTALL_PATH", ""}));

    const std::string log = logText();
    EXPECT_NE(log.find("\n\n" + kStars34 + " parameters " + kStars34 + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find(gf_parametersXmlPathUtf8() + " could not be opened, creating new with default values:\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\n" + kStars80 + "\n\n"), std::string::npos);
    std::size_t valueLines = 0;
    for (const std::string& key : registeredKeys())
        valueLines += lf_count(log, "\n" + key + "=");
    EXPECT_EQ(valueLines, 82u);
    EXPECT_NE(log.find("\nRANDOM=true\n"), std::string::npos);
    EXPECT_NE(log.find("\nRANGE_3=50\n"), std::string::npos);
    EXPECT_NE(log.find("\nPORT_NUMBER=\"10747\"\n"), std::string::npos);
    EXPECT_NE(log.find("\nMSFS_INSTALL_PATH=\"\"\n"), std::string::npos);
}

TEST_F(ParametersFile, NewFileKeepsTheCurrentValuesInMemory)
{
    // An in-process restart: the user's choice stays, the new file holds defaults.
    RANGE_1.value = 77;
    EXPECT_TRUE(gf_loadParametersFile());
    EXPECT_EQ(RANGE_1.value, 77);
    EXPECT_EQ(lf_valuesOf(elementsOfFile(file()), "RANGE_1"), std::vector<std::string>{"20"});
}

TEST_F(ParametersFile, NewFileThatCannotBeSavedIsReported)
{
    std::filesystem::remove_all(gf_settingsFolder());
    EXPECT_TRUE(gf_loadParametersFile());
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_NE(logText().find("==> saving: " + gf_parametersXmlPathUtf8() + " failed\n"), std::string::npos);
}

TEST_F(ParametersFile, LoadingAnExistingFileReturnsFalseAndSavesItBack)
{
    ASSERT_TRUE(gf_loadParametersFile());
    const Elements before = elementsOfFile(file());
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(elementsOfFile(file()), before);
    EXPECT_TRUE(std::filesystem::exists(backup())) << "the file is rewritten on every load";
    EXPECT_NE(logText().find("from '" + gf_parametersXmlPathUtf8() + "'\n"), std::string::npos);
}

// ---- Repair ----------------------------------------------------------------------------

TEST(ParameterValueTexts, BooleansAreTrimmedAndCaseFolded)
{
    const std::vector<std::pair<const char*, std::optional<bool>>> cases{
        {"true", true},     {" Yes ", true},  {"ON", true},      {"1", true},          {"\tfalse\r\n", false},
        {"No", false},      {"off", false},   {"0", false},      {"maybe", std::nullopt}, {"", std::nullopt},
        {"tru e", std::nullopt}, {"2", std::nullopt}, {"yes!", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(gf_parseBoolText(text), expected) << "'" << text << "'";
}

TEST(ParameterValueTexts, IntegersAllowOnePlusAndSurroundingBlanks)
{
    const std::vector<std::pair<const char*, std::optional<std::int32_t>>> cases{
        {"42", 42},
        {" +250 ", 250},
        {"-7", -7},
        {"\t12\r\n", 12},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"12abc", std::nullopt},
        {"+", std::nullopt},
        {"", std::nullopt},
        {"++1", std::nullopt},
        {"1 2", std::nullopt},
        {"2147483648", std::nullopt},
        {"0x10", std::nullopt},
        {"1.5", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(gf_parseIntText(text), expected) << "'" << text << "'";
}

TEST_F(ParametersFile, ReadableOddValuesLoadWithoutRepair)
{
    writeBytes(file(), parametersXml({{"RANDOM", " Yes "}, {"SIM_TIME", "ON"}, {"RANGE_1", "+250"},
                                      {"RANGE_3", "1"}, {"RANGE_GROUND", "1"}, {"BLOCK_HEXIDDEC", "16777216"}}));
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_TRUE(RANDOM.value);
    EXPECT_TRUE(SIM_TIME.value);
    EXPECT_EQ(RANGE_1.value, 100) << "clamped in memory";
    EXPECT_EQ(RANGE_3.value, 1) << "the only radius that accepts 1";
    EXPECT_EQ(RANGE_GROUND.value, 2);
    EXPECT_EQ(BLOCK_HEXIDDEC.value, 0xFFFFFF);

    const Elements elements = elementsOfFile(file());
    EXPECT_EQ(lf_valuesOf(elements, "RANDOM"), std::vector<std::string>{" Yes "});
    EXPECT_EQ(lf_valuesOf(elements, "RANGE_1"), std::vector<std::string>{"+250"}) << "the file keeps its text";
    EXPECT_EQ(lf_valuesOf(elements, "BLOCK_HEXIDDEC"), std::vector<std::string>{"16777216"});
    EXPECT_EQ(elements.size(), 82u) << "the other 76 settings are appended";
    EXPECT_NE(logText().find("\nRANGE_1=100\n"), std::string::npos);

    // Until the setting is saved again.
    RANGE_1.save();
    EXPECT_EQ(lf_valuesOf(elementsOfFile(file()), "RANGE_1"), std::vector<std::string>{"100"});
}

TEST_F(ParametersFile, UnreadableValuesTakeTheirDefaultsAndAreAppended)
{
    writeBytes(file(), parametersXml({{"RANDOM", "maybe"},
                                      {"RANGE_1", "12abc"},
                                      {"MAX_FIT", "+"},
                                      {"COLLAPSED", ""},
                                      {"PORT_NUMBER", ""}}));
    RANDOM.value = false;
    RANGE_1.value = 55;
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_TRUE(RANDOM.value);
    EXPECT_EQ(RANGE_1.value, 20);
    EXPECT_EQ(MAX_FIT.value, 47);
    EXPECT_TRUE(COLLAPSED.value);
    EXPECT_EQ(PORT_NUMBER.value, "") << "an empty text is a value, not a missing one";

    const Elements elements = elementsOfFile(file());
    EXPECT_EQ(lf_valuesOf(elements, "RANDOM"), (std::vector<std::string>{"maybe", "true"}));
    EXPECT_EQ(lf_valuesOf(elements, "RANGE_1"), (std::vector<std::string>{"12abc", "20"}));
    EXPECT_EQ(lf_valuesOf(elements, "MAX_FIT"), (std::vector<std::string>{"+", "47"}));
    EXPECT_EQ(lf_valuesOf(elements, "PORT_NUMBER"), std::vector<std::string>{""});
    // The unreadable element stays in front; the repair goes to the end.
    EXPECT_EQ(elements[0].first, "RANDOM");
    EXPECT_EQ(elements.size(), 5u + 81u);
}

TEST_F(ParametersFile, ARepairedFileDoesNotGrowAtTheNextLoads)
{
    writeBytes(file(), parametersXml({{"RANDOM", "maybe"}, {"RANGE_1", "12abc"}, {"MSFS_INSTALL_PATH", "C:\\\xff\xfe"}}));
    EXPECT_FALSE(gf_loadParametersFile());
    const Elements repaired = elementsOfFile(file());
    EXPECT_EQ(lf_valuesOf(repaired, "MSFS_INSTALL_PATH"), std::vector<std::string>{""}) << "repaired in place";

    RANDOM.value = false;
    RANGE_1.value = 55;
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_TRUE(RANDOM.value) << "the appended default is found behind the unreadable element";
    EXPECT_EQ(RANGE_1.value, 20);
    EXPECT_EQ(elementsOfFile(file()), repaired);
}

TEST_F(ParametersFile, AMissingValueAttributeCountsAsMissing)
{
    writeBytes(file(), "<root><parameters><parameter name=\"RANGE_2\"/></parameters></root>");
    RANGE_2.value = 3;
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(RANGE_2.value, 40);
    EXPECT_EQ(lf_valuesOf(elementsOfFile(file()), "RANGE_2"), (std::vector<std::string>{"", "40"}));
}

TEST_F(ParametersFile, ATextWithoutValueIsRepairedOnceAndThenReadBehindIt)
{
    writeBytes(file(), "<root><parameters><parameter name=\"PORT_NUMBER\"/>"
                       "<parameter name=\"QNH_UNIT\"/></parameters></root>");
    PORT_NUMBER.value = "1";
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(PORT_NUMBER.value, "10747");
    const Elements repaired = elementsOfFile(file());
    EXPECT_EQ(lf_valuesOf(repaired, "PORT_NUMBER"), (std::vector<std::string>{"", "10747"}));
    EXPECT_EQ(lf_valuesOf(repaired, "QNH_UNIT"), (std::vector<std::string>{"", "QNH hPa"}));

    PORT_NUMBER.value = "1";
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(PORT_NUMBER.value, "10747");
    EXPECT_EQ(elementsOfFile(file()), repaired);
}

TEST_F(ParametersFile, KeysAreCaseSensitive)
{
    writeBytes(file(), parametersXml({{"RT_CHOICE", "RT App"}, {"rt_choise", "RT App"}, {"LAST_EPOCH_TIME", "5"}}));
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(RT_CHOISE.value, "RT Direct");
    EXPECT_EQ(LAST_EPOCH_TIME.value, 0);
    const Elements elements = elementsOfFile(file());
    EXPECT_EQ(lf_valuesOf(elements, "RT_CHOISE"), std::vector<std::string>{"RT Direct"});
    EXPECT_EQ(lf_valuesOf(elements, "LAST_EPOCH_TIME:"), std::vector<std::string>{"0"});
    EXPECT_EQ(lf_valuesOf(elements, "rt_choise"), std::vector<std::string>{"RT App"}) << "unknown elements are kept";
}

TEST_F(ParametersFile, AFileWithoutTheSectionIsReplacedByDefaults)
{
    writeBytes(file(), "<root><settings/></root>");
    EXPECT_TRUE(gf_loadParametersFile());
    EXPECT_EQ(elementsOfFile(file()).size(), 82u);
    EXPECT_NE(logText().find("Section 'parameters' not found in '" + gf_parametersXmlPathUtf8() +
                             "', creating new with default values:\n"),
              std::string::npos);
}

TEST_F(ParametersFile, AFileThatDoesNotParseIsKeptAsideBeforeDefaultsReplaceIt)
{
    const std::filesystem::path aside = gf_settingsFolder() / "parameters0.xml";
    const std::filesystem::path aside2 = gf_settingsFolder() / "parameters0-2.xml";
    // A hand-typed double quote inside a folder path.
    const std::string damaged = parametersXml({{"lfolder0", "D:\\My \"AI\" planes"}, {"RANGE_1", "33"}});
    writeBytes(file(), damaged);
    EXPECT_TRUE(gf_loadParametersFile());
    EXPECT_EQ(elementsOfFile(file()).size(), 82u);
    EXPECT_EQ(readBytes(aside), damaged);
    const std::string told = gf_parametersXmlPathUtf8() + " could not be read (";
    EXPECT_NE(logText().find("==> " + told), std::string::npos);
    EXPECT_NE(logText().find("); it was kept as " + wide_to_utf8(aside.wstring()) +
                             " and the settings start from default values\n"),
              std::string::npos);
    Gui::instance().drainUpdates();
    EXPECT_TRUE(Gui::instance().display.timedMessage.starts_with(told)) << Gui::instance().display.timedMessage;

    // The next start and the routine saves leave the kept file alone.
    EXPECT_FALSE(gf_loadParametersFile());
    RANGE_1.setAndSave(40);
    RANGE_1.setAndSave(41);
    EXPECT_EQ(readBytes(aside), damaged);

    // A second damaged file gets a name of its own.
    const std::string withNul("<root><parameters>\0</parameters></root>", 40);
    writeBytes(file(), withNul);
    EXPECT_TRUE(gf_loadParametersFile());
    EXPECT_EQ(readBytes(aside), damaged);
    EXPECT_EQ(readBytes(aside2), withNul);
}

TEST_F(ParametersFile, ADamagedFileThatCannotBeMovedIsNotWrittenOver)
{
    const std::string damaged = "<root><parameters><parameter name=\"RANGE_1\" value=\"33\"";
    writeBytes(file(), damaged);
    std::filesystem::create_directory(gf_settingsFolder() / "parameters0.xml");
    {
        // Held open without sharing delete: it cannot be renamed.
        HANDLE held = CreateFileW(file().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(gf_loadParametersFile());
        CloseHandle(held);
    }
    EXPECT_EQ(readBytes(file()), damaged);
    EXPECT_EQ(RANGE_1.value, 20);
    EXPECT_NE(logText().find("could not be moved aside: "), std::string::npos);
}

TEST_F(ParametersFile, AnEmptySectionIsFilledWithEveryDefault)
{
    writeBytes(file(), "<root><parameters/></root>");
    EXPECT_FALSE(gf_loadParametersFile());
    std::vector<std::string> names;
    for (const auto& e : elementsOfFile(file()))
        names.push_back(e.first);
    EXPECT_EQ(names, registeredKeys());
}

TEST_F(ParametersFile, DuplicateKeysLoadTheFirstAndASingleUpdateSetsThemAll)
{
    writeBytes(file(), parametersXml({{"RANGE_2", "30"}, {"HELICOPTERS", "false"}, {"RANGE_2", "90"}}));
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(RANGE_2.value, 30);
    EXPECT_EQ(lf_valuesOf(elementsOfFile(file()), "RANGE_2"), (std::vector<std::string>{"30", "90"}));

    RANGE_2.setAndSave(44);
    EXPECT_EQ(lf_valuesOf(elementsOfFile(file()), "RANGE_2"), (std::vector<std::string>{"44", "44"}));
}

TEST_F(ParametersFile, ATopLevelSectionWithoutRootIsReadAndUpdatedInPlace)
{
    writeBytes(file(), "<parameters><parameter name=\"RANGE_1\" value=\"33\"/>"
                       "<parameter name=\"WEEK\" value=\"true\"/></parameters>");
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(RANGE_1.value, 33);
    EXPECT_TRUE(WEEK.value);

    // A single update writes into that section rather than into a new root
    // that would hold only the one setting.
    RANGE_1.setAndSave(34);
    pugi::xml_document doc;
    std::string bytes = readBytes(file());
    ASSERT_TRUE(doc.load_buffer(bytes.data(), bytes.size()));
    EXPECT_FALSE(doc.child("root"));
    EXPECT_EQ(lf_valuesOf(elementsOf(doc), "RANGE_1"), std::vector<std::string>{"34"});

    RANGE_1.value = 0;
    WEEK.value = false;
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(RANGE_1.value, 34);
    EXPECT_TRUE(WEEK.value);
}

TEST_F(ParametersFile, APathThatIsNotUtf8IsRepairedLikeAnyBadValue)
{
    writeBytes(file(), parametersXml({{"MSFS_INSTALL_PATH", "C:\\Spiele\xC3\x28\xFF"}, {"RANGE_1", "25"}}));
    MSFS_INSTALL_PATH.value = L"C:\\old";
    bool created = true;
    ASSERT_NO_THROW(created = gf_loadParametersFile());
    EXPECT_FALSE(created);
    EXPECT_EQ(MSFS_INSTALL_PATH.value, std::filesystem::path());
    EXPECT_EQ(RANGE_1.value, 25);

    const Elements elements = elementsOfFile(file());
    EXPECT_EQ(elements.size(), 2u + 80u) << "the rest of the file is repaired and saved";
    EXPECT_EQ(lf_valuesOf(elements, "MSFS_INSTALL_PATH"), std::vector<std::string>{""})
        << "the repair is written into the bad element";
    EXPECT_NE(logText().find("==> MSFS_INSTALL_PATH: "), std::string::npos);
    EXPECT_NE(logText().find("\nMSFS_INSTALL_PATH=\"\"\n"), std::string::npos);
}

TEST_F(ParametersFile, TextsThatAreNotUtf8AreRepairedLikeAnyBadValue)
{
    writeBytes(file(), parametersXml({{"lfolder3", "D:\\AI\xC3\x28"},
                                      {"DESTINATION", "EH\xFF"},
                                      {"BLOCK_CALLSIGN", "KLM1,\xE6\x97"},
                                      {"lfolder4", "D:\\\xC3\x84rger"},
                                      {"lfolder5", "D:\\\xED\xA0\x80"}, // an encoded surrogate
                                      {"lfolder6", "first\xFF"},
                                      {"lfolder6", "second"},
                                      {"lfolder7", "D:\\Liveries"},
                                      {"lfolder7", "D:\\Other\xFE"}}));
    lfolder3.value = "stale";
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(lfolder3.value, "");
    EXPECT_EQ(DESTINATION.value, "");
    EXPECT_EQ(BLOCK_CALLSIGN.value, "");
    EXPECT_EQ(lfolder4.value, "D:\\\xC3\x84rger") << "valid UTF-8 is read as it is";
    EXPECT_EQ(lfolder5.value, "");
    EXPECT_EQ(lfolder6.value, "second") << "a later readable element counts";
    EXPECT_EQ(lfolder7.value, "D:\\Liveries");
    // The repair is written back: no bad bytes stay in the file.
    const std::string saved = readBytes(file());
    for (const char* bad : {"\xFF", "\xFE", "\xC3\x28", "\xE6\x97\"", "\xED\xA0\x80"})
        EXPECT_EQ(saved.find(bad), std::string::npos) << bad;
    const Elements elements = elementsOfFile(file());
    EXPECT_EQ(elements.size(), 9u + 75u);
    EXPECT_EQ(lf_valuesOf(elements, "DESTINATION"), (std::vector<std::string>{""}));
    EXPECT_EQ(lf_valuesOf(elements, "lfolder6"), (std::vector<std::string>{"second", "second"}));
    EXPECT_EQ(lf_valuesOf(elements, "lfolder7"), (std::vector<std::string>{"D:\\Liveries", "D:\\Liveries"}))
        << "a bad copy after the one that counts is repaired too";
    EXPECT_NE(logText().find("==> lfolder3: the value is not valid UTF-8, the default is used\n"), std::string::npos);
    EXPECT_NE(logText().find("==> DESTINATION: the value is not valid UTF-8"), std::string::npos);
    // The next load finds nothing to repair.
    const std::size_t logged = logText().size();
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(readBytes(file()), saved);
    EXPECT_EQ(logText().find("not valid UTF-8", logged), std::string::npos);
}

// ---- Single updates ---------------------------------------------------------------------

TEST_F(ParametersFile, ASingleUpdateLeavesEveryOtherElementAsItWas)
{
    ASSERT_TRUE(gf_loadParametersFile());
    // Hand-made values (including an unreadable and an unknown one) must survive.
    Elements custom = elementsOfFile(file());
    for (auto& [name, value] : custom) {
        if (name == "RANGE_2")
            value = "+61";
        if (name == "lfolder3")
            value = "D:\\Liveries";
        if (name == "RANDOM")
            value = "maybe";
    }
    custom.emplace_back("UNKNOWN_KEY", "x");
    writeBytes(file(), parametersXml(custom));

    RANGE_1.setAndSave(1000);
    EXPECT_EQ(RANGE_1.value, 100);
    DESTINATION.setAndSave("EHAM \"A7\" <&>");
    AUTO_PARK.value = false;
    AUTO_PARK.save();
    MSFS_2024_INSTALL_PATH.setAndSave(L"E:\\MSFS 2024");

    Elements expected = custom;
    for (auto& [name, value] : expected) {
        if (name == "RANGE_1")
            value = "100";
        if (name == "DESTINATION")
            value = "EHAM \"A7\" <&>";
        if (name == "AUTO_PARK")
            value = "false";
        if (name == "MSFS_2024_INSTALL_PATH")
            value = "E:\\MSFS 2024";
    }
    EXPECT_EQ(elementsOfFile(file()), expected);
    const std::string log = logText();
    EXPECT_NE(log.find("\nRANGE_1=100\n"), std::string::npos);
    EXPECT_NE(log.find("\nDESTINATION=\"EHAM \"A7\" <&>\"\n"), std::string::npos);
    EXPECT_NE(log.find("\nAUTO_PARK=false\n"), std::string::npos);
    EXPECT_NE(log.find("\nMSFS_2024_INSTALL_PATH=\"E:\\MSFS 2024\"\n"), std::string::npos);
}

TEST_F(ParametersFile, SetAndSaveClampsToTheRange)
{
    RANGE_1.setAndSave(1000);
    EXPECT_EQ(RANGE_1.value, 100);
    RANGE_1.setAndSave(-5);
    EXPECT_EQ(RANGE_1.value, 2);
    EXPECT_EQ(lf_valuesOf(elementsOfFile(file()), "RANGE_1"), std::vector<std::string>{"2"});
    RANGE_3.setAndSave(1);
    EXPECT_EQ(RANGE_3.value, 1);
    RANGE_ABOVE.setAndSave(1);
    EXPECT_EQ(RANGE_ABOVE.value, 2);
    BLOCK_HEXIDDEC.setAndSave(0x7FFFFFFF);
    EXPECT_EQ(BLOCK_HEXIDDEC.value, 0xFFFFFF);
    TCAS_FL.setAndSave(37); // off the option grid: kept, clamped to the range only
    EXPECT_EQ(TCAS_FL.value, 100);
    TCAS_FL.setAndSave(250);
    EXPECT_EQ(TCAS_FL.value, 250);
}

TEST_F(ParametersFile, ASingleUpdateOfAMissingOrEmptyFileWritesOnlyItsSetting)
{
    for (const char* start : {"missing", "empty", "blank"}) {
        SCOPED_TRACE(start);
        std::filesystem::remove(file());
        if (std::string(start) == "empty")
            writeBytes(file(), "");
        if (std::string(start) == "blank")
            writeBytes(file(), " \r\n\t");
        MAX_FIT.setAndSave(12);
        EXPECT_EQ(elementsOfFile(file()), (Elements{{"MAX_FIT", "12"}}));
    }
    // The empty and the blank file do not parse: each was reported.
    EXPECT_EQ(lf_count(logText(), gf_parametersXmlPathUtf8() + " could not be loaded: No document element found\n"),
              2u);
    // The next load appends every other setting with its default.
    MAX_FIT.value = 0;
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(MAX_FIT.value, 12);
    const Elements elements = elementsOfFile(file());
    EXPECT_EQ(elements.size(), 82u);
    EXPECT_EQ(elements.front(), (std::pair<std::string, std::string>{"MAX_FIT", "12"}));
}

TEST_F(ParametersFile, ADamagedFileIsNeitherShrunkNorBackedUpByASingleUpdate)
{
    ASSERT_TRUE(gf_loadParametersFile());
    std::string damaged = readBytes(file());
    damaged.resize(damaged.size() / 2); // cut off in the middle
    writeBytes(file(), damaged);
    std::filesystem::remove(backup());

    WEEK.value = true;
    WEEK.save();
    RANGE_1.setAndSave(50);

    EXPECT_EQ(readBytes(file()), damaged);
    EXPECT_FALSE(std::filesystem::exists(backup()));
    EXPECT_TRUE(WEEK.value);
    EXPECT_EQ(RANGE_1.value, 50);
    const std::string log = logText();
    EXPECT_EQ(lf_count(log, gf_parametersXmlPathUtf8() + " could not be loaded: "), 2u);
    EXPECT_NE(log.find("'WEEK' not saved"), std::string::npos);
    EXPECT_NE(log.find("\nRANGE_1=50\n"), std::string::npos);
}

TEST_F(ParametersFile, ALockedFileIsLeftAloneBySingleUpdatesAndByLoading)
{
    ASSERT_TRUE(gf_loadParametersFile());
    const std::string before = readBytes(file());
    std::filesystem::remove(backup());
    {
        LockedFile lock(file());
        ASSERT_TRUE(lock.locked());
        HELICOPTERS.value = false;
        HELICOPTERS.save();
        EXPECT_FALSE(HELICOPTERS.value == HELICOPTERS.defaultValue);

        // Loading cannot read it either: the values stay as they are in memory
        // and the file is not written.
        RANGE_2.value = 99;
        EXPECT_TRUE(gf_loadParametersFile());
        EXPECT_EQ(RANGE_2.value, 99);
    }
    EXPECT_EQ(readBytes(file()), before);
    EXPECT_FALSE(std::filesystem::exists(backup()));
    const std::string log = logText();
    EXPECT_NE(log.find(gf_parametersXmlPathUtf8() + " could not be opened"), std::string::npos);
    EXPECT_NE(log.find("'HELICOPTERS' not saved"), std::string::npos);
    EXPECT_NE(log.find("using default values; the file is left as it is"), std::string::npos);

    // Once it can be read again, updates work as before.
    HELICOPTERS.save();
    EXPECT_EQ(lf_valuesOf(elementsOfFile(file()), "HELICOPTERS"), std::vector<std::string>{"false"});
    EXPECT_EQ(elementsOfFile(file()).size(), 82u);
}

TEST_F(ParametersFile, ARefusedSaveIsWrittenByTheNextSaveOrTheNextLoad)
{
    ASSERT_TRUE(gf_loadParametersFile());
    {
        // Readable, but held open by another program: the replace is refused.
        HANDLE held = CreateFileW(file().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        HELICOPTERS.value = false;
        HELICOPTERS.save();
        CloseHandle(held);
    }
    EXPECT_EQ(lf_valuesOf(elementsOfFile(file()), "HELICOPTERS"), std::vector<std::string>{"true"});
    EXPECT_NE(logText().find("saving '" + gf_parametersXmlPathUtf8() + "' failed"), std::string::npos);
    RANGE_1.setAndSave(50);
    EXPECT_EQ(lf_valuesOf(elementsOfFile(file()), "HELICOPTERS"), std::vector<std::string>{"false"});
    EXPECT_EQ(lf_valuesOf(elementsOfFile(file()), "RANGE_1"), std::vector<std::string>{"50"});

    {
        // Not even readable: the next start finds the value all the same.
        LockedFile lock(file());
        ASSERT_TRUE(lock.locked());
        TWO_PROPS.value = false;
        TWO_PROPS.save();
        MAX_FIT.setAndSave(3);
    }
    TWO_PROPS.value = true;
    MAX_FIT.value = 47;
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_FALSE(TWO_PROPS.value);
    EXPECT_EQ(MAX_FIT.value, 3);
    EXPECT_EQ(lf_valuesOf(elementsOfFile(file()), "TWO_PROPS"), std::vector<std::string>{"false"});

    // Once written, a value is left to the file: a later hand edit stays.
    Elements edited = elementsOfFile(file());
    for (auto& [name, value] : edited)
        if (name == "TWO_PROPS")
            value = "true";
    writeBytes(file(), parametersXml(edited));
    RANGE_1.setAndSave(60);
    EXPECT_EQ(lf_valuesOf(elementsOfFile(file()), "TWO_PROPS"), std::vector<std::string>{"true"});
    EXPECT_EQ(elementsOfFile(file()).size(), 82u);
}

// Values the file refuses until exit get a few more tries there; when it
// still refuses them they wait beside it, and the next start takes them.
TEST_F(ParametersFile, ValuesRefusedAtExitAreTriedAgainOrKeptForTheNextStart)
{
    const std::filesystem::path pending = gf_pendingParametersXmlPath();
    ASSERT_TRUE(gf_loadParametersFile());
    std::optional<LockedFile> lock(std::in_place, file());
    ASSERT_TRUE(lock->locked());
    RANGE_1.setAndSave(50);
    std::vector<std::int64_t> waits;
    EXPECT_TRUE(gf_saveUnsavedSettingsAtExit([&](std::int64_t ms) {
        waits.push_back(ms);
        if (waits.size() == 3)
            lock.reset(); // the other program lets go during the third wait
    }));
    EXPECT_EQ(waits, (std::vector<std::int64_t>{200, 200, 200}));
    EXPECT_EQ(lf_valuesOf(elementsOfFile(file()), "RANGE_1"), std::vector<std::string>{"50"});
    EXPECT_FALSE(std::filesystem::exists(pending));

    // Refused to the end: a bounded wait, then the values wait beside the file.
    lock.emplace(file());
    RANGE_1.setAndSave(60);
    TWO_PROPS.value = false;
    TWO_PROPS.save();
    waits.clear();
    EXPECT_FALSE(gf_saveUnsavedSettingsAtExit([&](std::int64_t ms) { waits.push_back(ms); }));
    EXPECT_EQ(std::accumulate(waits.begin(), waits.end(), std::int64_t{0}), 2000);
    lock.reset();
    EXPECT_EQ(lf_valuesOf(elementsOfFile(file()), "RANGE_1"), std::vector<std::string>{"50"});
    EXPECT_EQ(elementsOfFile(pending), (Elements{{"RANGE_1", "60"}, {"TWO_PROPS", "false"}}));
    EXPECT_NE(logText().find(" refused 2 settings at exit; they were kept in "), std::string::npos);

    // The next start knows nothing of them but the file beside; a load that
    // is refused too still takes them, and the file stays until they are saved.
    gf_forgetUnsavedSettings();
    RANGE_1.value = RANGE_1.defaultValue;
    TWO_PROPS.value = true;
    {
        LockedFile again(file());
        EXPECT_TRUE(gf_loadParametersFile());
    }
    EXPECT_EQ(RANGE_1.value, 60);
    EXPECT_FALSE(TWO_PROPS.value);
    EXPECT_TRUE(std::filesystem::exists(pending));
    MAX_FIT.setAndSave(3);
    EXPECT_FALSE(std::filesystem::exists(pending));
    const Elements saved = elementsOfFile(file());
    EXPECT_EQ(lf_valuesOf(saved, "RANGE_1"), std::vector<std::string>{"60"});
    EXPECT_EQ(lf_valuesOf(saved, "TWO_PROPS"), std::vector<std::string>{"false"});
    EXPECT_EQ(saved.size(), 82u);
}

// A save publishes the setting through its row: nothing else needs to.
TEST_F(ParametersFile, EverySaveOfAPublishedSettingPublishesIt)
{
    const std::shared_ptr<const Parameters> kept = g_parameters.load();
    g_parameters.store(std::make_shared<const Parameters>());
    int published = 0;
    for (const SettingRow& row : gf_settingsTable()) {
        if (!row.publish)
            continue;
        SCOPED_TRACE(row.setting->name);
        switch (row.list) {
        case SettingList::Bool:
        case SettingList::CheckBox: {
            auto* p = static_cast<BoolParameter*>(row.setting);
            p->value = !p->defaultValue;
            p->save();
            break;
        }
        case SettingList::Int:
        case SettingList::IntChoice: {
            auto* p = static_cast<IntParameter*>(row.setting);
            p->setAndSave(p->defaultValue == p->maxValue ? p->minValue : p->maxValue);
            break;
        }
        case SettingList::String: {
            auto* p = static_cast<StringParameter*>(row.setting);
            p->setAndSave(p->defaultValue + "x");
            break;
        }
        case SettingList::StringChoice: {
            auto* p = static_cast<StringChoiceParameter*>(row.setting);
            p->setAndSave(p->options.back());
            break;
        }
        case SettingList::Path: FAIL() << "paths have no field"; break;
        }
        Parameters mirror = *g_parameters.load();
        row.publish(mirror);
        EXPECT_TRUE(mirror == *g_parameters.load());
        EXPECT_FALSE(*g_parameters.load() == Parameters{});
        ++published;
        g_parameters.store(std::make_shared<const Parameters>());
    }
    EXPECT_GT(published, 30);
    g_parameters.store(kept);
}

TEST_F(ParametersFile, NonAsciiPathsAreWrittenAsUtf8AndReadBack)
{
    const std::filesystem::path path = L"D:\\Spiele\\Flugsimulator \u00C4\u00D6\u00DC \u65E5\u672C";
    MSFS_INSTALL_PATH.setAndSave(path);
    EXPECT_NE(readBytes(file()).find("Flugsimulator \xC3\x84\xC3\x96\xC3\x9C \xE6\x97\xA5\xE6\x9C\xAC"),
              std::string::npos);
    MSFS_INSTALL_PATH.value.clear();
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(MSFS_INSTALL_PATH.value, path);
    EXPECT_NE(logText().find("MSFS_INSTALL_PATH=\"D:\\Spiele\\Flugsimulator \xC3\x84"), std::string::npos);
}

TEST_F(ParametersFile, ASettingsFolderWithANonAsciiNameWorks)
{
    const std::filesystem::path roaming = m_folders.root() / L"Benutzer J\u00FCrgen \u5C71\u7530" / L"Roaming";
    gf_setKnownFolderOverride(KnownFolder::RoamingAppData, roaming.wstring());
    gf_rebuildSettingsPaths();
    ASSERT_EQ(gf_settingsFolder(), roaming / L"Kelo");
    std::filesystem::create_directories(gf_settingsFolder());

    EXPECT_TRUE(gf_loadParametersFile());
    ASSERT_TRUE(std::filesystem::exists(roaming / L"Kelo" / L"parameters.xml"));
    SIM_CHOICE.setAndSave("MSFS 2020");
    SIM_CHOICE.value = "x";
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(SIM_CHOICE.value, "MSFS 2020");
    EXPECT_EQ(elementsOfFile(file()).size(), 82u);
    EXPECT_NE(logText().find("from '" + wide_to_utf8(file().wstring()) + "'"), std::string::npos);
}

TEST_F(ParametersFile, ConcurrentSingleUpdatesDoNotLoseEachOther)
{
    ASSERT_TRUE(gf_loadParametersFile());
    constexpr int kRounds = 25;
    std::thread a([] {
        for (int i = 1; i <= kRounds; ++i)
            RANGE_1.setAndSave(i + 10);
    });
    std::thread b([] {
        for (int i = 1; i <= kRounds; ++i)
            FLIGHT_LEVEL_2.setAndSave(i + 100);
    });
    a.join();
    b.join();
    const Elements elements = elementsOfFile(file());
    EXPECT_EQ(elements.size(), 82u);
    EXPECT_EQ(lf_valuesOf(elements, "RANGE_1"), std::vector<std::string>{std::to_string(kRounds + 10)});
    EXPECT_EQ(lf_valuesOf(elements, "FLIGHT_LEVEL_2"), std::vector<std::string>{std::to_string(kRounds + 100)});
}

TEST_F(ParametersFile, ChangesMadeWhileTheMainTaskLoadsAreNeverLost)
{
    ASSERT_TRUE(gf_loadParametersFile());
    std::atomic<bool> done{false};
    std::thread mainTask([&done] {
        while (!done.load())
            gf_loadParametersFile();
    });
    // After each change, memory and file hold it, whatever the load did meanwhile.
    int lost = 0;
    for (int i = 0; i < 300; ++i) {
        const int v = 2 + i % 99;
        RANGE_1.setAndSave(v);
        auto lock = gf_lockParametersFile();
        pugi::xml_document doc;
        const std::string bytes = readBytes(file());
        const bool parsed = static_cast<bool>(doc.load_buffer(bytes.data(), bytes.size()));
        if (RANGE_1.value != v || !parsed || gf_readIntParameter(doc, "RANGE_1") != std::optional<std::int32_t>(v))
            ++lost;
    }
    done = true;
    mainTask.join();
    EXPECT_EQ(lost, 0);
}

TEST_F(ParametersFile, APathWithoutAUtf8FormIsRefusedAndTheValueKept)
{
    ASSERT_TRUE(gf_loadParametersFile());
    const std::filesystem::path good = L"C:\\MSFS";
    ASSERT_TRUE(MSFS_INSTALL_PATH.setAndSave(good));
    const std::string before = readBytes(file());
    std::wstring bad = L"C:\\Games\\x";
    bad.push_back(static_cast<wchar_t>(0xD800));
    bool stored = true;
    ASSERT_NO_THROW(stored = MSFS_INSTALL_PATH.setAndSave(bad));
    EXPECT_FALSE(stored);
    EXPECT_EQ(MSFS_INSTALL_PATH.value, good);
    EXPECT_EQ(readBytes(file()), before);
    Gui::instance().drainUpdates();
    EXPECT_NE(logText().find("MSFS_INSTALL_PATH: the folder name cannot be stored (it is not valid Unicode); the "
                             "setting is unchanged\n"),
              std::string::npos);
}

TEST_F(ParametersFile, TheWindowPositionSettingsAreReadFromTheFile)
{
    writeBytes(file(), parametersXml({{"MAIN_WINDOW_X", "-31000"}, {"MAIN_WINDOW_Y", "123"}}));
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(Gui::instance().MAIN_WINDOW_X.value, -30000);
    EXPECT_EQ(Gui::instance().MAIN_WINDOW_Y.value, 123);
}

// ---- Element readers and writers -----------------------------------------------------------

TEST(ParameterElements, ReadersFindTheFirstElementOfTheKey)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string("<root><parameters>"
                                "<parameter name='A' value=' off '/><parameter name='A' value='on'/>"
                                "<parameter name='N' value=' -12 '/><parameter name='S' value=' x '/>"
                                "<parameter name='P' value='C:\\p'/><parameter name='Q'/>"
                                "</parameters></root>"));
    EXPECT_EQ(gf_xmlReadBoolParameter(doc, "A"), false);
    EXPECT_EQ(gf_readIntParameter(doc, "N"), -12);
    EXPECT_EQ(gf_xmlReadStringParameter(doc, "S"), " x ") << "texts are not trimmed";
    EXPECT_EQ(gf_xmlReadStringParameter(doc, "Q"), std::nullopt);
    EXPECT_EQ(gf_xmlReadStringParameter(doc, "a"), std::nullopt);
    EXPECT_EQ(gf_xmlPathAttribute(gf_xmlFindParameter(doc, "P"), "value"), std::filesystem::path(L"C:\\p"));
    EXPECT_EQ(gf_xmlPathAttribute(gf_xmlFindParameter(doc, "Q"), "value"), std::nullopt);
    EXPECT_EQ(gf_parseIntAttribute(gf_xmlFindParameter(doc, "S"), "value"), std::nullopt);
    EXPECT_EQ(gf_xmlOptBool(gf_xmlFindParameter(doc, "Q"), "value"), std::nullopt);

    pugi::xml_document noSection;
    ASSERT_TRUE(noSection.load_string("<root/>"));
    EXPECT_EQ(gf_readIntParameter(noSection, "N"), std::nullopt);
}

TEST(ParameterElements, WritersAppendNameThenValue)
{
    pugi::xml_document doc;
    pugi::xml_node section = doc.append_child("root").append_child("parameters");
    EXPECT_TRUE(gf_xmlAppendBoolParameter(section, "B", true));
    EXPECT_TRUE(gf_xmlAppendIntParameter(section, "I", -42));
    EXPECT_TRUE(gf_xmlAppendPathParameter(section, "P", L"C:\\\u00E9"));
    EXPECT_EQ(elementsOf(doc), (Elements{{"B", "true"}, {"I", "-42"}, {"P", "C:\\\xC3\xA9"}}));
    pugi::xml_node p = section.last_child();
    EXPECT_STREQ(p.first_attribute().name(), "name");
    EXPECT_STREQ(p.last_attribute().name(), "value");

    pugi::xml_node element = section.append_child("x");
    EXPECT_TRUE(gf_xmlSetPathValue(element, "path", L"a\\b"));
    EXPECT_TRUE(gf_xmlSetPathValue(element, "path", L"c"));
    EXPECT_STREQ(element.attribute("path").value(), "c");
    EXPECT_EQ(std::distance(element.attributes().begin(), element.attributes().end()), 1);

    // A null node cannot take children.
    EXPECT_FALSE(gf_xmlAppendIntParameter(pugi::xml_node(), "I", 1));
}
