// The simulator link, the RealTraffic feed, the update check and the window's
// settings-panel, time-shift and destination work, as the main task calls
// them, until each of them is part of the program. Every body here does the
// least: nothing is started, nothing is connected, nothing is found. Each
// declaration goes away when the real one arrives.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>

#include "core/value_types.h"
#include "simlink/user_aircraft.h"

struct HWND__;

// ---- Simulator link ----------------------------------------------------------

// What the simulator-link thread keeps for other threads to read.
struct SimLinkState {
    // 0 not connected, 1 connected and stopped, 2 running, 3 the simulator quit.
    std::atomic<uint8_t> connectionState{0};
    // The on-ground state has been reported (userOnGround holds it).
    std::atomic<bool> onGroundKnown{false};
    // Set on every user on-ground report (once per simulator second).
    std::atomic<bool> secondReport{false};
    // Title (1) and model (2) of the user aircraft have arrived.
    std::atomic<uint8_t> userAnswers{0};
    std::atomic<bool> zuluTimeValid{false};
    std::atomic<int64_t> simulatorUtcTime{0};
};
SimLinkState& gf_simLinkState();

// The simulator-link thread body.
void SimClient(std::stop_token stop);
void gf_resetSimClientState();
void gf_clearSimClientState();
// A data request for the simulator link: 1 title and model, 2 on-ground
// report every second, 3 position once.
void gf_queueSimDataRequest(uint32_t kind, uint32_t objectId);
UserAcPosition gf_getUserAcPosition();
// Clears both AI position maps and raises their generation.
void gf_clearPositionBuffers();
std::optional<std::filesystem::path> gf_flightPlanFolder();
bool gf_ensureFlightPlanFolder(const std::filesystem::path& folder);
void gf_removeFlightPlanFolder();
void gf_setNavLights(uint32_t objectId, bool on);

// ---- RealTraffic App link ------------------------------------------------------

bool startListening(const std::string& port);
bool gf_runRTAppSession();
void gf_sendQs123Line(int64_t simulatorUtcSeconds);
void gf_sendUserStateToRTApp();
void closeSockets();
void gf_weatherReader();
void gf_trafficReader();
// Sets the stop flags of the "QNH Reader" and the "Traffic Reader".
void gf_stopRTAppReaders();
// TrafficReader::reset and the QNH reader's fields.
void gf_resetRTAppReaders();
bool gf_rtAppBufferDone();
bool gf_rtAppParkedReceived();
// The traffic reader's datagram count against its last check; true when it moved.
bool gf_rtAppTrafficMovedSinceLastCheck();
// Steady-clock ns of the last weather; 0 when none has come.
int64_t gf_rtAppLastWeatherNs();
void gf_setRTAppUserPosition(double latitude, double longitude);
void gf_requestRTAppParkedTraffic();

// ---- Updates ------------------------------------------------------------------

bool gf_checkForUpdates();

// ---- The window's settings panel, time shift and destination ----------------

void lf_fillSettingsPanel();
void lf_initTimeShiftControls();
void gf_enableTimeShiftControls(bool enabled);
void lf_clearKeepSimTimePar();
void gf_disableParkingControls();
void gf_enableParkingControls();
void lf_applyTimeShift(int32_t minutes, bool noRestart, bool skipStore);
void lf_followSimTime();
extern bool firstSimTimeAfterStart;
extern std::atomic<int64_t> lastSimTime;
void lf_setDestination(const std::string& icaoText, const LatLon& position);
void lf_triggerStaticParkingUpdate();
// The sticky error line, then the stop request {8, 0}.
void gf_fatalError(const std::string& text);
// The folder picker; none when the user cancelled.
std::optional<std::filesystem::path> gf_pickFolder(HWND__* owner, const std::filesystem::path& initial);
