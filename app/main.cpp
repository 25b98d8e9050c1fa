// Program entry point: one copy at a time, then the window's start-up.
#include <windows.h>

#include "app/window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Held open until the process ends; a second copy ends at once.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\$Kelo$");
    if (mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS)
        return -1;
    return lf_windowsStartup(instance);
}
