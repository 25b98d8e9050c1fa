#include "core/explorer.h"

#include <windows.h>

#include <shellapi.h>

#include <atomic>

#include "core/layout.h"

namespace {

std::atomic<ShellOpenHook> shellOpenHook{nullptr};

bool lf_defaultShellOpen(const std::filesystem::path& folder)
{
    const HINSTANCE result = ShellExecuteW(nullptr, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

} // namespace

ShellOpenHook gf_setShellOpenHook(ShellOpenHook hook)
{
    return shellOpenHook.exchange(hook);
}

bool gf_openFolderInExplorer(const std::filesystem::path& path)
{
    if (!std::filesystem::exists(path)) // throws filesystem_error when the status query fails
        return false;
    const std::filesystem::path folder = path.parent_path();
    if (folder.empty())
        return false;
    ShellOpenHook hook = shellOpenHook.load();
    return (hook ? hook : &lf_defaultShellOpen)(folder);
}

bool gf_openParametersFolder()
{
    const bool opened = gf_openFolderInExplorer(gf_parametersXmlPath());
    if (!opened)
        MessageBoxW(nullptr, L"Could not open folder with parameters.xml", L"Kelo", MB_OK | MB_ICONEXCLAMATION);
    return opened;
}
