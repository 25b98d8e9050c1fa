// The window's child controls, built from the settings objects' GuiControl
// parts on WM_CREATE, and the small shell services of the window: the AppData
// folders, Explorer and the folder picker.
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

#include "core/explorer.h"
#include "core/parameter.h"

// Check box, drop-down list, push button and edit field sizes (logical units).
inline constexpr int kCheckBoxSize = 14;
inline constexpr int kButtonWidth = 80;
inline constexpr int kButtonHeight = 26;

// Creates the 55 controls in their fixed order; each one that exists joins
// the compact-mode list.
void lf_createControls(HWND mainWindow, HINSTANCE instance);
HWND gf_createCheckBox(CheckBoxParameter& setting, HWND parent, HINSTANCE instance);
HWND gf_createComboBox(GuiControl& control, HWND parent, HINSTANCE instance, int width, int height);
HWND gf_createButton(ButtonControl& button, HWND parent, SIZE size);
// The owner-painted check box.
LRESULT CALLBACK lf_checkBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void lf_paintCheckBox(HWND hwnd, HDC dc);

// The system folder picker; no value when cancelled or failed.
std::optional<std::filesystem::path> gf_pickFolder(HWND owner, const std::filesystem::path& initialFolder);

// ---- Seams for modal windows ----------------------------------------------
// A message box: MessageBoxW unless a test replaced it.
using MessageBoxHook = int (*)(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);
MessageBoxHook gf_setMessageBoxHook(MessageBoxHook hook);
int gf_messageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);
// How the folder picker creates its dialog: CoCreateInstance of the system
// file-open dialog unless a test replaced it.
struct IFileOpenDialog;
using FolderDialogFactory = HRESULT (*)(IFileOpenDialog** dialog);
FolderDialogFactory gf_setFolderDialogFactory(FolderDialogFactory factory);
