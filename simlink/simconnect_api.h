// Kelo's own declarations of the SimConnect client interface it uses: the
// function signatures (bound at run time, see simconnect_loader.h), the
// received packet layouts, the enumerations and the constants. Written from
// SimConnect's public documentation; the layouts are byte-packed and every size
// and offset that Kelo reads is checked below at compile time.
//
// The header stays free of <windows.h>: handles are plain pointers, HRESULT is
// a 32-bit signed value and DWORD a 32-bit unsigned one, which is all the x64
// calling convention sees of them.
#pragma once

#include <cstddef>
#include <cstdint>

using ScDword = std::uint32_t;
using ScHresult = std::int32_t;
using ScHandle = void*;

inline constexpr ScHresult SC_S_OK = 0;
inline constexpr ScHresult SC_E_FAIL = static_cast<ScHresult>(0x80004005u);
inline constexpr ScHresult SC_E_INVALIDARG = static_cast<ScHresult>(0x80070057u);
inline constexpr ScHresult SC_E_NOTIMPL = static_cast<ScHresult>(0x80004001u);

// ---- Constants ----
inline constexpr ScDword SIMCONNECT_UNUSED = 0xFFFFFFFFu;
inline constexpr ScDword SIMCONNECT_OBJECT_ID_USER = 0;
inline constexpr ScDword SIMCONNECT_OPEN_CONFIGINDEX_LOCAL = 0xFFFFFFFFu;
inline constexpr ScDword SIMCONNECT_GROUP_PRIORITY_HIGHEST = 1;
inline constexpr ScDword SIMCONNECT_GROUP_PRIORITY_HIGHEST_MASKABLE = 10000000;
inline constexpr ScDword SIMCONNECT_GROUP_PRIORITY_STANDARD = 1900000000;
inline constexpr ScDword SIMCONNECT_GROUP_PRIORITY_DEFAULT = 2000000000;
inline constexpr ScDword SIMCONNECT_GROUP_PRIORITY_LOWEST = 4000000000u;
inline constexpr ScDword SIMCONNECT_EVENT_FLAG_DEFAULT = 0x0;
inline constexpr ScDword SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY = 0x10;
inline constexpr ScDword SIMCONNECT_DATA_REQUEST_FLAG_DEFAULT = 0x0;
inline constexpr ScDword SIMCONNECT_DATA_SET_FLAG_DEFAULT = 0x0;
inline constexpr ScDword SIMCONNECT_RECV_EVENT_UNKNOWN_GROUP = 0xFFFFFFFFu;
inline constexpr ScDword SIMCONNECT_RECV_EXCEPTION_UNKNOWN_SENDID = 0;
inline constexpr ScDword SIMCONNECT_RECV_EXCEPTION_UNKNOWN_INDEX = 0xFFFFFFFFu;
inline constexpr ScDword INITPOSITION_AIRSPEED_CRUISE = 0xFFFFFFFFu;
inline constexpr ScDword INITPOSITION_AIRSPEED_KEEP = 0xFFFFFFFEu;
inline constexpr std::size_t SIMCONNECT_MAX_PATH = 260;

// ---- Enumerations (4-byte values on the wire and in calls) ----
enum SIMCONNECT_RECV_ID : ScDword {
    SIMCONNECT_RECV_ID_NULL = 0,
    SIMCONNECT_RECV_ID_EXCEPTION = 1,
    SIMCONNECT_RECV_ID_OPEN = 2,
    SIMCONNECT_RECV_ID_QUIT = 3,
    SIMCONNECT_RECV_ID_EVENT = 4,
    SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE = 5,
    SIMCONNECT_RECV_ID_EVENT_FILENAME = 6,
    SIMCONNECT_RECV_ID_EVENT_FRAME = 7,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA = 8,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE = 9,
    SIMCONNECT_RECV_ID_WEATHER_OBSERVATION = 10,
    SIMCONNECT_RECV_ID_CLOUD_STATE = 11,
    SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID = 12,
    SIMCONNECT_RECV_ID_CLIENT_DATA = 16,
    SIMCONNECT_RECV_ID_EVENT_EX1 = 27,
    SIMCONNECT_RECV_ID_FACILITY_DATA = 28,
    SIMCONNECT_RECV_ID_FACILITY_DATA_END = 29,
};

enum SIMCONNECT_DATATYPE : ScDword {
    SIMCONNECT_DATATYPE_INVALID = 0,
    SIMCONNECT_DATATYPE_INT32 = 1,
    SIMCONNECT_DATATYPE_INT64 = 2,
    SIMCONNECT_DATATYPE_FLOAT32 = 3,
    SIMCONNECT_DATATYPE_FLOAT64 = 4,
    SIMCONNECT_DATATYPE_STRING8 = 5,
    SIMCONNECT_DATATYPE_STRING32 = 6,
    SIMCONNECT_DATATYPE_STRING64 = 7,
    SIMCONNECT_DATATYPE_STRING128 = 8,
    SIMCONNECT_DATATYPE_STRING256 = 9,
    SIMCONNECT_DATATYPE_STRING260 = 10,
    SIMCONNECT_DATATYPE_STRINGV = 11,
};

enum SIMCONNECT_PERIOD : ScDword {
    SIMCONNECT_PERIOD_NEVER = 0,
    SIMCONNECT_PERIOD_ONCE = 1,
    SIMCONNECT_PERIOD_VISUAL_FRAME = 2,
    SIMCONNECT_PERIOD_SIM_FRAME = 3,
    SIMCONNECT_PERIOD_SECOND = 4,
};

enum SIMCONNECT_SIMOBJECT_TYPE : ScDword {
    SIMCONNECT_SIMOBJECT_TYPE_USER = 0,
    SIMCONNECT_SIMOBJECT_TYPE_ALL = 1,
    SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT = 2,
    SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER = 3,
    SIMCONNECT_SIMOBJECT_TYPE_BOAT = 4,
    SIMCONNECT_SIMOBJECT_TYPE_GROUND = 5,
};

enum SIMCONNECT_EXCEPTION : ScDword {
    SIMCONNECT_EXCEPTION_NONE = 0,
    SIMCONNECT_EXCEPTION_ERROR = 1,
    SIMCONNECT_EXCEPTION_SIZE_MISMATCH = 2,
    SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID = 3,
    SIMCONNECT_EXCEPTION_VERSION_MISMATCH = 5,
    SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED = 7,
    SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS = 11,
    SIMCONNECT_EXCEPTION_TOO_MANY_REQUESTS = 12,
    SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE = 19,
    SIMCONNECT_EXCEPTION_DATA_ERROR = 20,
    SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED = 22,
    SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED = 23,
    SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE = 24,
    SIMCONNECT_EXCEPTION_ILLEGAL_OPERATION = 25,
    SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS = 31,
};

enum SIMCONNECT_FACILITY_DATA_TYPE : ScDword {
    SIMCONNECT_FACILITY_DATA_AIRPORT = 0,
    SIMCONNECT_FACILITY_DATA_RUNWAY = 1,
    SIMCONNECT_FACILITY_DATA_START = 2,
    SIMCONNECT_FACILITY_DATA_FREQUENCY = 3,
    SIMCONNECT_FACILITY_DATA_HELIPAD = 4,
    SIMCONNECT_FACILITY_DATA_TAXI_POINT = 14,
    SIMCONNECT_FACILITY_DATA_TAXI_PARKING = 15,
    SIMCONNECT_FACILITY_DATA_PAVEMENT = 23,
};

// ---- Packets and arguments, byte-packed ----
#pragma pack(push, 1)

struct SIMCONNECT_RECV {
    ScDword dwSize; // whole packet
    ScDword dwVersion;
    ScDword dwID;
};

struct SIMCONNECT_RECV_EXCEPTION {
    ScDword dwSize, dwVersion, dwID;
    ScDword dwException;
    ScDword dwSendID; // packet id of the call that failed
    ScDword dwIndex;
};

struct SIMCONNECT_RECV_OPEN {
    ScDword dwSize, dwVersion, dwID;
    char szApplicationName[256];
    ScDword dwApplicationVersionMajor;
    ScDword dwApplicationVersionMinor;
    ScDword dwApplicationBuildMajor;
    ScDword dwApplicationBuildMinor;
    ScDword dwSimConnectVersionMajor;
    ScDword dwSimConnectVersionMinor;
    ScDword dwSimConnectBuildMajor;
    ScDword dwSimConnectBuildMinor;
    ScDword dwReserved1;
    ScDword dwReserved2;
};

struct SIMCONNECT_RECV_QUIT {
    ScDword dwSize, dwVersion, dwID;
};

struct SIMCONNECT_RECV_EVENT {
    ScDword dwSize, dwVersion, dwID;
    ScDword uGroupID;
    ScDword uEventID;
    ScDword dwData;
};

struct SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE {
    ScDword dwSize, dwVersion, dwID;
    ScDword uGroupID;
    ScDword uEventID;
    ScDword dwData; // the object id
    SIMCONNECT_SIMOBJECT_TYPE eObjType;
};

struct SIMCONNECT_RECV_EVENT_FILENAME {
    ScDword dwSize, dwVersion, dwID;
    ScDword uGroupID;
    ScDword uEventID;
    ScDword dwData;
    char szFileName[SIMCONNECT_MAX_PATH];
    ScDword dwFlags;
};

struct SIMCONNECT_RECV_EVENT_FRAME {
    ScDword dwSize, dwVersion, dwID;
    ScDword uGroupID;
    ScDword uEventID;
    ScDword dwData;
    float fFrameRate;
    float fSimSpeed;
};

// Also the layout of SIMOBJECT_DATA_BYTYPE and CLIENT_DATA. The data begins at
// dwData (offset 40); dwDefineCount counts datums, not bytes.
struct SIMCONNECT_RECV_SIMOBJECT_DATA {
    ScDword dwSize, dwVersion, dwID;
    ScDword dwRequestID;
    ScDword dwObjectID;
    ScDword dwDefineID;
    ScDword dwFlags;
    ScDword dwentrynumber; // 1-based
    ScDword dwoutof;
    ScDword dwDefineCount;
    ScDword dwData;
};
using SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE = SIMCONNECT_RECV_SIMOBJECT_DATA;

struct SIMCONNECT_RECV_ASSIGNED_OBJECT_ID {
    ScDword dwSize, dwVersion, dwID;
    ScDword dwRequestID;
    ScDword dwObjectID;
};

struct SIMCONNECT_RECV_FACILITY_DATA {
    ScDword dwSize, dwVersion, dwID;
    ScDword UserRequestId;
    ScDword UniqueRequestId;
    ScDword ParentUniqueRequestId; // 0 for the top record
    SIMCONNECT_FACILITY_DATA_TYPE Type;
    ScDword IsListItem;
    ScDword ItemIndex;
    ScDword ListSize;
    ScDword Data; // the record's fields begin here (offset 40)
};

struct SIMCONNECT_RECV_FACILITY_DATA_END {
    ScDword dwSize, dwVersion, dwID;
    ScDword RequestId;
};

// An argument of AICreateNonATCAircraft, passed by value.
struct SIMCONNECT_DATA_INITPOSITION {
    double Latitude;  // degrees
    double Longitude; // degrees
    double Altitude;  // feet
    double Pitch;     // degrees
    double Bank;      // degrees
    double Heading;   // degrees
    ScDword OnGround; // 1 = place on the ground
    ScDword Airspeed; // knots, or INITPOSITION_AIRSPEED_CRUISE / _KEEP
};

#pragma pack(pop)

// Byte offset where the data of SIMOBJECT_DATA(_BYTYPE) and FACILITY_DATA begins.
inline constexpr std::size_t SIMCONNECT_DATA_HEADER_SIZE = 40;

static_assert(sizeof(SIMCONNECT_RECV) == 12);
static_assert(sizeof(SIMCONNECT_RECV_EXCEPTION) == 24);
static_assert(offsetof(SIMCONNECT_RECV_EXCEPTION, dwException) == 12);
static_assert(offsetof(SIMCONNECT_RECV_EXCEPTION, dwSendID) == 16);
static_assert(offsetof(SIMCONNECT_RECV_EXCEPTION, dwIndex) == 20);
static_assert(sizeof(SIMCONNECT_RECV_OPEN) == 308);
static_assert(offsetof(SIMCONNECT_RECV_OPEN, szApplicationName) == 12);
static_assert(offsetof(SIMCONNECT_RECV_OPEN, dwApplicationVersionMajor) == 268);
static_assert(offsetof(SIMCONNECT_RECV_OPEN, dwApplicationVersionMinor) == 272);
static_assert(offsetof(SIMCONNECT_RECV_OPEN, dwApplicationBuildMajor) == 276);
static_assert(offsetof(SIMCONNECT_RECV_OPEN, dwApplicationBuildMinor) == 280);
static_assert(offsetof(SIMCONNECT_RECV_OPEN, dwSimConnectVersionMajor) == 284);
static_assert(offsetof(SIMCONNECT_RECV_OPEN, dwReserved2) == 304);
static_assert(sizeof(SIMCONNECT_RECV_QUIT) == 12);
static_assert(sizeof(SIMCONNECT_RECV_EVENT) == 24);
static_assert(offsetof(SIMCONNECT_RECV_EVENT, uGroupID) == 12);
static_assert(offsetof(SIMCONNECT_RECV_EVENT, uEventID) == 16);
static_assert(offsetof(SIMCONNECT_RECV_EVENT, dwData) == 20);
static_assert(sizeof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE) == 28);
static_assert(offsetof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE, dwData) == 20);
static_assert(offsetof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE, eObjType) == 24);
static_assert(sizeof(SIMCONNECT_RECV_EVENT_FILENAME) == 288);
static_assert(offsetof(SIMCONNECT_RECV_EVENT_FILENAME, szFileName) == 24);
static_assert(offsetof(SIMCONNECT_RECV_EVENT_FILENAME, dwFlags) == 284);
static_assert(sizeof(SIMCONNECT_RECV_EVENT_FRAME) == 32);
static_assert(offsetof(SIMCONNECT_RECV_EVENT_FRAME, fFrameRate) == 24);
static_assert(sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) == 44);
static_assert(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwRequestID) == 12);
static_assert(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwObjectID) == 16);
static_assert(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwDefineID) == 20);
static_assert(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwentrynumber) == 28);
static_assert(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwoutof) == 32);
static_assert(offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwData) == SIMCONNECT_DATA_HEADER_SIZE);
static_assert(sizeof(SIMCONNECT_RECV_ASSIGNED_OBJECT_ID) == 20);
static_assert(offsetof(SIMCONNECT_RECV_ASSIGNED_OBJECT_ID, dwRequestID) == 12);
static_assert(offsetof(SIMCONNECT_RECV_ASSIGNED_OBJECT_ID, dwObjectID) == 16);
static_assert(sizeof(SIMCONNECT_RECV_FACILITY_DATA) == 44);
static_assert(offsetof(SIMCONNECT_RECV_FACILITY_DATA, UserRequestId) == 12);
static_assert(offsetof(SIMCONNECT_RECV_FACILITY_DATA, UniqueRequestId) == 16);
static_assert(offsetof(SIMCONNECT_RECV_FACILITY_DATA, ParentUniqueRequestId) == 20);
static_assert(offsetof(SIMCONNECT_RECV_FACILITY_DATA, Type) == 24);
static_assert(offsetof(SIMCONNECT_RECV_FACILITY_DATA, IsListItem) == 28);
static_assert(offsetof(SIMCONNECT_RECV_FACILITY_DATA, Data) == SIMCONNECT_DATA_HEADER_SIZE);
static_assert(sizeof(SIMCONNECT_RECV_FACILITY_DATA_END) == 16);
static_assert(offsetof(SIMCONNECT_RECV_FACILITY_DATA_END, RequestId) == 12);
static_assert(sizeof(SIMCONNECT_DATA_INITPOSITION) == 56);
static_assert(offsetof(SIMCONNECT_DATA_INITPOSITION, Heading) == 40);
static_assert(offsetof(SIMCONNECT_DATA_INITPOSITION, OnGround) == 48);
static_assert(offsetof(SIMCONNECT_DATA_INITPOSITION, Airspeed) == 52);

// ---- Function signatures (x64: one calling convention; names undecorated) ----
using DispatchProc = void (*)(SIMCONNECT_RECV* pData, ScDword cbData, void* pContext);

// Each SimConnect function Kelo calls, written once: X(name, needed,
// (parameters)). `needed` is false for the facility functions, which only the
// DLLs of MSFS-era SDKs have; a DLL without them still serves the rest.
#define KELO_SIMCONNECT_FUNCTIONS(X)                                                                                   \
    X(Open, true,                                                                                                      \
      (ScHandle * phSimConnect, const char* szName, void* hWnd, ScDword UserEventWin32, ScHandle hEventHandle,         \
       ScDword ConfigIndex))                                                                                           \
    X(Close, true, (ScHandle hSimConnect))                                                                             \
    X(CallDispatch, true, (ScHandle hSimConnect, DispatchProc pfcnDispatch, void* pContext))                           \
    X(SubscribeToSystemEvent, true, (ScHandle hSimConnect, ScDword EventID, const char* SystemEventName))              \
    X(AddToDataDefinition, true,                                                                                       \
      (ScHandle hSimConnect, ScDword DefineID, const char* DatumName, const char* UnitsName,                           \
       SIMCONNECT_DATATYPE DatumType, float fEpsilon, ScDword DatumID))                                                \
    X(MapClientEventToSimEvent, true, (ScHandle hSimConnect, ScDword EventID, const char* EventName))                  \
    X(AddClientEventToNotificationGroup, true,                                                                         \
      (ScHandle hSimConnect, ScDword GroupID, ScDword EventID, std::int32_t bMaskable))                                \
    X(SetNotificationGroupPriority, true, (ScHandle hSimConnect, ScDword GroupID, ScDword uPriority))                  \
    X(RequestDataOnSimObject, true,                                                                                    \
      (ScHandle hSimConnect, ScDword RequestID, ScDword DefineID, ScDword ObjectID, SIMCONNECT_PERIOD Period,          \
       ScDword Flags, ScDword origin, ScDword interval, ScDword limit))                                                \
    X(RequestDataOnSimObjectType, true,                                                                                \
      (ScHandle hSimConnect, ScDword RequestID, ScDword DefineID, ScDword dwRadiusMeters,                              \
       SIMCONNECT_SIMOBJECT_TYPE type))                                                                                \
    X(SetDataOnSimObject, true,                                                                                        \
      (ScHandle hSimConnect, ScDword DefineID, ScDword ObjectID, ScDword Flags, ScDword ArrayCount,                    \
       ScDword cbUnitSize, void* pDataSet))                                                                            \
    X(TransmitClientEvent, true,                                                                                       \
      (ScHandle hSimConnect, ScDword ObjectID, ScDword EventID, ScDword dwData, ScDword GroupID, ScDword Flags))       \
    X(AICreateNonATCAircraft, true,                                                                                    \
      (ScHandle hSimConnect, const char* szContainerTitle, const char* szTailNumber,                                   \
       SIMCONNECT_DATA_INITPOSITION InitPos, ScDword RequestID))                                                       \
    X(GetLastSentPacketID, true, (ScHandle hSimConnect, ScDword * pdwSendID))                                          \
    X(AIReleaseControl, true, (ScHandle hSimConnect, ScDword ObjectID, ScDword RequestID))                             \
    X(AIRemoveObject, true, (ScHandle hSimConnect, ScDword ObjectID, ScDword RequestID))                               \
    X(AISetAircraftFlightPlan, true,                                                                                   \
      (ScHandle hSimConnect, ScDword ObjectID, const char* szFlightPlanPath, ScDword RequestID))                       \
    X(AddToFacilityDefinition, false, (ScHandle hSimConnect, ScDword DefineID, const char* FieldName))                 \
    X(RequestFacilityData, false,                                                                                      \
      (ScHandle hSimConnect, ScDword DefineID, ScDword RequestID, const char* ICAO, const char* Region))

// PfnSimConnect_<name>: the pointer type of each function.
#define KELO_SIMCONNECT_POINTER_TYPE(name, needed, parameters) using PfnSimConnect_##name = ScHresult(*) parameters;
KELO_SIMCONNECT_FUNCTIONS(KELO_SIMCONNECT_POINTER_TYPE)
#undef KELO_SIMCONNECT_POINTER_TYPE
