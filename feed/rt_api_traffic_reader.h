// The "Traffic RTAPIreader" thread: buffered, live and parked traffic from
// the web API at /v6/traffic, decoded and handed to the main task through the
// traffic mailbox. The query box follows the user aircraft.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>

#include "feed/rt_api_decoding.h"
#include "feed/rt_api_reader.h"
#include "feed/rt_api_transport.h"

// The main task's side of a parked query.
enum class ParkedQueryWait : uint8_t {
    None,      // nothing asked, or the outcome was taken
    Waiting,   // asked; the reader has not answered yet
    Answered,  // the reader set parkedStatus
    Abandoned, // timed out, or the program stops
};

// A query box in degrees.
struct RTAPIQueryBox {
    double top = 52.44;
    double bottom = 52.17;
    double left = 4.54;
    double right = 4.98;
};

class RTAPITrafficReader : public RTAPIreader {
public:
    RTAPITrafficReader();

    // Before a restart: everything back to the start state.
    void resetForRestart();

    // Guarded by boxMutex.
    RTAPIQueryBox box;
    RTAPIQueryBox parkedBox;
    double userLat = 0.0;
    double userLon = 0.0;
    double lastCentreLat = 0.0;
    double lastCentreLon = 0.0;
    double cosUserLat = 0.0;
    double lastRangeNm = -1.0;
    std::optional<double> airportAltitude; // feet
    std::mutex boxMutex;

    RTAPITransport liveTransport{16384};
    RTAPITransport parkedTransport{16384};
    TrafficBatch batch;

    // -1 waiting, 0 done, 1 failed, other = the API status of the last parked query.
    std::atomic<int32_t> parkedStatus{-1};
    std::atomic<bool> parkedPending{false};
    // The buffer phase is over (set before the wait that follows it, which may
    // outlast the start-up's wait for it); cleared when polling ends.
    std::atomic<bool> liveRunning{false};
    std::atomic<uint64_t> recordCount{0};
    std::atomic<int32_t> qnh{0};

    // Main task only: the parked query it waits for and when it was asked.
    ParkedQueryWait parkedWait = ParkedQueryWait::None;
    std::chrono::steady_clock::time_point parkedAskedAt{};
    // The clock of that wait's time-out; tests replace it.
    std::chrono::steady_clock::time_point (*parkedNow)() = &std::chrono::steady_clock::now;
};

// The program's one traffic reader.
RTAPITrafficReader& gf_rtApiTrafficReader();

// Thread body.
void gf_RTAPITrafficReader();
// Buffer, then live polling; returns false with the reason in `status` (9999 = stopped).
bool lf_RTAPITrafficLoop(int32_t& status);
bool lf_requestRTAPIBufferTraffic(int32_t& status);
// Main task, none of them waits. Asks the reader thread for the parked
// aircraft around the current airport (false: no airport, nothing asked).
bool gf_requestRTAPIParkedTraffic();
// True once the asked query is over: answered, timed out after 10 s (logged)
// or given up because the program stops; also when nothing was asked.
bool gf_RTAPIParkedTrafficSettled();
// The outcome of the settled query, taken once: true when the parked list is
// filled; logs or throws for the service's refusals.
bool gf_takeRTAPIParkedTraffic();
// Reader thread: one parked query.
void lf_postParkedTrafficQuery();
// Hands the decoded batch over (delay in seconds: 30 live, 0..24 buffered).
void lf_deliverRTDirectBatch(uint32_t delay);
// Empties the seen traffic and switches its collection on.
void lf_startRTDirectCollection();

// Main task: the user position, the query box and the airport altitude.
void gf_setRTDirectUserPosition(double lat, double lon);
void gf_updateRTDirectQueryBox();
void gf_setRTDirectAirportAltitude(std::optional<double> altitudeFt);
