// Run-time binding of SimConnect.dll. Kelo never links the library: it loads
// SimConnect.dll from the folder of the running program and resolves each
// function by its name, so the same Kelo.exe runs against the simulator's DLL
// or a stand-in, and starts when there is none at all.
#pragma once

#include <filesystem>
#include <string>

#include "simlink/simconnect_api.h"

// One entry per SimConnect function Kelo calls. Every entry is always
// callable: until a DLL is loaded, and for a function the loaded DLL lacks,
// it returns SC_E_FAIL (SC_E_NOTIMPL for the facility functions) without
// touching anything.
struct SimConnectApi {
    PfnSimConnect_Open Open;
    PfnSimConnect_Close Close;
    PfnSimConnect_CallDispatch CallDispatch;
    PfnSimConnect_SubscribeToSystemEvent SubscribeToSystemEvent;
    PfnSimConnect_AddToDataDefinition AddToDataDefinition;
    PfnSimConnect_MapClientEventToSimEvent MapClientEventToSimEvent;
    PfnSimConnect_AddClientEventToNotificationGroup AddClientEventToNotificationGroup;
    PfnSimConnect_SetNotificationGroupPriority SetNotificationGroupPriority;
    PfnSimConnect_RequestDataOnSimObject RequestDataOnSimObject;
    PfnSimConnect_RequestDataOnSimObjectType RequestDataOnSimObjectType;
    PfnSimConnect_SetDataOnSimObject SetDataOnSimObject;
    PfnSimConnect_TransmitClientEvent TransmitClientEvent;
    PfnSimConnect_AICreateNonATCAircraft AICreateNonATCAircraft;
    PfnSimConnect_GetLastSentPacketID GetLastSentPacketID;
    PfnSimConnect_AIReleaseControl AIReleaseControl;
    PfnSimConnect_AIRemoveObject AIRemoveObject;
    PfnSimConnect_AISetAircraftFlightPlan AISetAircraftFlightPlan;
    // Only in DLLs of MSFS-era SDKs; a DLL without them still loads.
    PfnSimConnect_AddToFacilityDefinition AddToFacilityDefinition;
    PfnSimConnect_RequestFacilityData RequestFacilityData;
};

// The bound functions (the failing entries until gf_loadSimConnect succeeds).
// Safe to call from any thread.
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
