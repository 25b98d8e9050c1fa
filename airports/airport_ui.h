// What the airport code shows in the main window, without knowing the window:
// the application shell registers its implementation at start-up; until then
// (and in tests that register a recording one) messages go to the log only and
// the other changes are dropped.
#pragma once

#include <cstdint>
#include <string>

#include "core/value_types.h"

class AirportUi {
public:
    virtual ~AirportUi() = default;
    // The timed message line; logged when `log` is set.
    virtual void showMessage(std::string text, bool log);
    virtual void setStandCount(uint64_t) {}
    virtual void setQualityFactor(std::string) {}
    // The airport code in the airport band; an unset code clears it.
    virtual void setAirportCode(IcaoCode) {}
    virtual void setAirportPublisher(std::string, bool /*handmade*/) {}
    virtual void repaintAirportPanel() {}
    // The eleven parking controls while parking is being generated.
    virtual void disableParkingControls() {}
    // The enabling rules of the parking controls (both rules).
    virtual void updateParkingControls() {}
    // Enables or disables one of the "Flush" button, the parking_percentage
    // combo box and the MAX_FIT_FL combo box.
    virtual void enableFlushButton(bool) {}
    virtual void enableParkingPercentage(bool) {}
    virtual void enableMaxFitFl(bool) {}
};

// Makes `ui` the one gf_airportUi answers; null restores the log-only one.
// Returns the one registered before.
AirportUi* gf_setAirportUi(AirportUi* ui) noexcept;
AirportUi& gf_airportUi() noexcept;
