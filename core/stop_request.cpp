// The one stop request of a run and the exit flag.
#include "core/stop_request.h"

#include <atomic>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/gui_senders.h"
#include "core/log.h"
#include "core/settings_snapshot.h"

namespace {

std::atomic<StopRequestPtr> g_stopRequest;
std::atomic<bool> g_exitFlag{false};
std::atomic<void (*)()> g_rtAppSocketCloser{nullptr};

constexpr std::string_view kStopCodeTexts[] = {
    "NOT YET SET",      "SIM WAS CLOSED",       "NEW FLIGHT",   "NEW SETTINGS",
    "USER CLOSED SIM",  "INSTALL PATH MISSING", "SIMCONNECT ERROR", "READER ERROR",
    "SYSTEM ERROR",     "NEW VERSION",          "TRAFFIC MAILBOX STALLED",
};

} // namespace

bool gf_compareExchangeStopRequest(StopRequestPtr& expected, StopRequestPtr desired)
{
    return g_stopRequest.compare_exchange_strong(expected, std::move(desired));
}

void gf_requestStop(uint32_t code, uint32_t arg)
{
    StopRequestPtr expected;
    gf_compareExchangeStopRequest(expected, std::make_shared<const StopRequest>(StopRequest{code, arg}));
    if (code == 4) {
        g_exitFlag.store(true);
        // A blocked accept or receive of the RT App link ends once its
        // sockets are closed.
        if (!gf_isRTDirect()) {
            if (auto closer = g_rtAppSocketCloser.load())
                closer();
        }
    }
}

bool gf_keepRunning()
{
    return !g_exitFlag.load() && !g_stopRequest.load();
}

StopRequestPtr gf_currentStopRequest()
{
    return g_stopRequest.load();
}

void gf_clearStopRequest()
{
    g_stopRequest.store(nullptr);
}

bool gf_exitRequested()
{
    return g_exitFlag.load();
}

std::string_view gf_stopCodeText(uint32_t code)
{
    return code < std::size(kStopCodeTexts) ? kStopCodeTexts[code] : std::string_view("UNKNOWN");
}

bool gf_stopCodeRestarts(uint32_t code)
{
    return code == 2 || code == 3 || code == 6 || code == 7;
}

void gf_reportReaderStopped(std::string_view readerName, bool restartable, int status)
{
    if (status == 402)
        gf_showMessage("Your RealTraffic license has expired (error 402). Check your license and API token.", true);
    else
        gf_showMessage(fmt::format("The {} has stopped with an error", readerName), true);
    if (restartable)
        gf_requestStop(7, 15);
    else
        gf_requestStop(8, 15);
}

void gf_reportReaderError(std::string_view readerName, std::string_view errorText)
{
    gf_showMessage(fmt::format("The {} has stopped with error: {}", readerName, errorText), true);
    gf_requestStop(7, 15);
}

void gf_simulatorLost()
{
    if (!gf_keepRunning())
        return;
    gf_logLine(fmt::format("{} Flight Simulator no longer connected, {} will stop ...", gf_utcTimeText(), "Kelo"));
    gf_requestStop(1, 0);
}

void gf_requestRestartAfterFlightChange()
{
    gf_requestStop(2, 60);
}

void gf_setRTAppSocketCloser(void (*closer)())
{
    g_rtAppSocketCloser.store(closer);
}
