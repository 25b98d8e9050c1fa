// Least bodies until the simulator link, the feed, the update check and the
// window's panel work arrive: nothing connects, nothing is received.
#include "app/pending_services.h"

#include "app/gui.h"
#include "app/stop_request.h"

SimLinkState& gf_simLinkState()
{
    static SimLinkState state;
    return state;
}

void SimClient(std::stop_token) {}
void gf_resetSimClientState() {}
void gf_clearSimClientState() {}
void gf_queueSimDataRequest(uint32_t, uint32_t) {}
UserAcPosition gf_getUserAcPosition()
{
    return {};
}
void gf_clearPositionBuffers() {}
std::optional<std::filesystem::path> gf_flightPlanFolder()
{
    return std::nullopt;
}
bool gf_ensureFlightPlanFolder(const std::filesystem::path&)
{
    return false;
}
void gf_removeFlightPlanFolder() {}
void gf_setNavLights(uint32_t, bool) {}

bool startListening(const std::string&)
{
    return false;
}
bool gf_runRTAppSession()
{
    return false;
}
void gf_sendQs123Line(int64_t) {}
void gf_sendUserStateToRTApp() {}
void closeSockets() {}
void gf_weatherReader() {}
void gf_trafficReader() {}
void gf_stopRTAppReaders() {}
void gf_resetRTAppReaders() {}
bool gf_rtAppBufferDone()
{
    return false;
}
bool gf_rtAppParkedReceived()
{
    return false;
}
bool gf_rtAppTrafficMovedSinceLastCheck()
{
    return false;
}
int64_t gf_rtAppLastWeatherNs()
{
    return 0;
}
void gf_setRTAppUserPosition(double, double) {}
void gf_requestRTAppParkedTraffic() {}

// No update check is made: nothing new is found.
bool gf_checkForUpdates()
{
    return true;
}

void lf_fillSettingsPanel() {}
void lf_initTimeShiftControls() {}
void gf_enableTimeShiftControls(bool) {}
void lf_clearKeepSimTimePar() {}
void gf_disableParkingControls() {}
void gf_enableParkingControls() {}
void lf_applyTimeShift(int32_t, bool, bool) {}
void lf_followSimTime() {}
bool firstSimTimeAfterStart = true;
std::atomic<int64_t> lastSimTime{0};
void lf_setDestination(const std::string&, const LatLon&) {}
void lf_triggerStaticParkingUpdate() {}

void gf_fatalError(const std::string& text)
{
    Gui::showError(text);
    gf_requestStop(8, 0);
}

std::optional<std::filesystem::path> gf_pickFolder(HWND__*, const std::filesystem::path&)
{
    return std::nullopt;
}
