#include "airports/airport_ui.h"

#include <atomic>

#include "core/ui_sink.h"

namespace {
AirportUi g_logOnly;
std::atomic<AirportUi*> g_ui{nullptr};
} // namespace

void AirportUi::showMessage(std::string text, bool log)
{
    gf_uiSink().showMessage(std::move(text), log);
}

AirportUi* gf_setAirportUi(AirportUi* ui) noexcept
{
    return g_ui.exchange(ui);
}

AirportUi& gf_airportUi() noexcept
{
    AirportUi* ui = g_ui.load();
    return ui ? *ui : g_logOnly;
}
