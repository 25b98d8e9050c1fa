// The facility reader's own connection "PARKING_DATA_RDR" and the blocking
// reads of stands and runways over it.
#include "simlink/facility_reader.h"

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include <windows.h>

#include <mmsystem.h>

#include <fmt/format.h>

#include "airports/package_scan.h"
#include "airports/scanned_airport.h"
#include "core/log.h"
#include "core/stop_request.h"
#include "simlink/position_stream.h"
#include "simlink/simconnect_ids.h"
#include "simlink/simconnect_loader.h"

namespace {

struct ReaderConnection {
    ScHandle handle = nullptr;
    bool open = false;
    bool runwayDefinitionAdded = false;
};
ReaderConnection g_reader;

constexpr int64_t kStandsWaitNs = 30'000'000'000;
constexpr int64_t kRunwaysWaitNs = 10'000'000'000;
std::atomic<int64_t> g_standsWaitNs{kStandsWaitNs};
std::atomic<int64_t> g_runwaysWaitNs{kRunwaysWaitNs};

constexpr std::array<const char*, 30> kParkingFields{
    "OPEN AIRPORT", "LATITUDE",      "LONGITUDE",          "ALTITUDE",     "NAME",     "N_HELIPADS",
    "N_TAXI_PARKINGS", "OPEN TAXI_PARKING", "TYPE",       "TAXI_POINT_TYPE", "NAME",  "SUFFIX",
    "NUMBER",       "ORIENTATION",   "HEADING",            "RADIUS",       "BIAS_X",   "BIAS_Z",
    "CLOSE TAXI_PARKING", "OPEN HELIPAD", "LATITUDE",      "LONGITUDE",    "ALTITUDE", "HEADING",
    "LENGTH",       "WIDTH",         "SURFACE",            "TYPE",         "CLOSE HELIPAD", "CLOSE AIRPORT",
};

constexpr std::array<const char*, 36> kRunwayFields{
    "OPEN AIRPORT", "ALTITUDE", "N_RUNWAYS", "N_STARTS", "OPEN RUNWAY", "LATITUDE", "LONGITUDE", "ALTITUDE",
    "HEADING", "LENGTH", "WIDTH", "PRIMARY_NUMBER", "PRIMARY_DESIGNATOR", "SECONDARY_NUMBER",
    "SECONDARY_DESIGNATOR", "OPEN PRIMARY_THRESHOLD", "LENGTH", "WIDTH", "ENABLE", "CLOSE PRIMARY_THRESHOLD",
    "OPEN SECONDARY_THRESHOLD", "LENGTH", "WIDTH", "ENABLE", "CLOSE SECONDARY_THRESHOLD", "CLOSE RUNWAY",
    "OPEN START", "LATITUDE", "LONGITUDE", "ALTITUDE", "HEADING", "NUMBER", "DESIGNATOR", "TYPE", "CLOSE START",
    "CLOSE AIRPORT",
};

template <size_t N>
bool lf_addFacilityDefinition(uint32_t definition, const std::array<const char*, N>& fields)
{
    const SimConnectApi& sc = gf_simConnect();
    for (const char* field : fields)
        if (sc.AddToFacilityDefinition(g_reader.handle, definition, field) < 0)
            return false;
    return true;
}

struct TimerPeriod {
    bool active = timeBeginPeriod(1) == TIMERR_NOERROR;
    ~TimerPeriod()
    {
        if (active)
            timeEndPeriod(1);
    }
};

enum class WaitEnd { Done, Failed };

// Dispatches until `done`; the texts name the failure of a dispatch and a
// timeout. A stop of the program ends the wait without `done`.
WaitEnd lf_waitForFacilityData(DispatchProc proc, void* context, const bool& done, int64_t waitNs,
                               const std::string& dispatchFailedText, const std::string& timedOutText)
{
    TimerPeriod timer;
    const int64_t deadline = gf_steadyNowNs() + waitNs;
    const SimConnectApi& sc = gf_simConnect();
    while (!done) {
        if (!gf_keepRunning())
            return WaitEnd::Failed;
        const ScHresult hr = sc.CallDispatch(g_reader.handle, proc, context);
        if (hr < 0) {
            gf_logError(fmt::vformat(dispatchFailedText, fmt::make_format_args(static_cast<uint32_t>(hr))));
            return WaitEnd::Failed;
        }
        if (done)
            break;
        if (gf_steadyNowNs() >= deadline) {
            gf_logError(timedOutText);
            return WaitEnd::Failed;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return WaitEnd::Done;
}

// The airport scan's way to an airport's stands (airports/package_scan.h).
bool readScannedAirportStands(const IcaoCode& icao, ScannedAirport& airport, int& helipads)
{
    const std::string code = icao.toString();
    return gf_readFacilityStands(code, code, "", airport, helipads);
}

[[maybe_unused]] const bool g_scanReaderRegistered =
    (gf_registerSimulatorFacilityReader(&readScannedAirportStands, &gf_closeParkingReader), true);

} // namespace

bool gf_isParkingReaderOpen()
{
    return g_reader.open;
}

bool lf_openParkingReader()
{
    if (g_reader.open)
        return true;
    const SimConnectApi& sc = gf_simConnect();
    ScHandle handle = nullptr;
    const ScHresult hr = gf_loadSimConnect() ? sc.Open(&handle, "PARKING_DATA_RDR", nullptr, 0, nullptr, 0)
                                             : SC_E_FAIL;
    if (hr < 0) {
        gf_logError(fmt::format("SimConnect_Open (PARKING_DATA_RDR) FAILED hr=0x{:08X}", static_cast<uint32_t>(hr)));
        return false;
    }
    g_reader.handle = handle;
    if (!lf_addFacilityDefinition(DEFINITION_FACILITY_PARKING, kParkingFields)) {
        gf_logError("SimConnect facility definition initialization failed");
        sc.Close(handle);
        g_reader = ReaderConnection{};
        return false;
    }
    g_reader.open = true;
    return true;
}

void gf_closeParkingReader()
{
    if (!g_reader.open)
        return;
    if (gf_simConnect().Close(g_reader.handle) >= 0)
        gf_logLine("SimConnect closed ok");
    else
        gf_logError("Closing SimConnect failed?!");
    g_reader = ReaderConnection{};
    gf_logLine("SimConnect (PARKING_DATA_RDR) closed");
}

bool gf_readFacilityStands(std::string_view airportCode, std::string_view ident, std::string_view region,
                           ScannedAirport& airport, int& helipadCount)
{
    if (!lf_openParkingReader())
        return false;
    const std::string identText(ident), regionText(region);
    if (gf_simConnect().RequestFacilityData(g_reader.handle, DEFINITION_FACILITY_PARKING, REQUEST_FACILITY_PARKING,
                                            identText.c_str(), regionText.c_str()) < 0) {
        gf_logError(fmt::format("RequestFacilityData failed for {} (airport {})", ident, airportCode));
        // A refused request means a connection that can no longer serve (the
        // simulator went away): the next read opens a new one.
        gf_closeParkingReader();
        return false;
    }
    StandReadContext context;
    context.airportCode = std::string(airportCode);
    const WaitEnd end = lf_waitForFacilityData(
        &lf_onParkingDispatch, &context, context.done, g_standsWaitNs.load(),
        fmt::format("SimConnect_CallDispatch failed for {}: 0x{{:08X}}", airportCode),
        fmt::format("Facility data request timed out for {}", airportCode));
    if (end == WaitEnd::Failed || context.failed) {
        context.done = context.failed = true;
        gf_closeParkingReader();
        return false;
    }
    helipadCount = lf_finishStandRead(context, airport);
    return true;
}

std::optional<FacilityRunways> gf_readFacilityRunways(std::string_view icao)
{
    if (!lf_openParkingReader())
        return std::nullopt;
    if (!g_reader.runwayDefinitionAdded) {
        if (!lf_addFacilityDefinition(DEFINITION_FACILITY_RUNWAYS, kRunwayFields)) {
            gf_logError("RUNWAY_HEADING: facility definition initialization failed");
            // The fields added before the refused one stay in the definition;
            // adding them all again would double them. The next read opens
            // the connection afresh.
            gf_closeParkingReader();
            return std::nullopt;
        }
        g_reader.runwayDefinitionAdded = true;
    }
    const std::string icaoText(icao);
    const ScHresult hr = gf_simConnect().RequestFacilityData(g_reader.handle, DEFINITION_FACILITY_RUNWAYS,
                                                             REQUEST_FACILITY_RUNWAYS, icaoText.c_str(), "");
    if (hr < 0) {
        gf_logError(fmt::format("RUNWAY_HEADING: RequestFacilityData for {} failed: 0x{:08X}", icao,
                                static_cast<uint32_t>(hr)));
        gf_closeParkingReader();
        return std::nullopt;
    }
    RunwayReadContext context;
    const WaitEnd end = lf_waitForFacilityData(
        &lf_onRunwayDispatch, &context, context.done, g_runwaysWaitNs.load(),
        fmt::format("RUNWAY_HEADING: SimConnect_CallDispatch failed for {}: 0x{{:08X}}", icao),
        fmt::format("RUNWAY_HEADING: facility data request timed out for {}", icao));
    if (end == WaitEnd::Failed || context.failed) {
        // Late records of this request must not reach the next read: the
        // connection goes, and the next read opens it afresh.
        gf_closeParkingReader();
        return std::nullopt;
    }
    return lf_finishRunwayRead(icao, context);
}

void gf_setFacilityWaitsForTest(int64_t standsNs, int64_t runwaysNs)
{
    g_standsWaitNs.store(standsNs > 0 ? standsNs : kStandsWaitNs);
    g_runwaysWaitNs.store(runwaysNs > 0 ? runwaysNs : kRunwaysWaitNs);
}
