#include "core/control_calls.h"

#include <windows.h>

#include <type_traits>

static_assert(std::is_same_v<GuiWindowHandle, HWND>, "GuiWindowHandle must be HWND");
static_assert(std::is_same_v<GuiWindowProc, WNDPROC>, "GuiWindowProc must be WNDPROC");

void gf_selectComboItem(GuiWindowHandle window, std::ptrdiff_t index)
{
    SendMessageW(window, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void gf_enableControlWindow(GuiWindowHandle window, bool enabled)
{
    EnableWindow(window, enabled ? TRUE : FALSE);
}

void gf_setControlText(GuiWindowHandle window, const std::wstring& text)
{
    SetWindowTextW(window, text.c_str());
}

bool gf_isLiveWindow(GuiWindowHandle window)
{
    return window != nullptr && IsWindow(window);
}

void gf_fillComboBox(GuiWindowHandle window, const std::vector<std::wstring>& texts,
                     std::optional<std::size_t> index, const std::optional<std::wstring>& current)
{
    SendMessageW(window, CB_RESETCONTENT, 0, 0);
    for (const std::wstring& text : texts)
        SendMessageW(window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (index)
        SendMessageW(window, CB_SETCURSEL, static_cast<WPARAM>(*index), 0);
    else if (current)
        SendMessageW(window, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(current->c_str()));
}

void gf_setCheckBox(GuiWindowHandle window, bool checked)
{
    SendMessageW(window, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool gf_toggleDialogCheckBox(GuiWindowHandle dialog, std::uint16_t controlId)
{
    const bool nowChecked = IsDlgButtonChecked(dialog, controlId) != BST_CHECKED;
    CheckDlgButton(dialog, controlId, nowChecked ? BST_CHECKED : BST_UNCHECKED);
    return nowChecked;
}
