// The process start on the GUI thread, the main window and its window
// procedure. The GUI thread runs only this, the update drain, the painting and
// the command handlers; all real work runs on the main-task thread, which the
// window procedure starts on MSG_START and joins on MSG_EXIT or before a
// restart.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "app/gui.h"

// The main window, kept from WM_CREATE on: the parent of dialogs and the
// window in which controls are looked up by id.
HWND gf_mainWindow();

// The start-up of the process on the GUI thread; 0 on every failure.
int lf_windowsStartup(HINSTANCE instance);
int lf_windowsStartupBody(HINSTANCE instance);
// True when an argument after the first is "--production" (any letter case).
bool lf_isProductionCommandLine(const wchar_t* commandLine);
// Registers the main window class, named like the title.
bool lf_registerMainWindowClass(HINSTANCE instance, const wchar_t* title);
// Creates, sizes, places and shows the main window.
bool initInstance(HINSTANCE instance, const wchar_t* title);
LRESULT CALLBACK lf_mainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// The message loop; the exit code of WM_QUIT.
int lf_runMessageLoop();

// "Segoe UI" at 12 points for the DPI, bold or normal.
HFONT gf_createGuiFont(bool bold, uint32_t dpi);

// Reads MAIN_WINDOW_X and MAIN_WINDOW_Y of the window object from the
// settings file, before anything else reads it. A file that does not parse is
// kept as one previous generation and removed.
void lf_readWindowPosition(const std::filesystem::path& parametersFile);

// The left/top of a window rectangle moved so that at least 48 pixels of it
// lie inside the work area in each direction.
GuiRect gf_keepOnScreen(GuiRect window, GuiRect workArea);

// Test seam: the body of the main-task thread (lf_main unless replaced).
using MainTaskBody = void (*)();
MainTaskBody gf_setMainTaskBody(MainTaskBody body);
// True while a main-task thread has been started and not yet joined.
bool gf_mainTaskJoinable();
