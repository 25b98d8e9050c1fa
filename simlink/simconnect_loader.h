// Run-time binding of SimConnect.dll. Kelo never links the library: it loads
// SimConnect.dll from the folder of the running program and resolves each
// function by its name, so the same Kelo.exe runs against the simulator's DLL
// or a stand-in, and starts when there is none at all.
#pragma once

#include <atomic>
#include <filesystem>
#include <string>

#include "simlink/simconnect_api.h"

// One bound SimConnect function: called like the function itself. The
// pointer behind it is swapped atomically when the DLL is loaded or freed, so
// a reference to the table taken at any time stays valid.
template <typename Pfn>
class SimConnectFunction;
template <typename... Args>
class SimConnectFunction<ScHresult (*)(Args...)> {
public:
    using Pointer = ScHresult (*)(Args...);
    constexpr SimConnectFunction(Pointer fn) noexcept : m_fn(fn) {}
    SimConnectFunction(const SimConnectFunction&) = delete;
    SimConnectFunction& operator=(const SimConnectFunction&) = delete;

    ScHresult operator()(Args... args) const { return m_fn.load(std::memory_order_acquire)(args...); }
    void set(Pointer fn) noexcept { m_fn.store(fn, std::memory_order_release); }
    Pointer get() const noexcept { return m_fn.load(std::memory_order_acquire); }

private:
    std::atomic<Pointer> m_fn;
};

// One entry per SimConnect function Kelo calls. Every entry is always
// callable: until a DLL is loaded, and for a function the loaded DLL lacks,
// it returns SC_E_FAIL (SC_E_NOTIMPL for the facility functions) without
// touching anything.
struct SimConnectApi {
    SimConnectFunction<PfnSimConnect_Open> Open;
    SimConnectFunction<PfnSimConnect_Close> Close;
    SimConnectFunction<PfnSimConnect_CallDispatch> CallDispatch;
    SimConnectFunction<PfnSimConnect_SubscribeToSystemEvent> SubscribeToSystemEvent;
    SimConnectFunction<PfnSimConnect_AddToDataDefinition> AddToDataDefinition;
    SimConnectFunction<PfnSimConnect_MapClientEventToSimEvent> MapClientEventToSimEvent;
    SimConnectFunction<PfnSimConnect_AddClientEventToNotificationGroup> AddClientEventToNotificationGroup;
    SimConnectFunction<PfnSimConnect_SetNotificationGroupPriority> SetNotificationGroupPriority;
    SimConnectFunction<PfnSimConnect_RequestDataOnSimObject> RequestDataOnSimObject;
    SimConnectFunction<PfnSimConnect_RequestDataOnSimObjectType> RequestDataOnSimObjectType;
    SimConnectFunction<PfnSimConnect_SetDataOnSimObject> SetDataOnSimObject;
    SimConnectFunction<PfnSimConnect_TransmitClientEvent> TransmitClientEvent;
    SimConnectFunction<PfnSimConnect_AICreateNonATCAircraft> AICreateNonATCAircraft;
    SimConnectFunction<PfnSimConnect_GetLastSentPacketID> GetLastSentPacketID;
    SimConnectFunction<PfnSimConnect_AIReleaseControl> AIReleaseControl;
    SimConnectFunction<PfnSimConnect_AIRemoveObject> AIRemoveObject;
    SimConnectFunction<PfnSimConnect_AISetAircraftFlightPlan> AISetAircraftFlightPlan;
    // Only in DLLs of MSFS-era SDKs; a DLL without them still loads.
    SimConnectFunction<PfnSimConnect_AddToFacilityDefinition> AddToFacilityDefinition;
    SimConnectFunction<PfnSimConnect_RequestFacilityData> RequestFacilityData;
};

// The one table of bound functions (failing entries until gf_loadSimConnect
// succeeds). Safe to call from any thread; the same object for the whole run.
const SimConnectApi& gf_simConnect();

// Loads SimConnect.dll from the program folder unless it is loaded already;
// true when the functions are bound. A failure is logged as an error line
// (once for the same text, so a retry loop does not flood the log) and its
// text is kept for the window (gf_simConnectLoadError); the next call tries
// again.
bool gf_loadSimConnect();
// The same from a given folder (tests and tools).
bool gf_loadSimConnectFrom(const std::filesystem::path& folder);
// True while a DLL is bound.
bool gf_isSimConnectLoaded();
// The text of the last failed load; empty after a success.
std::string gf_simConnectLoadError();
// Forgets the bound functions and frees the DLL. Only for tests and the end
// of the process: no SimConnect call may be running.
void gf_unloadSimConnect();

// The folder of the running program file.
std::filesystem::path gf_programFileFolder();
