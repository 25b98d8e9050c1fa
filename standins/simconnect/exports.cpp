// The exported functions of the stand-in SimConnect.dll: the SimConnect
// functions under their own names, and the KeloSim_ control functions.
#include <cstring>
#include <type_traits>

#include <windows.h>

#include "simlink/simconnect_api.h"
#include "standins/simconnect/sim_model.h"

using kvr::standin::sim;

#define KELO_EXPORT extern "C" __declspec(dllexport)

KELO_EXPORT ScHresult SimConnect_Open(ScHandle* phSimConnect, const char* szName, void*, ScDword, ScHandle, ScDword)
{
    sim().loadEnvironmentScenarioOnce();
    return sim().open(phSimConnect, szName);
}
KELO_EXPORT ScHresult SimConnect_Close(ScHandle h) { return sim().close(h); }
KELO_EXPORT ScHresult SimConnect_CallDispatch(ScHandle h, DispatchProc proc, void* context)
{
    return sim().callDispatch(h, proc, context);
}
KELO_EXPORT ScHresult SimConnect_SubscribeToSystemEvent(ScHandle h, ScDword eventId, const char* name)
{
    return sim().subscribe(h, eventId, name);
}
KELO_EXPORT ScHresult SimConnect_AddToDataDefinition(ScHandle h, ScDword defineId, const char* datum,
                                                     const char* unit, SIMCONNECT_DATATYPE type, float epsilon,
                                                     ScDword datumId)
{
    return sim().addToDataDefinition(h, defineId, datum, unit, type, epsilon, datumId);
}
KELO_EXPORT ScHresult SimConnect_MapClientEventToSimEvent(ScHandle h, ScDword eventId, const char* name)
{
    return sim().mapClientEvent(h, eventId, name);
}
KELO_EXPORT ScHresult SimConnect_AddClientEventToNotificationGroup(ScHandle h, ScDword groupId, ScDword eventId,
                                                                   std::int32_t maskable)
{
    return sim().addClientEventToGroup(h, groupId, eventId, maskable);
}
KELO_EXPORT ScHresult SimConnect_SetNotificationGroupPriority(ScHandle h, ScDword groupId, ScDword priority)
{
    return sim().setGroupPriority(h, groupId, priority);
}
KELO_EXPORT ScHresult SimConnect_RequestDataOnSimObject(ScHandle h, ScDword requestId, ScDword defineId,
                                                        ScDword objectId, SIMCONNECT_PERIOD period, ScDword flags,
                                                        ScDword origin, ScDword interval, ScDword limit)
{
    return sim().requestData(h, requestId, defineId, objectId, period, flags, origin, interval, limit);
}
KELO_EXPORT ScHresult SimConnect_RequestDataOnSimObjectType(ScHandle h, ScDword requestId, ScDword defineId,
                                                            ScDword radius, SIMCONNECT_SIMOBJECT_TYPE type)
{
    return sim().requestDataByType(h, requestId, defineId, radius, type);
}
KELO_EXPORT ScHresult SimConnect_SetDataOnSimObject(ScHandle h, ScDword defineId, ScDword objectId, ScDword flags,
                                                    ScDword arrayCount, ScDword unitSize, void* data)
{
    return sim().setData(h, defineId, objectId, flags, arrayCount, unitSize, data);
}
KELO_EXPORT ScHresult SimConnect_TransmitClientEvent(ScHandle h, ScDword objectId, ScDword eventId, ScDword data,
                                                     ScDword groupId, ScDword flags)
{
    return sim().transmitClientEvent(h, objectId, eventId, data, groupId, flags);
}
KELO_EXPORT ScHresult SimConnect_AICreateNonATCAircraft(ScHandle h, const char* title, const char* tail,
                                                        SIMCONNECT_DATA_INITPOSITION init, ScDword requestId)
{
    return sim().createNonAtcAircraft(h, title, tail, init, requestId);
}
KELO_EXPORT ScHresult SimConnect_GetLastSentPacketID(ScHandle h, ScDword* id)
{
    return sim().getLastSentPacketId(h, id);
}
KELO_EXPORT ScHresult SimConnect_AIReleaseControl(ScHandle h, ScDword objectId, ScDword requestId)
{
    return sim().releaseControl(h, objectId, requestId);
}
KELO_EXPORT ScHresult SimConnect_AIRemoveObject(ScHandle h, ScDword objectId, ScDword requestId)
{
    return sim().removeObject(h, objectId, requestId);
}
KELO_EXPORT ScHresult SimConnect_AISetAircraftFlightPlan(ScHandle h, ScDword objectId, const char* path,
                                                         ScDword requestId)
{
    return sim().setFlightPlan(h, objectId, path, requestId);
}
KELO_EXPORT ScHresult SimConnect_AddToFacilityDefinition(ScHandle h, ScDword defineId, const char* field)
{
    return sim().addToFacilityDefinition(h, defineId, field);
}
KELO_EXPORT ScHresult SimConnect_RequestFacilityData(ScHandle h, ScDword defineId, ScDword requestId,
                                                     const char* icao, const char* region)
{
    return sim().requestFacilityData(h, defineId, requestId, icao, region);
}

// The exports have exactly the signatures the product binds.
static_assert(std::is_same_v<decltype(&SimConnect_Open), PfnSimConnect_Open>);
static_assert(std::is_same_v<decltype(&SimConnect_CallDispatch), PfnSimConnect_CallDispatch>);
static_assert(std::is_same_v<decltype(&SimConnect_AddToDataDefinition), PfnSimConnect_AddToDataDefinition>);
static_assert(std::is_same_v<decltype(&SimConnect_RequestDataOnSimObject), PfnSimConnect_RequestDataOnSimObject>);
static_assert(std::is_same_v<decltype(&SimConnect_AICreateNonATCAircraft), PfnSimConnect_AICreateNonATCAircraft>);
static_assert(std::is_same_v<decltype(&SimConnect_SetDataOnSimObject), PfnSimConnect_SetDataOnSimObject>);
static_assert(std::is_same_v<decltype(&SimConnect_RequestFacilityData), PfnSimConnect_RequestFacilityData>);

// ---- Control interface ----
KELO_EXPORT int KeloSim_Reset()
{
    sim().reset();
    return 0;
}
KELO_EXPORT int KeloSim_LoadScenario(const char* json)
{
    std::string error;
    try {
        return sim().loadScenario(nlohmann::json::parse(json ? json : ""), error) ? 0 : -1;
    } catch (const std::exception&) {
        return -1;
    }
}
KELO_EXPORT int KeloSim_AdvanceFrames(std::uint32_t frames)
{
    sim().advanceFrames(frames);
    return 0;
}
KELO_EXPORT int KeloSim_WaitIdle(std::uint32_t timeoutMs) { return sim().waitIdle(timeoutMs) ? 1 : 0; }
KELO_EXPORT int KeloSim_SetFault(const char* function, std::uint32_t nth, std::int32_t hr)
{
    if (!function || !kvr::standin::fnFromName(function))
        return -1;
    sim().setFault(function, nth, hr);
    return 0;
}
KELO_EXPORT int KeloSim_TruncateNext(std::uint32_t recvId, std::uint32_t size, std::uint32_t count)
{
    sim().truncateNext(recvId, size, count);
    return 0;
}
KELO_EXPORT int KeloSim_SendException(std::uint32_t connection, std::uint32_t code, std::uint32_t sendId,
                                      std::uint32_t index)
{
    sim().sendException(connection, code, sendId, index);
    return 0;
}
KELO_EXPORT int KeloSim_SetSimRunning(int running)
{
    sim().setSimRunning(running != 0);
    return 0;
}
KELO_EXPORT int KeloSim_LoadFlight(const char* path)
{
    sim().loadFlight(path ? path : "");
    return 0;
}
KELO_EXPORT int KeloSim_Quit()
{
    sim().quit();
    return 0;
}
KELO_EXPORT int KeloSim_SetAvailable(int available)
{
    sim().setAvailable(available != 0);
    return 0;
}
KELO_EXPORT int KeloSim_RemoveObject(std::uint32_t objectId) { return sim().removeObjectBySimulator(objectId) ? 0 : -1; }
// Writes the section's JSON (NUL-terminated) when it fits; returns its length.
KELO_EXPORT std::uint32_t KeloSim_Trace(const char* section, char* buffer, std::uint32_t capacity)
{
    const std::string text = sim().trace(section ? section : "");
    if (buffer && capacity > text.size())
        std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<std::uint32_t>(text.size());
}
