// The RT Direct weather reader.
#include "feed/rt_api_weather_reader.h"

#include <chrono>
#include <cmath>
#include <numbers>

#include <fmt/format.h>

#include "core/geodesy.h"
#include "core/gui_senders.h"
#include "core/log.h"
#include "core/stop_request.h"
#include "core/units.h"
#include "simlink/user_aircraft.h"
#include "feed/qnh.h"
#include "feed/rt_api_decoding.h"
#include "feed/rt_api_session.h"
#include "feed/rt_api_traffic_reader.h"

namespace {

constexpr RTAPIRequestOptions kMetarOptions{10, 30, false, false};

int64_t lf_steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void lf_setQnhState(uint32_t state)
{
    gf_postGuiUpdate(GuiUpdate::QnhState{state});
}

// A failed request is logged once while it fails the same way: a server
// that keeps failing and asks for a short wait fills no log.
void lf_logFailure(RTAPIWeatherReader& w, std::string line)
{
    if (line == w.lastFailureLine)
        return;
    gf_logError(line);
    w.lastFailureLine = std::move(line);
}

} // namespace

RTAPIWeatherReader& gf_rtApiWeatherReader()
{
    static RTAPIWeatherReader reader;
    return reader;
}

void RTAPIWeatherReader::resetForRestart()
{
    reset();
    transport.resetHandle();
    lastToffset = 0;
    lastQnh = 0;
    lastLat = lastLon = 0.0;
    lastTime = 0;
    lastSuccessTime = 0;
    lastFailureLine.clear();
}

bool lf_requestNearestMetar(int32_t& status)
{
    RTAPIWeatherReader& w = gf_rtApiWeatherReader();
    status = 0;
    const RTAPISessionPtr session = w.session->current();
    if (!session) {
        status = 401;
        return false;
    }
    const auto user = gf_publishedUserAcPosition();
    const double lat = user->latitude;
    const double lon = user->longitude;
    const uint32_t toffset = w.toffset.load();
    const int64_t now = lf_steadyNowNs();

    if (w.lastQnh != 0 && (std::fabs(w.lastLat) > 0.0001 || std::fabs(w.lastLon) > 0.0001) &&
        toffset == w.lastToffset && now - w.lastTime < 60'000'000'000LL) {
        if (gf_flatOffsetNmOfDegrees(w.lastLat - lat, w.lastLon - lon, gf_cosLatitude(w.lastLat)).squared() <= 100.0)
            return true;
    }

    const std::string body = fmt::format("GUID={}&toffset={}&lat={:.4F}&lon={:.4F}", w.transport.escape(session->guid),
                                         toffset, lat, lon);
    auto answer = gf_postRTAPIRequest(w.transport, "/v6/nearestmetar", body, kMetarOptions, &w.stopFlag,
                                      "nearest metar", g_noLimitSpec);
    if (!w.stopFlag) {
        const RTAPISessionPtr current = w.session->current();
        if (!current || current->generation != session->generation) {
            status = 401;
            gf_logError(fmt::format("nearest metar failed: API status=401, HTTP status=n/a, auth server='{}', "
                                    "message='RT API session changed while the request was active'",
                                    session->server));
            return false;
        }
    }
    w.lastRetryAfterS = 0;
    if (auto* failure = std::get_if<RTAPIFailure>(&answer)) {
        if (failure->kind == RTAPIFailureHttp && failure->httpStatus >= 1 && failure->httpStatus <= 2147483647u)
            status = static_cast<int32_t>(failure->httpStatus);
        w.lastRetryAfterS = failure->retryAfterS;
        if (failure->kind == RTAPIFailureHttp && gf_isPassingServerError(status)) {
            // Logged by the loop, once for the whole spell.
            w.lastServerError = fmt::format("{}: {}", gf_rtApiFailureKindText(failure->kind), failure->message);
            return false;
        }
        // Whatever the server said, it answered.
        if (failure->kind != RTAPIFailureTransport)
            w.serverAnswered("nearest metar");
        if (!w.stopFlag)
            lf_logFailure(w, fmt::format("{} failed: kind={}, API status=n/a, HTTP status={}, auth server='{}', "
                                         "message='{}'",
                                         failure->context, gf_rtApiFailureKindText(failure->kind),
                                         failure->httpStatus, session->server, failure->message));
        return false;
    }
    const RTAPIReply& reply = std::get<RTAPIReply>(answer);
    w.lastRetryAfterS = reply.retryAfterS;
    if (const int32_t passing = gf_passingServerStatus(reply.apiStatus, reply.httpStatus); passing != 0) {
        status = passing;
        w.lastServerError =
            fmt::format("API status {}, HTTP status {}: {}", reply.apiStatus, reply.httpStatus, reply.message);
        return false;
    }
    // Any other reply ends a spell, whether or not it brings a QNH.
    w.serverAnswered("nearest metar");
    if (reply.apiStatus != 200) {
        status = gf_readerEndStatus(reply.apiStatus);
        lf_logFailure(w, fmt::format("nearest metar failed: API status={}, HTTP status={}, auth server='{}', "
                                     "message='{}'",
                                     reply.apiStatus, reply.httpStatus, session->server, reply.message));
        return false;
    }
    auto metars = gf_parseNearestMetar(reply.data);
    if (auto* error = std::get_if<MetarListError>(&metars)) {
        gf_logError(fmt::format("{}: {}", error->context, error->message));
        return false;
    }
    for (const std::string& metar : std::get<std::vector<std::string>>(metars)) {
        auto qnh = gf_qnhFromMetar(metar);
        if (auto* error = std::get_if<QnhParseError>(&qnh)) {
            gf_logError(fmt::format("nearest metar: {} in {}", error->message, metar));
            continue;
        }
        const int32_t value = std::get<int32_t>(qnh);
        w.lastFailureLine.clear();
        w.lastLat = lat;
        w.lastLon = lon;
        w.lastTime = now;
        w.lastSuccessTime = now;
        w.lastToffset = toffset;
        if (value != w.lastQnh) {
            w.lastQnh = value;
            gf_rtApiTrafficReader().qnh = value;
            CurrentQnh = value;
            gf_postGuiUpdate(GuiUpdate::QnhValue{static_cast<uint32_t>(value)});
        }
        return true;
    }
    gf_logError("nearest metar: no METAR contains a valid QNH code");
    return false;
}

bool lf_RTAPIWeatherLoop(int32_t& status)
{
    RTAPIWeatherReader& w = gf_rtApiWeatherReader();
    if (!w.session->current()) {
        status = 401;
        return false;
    }
    bool retried = false;
    for (;;) {
        if (w.stopFlag) {
            status = 9999;
            return false;
        }
        try {
            const bool ok = lf_requestNearestMetar(status);
            if (ok) {
                retried = false;
                w.sleepMs(w.secondIntervalMs);
            } else if (gf_isPassingServerError(status)) {
                const auto wait = w.serverErrorWait(status, w.lastRetryAfterS, "nearest metar", w.lastServerError);
                if (!wait)
                    break;
                w.sleepMs(*wait);
            } else if (status == 401) {
                if (retried)
                    break;
                retried = true;
                w.transport.resetHandle();
                status = 0;
                gf_logError("nearest metar returned 401, retrying once with a new connection");
            } else {
                // Whatever else went wrong (no answer, a gateway's page, a
                // status of its own), the QNH only corrects altitudes: the
                // last one stays and the traffic goes on; ask again later.
                w.sleepMs(gf_retryAfterWaitMs(w.lastRetryAfterS, w.failureWaitMs));
            }
        } catch (const std::exception& e) {
            gf_logError(fmt::format("{}: {}\n", "receive", e.what()));
            w.sleepMs(w.failureWaitMs);
        }
    }
    if (w.stopFlag)
        status = 9999;
    return false;
}

void gf_RTAPIWeatherReader()
{
    int32_t status = 0;
    bool handled = false;
    RTAPIReaderExit guard{"Weather RTAPIreader", [] { lf_setQnhState(GuiReaderState::Stopped); },
                          gf_rtApiTrafficReader(), status, handled, &gf_rtApiWeatherReader()};

    guard.run("gf_RTAPIWeatherReader", [&] {
        gf_logContinuation(fmt::format("{} connected", "Weather RTAPIreader"));
        lf_setQnhState(GuiReaderState::Fresh);
        if (lf_RTAPIWeatherLoop(status))
            return;
        lf_setQnhState(GuiReaderState::Stopped);
        gf_logRTAPIReaderEnd("Weather", status);
    });
}
