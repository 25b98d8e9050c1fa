// Run-time binding of SimConnect.dll (see the header).
#include "simlink/simconnect_loader.h"

#include <windows.h>

#include <atomic>
#include <mutex>

#include <fmt/format.h>

#include "core/log.h"
#include "core/text.h"

namespace {

constinit SimConnectApi l_api;

// Points every entry at its failing stand-in.
void lf_setFailing()
{
#define KELO_FAIL(name, needed, parameters) l_api.name.set(&decltype(l_api.name)::failing);
    KELO_SIMCONNECT_FUNCTIONS(KELO_FAIL)
#undef KELO_FAIL
}

std::mutex l_loadMutex;
HMODULE l_module = nullptr;
std::string l_lastError;
std::string l_lastLoggedError;

void lf_fail(std::string text)
{
    if (text != l_lastLoggedError) {
        gf_logError(text);
        l_lastLoggedError = text;
    }
    l_lastError = std::move(text);
}

// Resolves one function; false (and the error) when the DLL lacks it.
template <typename Pfn>
bool lf_bind(HMODULE module, Pfn& slot, const char* name, std::string& missing)
{
    FARPROC proc = GetProcAddress(module, name);
    if (!proc) {
        if (!missing.empty())
            missing += ", ";
        missing += name;
        return false;
    }
    slot = reinterpret_cast<Pfn>(reinterpret_cast<void*>(proc));
    return true;
}

// The resolved pointers of one DLL before they are published.
struct Resolved {
#define KELO_SLOT(name, needed, parameters) PfnSimConnect_##name name = nullptr;
    KELO_SIMCONNECT_FUNCTIONS(KELO_SLOT)
#undef KELO_SLOT
};

// Binds the needed functions (`needed`) or the optional ones (`!needed`);
// false when the DLL lacks one of them, whose names are added to `missing`.
bool lf_bindAll(HMODULE module, Resolved& api, bool needed, std::string& missing)
{
    bool all = true;
#define KELO_BIND(name, isNeeded, parameters)                                                                          \
    if (isNeeded == needed)                                                                                            \
        all = lf_bind(module, api.name, "SimConnect_" #name, missing) && all;
    KELO_SIMCONNECT_FUNCTIONS(KELO_BIND)
#undef KELO_BIND
    return all;
}

// Publishes the resolved pointers; Open last, so nothing can reach the others
// before a connection exists.
void lf_publish(const Resolved& api)
{
#define KELO_PUBLISH(name, needed, parameters)                                                                         \
    if (&l_api.name != static_cast<const void*>(&l_api.Open))                                                          \
        l_api.name.set(api.name);
    KELO_SIMCONNECT_FUNCTIONS(KELO_PUBLISH)
#undef KELO_PUBLISH
    l_api.Open.set(api.Open);
}

} // namespace

const SimConnectApi& gf_simConnect()
{
    return l_api;
}

std::filesystem::path gf_programFileFolder()
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return std::filesystem::current_path();
        if (n < buffer.size()) {
            buffer.resize(n);
            return std::filesystem::path(buffer).parent_path();
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool gf_loadSimConnect()
{
    return gf_loadSimConnectFrom(gf_programFileFolder());
}

bool gf_loadSimConnectFrom(const std::filesystem::path& folder)
{
    std::lock_guard lock(l_loadMutex);
    if (l_module)
        return true;
    const std::filesystem::path file = std::filesystem::absolute(folder) / L"SimConnect.dll";
    const std::string fileText = wide_to_utf8(file.wstring());
    // Only the DLL in that folder counts: never one found on the search path.
    HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) {
        const DWORD error = GetLastError();
        lf_fail(error == ERROR_MOD_NOT_FOUND || error == ERROR_FILE_NOT_FOUND
                    ? fmt::format("SimConnect.dll not found: {}", fileText)
                    : fmt::format("SimConnect.dll could not be loaded from {} (error {})", fileText, error));
        return false;
    }
    Resolved api;
    std::string missing;
    if (!lf_bindAll(module, api, true, missing)) {
        FreeLibrary(module);
        lf_fail(fmt::format("SimConnect.dll in {} lacks the function{} {}", wide_to_utf8(folder.wstring()),
                            missing.find(',') == std::string::npos ? "" : "s", missing));
        return false;
    }
    if (!lf_bindAll(module, api, false, missing)) {
#define KELO_NOT_IMPLEMENTED(name, needed, parameters)                                                                 \
    if (!needed)                                                                                                       \
        api.name = &decltype(l_api.name)::notImplemented;
        KELO_SIMCONNECT_FUNCTIONS(KELO_NOT_IMPLEMENTED)
#undef KELO_NOT_IMPLEMENTED
        gf_logError(fmt::format("SimConnect.dll lacks {}: no facility data from the simulator", missing));
    }
    l_module = module;
    l_lastError.clear();
    l_lastLoggedError.clear();
    lf_publish(api);
    gf_logLine(fmt::format("SimConnect.dll loaded from {}", fileText));
    return true;
}

bool gf_isSimConnectLoaded()
{
    std::lock_guard lock(l_loadMutex);
    return l_module != nullptr;
}

std::string gf_simConnectLoadError()
{
    std::lock_guard lock(l_loadMutex);
    return l_lastError;
}

void gf_unloadSimConnect()
{
    std::lock_guard lock(l_loadMutex);
    lf_setFailing();
    if (l_module)
        FreeLibrary(l_module);
    l_module = nullptr;
}
