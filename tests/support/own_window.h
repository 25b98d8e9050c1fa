#pragma once
// Finding a window of this test program only: FindWindow also answers with the
// windows of the other test programs that run beside it under the same Wine server.
#include <windows.h>

#include <cwchar>

namespace kvr::test {

// The first top-level window of this process with the given class, or null.
inline HWND findOwnWindow(const wchar_t* className)
{
    struct Search {
        const wchar_t* className;
        HWND found;
    } search{className, nullptr};
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            wchar_t name[256] = {};
            if (pid != GetCurrentProcessId() || !GetClassNameW(w, name, 256) || std::wcscmp(name, s->className) != 0)
                return TRUE;
            s->found = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace kvr::test
