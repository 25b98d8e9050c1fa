// The shared head of the RT Direct readers.
#include "feed/rt_api_reader.h"

#include <algorithm>
#include <chrono>

#include <fmt/format.h>

#include "core/gui_senders.h"
#include "core/log.h"
#include "core/stop_request.h"

#include "feed/rt_api_session.h"

RTAPIreader::RTAPIreader() : session(&gf_rtApiSession()) {}

void RTAPIreader::sleepMs(uint32_t ms)
{
    if (ms < 1)
        return;
    auto waitFor = [this](uint32_t part) {
        std::unique_lock lock(sleepMutex);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(part);
        return sleepCv.wait_until(lock, deadline, [this] { return stopFlag.load(); });
    };
    for (int i = 0; i < 4; ++i) {
        if (stopFlag.load())
            return;
        if (waitFor(ms / 4))
            return;
    }
    if (ms % 4 != 0 && !stopFlag.load())
        waitFor(ms % 4);
}

void RTAPIreader::requestStop()
{
    {
        std::lock_guard lock(sleepMutex);
        stopFlag = true;
    }
    sleepCv.notify_all();
}

void RTAPIreader::reset()
{
    session->clear();
    session->transport.resetHandle();
    stopFlag = false;
    toffset = 0;
    clearSpell();
    lastRetryAfterS = 0;
    lastServerError.clear();
}

bool gf_isPassingServerError(int64_t status)
{
    return status == 429 || status == 500 || status == 502 || status == 503;
}

int32_t gf_passingServerStatus(int32_t apiStatus, int32_t httpStatus)
{
    if (gf_isPassingServerError(apiStatus))
        return apiStatus;
    if (apiStatus != 200 && apiStatus != 406 && gf_isPassingServerError(httpStatus))
        return httpStatus;
    return 0;
}

uint32_t gf_retryAfterWaitMs(uint32_t retryAfterS, uint32_t otherwiseMs)
{
    return retryAfterS > 0 ? std::clamp<uint32_t>(retryAfterS, 1, 600) * 1000 : otherwiseMs;
}

void RTAPIServerSpell::clearSpell()
{
    outageSince.reset();
    outageStatus = 0;
    gaveOut = false;
}

std::optional<uint32_t> RTAPIServerSpell::serverErrorWait(int32_t status, uint32_t retryAfterS,
                                                          std::string_view context, std::string_view detail)
{
    const auto now = outageNow();
    if (!outageSince)
        outageSince = now;
    const auto lasted = now - *outageSince;
    if (lasted >= serverOutageLimit && giveUpAfterOutage) {
        gaveOut = true;
        gf_logError(fmt::format("{}: the RealTraffic service has been unavailable for {} minutes ({}); giving up",
                                context, std::chrono::duration_cast<std::chrono::minutes>(lasted).count(), detail));
        return std::nullopt;
    }
    const uint32_t waitMs = gf_retryAfterWaitMs(retryAfterS, serverErrorWaitMs);
    if (status != outageStatus)
        gf_logError(fmt::format("{}: the RealTraffic service is unavailable for now ({}); asking again in {} s",
                                context, detail, (waitMs + 999) / 1000));
    outageStatus = status;
    return waitMs;
}

void RTAPIServerSpell::serverAnswered(std::string_view context)
{
    if (!outageSince)
        return;
    const auto lasted = outageNow() - *outageSince;
    gf_logLine(fmt::format("{}: the RealTraffic service answers again after {} s", context,
                           std::chrono::duration_cast<std::chrono::seconds>(lasted).count()));
    outageSince.reset();
    outageStatus = 0;
}

void gf_reportServiceUnavailable(std::string_view problem, std::chrono::milliseconds limit)
{
    gf_showMessage(fmt::format("The RealTraffic service is unavailable ({} for {} minutes); try again later",
                               problem, std::chrono::duration_cast<std::chrono::minutes>(limit).count()),
                   true);
    gf_requestStop(8, 15);
}

int32_t gf_readerEndStatus(int32_t apiStatus)
{
    return apiStatus == 9999 ? 100 : apiStatus;
}

void gf_logRTAPIReaderEnd(std::string_view kind, int status)
{
    switch (status) {
    case 9999:
        break;
    case 401:
        gf_logError(fmt::format("re-authentication to RT API is needed, restart {}", "Kelo"));
        break;
    case 400:
        gf_logError(fmt::format("{} RT API: parameter fault", kind));
        break;
    case 403:
        gf_logError(fmt::format("{} RT API: No data for this license type", kind));
        break;
    default:
        gf_logError(fmt::format("{} RT API error: {}", kind, status));
        break;
    }
}

void RTAPIReaderExit::run(const char* where, const std::function<void()>& work)
{
    try {
        work();
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", where, e.what()));
        gf_reportReaderStopped(readerName, false, 0);
        handled = true;
    } catch (...) {
        gf_reportReaderStopped(readerName, false, 0);
        handled = true;
    }
}

RTAPIReaderExit::~RTAPIReaderExit()
{
    try {
        setStopped();
        if (status != 9999) {
            other.requestStop();
            if (!handled && self && self->serverGaveOut())
                gf_reportServiceUnavailable(fmt::format("error {}", status), self->serverOutageLimit);
            else if (!handled)
                gf_reportReaderStopped(readerName, status == 401, status);
        }
    } catch (...) {
    }
}
