// The settings object kinds: construction rules, clamping, option lookup and
// the controls (combo boxes, check boxes) with and without a window.
#include "tests/core/parameters_test_support.h"

#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "core/parameters_file.h"
#include "core/settings_snapshot.h"
#include "core/text.h"

using namespace settings_test;

namespace {

// A hidden top-level window with one child control of the given class, style and id.
class ControlWindow {
public:
    ControlWindow(const wchar_t* controlClass, DWORD style, std::uint16_t id)
    {
        m_parent = CreateWindowExW(0, L"STATIC", L"parent", WS_OVERLAPPED, 0, 0, 300, 300, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
        if (m_parent)
            m_control = CreateWindowExW(0, controlClass, L"", WS_CHILD | style, 0, 0, 200, 200, m_parent,
                                        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                        GetModuleHandleW(nullptr), nullptr);
    }
    ~ControlWindow()
    {
        if (m_parent)
            DestroyWindow(m_parent);
    }
    HWND parent() const { return m_parent; }
    HWND control() const { return m_control; }

    std::vector<std::wstring> comboItems() const
    {
        std::vector<std::wstring> items;
        const LRESULT count = SendMessageW(m_control, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t buffer[256] = {};
            SendMessageW(m_control, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
            items.emplace_back(buffer);
        }
        return items;
    }
    LRESULT comboSelection() const { return SendMessageW(m_control, CB_GETCURSEL, 0, 0); }

private:
    HWND m_parent = nullptr;
    HWND m_control = nullptr;
};

} // namespace

// ---- Construction ------------------------------------------------------------------------

TEST(ParameterKinds, ChoicesTakeTheirRangeFromTheOptionsAndKeepAnyDefault)
{
    IntChoiceParameter choice{"C", 7, {30, 10, 20}, 0x8100, {1, 2, 3, 4}};
    EXPECT_EQ(choice.minValue, 10);
    EXPECT_EQ(choice.maxValue, 30);
    EXPECT_EQ(choice.value, 7) << "the default is not checked against the options";
    EXPECT_EQ(choice.controlId, 0x8100);
    EXPECT_EQ(choice.optionAt(0), 30);

    FloatChoiceParameter floats{"F", 9.0f, {2.5f, 0.5f}, 0x8101, {}};
    EXPECT_FLOAT_EQ(floats.minValue, 0.5f);
    EXPECT_FLOAT_EQ(floats.maxValue, 2.5f);
    EXPECT_FLOAT_EQ(floats.value, 9.0f);
    floats.set(-1.0f);
    EXPECT_FLOAT_EQ(floats.value, 0.5f);
    floats.set(3.0f);
    EXPECT_FLOAT_EQ(floats.value, 2.5f);
    floats.set(1.25f);
    EXPECT_FLOAT_EQ(floats.value, 1.25f);
}

TEST(ParameterKinds, WrongDefinitionsThrowWithTheirTexts)
{
    auto expectInvalid = [](auto&& make, const char* text) {
        try {
            make();
            ADD_FAILURE() << "no exception for: " << text;
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), text);
        }
    };
    expectInvalid([] { IntChoiceParameter p("I", 1, {}, 0x8100, {}); }, "configuration option list cannot be empty");
    expectInvalid([] { FloatChoiceParameter p("F", 1.0f, {}, 0x8100, {}); },
                  "configuration option list cannot be empty");
    expectInvalid([] { DynamicChoiceParameter p("D", "", nullptr, 0x8100, {}); },
                  "dynamic configuration option list cannot be null");

    IntChoiceParameter choice{"C", 1, {1, 2}, 0x8100, {}};
    try {
        (void)choice.optionAt(2);
        ADD_FAILURE() << "index 2 of 2 options must throw";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "configuration option index is out of range");
    }
}

TEST(ParameterKinds, TextChoiceIndexIsAnExactByteMatch)
{
    const std::string saved = SIM_CHOICE.value;
    SIM_CHOICE.value = "MSFS 2020";
    EXPECT_EQ(SIM_CHOICE.indexOfValue(), std::optional<std::size_t>(0));
    SIM_CHOICE.value = "msfs 2020";
    EXPECT_EQ(SIM_CHOICE.indexOfValue(), std::nullopt);
    SIM_CHOICE.value = "MSFS 2024";
    EXPECT_EQ(SIM_CHOICE.indexOfValue(), std::optional<std::size_t>(1));
    SIM_CHOICE.value = "MSFS 2024 ";
    EXPECT_EQ(SIM_CHOICE.indexOfValue(), std::nullopt);
    SIM_CHOICE.value = saved;
}

// ---- Controls ------------------------------------------------------------------------------

class ParameterControls : public SettingsFileTest {};

TEST_F(ParameterControls, WithoutAWindowNothingIsTouched)
{
    // Never created, and a window that is gone: both are no window.
    HWND gone = nullptr;
    {
        ControlWindow w(L"COMBOBOX", CBS_DROPDOWNLIST, HOLDING_THRESHOLD_METERS.controlId);
        gone = w.control();
    }
    for (HWND handle : {static_cast<HWND>(nullptr), gone}) {
        HOLDING_THRESHOLD_METERS.window = handle;
        SIM_CHOICE.window = handle;
        AIRCRAFT_SELECTOR.window = handle;
        RANDOM.window = handle;
        EXPECT_FALSE(HOLDING_THRESHOLD_METERS.hasWindow());
        HOLDING_THRESHOLD_METERS.fillComboBox();
        HOLDING_THRESHOLD_METERS.selectCurrent();
        SIM_CHOICE.fillComboBox();
        AIRCRAFT_SELECTOR.fillComboBox();
        RANDOM.showValue();
        // A click for this box without a dialog window changes nothing.
        EXPECT_TRUE(RANDOM.onClick(handle, RANDOM.controlId));
        EXPECT_TRUE(RANDOM.value);
    }
    AIRCRAFT_SELECTOR.window = nullptr;
    // Loading and the new file do not reach for controls either.
    EXPECT_TRUE(gf_loadParametersFile());
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(logText().find("GetDlgItem"), std::string::npos);
}

TEST_F(ParameterControls, IntegerComboListsTheOptionsAndSelectsTheValueIfOnTheGrid)
{
    ControlWindow w(L"COMBOBOX", CBS_DROPDOWNLIST, HOLDING_THRESHOLD_METERS.controlId);
    ASSERT_NE(w.control(), nullptr);
    HOLDING_THRESHOLD_METERS.window = w.control();

    HOLDING_THRESHOLD_METERS.value = 37;
    HOLDING_THRESHOLD_METERS.fillComboBox();
    const std::vector<std::wstring> items = w.comboItems();
    ASSERT_EQ(items.size(), 15u);
    EXPECT_EQ(items.front(), L"10");
    EXPECT_EQ(items.back(), L"900");
    EXPECT_EQ(w.comboSelection(), CB_ERR) << "37 is off the option grid";

    HOLDING_THRESHOLD_METERS.value = 250;
    HOLDING_THRESHOLD_METERS.fillComboBox();
    EXPECT_EQ(w.comboItems().size(), 15u) << "a refill replaces the items";
    EXPECT_EQ(w.comboSelection(), 5);

    HOLDING_THRESHOLD_METERS.value = 900;
    HOLDING_THRESHOLD_METERS.selectCurrent();
    EXPECT_EQ(w.comboSelection(), 14);
    HOLDING_THRESHOLD_METERS.value = 901;
    HOLDING_THRESHOLD_METERS.selectCurrent();
    EXPECT_EQ(w.comboSelection(), 14) << "no match: the selection stays";
}

TEST_F(ParameterControls, TheRangeSelectionFollowsOnlyRangesOnTheList)
{
    ControlWindow w(L"COMBOBOX", CBS_DROPDOWNLIST, RANGE.controlId);
    ASSERT_NE(w.control(), nullptr);
    RANGE.window = w.control();
    RANGE.fillComboBox();
    gf_setRange(30);
    EXPECT_EQ(w.comboSelection(), 28);
    gf_setRange(150); // an automatic range beyond the list
    EXPECT_EQ(RANGE.value, 100);
    EXPECT_EQ(w.comboSelection(), 28);
    gf_setRange(1);
    EXPECT_EQ(RANGE.value, 2);
    EXPECT_EQ(w.comboSelection(), 28);
    gf_setRange(100);
    EXPECT_EQ(w.comboSelection(), 98);
    RANGE.window = nullptr;
}

TEST_F(ParameterControls, TextComboSelectsTheFirstItemStartingWithTheValue)
{
    ControlWindow w(L"COMBOBOX", CBS_DROPDOWNLIST, AI_PACKAGE_SELECTOR.controlId);
    ASSERT_NE(w.control(), nullptr);
    AI_PACKAGE_SELECTOR.window = w.control();

    AI_PACKAGE_SELECTOR.value = "jf, mtl"; // the Win32 prefix rule ignores case
    AI_PACKAGE_SELECTOR.fillComboBox();
    const std::vector<std::wstring> items = w.comboItems();
    ASSERT_EQ(items.size(), 64u);
    EXPECT_EQ(items[0], L"AIG, FSLTL, JF, MTL");
    const LRESULT selected = w.comboSelection();
    ASSERT_NE(selected, CB_ERR);
    EXPECT_EQ(items[static_cast<std::size_t>(selected)].rfind(L"JF, MTL", 0), 0u);
    AI_PACKAGE_SELECTOR.window = nullptr;

    // A dynamic list shows its current contents, non-ASCII included.
    ControlWindow stands(L"COMBOBOX", CBS_DROPDOWNLIST, STAND_SELECTOR.controlId);
    STAND_SELECTOR.window = stands.control();
    *g_standSelectorOptions = {"", "A7", "B\xC3\xA4 12"};
    STAND_SELECTOR.value = "B\xC3\xA4 12";
    STAND_SELECTOR.fillComboBox();
    EXPECT_EQ(stands.comboItems(), (std::vector<std::wstring>{L"", L"A7", L"B\u00E4 12"}));
    EXPECT_EQ(stands.comboSelection(), 2);
    STAND_SELECTOR.window = nullptr;
    *g_standSelectorOptions = {""};
    STAND_SELECTOR.value.clear();
}

TEST_F(ParameterControls, ACheckBoxClickTogglesStoresSavesAndRepublishes)
{
    ControlWindow w(L"BUTTON", BS_CHECKBOX, AUTO_RANGE.controlId);
    ASSERT_NE(w.control(), nullptr);
    AUTO_RANGE.window = w.control();
    AUTO_RANGE.value = true;
    AUTO_RANGE.showValue();
    ASSERT_EQ(IsDlgButtonChecked(w.parent(), AUTO_RANGE.controlId), BST_CHECKED);

    // Another control's id: nothing at all happens.
    EXPECT_FALSE(AUTO_RANGE.onClick(w.parent(), TWO_PROPS.controlId));
    EXPECT_TRUE(AUTO_RANGE.value);
    EXPECT_EQ(IsDlgButtonChecked(w.parent(), AUTO_RANGE.controlId), BST_CHECKED);
    EXPECT_FALSE(std::filesystem::exists(file()));

    EXPECT_TRUE(AUTO_RANGE.onClick(w.parent(), AUTO_RANGE.controlId));
    EXPECT_FALSE(AUTO_RANGE.value);
    EXPECT_EQ(IsDlgButtonChecked(w.parent(), AUTO_RANGE.controlId), BST_UNCHECKED);
    EXPECT_EQ(elementsOfFile(file()), (Elements{{"AUTO_RANGE", "false"}}));
    EXPECT_FALSE(gf_parametersSnapshot()->AUTO_RANGE);

    EXPECT_TRUE(AUTO_RANGE.onClick(w.parent(), AUTO_RANGE.controlId));
    EXPECT_TRUE(AUTO_RANGE.value);
    EXPECT_EQ(IsDlgButtonChecked(w.parent(), AUTO_RANGE.controlId), BST_CHECKED);
    EXPECT_EQ(elementsOfFile(file()), (Elements{{"AUTO_RANGE", "true"}}));
    EXPECT_TRUE(gf_parametersSnapshot()->AUTO_RANGE);
    EXPECT_NE(logText().find("\nAUTO_RANGE=false\nAUTO_RANGE="), std::string::npos);
}

TEST_F(ParameterControls, ClicksDuringLoadsAreNeverLost)
{
    ControlWindow w(L"BUTTON", BS_CHECKBOX, AUTO_RANGE.controlId);
    ASSERT_NE(w.control(), nullptr);
    ASSERT_TRUE(gf_loadParametersFile()); // AUTO_RANGE.window stays null: loads leave the box alone
    std::atomic<bool> done{false};
    std::thread mainTask([&done] {
        while (!done.load())
            gf_loadParametersFile();
    });
    int lost = 0;
    for (int i = 0; i < 300; ++i) {
        AUTO_RANGE.onClick(w.parent(), AUTO_RANGE.controlId);
        const bool shown = IsDlgButtonChecked(w.parent(), AUTO_RANGE.controlId) == BST_CHECKED;
        auto lock = gf_lockParametersFile();
        pugi::xml_document doc;
        const std::string bytes = readBytes(file());
        doc.load_buffer(bytes.data(), bytes.size());
        if (AUTO_RANGE.value != shown || gf_xmlReadBoolParameter(doc, "AUTO_RANGE") != std::optional<bool>(shown))
            ++lost;
    }
    done = true;
    mainTask.join();
    EXPECT_EQ(lost, 0);
}

TEST_F(ParameterControls, LoadingShowsTheValuesInTheControls)
{
    ControlWindow box(L"BUTTON", BS_CHECKBOX, WEEK.controlId);
    ControlWindow edit(L"EDIT", 0, QNH_UNIT.controlId);
    ControlWindow number(L"EDIT", 0, TCAS_FL.controlId);
    WEEK.window = box.control();
    QNH_UNIT.window = edit.control();
    TCAS_FL.window = number.control();

    writeBytes(file(), parametersXml({{"WEEK", "yes"}, {"QNH_UNIT", "QNH inHg"}, {"TCAS_FL", "260"}}));
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(IsDlgButtonChecked(box.parent(), WEEK.controlId), BST_CHECKED);
    wchar_t text[64] = {};
    GetWindowTextW(edit.control(), text, 64);
    EXPECT_STREQ(text, L"QNH inHg");
    GetWindowTextW(number.control(), text, 64);
    EXPECT_STREQ(text, L"260");

    // A new file shows the current values too.
    std::filesystem::remove(file());
    WEEK.value = false;
    EXPECT_TRUE(gf_loadParametersFile());
    EXPECT_EQ(IsDlgButtonChecked(box.parent(), WEEK.controlId), BST_UNCHECKED);
}

TEST_F(ParameterControls, ValueLinesUseEachKindsTextForm)
{
    RANGE_1.value = -3;
    RANGE_1.logValue();
    COLLAPSED.value = false;
    COLLAPSED.logValue();
    BLOCK_CALLSIGN.value = "KLM12_";
    BLOCK_CALLSIGN.logValue();
    MSFS_INSTALL_PATH.value = L"C:\\\u00DCber";
    MSFS_INSTALL_PATH.logValue();
    EXPECT_NE(logText().find("\nRANGE_1=-3\nCOLLAPSED=false\nBLOCK_CALLSIGN=\"KLM12_\"\n"
                             "MSFS_INSTALL_PATH=\"C:\\\xC3\x9C" "ber\"\n"),
              std::string::npos)
        << logText();
}
