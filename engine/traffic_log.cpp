#include "engine/traffic_log.h"

#include <atomic>
#include <exception>

#include <fmt/format.h>

#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/ui_sink.h"
#include "engine/aircraft.h"
#include "liveries/model_database.h"

namespace {
std::atomic<uint32_t> exceptionReports{0};
} // namespace

void gf_reportTrafficException(const char* function) noexcept
{
    const uint32_t old = exceptionReports.fetch_add(1);
    if (old >= 20)
        return;
    try {
        std::string text = "unknown exception";
        if (const std::exception_ptr current = std::current_exception()) {
            try {
                std::rethrow_exception(current);
            } catch (const std::exception& e) {
                text = e.what();
            } catch (...) {
                text = "non-standard exception";
            }
        }
        const char* suffix = old == 19 ? " (further traffic exceptions will be suppressed)" : "";
        gf_logError(fmt::format("Traffic exception in {}: {}{}", function, text, suffix));
    } catch (...) {
        // The reporter never throws.
    }
}

uint32_t gf_trafficExceptionCount()
{
    return exceptionReports.load();
}

void lf_flightMessage(const std::string& text)
{
    if (gf_parametersSnapshot()->FLIGHT_MESSAGES)
        gf_uiSink().showMessage(text, true);
    else
        gf_logLine(text);
}

std::string lf_airlineText(const AircraftBase& aircraft)
{
    std::string text = gf_airlineCodeText(aircraft.identity.ids.airline);
    const std::string oper = gf_airlineCodeText(aircraft.identity.ids.oper);
    if (!oper.empty())
        text += fmt::format(",{}", oper);
    return text;
}
