#include "core/control_calls.h"

void gf_selectComboItem(GuiWindowHandle, std::ptrdiff_t) {}

void gf_enableControlWindow(GuiWindowHandle, bool) {}

void gf_setControlText(GuiWindowHandle, const std::wstring&) {}

bool gf_isLiveWindow(GuiWindowHandle)
{
    return false;
}

void gf_fillComboBox(GuiWindowHandle, const std::vector<std::wstring>&, std::optional<std::size_t>,
                     const std::optional<std::wstring>&)
{
}

void gf_setCheckBox(GuiWindowHandle, bool) {}

bool gf_toggleDialogCheckBox(GuiWindowHandle, std::uint16_t)
{
    return false;
}
