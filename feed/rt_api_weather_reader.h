// The "Weather RTAPIreader" thread: the QNH of the METAR nearest to the user
// aircraft, asked of the web API at /v6/nearestmetar.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "feed/rt_api_reader.h"
#include "feed/rt_api_transport.h"

class RTAPIWeatherReader : public RTAPIreader {
public:
    // The QNH is not worth ending the traffic for: a spell of server errors
    // however long only waits and asks again.
    RTAPIWeatherReader() { giveUpAfterOutage = false; }

    // Before a restart: the head, a fresh handle and no last METAR.
    void resetForRestart();

    RTAPITransport transport{16384};
    // The wait after a request that brought no QNH for any other reason
    // (unless its answer asked for another, Retry-After). Only a session the
    // service no longer knows (401, twice) ends the reader.
    uint32_t failureWaitMs = 30000;
    // The request that last gave a QNH.
    double lastLat = 0.0;
    double lastLon = 0.0;
    int64_t lastTime = 0; // steady-clock nanoseconds
    uint32_t lastToffset = 0;
    int32_t lastQnh = 1013;
    // The same moment as lastTime, for the periodic freshness check.
    std::atomic<int64_t> lastSuccessTime{0};
    // The failure last logged, until a QNH comes (the same one again is not).
    std::string lastFailureLine;
};

// The program's one weather reader.
RTAPIWeatherReader& gf_rtApiWeatherReader();

// Thread body.
void gf_RTAPIWeatherReader();
// The request loop; returns false with the reason in `status` (9999 = stopped).
bool lf_RTAPIWeatherLoop(int32_t& status);
// One request, or none while the last QNH is still good (true).
bool lf_requestNearestMetar(int32_t& status);
