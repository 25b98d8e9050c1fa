#include "core/parameter.h"

#include <algorithm>
#include <stdexcept>
#include <type_traits>

#include <fmt/format.h>

#include "core/control_calls.h"
#include "core/log.h"
#include "core/parameters_file.h"
#include "core/settings_snapshot.h"
#include "core/text.h"
#include "core/ui_sink.h"

namespace {

void lf_fillStringCombo(const GuiControl& control, const std::vector<std::string>& options,
                        const std::string& value)
{
    if (!control.hasWindow())
        return;
    std::vector<std::wstring> texts;
    for (const std::string& option : options)
        texts.push_back(utf8_to_wide(option));
    gf_changeControl([w = control.window, texts = std::move(texts), current = utf8_to_wide(value)] {
        gf_fillComboBox(w, texts, std::nullopt, current);
    });
}

} // namespace

Parameter::Parameter(std::string name) : name(std::move(name)) {}
Parameter::~Parameter() = default;

GuiControl::GuiControl(std::uint16_t controlId, GuiLayout layout)
    : controlId(controlId), controlX(layout.controlX), captionX(layout.captionX), rowY(layout.rowY),
      offsetY(layout.offsetY)
{
}
GuiControl::~GuiControl() = default;

bool GuiControl::hasWindow() const
{
    return gf_isLiveWindow(window);
}

IntParameter::IntParameter(std::string name, std::int32_t defaultValue, std::int32_t minValue,
                           std::int32_t maxValue)
    : Parameter(std::move(name)), defaultValue(defaultValue), minValue(minValue), maxValue(maxValue),
      value(defaultValue)
{
}
IntParameter::~IntParameter() = default;

void IntParameter::set(std::int32_t v)
{
    // Not std::clamp: a definition with min > max must not be undefined behaviour.
    if (v < minValue)
        v = minValue;
    else if (v > maxValue)
        v = maxValue;
    value = v;
}

void IntParameter::setAndSave(std::int32_t v)
{
    auto lock = gf_lockParametersFile();
    set(v);
    save();
}

void IntParameter::logValue() const noexcept
{
    try {
        gf_logNoThrow(fmt::format("{}={}", name, value));
    } catch (...) {
    }
}

BoolParameter::BoolParameter(std::string name, bool defaultValue)
    : Parameter(std::move(name)), defaultValue(defaultValue), value(defaultValue)
{
}
BoolParameter::~BoolParameter() = default;

void BoolParameter::set(bool v)
{
    value = v;
}

void BoolParameter::logValue() const noexcept
{
    try {
        gf_logNoThrow(fmt::format("{}={}", name, value ? "true" : "false"));
    } catch (...) {
    }
}

StringParameter::StringParameter(std::string name, std::string defaultValue)
    : Parameter(std::move(name)), defaultValue(defaultValue), value(std::move(defaultValue))
{
}
StringParameter::~StringParameter() = default;

void StringParameter::setAndSave(std::string text)
{
    auto lock = gf_lockParametersFile();
    value = std::move(text);
    save();
}

void StringParameter::logValue() const noexcept
{
    try {
        gf_logNoThrow(fmt::format("{}=\"{}\"", name, value));
    } catch (...) {
    }
}

PathParameter::PathParameter(std::string name, std::filesystem::path defaultValue)
    : Parameter(std::move(name)), defaultValue(defaultValue), value(std::move(defaultValue))
{
}
PathParameter::~PathParameter() = default;

bool PathParameter::setAndSave(std::filesystem::path path)
{
    // Windows allows names that hold an unpaired UTF-16 surrogate; such a
    // name has no UTF-8 form for the file, so it is refused before anything
    // changes.
    try {
        (void)wide_to_utf8(path.wstring());
    } catch (const std::exception&) {
        gf_uiSink().showMessage(
            fmt::format("{}: the folder name cannot be stored (it is not valid Unicode); the setting is unchanged",
                        name),
            true);
        return false;
    }
    auto lock = gf_lockParametersFile();
    value = std::move(path);
    save();
    return true;
}

void PathParameter::logValue() const noexcept
{
    try {
        gf_logNoThrow(fmt::format("{}=\"{}\"", name, wide_to_utf8(value.wstring())));
    } catch (...) {
        // A path that is not valid UTF-16 cannot be shown as UTF-8.
        try {
            gf_logNoThrow(name + "=<unprintable path>");
        } catch (...) {
        }
    }
}

CheckBoxParameter::CheckBoxParameter(std::string name, bool defaultValue, std::uint16_t controlId,
                                     GuiLayout layout)
    : BoolParameter(std::move(name), defaultValue), GuiControl(controlId, layout)
{
}
CheckBoxParameter::~CheckBoxParameter() = default;

bool CheckBoxParameter::onClick(GuiWindowHandle dialog, std::uint16_t clickedId)
{
    if (clickedId != controlId)
        return false;
    if (!gf_isLiveWindow(dialog))
        return true; // no window, nothing to toggle
    {
        auto lock = gf_lockParametersFile();
        value = gf_toggleDialogCheckBox(dialog, controlId);
        save(); // publishes it as well
    }
    return true;
}

void CheckBoxParameter::showValue() const
{
    if (!hasWindow())
        return;
    gf_changeControl([w = window, checked = value] { gf_setCheckBox(w, checked); });
}

GuiStringParameter::GuiStringParameter(std::string name, std::string defaultValue, std::uint16_t controlId,
                                       GuiLayout layout)
    : StringParameter(std::move(name), std::move(defaultValue)), GuiControl(controlId, layout)
{
}
GuiStringParameter::~GuiStringParameter() = default;

StringChoiceParameter::StringChoiceParameter(std::string name, std::string defaultValue,
                                             std::vector<std::string> options, std::uint16_t controlId,
                                             GuiLayout layout)
    : GuiStringParameter(std::move(name), std::move(defaultValue), controlId, layout), options(std::move(options))
{
    if (this->options.empty())
        throw std::invalid_argument("configuration option list cannot be empty");
}
StringChoiceParameter::~StringChoiceParameter() = default;

void StringChoiceParameter::fillComboBox() const
{
    lf_fillStringCombo(*this, options, value);
}

std::optional<std::size_t> StringChoiceParameter::indexOfValue() const
{
    auto it = std::find(options.begin(), options.end(), value);
    if (it == options.end())
        return std::nullopt;
    return static_cast<std::size_t>(it - options.begin());
}

DynamicChoiceParameter::DynamicChoiceParameter(std::string name, std::string defaultValue,
                                               std::shared_ptr<std::vector<std::string>> options,
                                               std::uint16_t controlId, GuiLayout layout)
    : GuiStringParameter(std::move(name), std::move(defaultValue), controlId, layout), options(std::move(options))
{
    if (!this->options)
        throw std::invalid_argument("dynamic configuration option list cannot be null");
}
DynamicChoiceParameter::~DynamicChoiceParameter() = default;

void DynamicChoiceParameter::fillComboBox() const
{
    lf_fillStringCombo(*this, *options, value);
}

namespace {

template <typename T>
std::pair<T, T> lf_optionRange(const std::vector<T>& options)
{
    if (options.empty())
        throw std::invalid_argument("configuration option list cannot be empty");
    auto [lo, hi] = std::minmax_element(options.begin(), options.end());
    return {*lo, *hi};
}

} // namespace

IntChoiceParameter::IntChoiceParameter(std::string name, std::int32_t defaultValue,
                                       std::vector<std::int32_t> options, std::uint16_t controlId,
                                       GuiLayout layout)
    : IntParameter(std::move(name), defaultValue, lf_optionRange(options).first, lf_optionRange(options).second),
      GuiControl(controlId, layout), options(std::move(options))
{
}
IntChoiceParameter::~IntChoiceParameter() = default;

std::optional<std::size_t> IntChoiceParameter::indexOfValue() const
{
    auto it = std::find(options.begin(), options.end(), value);
    if (it == options.end())
        return std::nullopt;
    return static_cast<std::size_t>(it - options.begin());
}

void IntChoiceParameter::fillComboBox() const
{
    if (!hasWindow())
        return;
    std::vector<std::wstring> texts;
    for (std::int32_t option : options)
        texts.push_back(std::to_wstring(option));
    gf_changeControl([w = window, texts = std::move(texts), index = indexOfValue()] {
        gf_fillComboBox(w, texts, index, std::nullopt);
    });
}

void IntChoiceParameter::selectCurrent() const
{
    if (!hasWindow())
        return;
    if (auto index = indexOfValue())
        gf_changeControl([w = window, i = *index] { gf_selectComboItem(w, static_cast<std::ptrdiff_t>(i)); });
}

std::int32_t IntChoiceParameter::optionAt(std::size_t index) const
{
    if (index >= options.size())
        throw std::out_of_range("configuration option index is out of range");
    return options[index];
}

FloatChoiceParameter::FloatChoiceParameter(std::string name, float defaultValue, std::vector<float> options,
                                           std::uint16_t controlId, GuiLayout layout)
    : Parameter(std::move(name)), GuiControl(controlId, layout), defaultValue(defaultValue),
      minValue(lf_optionRange(options).first), maxValue(lf_optionRange(options).second), value(defaultValue),
      options(std::move(options))
{
}
FloatChoiceParameter::~FloatChoiceParameter() = default;

void FloatChoiceParameter::set(float v)
{
    if (v < minValue)
        v = minValue;
    else if (v > maxValue)
        v = maxValue;
    value = v;
}

float FloatChoiceParameter::optionAt(std::size_t index) const
{
    if (index >= options.size())
        throw std::out_of_range("configuration option index is out of range");
    return options[index];
}

ButtonControl::ButtonControl(std::string name, std::uint16_t controlId, GuiLayout layout)
    : Parameter(std::move(name)), GuiControl(controlId, layout)
{
}
ButtonControl::~ButtonControl() = default;
