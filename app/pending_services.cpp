// Least bodies until the window's panel, time-shift and picker work arrive.
#include "app/pending_services.h"

#include "app/gui.h"
#include "app/stop_request.h"

void lf_fillSettingsPanel() {}
void lf_initTimeShiftControls() {}
void gf_enableTimeShiftControls(bool) {}
void lf_clearKeepSimTimePar() {}
void gf_disableParkingControls() {}
void gf_enableParkingControls() {}
void lf_applyTimeShift(int32_t, bool, bool) {}
void lf_followSimTime() {}
std::atomic<bool> firstSimTimeAfterStart{true};
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
