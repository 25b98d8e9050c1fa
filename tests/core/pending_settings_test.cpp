// The pending-settings file: the values parameters.xml refused at exit wait
// beside it for the next start, which applies them only where the file was not
// changed in between, and only once.
#include "tests/core/parameters_test_support.h"

#include <windows.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "core/files.h"
#include "core/parameters_file.h"
#include "core/text.h"

using namespace settings_test;

namespace {

// Holds a file open as another program would: `share` is what it lets others do.
class HeldFile {
public:
    HeldFile(const std::filesystem::path& path, DWORD share)
        : m_handle(CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr))
    {
    }
    ~HeldFile()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    bool held() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};

// A file that cannot be removed for as long as this lives: read-only, or held
// open by another program that lets others read it but not delete it.
class StuckFile {
public:
    StuckFile(const std::filesystem::path& path, bool readOnly) : m_path(path), m_readOnly(readOnly)
    {
        if (readOnly)
            m_stuck = SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY) != 0;
        else {
            m_held.emplace(path, FILE_SHARE_READ);
            m_stuck = m_held->held();
        }
    }
    ~StuckFile()
    {
        if (m_readOnly)
            SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    bool stuck() const { return m_stuck; }

private:
    std::filesystem::path m_path;
    bool m_readOnly;
    bool m_stuck = false;
    std::optional<HeldFile> m_held;
};

std::size_t lf_count(const std::string& text, const std::string& needle)
{
    std::size_t n = 0;
    for (std::size_t pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1))
        ++n;
    return n;
}

// The value of the first element named key; "-" when there is none.
std::string lf_valueOf(const Elements& elements, const std::string& key)
{
    for (const auto& [name, value] : elements)
        if (name == key)
            return value;
    return "-";
}

} // namespace

class PendingSettings : public SettingsFileTest {
protected:
    std::filesystem::path pending() const { return gf_pendingParametersXmlPath(); }
    std::filesystem::path beside(const std::string& name) const { return gf_settingsFolder() / name; }

    // A run whose changes parameters.xml refuses to the end, so that they are
    // kept in the pending file at exit; then a new process.
    void runRefused(const std::function<void()>& changes)
    {
        {
            HeldFile held(file(), 0);
            ASSERT_TRUE(held.held());
            changes();
            EXPECT_FALSE(gf_saveUnsavedSettingsAtExit([](std::int64_t) {}));
        }
        resetAllSettings();
    }

    // A hand edit of parameters.xml while the program is closed.
    void editFile(const std::string& key, const std::string& value)
    {
        Elements elements = elementsOfFile(file());
        for (auto& [name, v] : elements)
            if (name == key)
                v = value;
        writeBytes(file(), parametersXml(elements));
    }

    std::vector<std::string> settingsFolderFiles() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(gf_settingsFolder()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// Each pending value notes what it replaced; a value set by hand while the
// program was closed stays, the others are applied.
TEST_F(PendingSettings, AValueChangedSinceTheExitStaysAndTheOthersAreApplied)
{
    ASSERT_TRUE(gf_loadParametersFile());
    runRefused([] {
        RANGE_1.setAndSave(50);
        TWO_PROPS.value = false;
        TWO_PROPS.save();
    });
    EXPECT_NE(readBytes(pending()).find("<parameter name=\"RANGE_1\" value=\"50\" replaces=\"20\" />"),
              std::string::npos)
        << readBytes(pending());
    EXPECT_NE(readBytes(pending()).find("<parameter name=\"TWO_PROPS\" value=\"false\" replaces=\"true\" />"),
              std::string::npos);

    editFile("RANGE_1", "30");
    EXPECT_EQ(gf_pendingSettingText("RANGE_1"), std::nullopt);
    EXPECT_EQ(gf_pendingSettingText("TWO_PROPS"), "false");
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(RANGE_1.value, 30);
    EXPECT_FALSE(TWO_PROPS.value);
    Elements saved = elementsOfFile(file());
    EXPECT_EQ(lf_valueOf(saved, "RANGE_1"), "30");
    EXPECT_EQ(lf_valueOf(saved, "TWO_PROPS"), "false");
    EXPECT_NE(logText().find("'RANGE_1' is not applied: " + gf_parametersXmlPathUtf8() +
                             " holds \"30\", not \"20\" as at the last exit"),
              std::string::npos)
        << logText();
    EXPECT_FALSE(std::filesystem::exists(pending()));

    // parameters.xml cannot be read at the next start: the values are used,
    // and checked against the file once it can be read.
    runRefused([] {
        RANGE_1.setAndSave(60);
        MAX_FIT.setAndSave(3);
    });
    editFile("RANGE_1", "35");
    {
        HeldFile held(file(), 0);
        EXPECT_TRUE(gf_loadParametersFile());
    }
    EXPECT_EQ(RANGE_1.value, 60);
    EXPECT_EQ(MAX_FIT.value, 3);
    RANDOM.value = false;
    RANDOM.save();
    saved = elementsOfFile(file());
    EXPECT_EQ(lf_valueOf(saved, "RANGE_1"), "35");
    EXPECT_EQ(lf_valueOf(saved, "MAX_FIT"), "3");
    EXPECT_EQ(lf_valueOf(saved, "RANDOM"), "false");
    EXPECT_NE(logText().find("'RANGE_1' from " + wide_to_utf8(pending().wstring()) + " is not saved: " +
                             gf_parametersXmlPathUtf8() + " holds \"35\", not \"30\" as at that exit"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(pending()));
}

// Once its values are saved, a pending file that cannot be removed is noted in
// parameters.xml and never applied again: a later change of the same setting,
// even back to the value it replaced, stays.
TEST_F(PendingSettings, APendingFileThatCannotBeRemovedIsAppliedOnlyOnce)
{
    ASSERT_TRUE(gf_loadParametersFile());
    for (const bool readOnly : {true, false}) {
        SCOPED_TRACE(readOnly ? "read-only" : "held open");
        runRefused([] { RANGE_1.setAndSave(60); });
        {
            StuckFile stuck(pending(), readOnly);
            ASSERT_TRUE(stuck.stuck());
            EXPECT_FALSE(gf_loadParametersFile());
            EXPECT_EQ(RANGE_1.value, 60);
            EXPECT_EQ(lf_valueOf(elementsOfFile(file()), "RANGE_1"), "60");
            EXPECT_NE(logText().find(", which notes it as applied: it is not applied again"), std::string::npos);

            RANGE_1.setAndSave(20);
            resetAllSettings();
            EXPECT_EQ(gf_pendingSettingText("RANGE_1"), std::nullopt);
            EXPECT_FALSE(gf_loadParametersFile());
            EXPECT_EQ(RANGE_1.value, 20);
            EXPECT_NE(logText().find(" was applied at an earlier start and is not applied again; it could not be "
                                     "removed: "),
                      std::string::npos);

            // A start that cannot read parameters.xml cannot see the note; the
            // first save that can drops the values again.
            resetAllSettings();
            {
                HeldFile held(file(), 0);
                EXPECT_TRUE(gf_loadParametersFile());
            }
            MAX_FIT.setAndSave(4);
            EXPECT_EQ(lf_valueOf(elementsOfFile(file()), "RANGE_1"), "20");
            EXPECT_NE(logText().find(" was applied at an earlier start: its settings are not taken again"),
                      std::string::npos);
            resetAllSettings();
        }
        // Once it can go, it goes, and so does the note.
        EXPECT_FALSE(gf_loadParametersFile());
        EXPECT_EQ(RANGE_1.value, 20);
        EXPECT_FALSE(std::filesystem::exists(pending()));
        EXPECT_EQ(readBytes(file()).find("pendingApplied"), std::string::npos);
        RANGE_1.setAndSave(20);
    }
}

namespace {

int g_replaces = 0;

// The second replace of a file fails as on a full disk.
bool lf_secondReplaceFails(const wchar_t* from, const wchar_t* to)
{
    if (++g_replaces == 2) {
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

} // namespace

// The note is refused when it is due (the disk full just then): the next save
// of parameters.xml writes it.
TEST_F(PendingSettings, ANoteRefusedWhenDueIsWrittenByTheNextSave)
{
    ASSERT_TRUE(gf_loadParametersFile());
    runRefused([] { RANGE_1.setAndSave(60); });
    StuckFile stuck(pending(), true);
    ASSERT_TRUE(stuck.stuck());
    g_replaces = 0;
    const FileCalls previous = gf_setFileCalls({nullptr, nullptr, nullptr, &lf_secondReplaceFails});
    EXPECT_FALSE(gf_loadParametersFile());
    gf_setFileCalls(previous);
    EXPECT_EQ(g_replaces, 2);
    EXPECT_EQ(lf_valueOf(elementsOfFile(file()), "RANGE_1"), "60");
    EXPECT_EQ(readBytes(file()).find("pendingApplied"), std::string::npos);
    EXPECT_NE(logText().find("which notes it as applied at its next save"), std::string::npos);

    RANGE_1.setAndSave(20);
    EXPECT_NE(readBytes(file()).find("<parameters pendingApplied=\""), std::string::npos);
    resetAllSettings();
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(RANGE_1.value, 20);
}

// Two refused exits in a row: the second pending file holds the first one's
// values too, and nothing of either stays once they are saved.
TEST_F(PendingSettings, NothingOfThePendingFileStaysOnceItsValuesAreSaved)
{
    ASSERT_TRUE(gf_loadParametersFile());
    runRefused([] { RANGE_1.setAndSave(50); });
    runRefused([] {
        EXPECT_TRUE(gf_loadParametersFile());
        TWO_PROPS.value = false;
        TWO_PROPS.save();
    });
    EXPECT_FALSE(std::filesystem::exists(beside("parameters-pending.xml.bak")));
    const Elements kept = elementsOfFile(pending());
    EXPECT_EQ(lf_valueOf(kept, "RANGE_1"), "50");
    EXPECT_EQ(lf_valueOf(kept, "TWO_PROPS"), "false");

    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(RANGE_1.value, 50);
    EXPECT_FALSE(TWO_PROPS.value);
    EXPECT_EQ(settingsFolderFiles(), (std::vector<std::string>{"parameters.xml", "parameters.xml.bak"}));

    // What an earlier version left behind goes at the next start.
    writeBytes(beside("parameters-pending.xml.bak"), parametersXml({{"RANGE_1", "70"}}));
    resetAllSettings();
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(RANGE_1.value, 50);
    EXPECT_EQ(settingsFolderFiles(), (std::vector<std::string>{"parameters.xml", "parameters.xml.bak"}));
}

// A damaged pending file is set aside once; an empty one goes; one written
// without what its values replaced (as before) is applied once, taking only
// settings whose values read.
TEST_F(PendingSettings, DamagedEmptyAndEarlierPendingFiles)
{
    ASSERT_TRUE(gf_loadParametersFile());
    const std::string damaged = "<root><parameters><parameter name=\"RANGE_1\" value=\"50\"";
    writeBytes(pending(), damaged);
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_FALSE(std::filesystem::exists(pending()));
    EXPECT_EQ(readBytes(beside("parameters-pending0.xml")), damaged);
    EXPECT_EQ(lf_count(logText(), wide_to_utf8(pending().wstring()) + " could not be read ("), 1u) << logText();
    EXPECT_NE(logText().find("it was kept as " + wide_to_utf8(beside("parameters-pending0.xml").wstring()) +
                             " and the settings it holds are not applied"),
              std::string::npos);
    EXPECT_EQ(RANGE_1.value, 20);

    writeBytes(pending(), " \r\n");
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_FALSE(std::filesystem::exists(pending()));

    writeBytes(pending(), parametersXml({{"RANGE_1", "60"}, {"NO_SUCH_SETTING", "1"}, {"MAX_FIT", "abc"}}));
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(RANGE_1.value, 60);
    EXPECT_EQ(MAX_FIT.value, MAX_FIT.defaultValue);
    const Elements saved = elementsOfFile(file());
    EXPECT_EQ(lf_valueOf(saved, "RANGE_1"), "60");
    EXPECT_EQ(lf_valueOf(saved, "MAX_FIT"), std::to_string(MAX_FIT.defaultValue));
    EXPECT_EQ(lf_valueOf(saved, "NO_SUCH_SETTING"), "-");
    EXPECT_FALSE(std::filesystem::exists(pending()));
}
