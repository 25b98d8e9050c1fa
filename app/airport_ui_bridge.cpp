#include "app/airport_ui_bridge.h"

#include "airports/airport_ui.h"
#include "app/gui_jobs.h"
#include "app/settings_panel.h"
#include "app/user_requests.h"
#include "core/settings.h"

namespace {

class WindowAirportUi final : public AirportUi {
public:
    void disableParkingControls() override { gf_disableParkingControls(); }
    void updateParkingControls() override { gf_updateParkingControls(); }
    void enableFlushButton(bool enabled) override { gf_enableControl(FLUSH_BUTTON, enabled); }
    void enableParkingPercentage(bool enabled) override { gf_enableControl(parking_percentage, enabled); }
    void enableMaxFitFl(bool enabled) override { gf_enableControl(MAX_FIT_FL, enabled); }
    void enableParkingControls() override { gf_enableParkingControls(); }
    void setParkingBusy() override { parkingInProgress.store(true); }
    void enableParkButton(bool enabled) override { gf_enableControl(PARK_BUTTON, enabled); }
    void restartParkingCountdown() override { gf_restartParkingCountdown(); }
    void enableTbloButton(bool enabled) override { gf_enableControl(TBLO_BUTTON, enabled); }
    void enableSkipAirportScan(bool enabled) override { gf_enableControl(SKIP_AIRPORT_SCAN, enabled); }
};

WindowAirportUi g_windowAirportUi;

} // namespace

void gf_registerAirportUi()
{
    gf_setAirportUi(&g_windowAirportUi);
}
