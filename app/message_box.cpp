#include "app/message_box.h"

#include <windows.h>

#include <mutex>

#include "app/gui.h"
#include "core/log.h"
#include "core/text.h"

namespace {
std::mutex g_hookMutex;
std::function<int(const std::string&, unsigned)> g_hook;
} // namespace

int gf_showMessageBox(const std::string& text, unsigned iconFlags)
{
    std::function<int(const std::string&, unsigned)> hook;
    {
        std::lock_guard lock(g_hookMutex);
        hook = g_hook;
    }
    if (hook)
        return hook(text, iconFlags);
    std::wstring wide;
    try {
        wide = utf8_to_wide(text);
    } catch (const std::exception& e) {
        gf_logError(e.what());
        wide = L"?";
    }
    return MessageBoxW(Gui::instance().hwnd.load(), wide.c_str(), L"Kelo", MB_OK | iconFlags);
}

void gf_setMessageBoxHook(std::function<int(const std::string&, unsigned)> hook)
{
    std::lock_guard lock(g_hookMutex);
    g_hook = std::move(hook);
}
