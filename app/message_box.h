// Modal message boxes of the main task, owned by the main window. Tests put a
// hook in their place.
#pragma once

#include <functional>
#include <string>

// The flag values of MessageBoxW for the icons used here.
inline constexpr unsigned kMessageBoxIconError = 0x10;   // MB_ICONERROR
inline constexpr unsigned kMessageBoxIconWarning = 0x30; // MB_ICONWARNING
inline constexpr unsigned kMessageBoxNoIcon = 0x0;

// Shows a modal box titled "Kelo" with the text; returns MessageBoxW's answer.
int gf_showMessageBox(const std::string& text, unsigned iconFlags);

// Test hook: receives (text, icon flags) instead of a box; empty restores the box.
void gf_setMessageBoxHook(std::function<int(const std::string&, unsigned)> hook);
