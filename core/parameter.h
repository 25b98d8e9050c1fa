// The settings objects: one program-wide object per setting, each of a typed
// kind, most of them bound to a control of the main window.
//
// All objects are built once at program start, before the window exists, and
// live until the process ends; they are never copied. They carry no lock: the
// GUI thread and the main task use them, and parameters.xml is guarded by the
// parameters-file mutex (core/parameters_file.h). Other threads read the
// published Parameters snapshot instead (core/settings_snapshot.h).
//
// The file operations declared here (save, readFrom, appendDefault) are
// implemented in core/parameters_file.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Win32 handle types without <windows.h>: HWND is a pointer to struct HWND__
// and WNDPROC (x64) is LRESULT(*)(HWND, UINT, WPARAM, LPARAM); parameter.cpp
// checks that these spellings match the real ones.
struct HWND__;
using GuiWindowHandle = HWND__*;
using GuiWindowProc = long long (*)(HWND__*, unsigned int, unsigned long long, long long);

namespace pugi {
class xml_document;
class xml_node;
}

// Where a control sits: its x, the x of its painted caption, the y of its row
// and its vertical offset within the row (the control sits at rowY + offsetY).
struct GuiLayout {
    std::int32_t controlX = 0;
    std::int32_t captionX = 0;
    std::int32_t rowY = 0;
    std::int32_t offsetY = 0;
};

// Base of every settings object.
class Parameter {
public:
    explicit Parameter(std::string name);
    virtual ~Parameter();
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;

    // The key in parameters.xml (for a ButtonControl: its caption).
    const std::string name;
};

// The part that binds a settings object to a Win32 control.
class GuiControl {
public:
    GuiControl(std::uint16_t controlId, GuiLayout layout);
    virtual ~GuiControl();
    GuiControl(const GuiControl&) = delete;
    GuiControl& operator=(const GuiControl&) = delete;

    // True when window is a live window.
    bool hasWindow() const;

    const std::uint16_t controlId;
    const std::int32_t controlX;
    const std::int32_t captionX;
    const std::int32_t rowY;
    const std::int32_t offsetY;
    // The control, null until the control builder creates it.
    GuiWindowHandle window = nullptr;
    // The window procedure a subclassed control had before (DESTINATION only).
    GuiWindowProc previousWndProc = nullptr;
};

class IntParameter : public Parameter {
public:
    IntParameter(std::string name, std::int32_t defaultValue, std::int32_t minValue, std::int32_t maxValue);
    ~IntParameter() override;

    // Stores v clamped to [minValue, maxValue]; nothing is saved.
    void set(std::int32_t v);
    // As set, then saves it.
    void setAndSave(std::int32_t v);
    // Writes the current value into parameters.xml (single update).
    void save() const;
    // Appends <parameter name=key value=defaultValue/> to the section.
    bool appendDefault(pugi::xml_node section) const;
    // Logs "key=value".
    void logValue() const noexcept;

    std::int32_t defaultValue;
    std::int32_t minValue;
    std::int32_t maxValue;
    std::int32_t value;
};

class BoolParameter : public Parameter {
public:
    BoolParameter(std::string name, bool defaultValue);
    ~BoolParameter() override;

    // Stores v; nothing is saved.
    void set(bool v);
    // Writes the current value into parameters.xml (single update); serves
    // the plain booleans and the check boxes alike.
    void save() const;
    // Sets value from the file, or from the default when the setting is
    // missing or unreadable; logs the value line; true when it was found.
    bool readFrom(const pugi::xml_document& doc);
    bool appendDefault(pugi::xml_node section) const;
    // Logs "key=true" or "key=false".
    void logValue() const noexcept;

    bool defaultValue;
    bool value;
};

class StringParameter : public Parameter {
public:
    StringParameter(std::string name, std::string defaultValue);
    ~StringParameter() override;

    // Stores the text (no validation), then saves it.
    void setAndSave(std::string text);
    void save() const;
    bool readFrom(const pugi::xml_document& doc);
    bool appendDefault(pugi::xml_node section) const;
    // Logs key="text".
    void logValue() const noexcept;

    std::string defaultValue;
    std::string value;
};

class PathParameter : public Parameter {
public:
    PathParameter(std::string name, std::filesystem::path defaultValue);
    ~PathParameter() override;

    // Stores the path, then saves it. A path that has no UTF-8 form (an
    // unpaired surrogate in a name) is refused with a message: false, and the
    // value stays as it was.
    bool setAndSave(std::filesystem::path path);
    void save() const;
    // A value that is not valid UTF-8 counts as unreadable: the next readable
    // element or the default is taken, and written into the bad element.
    bool readFrom(const pugi::xml_document& doc);
    // Logs key="UTF-8 text of the path".
    void logValue() const noexcept;

    std::filesystem::path defaultValue;
    std::filesystem::path value;
};

class CheckBoxParameter : public BoolParameter, public GuiControl {
public:
    CheckBoxParameter(std::string name, bool defaultValue, std::uint16_t controlId, GuiLayout layout);
    ~CheckBoxParameter() override;

    // The click handler for WM_COMMAND: false (and nothing else) when the
    // clicked id is not this box; otherwise toggles the box, stores and saves
    // the new state, republishes it and returns true.
    bool onClick(GuiWindowHandle dialog, std::uint16_t clickedId);
    // Shows value in the box (BM_SETCHECK); nothing without a window.
    void showValue() const;
};

// A text setting with a text field on the window (DESTINATION).
class GuiStringParameter : public StringParameter, public GuiControl {
public:
    GuiStringParameter(std::string name, std::string defaultValue, std::uint16_t controlId, GuiLayout layout);
    ~GuiStringParameter() override;
};

class StringChoiceParameter : public GuiStringParameter {
public:
    StringChoiceParameter(std::string name, std::string defaultValue, std::vector<std::string> options,
                          std::uint16_t controlId, GuiLayout layout);
    ~StringChoiceParameter() override;

    // Refills the combo box with the options and selects the current value
    // (CB_SELECTSTRING: first item beginning with it, ignoring case).
    // Nothing without a window.
    void fillComboBox() const;
    // Index of the first option byte-equal to value.
    std::optional<std::size_t> indexOfValue() const;

    const std::vector<std::string> options;
};

class DynamicChoiceParameter : public GuiStringParameter {
public:
    // Throws std::invalid_argument when options is null.
    DynamicChoiceParameter(std::string name, std::string defaultValue,
                           std::shared_ptr<std::vector<std::string>> options, std::uint16_t controlId,
                           GuiLayout layout);
    ~DynamicChoiceParameter() override;

    // As StringChoiceParameter::fillComboBox, over the list's current contents.
    void fillComboBox() const;

    // Shared with the code that refills it; never null.
    const std::shared_ptr<std::vector<std::string>> options;
};

class IntChoiceParameter : public IntParameter, public GuiControl {
public:
    // Throws std::invalid_argument when options is empty. The range is the
    // smallest and the largest option; the default is not checked.
    IntChoiceParameter(std::string name, std::int32_t defaultValue, std::vector<std::int32_t> options,
                       std::uint16_t controlId, GuiLayout layout);
    ~IntChoiceParameter() override;

    // Refills the combo box with the options' decimal texts and selects the
    // first option equal to value, if any. Nothing without a window.
    void fillComboBox() const;
    // Selects the first option equal to value; nothing when there is none.
    void selectCurrent() const;
    // Throws std::out_of_range for an index past the options.
    std::int32_t optionAt(std::size_t index) const;
    // Index of the first option equal to value.
    std::optional<std::size_t> indexOfValue() const;

    const std::vector<std::int32_t> options;
};

class FloatChoiceParameter : public Parameter, public GuiControl {
public:
    // Throws std::invalid_argument when options is empty.
    FloatChoiceParameter(std::string name, float defaultValue, std::vector<float> options,
                         std::uint16_t controlId, GuiLayout layout);
    ~FloatChoiceParameter() override;

    // Stores v clamped to [minValue, maxValue].
    void set(float v);
    // Throws std::out_of_range for an index past the options.
    float optionAt(std::size_t index) const;

    float defaultValue;
    float minValue;
    float maxValue;
    float value;
    const std::vector<float> options;
};

// A push button; its name is the caption. Not a setting.
class ButtonControl : public Parameter, public GuiControl {
public:
    ButtonControl(std::string name, std::uint16_t controlId, GuiLayout layout);
    ~ButtonControl() override;
};

// The settings table (core/settings.h) grouped into its seven lists, each
// typed by the kind that loading and saving treat its members as. Files are
// written in the order 1, 2, 3, 4, 5, 7, 6.
struct ParameterRegistry {
    std::vector<BoolParameter*> boolParams;               // 1
    std::vector<CheckBoxParameter*> checkBoxParams;       // 2
    std::vector<IntParameter*> intParams;                 // 3
    std::vector<IntChoiceParameter*> intChoiceParams;     // 4
    std::vector<StringParameter*> stringParams;           // 5
    std::vector<PathParameter*> pathParams;               // 6
    std::vector<StringChoiceParameter*> stringChoiceParams; // 7
};
