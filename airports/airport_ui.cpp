#include "airports/airport_ui.h"

#include <atomic>

namespace {
AirportUi g_inert;
std::atomic<AirportUi*> g_ui{nullptr};
} // namespace

AirportUi* gf_setAirportUi(AirportUi* ui) noexcept
{
    return g_ui.exchange(ui);
}

AirportUi& gf_airportUi() noexcept
{
    AirportUi* ui = g_ui.load();
    return ui ? *ui : g_inert;
}
