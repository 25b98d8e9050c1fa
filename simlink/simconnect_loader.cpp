// Run-time binding of SimConnect.dll (see the header).
#include "simlink/simconnect_loader.h"

#include <windows.h>

#include <atomic>
#include <mutex>

#include <fmt/format.h>

#include "core/log.h"
#include "core/text.h"

namespace {

template <typename R, typename... Args>
struct Failing {
    static R fail(Args...) { return SC_E_FAIL; }
    static R notImplemented(Args...) { return SC_E_NOTIMPL; }
};
template <typename R, typename... Args>
constexpr auto lf_failingOf(R (*)(Args...)) { return &Failing<R, Args...>::fail; }
template <typename R, typename... Args>
constexpr auto lf_notImplementedOf(R (*)(Args...)) { return &Failing<R, Args...>::notImplemented; }

#define KELO_FAIL(name) lf_failingOf(PfnSimConnect_##name{})
SimConnectApi l_api{
    KELO_FAIL(Open), KELO_FAIL(Close), KELO_FAIL(CallDispatch), KELO_FAIL(SubscribeToSystemEvent),
    KELO_FAIL(AddToDataDefinition), KELO_FAIL(MapClientEventToSimEvent),
    KELO_FAIL(AddClientEventToNotificationGroup), KELO_FAIL(SetNotificationGroupPriority),
    KELO_FAIL(RequestDataOnSimObject), KELO_FAIL(RequestDataOnSimObjectType), KELO_FAIL(SetDataOnSimObject),
    KELO_FAIL(TransmitClientEvent), KELO_FAIL(AICreateNonATCAircraft), KELO_FAIL(GetLastSentPacketID),
    KELO_FAIL(AIReleaseControl), KELO_FAIL(AIRemoveObject), KELO_FAIL(AISetAircraftFlightPlan),
    KELO_FAIL(AddToFacilityDefinition), KELO_FAIL(RequestFacilityData)};

// Points every entry at its failing stand-in.
void lf_setFailing()
{
    l_api.Open.set(KELO_FAIL(Open));
    l_api.Close.set(KELO_FAIL(Close));
    l_api.CallDispatch.set(KELO_FAIL(CallDispatch));
    l_api.SubscribeToSystemEvent.set(KELO_FAIL(SubscribeToSystemEvent));
    l_api.AddToDataDefinition.set(KELO_FAIL(AddToDataDefinition));
    l_api.MapClientEventToSimEvent.set(KELO_FAIL(MapClientEventToSimEvent));
    l_api.AddClientEventToNotificationGroup.set(KELO_FAIL(AddClientEventToNotificationGroup));
    l_api.SetNotificationGroupPriority.set(KELO_FAIL(SetNotificationGroupPriority));
    l_api.RequestDataOnSimObject.set(KELO_FAIL(RequestDataOnSimObject));
    l_api.RequestDataOnSimObjectType.set(KELO_FAIL(RequestDataOnSimObjectType));
    l_api.SetDataOnSimObject.set(KELO_FAIL(SetDataOnSimObject));
    l_api.TransmitClientEvent.set(KELO_FAIL(TransmitClientEvent));
    l_api.AICreateNonATCAircraft.set(KELO_FAIL(AICreateNonATCAircraft));
    l_api.GetLastSentPacketID.set(KELO_FAIL(GetLastSentPacketID));
    l_api.AIReleaseControl.set(KELO_FAIL(AIReleaseControl));
    l_api.AIRemoveObject.set(KELO_FAIL(AIRemoveObject));
    l_api.AISetAircraftFlightPlan.set(KELO_FAIL(AISetAircraftFlightPlan));
    l_api.AddToFacilityDefinition.set(KELO_FAIL(AddToFacilityDefinition));
    l_api.RequestFacilityData.set(KELO_FAIL(RequestFacilityData));
}
#undef KELO_FAIL

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
    PfnSimConnect_Open Open = nullptr;
    PfnSimConnect_Close Close = nullptr;
    PfnSimConnect_CallDispatch CallDispatch = nullptr;
    PfnSimConnect_SubscribeToSystemEvent SubscribeToSystemEvent = nullptr;
    PfnSimConnect_AddToDataDefinition AddToDataDefinition = nullptr;
    PfnSimConnect_MapClientEventToSimEvent MapClientEventToSimEvent = nullptr;
    PfnSimConnect_AddClientEventToNotificationGroup AddClientEventToNotificationGroup = nullptr;
    PfnSimConnect_SetNotificationGroupPriority SetNotificationGroupPriority = nullptr;
    PfnSimConnect_RequestDataOnSimObject RequestDataOnSimObject = nullptr;
    PfnSimConnect_RequestDataOnSimObjectType RequestDataOnSimObjectType = nullptr;
    PfnSimConnect_SetDataOnSimObject SetDataOnSimObject = nullptr;
    PfnSimConnect_TransmitClientEvent TransmitClientEvent = nullptr;
    PfnSimConnect_AICreateNonATCAircraft AICreateNonATCAircraft = nullptr;
    PfnSimConnect_GetLastSentPacketID GetLastSentPacketID = nullptr;
    PfnSimConnect_AIReleaseControl AIReleaseControl = nullptr;
    PfnSimConnect_AIRemoveObject AIRemoveObject = nullptr;
    PfnSimConnect_AISetAircraftFlightPlan AISetAircraftFlightPlan = nullptr;
    PfnSimConnect_AddToFacilityDefinition AddToFacilityDefinition = nullptr;
    PfnSimConnect_RequestFacilityData RequestFacilityData = nullptr;
};

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
#define KELO_BIND(name) lf_bind(module, api.name, "SimConnect_" #name, missing)
    KELO_BIND(Open);
    KELO_BIND(Close);
    KELO_BIND(CallDispatch);
    KELO_BIND(SubscribeToSystemEvent);
    KELO_BIND(AddToDataDefinition);
    KELO_BIND(MapClientEventToSimEvent);
    KELO_BIND(AddClientEventToNotificationGroup);
    KELO_BIND(SetNotificationGroupPriority);
    KELO_BIND(RequestDataOnSimObject);
    KELO_BIND(RequestDataOnSimObjectType);
    KELO_BIND(SetDataOnSimObject);
    KELO_BIND(TransmitClientEvent);
    KELO_BIND(AICreateNonATCAircraft);
    KELO_BIND(GetLastSentPacketID);
    KELO_BIND(AIReleaseControl);
    KELO_BIND(AIRemoveObject);
    KELO_BIND(AISetAircraftFlightPlan);
    if (!missing.empty()) {
        FreeLibrary(module);
        lf_fail(fmt::format("SimConnect.dll in {} lacks the function{} {}", wide_to_utf8(folder.wstring()),
                            missing.find(',') == std::string::npos ? "" : "s", missing));
        return false;
    }
    bool facilities = KELO_BIND(AddToFacilityDefinition);
    facilities = KELO_BIND(RequestFacilityData) && facilities;
#undef KELO_BIND
    if (!facilities) {
        api.AddToFacilityDefinition = lf_notImplementedOf(PfnSimConnect_AddToFacilityDefinition{});
        api.RequestFacilityData = lf_notImplementedOf(PfnSimConnect_RequestFacilityData{});
        gf_logError(fmt::format("SimConnect.dll lacks {}: no facility data from the simulator", missing));
    }
    l_module = module;
    l_lastError.clear();
    l_lastLoggedError.clear();
    // Open last: nothing can reach the others before a connection exists.
    l_api.Close.set(api.Close);
    l_api.CallDispatch.set(api.CallDispatch);
    l_api.SubscribeToSystemEvent.set(api.SubscribeToSystemEvent);
    l_api.AddToDataDefinition.set(api.AddToDataDefinition);
    l_api.MapClientEventToSimEvent.set(api.MapClientEventToSimEvent);
    l_api.AddClientEventToNotificationGroup.set(api.AddClientEventToNotificationGroup);
    l_api.SetNotificationGroupPriority.set(api.SetNotificationGroupPriority);
    l_api.RequestDataOnSimObject.set(api.RequestDataOnSimObject);
    l_api.RequestDataOnSimObjectType.set(api.RequestDataOnSimObjectType);
    l_api.SetDataOnSimObject.set(api.SetDataOnSimObject);
    l_api.TransmitClientEvent.set(api.TransmitClientEvent);
    l_api.AICreateNonATCAircraft.set(api.AICreateNonATCAircraft);
    l_api.GetLastSentPacketID.set(api.GetLastSentPacketID);
    l_api.AIReleaseControl.set(api.AIReleaseControl);
    l_api.AIRemoveObject.set(api.AIRemoveObject);
    l_api.AISetAircraftFlightPlan.set(api.AISetAircraftFlightPlan);
    l_api.AddToFacilityDefinition.set(api.AddToFacilityDefinition);
    l_api.RequestFacilityData.set(api.RequestFacilityData);
    l_api.Open.set(api.Open);
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
