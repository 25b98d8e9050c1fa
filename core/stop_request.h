// The one stop request of a run of the main task.
//
// Any thread may publish a StopRequest; only the first one of a run is kept
// and it alone decides whether the main task restarts or the program exits.
// Every waiting loop polls gf_keepRunning between its sleeps.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

struct StopRequest {
    uint32_t code = 0; // reason, see gf_stopCodeText
    uint32_t arg = 0;  // restart delay in seconds
};

using StopRequestPtr = std::shared_ptr<const StopRequest>;

// Compare-exchange of the published request. True when desired was stored;
// otherwise expected receives the current value.
bool gf_compareExchangeStopRequest(StopRequestPtr& expected, StopRequestPtr desired);

// Publishes {code, arg} unless a request is already published. Code 4 (the
// window was closed) also sets the exit flag and, in RT App mode, closes the
// RT App server's sockets so that a blocked accept or receive ends.
void gf_requestStop(uint32_t code, uint32_t arg);

// True while no request is published and the exit flag is clear.
bool gf_keepRunning();

// The published request; empty when there is none.
StopRequestPtr gf_currentStopRequest();

// Empties the published request (the restart re-initialisation).
void gf_clearStopRequest();

// The exit flag: set by a close request, never cleared within a process.
bool gf_exitRequested();

// The logged text of a stop code: "NOT YET SET", "SIM WAS CLOSED", ...
std::string_view gf_stopCodeText(uint32_t code);

// True for the codes that restart the main task (2, 3, 6 and 7).
bool gf_stopCodeRestarts(uint32_t code);

// A reader thread ended: shows and logs why, then publishes {7, 15} when a
// restart can help, else {8, 15}. Status 402 is an expired licence.
void gf_reportReaderStopped(std::string_view readerName, bool restartable, int status);

// A reader thread ended with an error: shows and logs it, then publishes {7, 15}.
void gf_reportReaderError(std::string_view readerName, std::string_view errorText);

// The simulator went away: logs it and publishes {1, 0} while still running.
void gf_simulatorLost();

// A flight was loaded, a new flight file opened or the user aircraft
// teleported: publishes {2, 60}.
void gf_requestRestartAfterFlightChange();

// The RT App link registers how to close its server's sockets (nullptr to
// forget it); a close request calls it in RT App mode.
void gf_setRTAppSocketCloser(void (*closer)());
