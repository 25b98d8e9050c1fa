// The parking controls of the main window that the airport code enables and
// disables, without knowing the window: the application shell registers its
// implementation at start-up; until then (and in tests that register a
// recording one) the changes are dropped. Window updates and messages go
// through the core senders (core/gui_senders.h).
#pragma once

class AirportUi {
public:
    virtual ~AirportUi() = default;
    // The eleven parking controls while parking is being generated.
    virtual void disableParkingControls() {}
    // The enabling rules of the parking controls (both rules).
    virtual void updateParkingControls() {}
    // Enables or disables the "Flush" button, the parking_percentage combo
    // box, the MAX_FIT_FL combo box.
    virtual void enableFlushButton(bool) {}
    virtual void enableParkingPercentage(bool) {}
    virtual void enableMaxFitFl(bool) {}
    // The parking controls on again once a parking build found nothing, or
    // after a failed load of an airport's parking.
    virtual void enableParkingControls() {}
    // A parking build placed aircraft: busy until the plan is worked off.
    virtual void setParkingBusy() {}
    // The "Park" button.
    virtual void enableParkButton(bool) {}
    // The parking-update countdown starts again from PARKING_INTERVAL_MINUTES.
    virtual void restartParkingCountdown() {}
    // The "Tblo" button and the SKIP_AIRPORT_SCAN check box (the airport scan).
    virtual void enableTbloButton(bool) {}
    virtual void enableSkipAirportScan(bool) {}
};

// Makes `ui` the one gf_airportUi answers; null restores the inert one.
// Returns the one registered before.
AirportUi* gf_setAirportUi(AirportUi* ui) noexcept;
AirportUi& gf_airportUi() noexcept;
