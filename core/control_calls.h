// The few calls on a control of the main window that settings code makes
// outside the window's own code. They run on the window's thread (through
// gf_changeControl). The native test build has no window: there they do nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/parameter.h"

// Selects the combo box's item (CB_SETCURSEL).
void gf_selectComboItem(GuiWindowHandle window, std::ptrdiff_t index);
// Enables or greys out the control.
void gf_enableControlWindow(GuiWindowHandle window, bool enabled);
// Sets the control's text.
void gf_setControlText(GuiWindowHandle window, const std::wstring& text);
// True when the handle names a live window (IsWindow).
bool gf_isLiveWindow(GuiWindowHandle window);
// Refills the combo box with `texts`, then selects the item at `index` or,
// without one, the first item beginning with `current` (CB_SELECTSTRING), or
// nothing.
void gf_fillComboBox(GuiWindowHandle window, const std::vector<std::wstring>& texts,
                     std::optional<std::size_t> index, const std::optional<std::wstring>& current);
// Shows the check box checked or not (BM_SETCHECK).
void gf_setCheckBox(GuiWindowHandle window, bool checked);
// Toggles the dialog's check box and returns its new state.
bool gf_toggleDialogCheckBox(GuiWindowHandle dialog, std::uint16_t controlId);
