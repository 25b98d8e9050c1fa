// The RT Direct traffic reader.
#include "feed/rt_api_traffic_reader.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <numbers>
#include <shared_mutex>
#include <stdexcept>

#include <fmt/format.h>

#include "airports/airport_database.h"
#include "core/clock.h"
#include "core/geodesy.h"
#include "core/gui_senders.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/stop_request.h"
#include "core/units.h"
#include "simlink/user_aircraft.h"
#include "feed/qnh.h"
#include "feed/rt_api_session.h"
#include "feed/rt_api_weather_reader.h"
#include "feed/traffic_mailbox.h"

namespace {

constexpr RTAPIRequestOptions kTrafficOptions{10, 30, false, false};
constexpr RTAPIRequestOptions kParkedOptions{5, 9, true, false};
constexpr TrafficSource kSourceTag = TrafficSource::rtDirect;

// What a decode needs of the box state, copied under boxMutex before a request.
struct DecodeInputs {
    RTAPIQueryBox box;
    double userLat = 0.0;
    double userLon = 0.0;
    double cosUserLat = 0.0;
    std::optional<double> airportAltitude;
};

DecodeInputs lf_copyDecodeInputs(RTAPITrafficReader& r)
{
    std::lock_guard lock(r.boxMutex);
    return DecodeInputs{r.box, r.userLat, r.userLon, r.cosUserLat, r.airportAltitude};
}

std::string lf_boxBody(std::string_view guid, const RTAPIQueryBox& b, std::string_view querytype, uint32_t toffset)
{
    return fmt::format("GUID={}&top={:.2F}&bottom={:.2F}&left={:.2F}&right={:.2F}&querytype={}&toffset={}", guid,
                       b.top, b.bottom, b.left, b.right, querytype, toffset);
}

// A failed request, with the time it failed.
void lf_logFailure(const RTAPIFailure& failure)
{
    gf_logError(fmt::format("{} {} {}: {}", gf_utcDateTimeText(), failure.context,
                            gf_rtApiFailureKindText(failure.kind), failure.message));
}

// Decodes `data` into `batch` with the settings of this moment.
void lf_decodeInto(RTAPITrafficReader& r, const nlohmann::json& data, const DecodeInputs& in, bool collectSeen,
                   TrafficBatch& batch)
{
    const auto settings = gf_parametersSnapshot();
    TrafficConversionContext context;
    context.userLat = in.userLat;
    context.userLon = in.userLon;
    context.cosUserLat = in.cosUserLat;
    context.airportAltitude = in.airportAltitude;
    context.qnh = r.qnh.load();
    context.sourceTag = kSourceTag;
    context.settings = settings.get();
    gf_takeProgramState(context);
    context.collectSeen = collectSeen;
    context.groundSquawkCheck = true;
    context.earlySeen = false;
    gf_decodeRTAPITraffic(data, context, batch);
}

// The time a buffered slice shows: its newest record, else the newest time
// stamp it carried; none for a slice without either.
std::optional<double> lf_sliceTime(const TrafficBatch& slice)
{
    std::optional<double> newest;
    for (const LiveTrafficRecord& record : slice.records)
        if (!newest || record.timestamp > *newest)
            newest = record.timestamp;
    if (!newest && slice.latestTimestamp != 0)
        newest = static_cast<double>(slice.latestTimestamp);
    return newest;
}

// The order in which the five slices "buffer_0" .. "buffer_4" are played:
// by their own times, oldest first, whatever the order of their names. A
// slice without a time keeps the place its name has among newest-first
// names (buffer_i plays (4 - i)th).
std::array<size_t, 5> lf_slicePlayOrder(const std::array<std::optional<double>, 5>& times)
{
    std::array<std::optional<size_t>, 5> slot;
    for (size_t i = 0; i < 5; ++i)
        if (!times[i])
            slot[4 - i] = i;
    std::vector<size_t> timed;
    for (size_t i = 0; i < 5; ++i)
        if (times[i])
            timed.push_back(i);
    // Equal times: the newest-first names decide.
    std::stable_sort(timed.begin(), timed.end(), [&](size_t a, size_t b) {
        return *times[a] < *times[b] || (*times[a] == *times[b] && a > b);
    });
    size_t next = 0;
    std::array<size_t, 5> order{};
    for (size_t s = 0; s < 5; ++s)
        order[s] = slot[s] ? *slot[s] : timed[next++];
    return order;
}

void lf_setLiveTrafficState(uint32_t state)
{
    gf_postGuiUpdate(GuiUpdate::LiveTrafficState{state});
}

// The longitudes of the points `feet` west and east of a point.
std::pair<double, double> lf_westEast(double lat, double lon, double feet)
{
    const LatLon c{lat, lon};
    return {gf_destinationPoint(c, BearingDistance{-std::numbers::pi / 2, feet}).longitude,
            gf_destinationPoint(c, BearingDistance{std::numbers::pi / 2, feet}).longitude};
}

} // namespace

RTAPITrafficReader::RTAPITrafficReader()
{
    batch.records.reserve(384);
}

RTAPITrafficReader& gf_rtApiTrafficReader()
{
    static RTAPITrafficReader reader;
    return reader;
}

void RTAPITrafficReader::resetForRestart()
{
    reset();
    liveTransport.resetHandle();
    parkedTransport.resetHandle();
    latestTimestamp = 0;
    gf_trafficClockInputs().rtDirectLatestTimestamp = 0;
    gf_seenTrafficOf(kSourceTag).clear();
    {
        ParkedTrafficShare& share = gf_parkedTrafficOf(kSourceTag);
        std::lock_guard lock(share.mutex);
        share.list.clear();
    }
    batch.clear();
    recordCount = 0;
    qnh = 0;
    parkedStatus = -1;
    parkedPending = false;
    parkedWait = ParkedQueryWait::None;
    liveRunning = false;
    intervalMs = 2000;
    std::lock_guard lock(boxMutex);
    airportAltitude.reset();
    lastRangeNm = -1.0;
    lastCentreLat = lastCentreLon = 0.0;
    userLat = userLon = 0.0;
    cosUserLat = 0.0;
    box = RTAPIQueryBox{};
    parkedBox = RTAPIQueryBox{};
}

void gf_setRTDirectUserPosition(double lat, double lon)
{
    RTAPITrafficReader& r = gf_rtApiTrafficReader();
    std::lock_guard lock(r.boxMutex);
    r.userLat = lat;
    r.userLon = lon;
    r.cosUserLat = gf_cosLatitude(lat);
}

void gf_setRTDirectAirportAltitude(std::optional<double> altitudeFt)
{
    RTAPITrafficReader& r = gf_rtApiTrafficReader();
    std::lock_guard lock(r.boxMutex);
    r.airportAltitude = altitudeFt;
}

void gf_updateRTDirectQueryBox()
{
    const auto user = gf_publishedUserAcPosition();
    const double lat = user->latitude;
    const double lon = user->longitude;
    if (std::fabs(lat) <= 0.0001 && std::fabs(lon) <= 0.0001)
        return;
    const double rangeNm = gf_parametersSnapshot()->rangeNm;
    RTAPITrafficReader& r = gf_rtApiTrafficReader();
    std::lock_guard lock(r.boxMutex);
    r.userLat = lat;
    r.userLon = lon;
    r.cosUserLat = gf_cosLatitude(lat);
    if (std::fabs(lat - r.lastCentreLat) < 0.00015 && std::fabs(lon - r.lastCentreLon) < 0.00015 &&
        rangeNm == r.lastRangeNm)
        return;
    r.lastCentreLat = lat;
    r.lastCentreLon = lon;
    r.lastRangeNm = rangeNm;
    const double half = rangeNm * kKmPerNm / kKmPerDegreeLatitude;
    r.box.top = lat + half;
    r.box.bottom = lat - half;
    std::tie(r.box.left, r.box.right) = lf_westEast(lat, lon, rangeNm * kFeetPerNm);
}

void lf_startRTDirectCollection()
{
    gf_seenTrafficOf(kSourceTag).reset();
}

void lf_deliverRTDirectBatch(uint32_t delay)
{
    RTAPITrafficReader& r = gf_rtApiTrafficReader();
    if (r.batch.latestTimestamp != 0) {
        r.latestTimestamp = r.batch.latestTimestamp;
        gf_trafficClockInputs().rtDirectLatestTimestamp = r.batch.latestTimestamp;
    }
    SeenTrafficCollector& seen = gf_seenTrafficOf(kSourceTag);
    const SeenTraffic& found = r.batch.seen;
    if (seen.collecting() && !found.hexids.empty()) {
        // Every callsign came with a hexid of the same answer, so pairing it
        // with one of them adds nothing but the callsign.
        const uint32_t anyHexid = *found.hexids.begin();
        for (uint32_t hexid : found.hexids)
            seen.add(SeenTrafficEntry{std::string(), hexid});
        for (const std::string& callsign : found.callsigns)
            seen.add(SeenTrafficEntry{callsign, anyHexid});
    }
    r.recordCount += r.batch.records.size();
    gf_trafficMailbox().post(r.batch.records, delay, false);
}

bool lf_requestRTAPIBufferTraffic(int32_t& status)
{
    RTAPITrafficReader& r = gf_rtApiTrafficReader();
    const RTAPISessionPtr session = r.session->current();
    if (!session)
        return false;
    bool result = false;
    try {
        const DecodeInputs in = lf_copyDecodeInputs(r);
        const std::string body = lf_boxBody(r.liveTransport.escape(session->guid), in.box, "locationtraffic",
                                            r.toffset.load()) +
                                 fmt::format("&buffercount={}&buffertime={}", 5, 6);
        auto answer = gf_postRTAPIRequest(r.liveTransport, "/v6/traffic", body, kTrafficOptions, &r.stopFlag,
                                          "buffer traffic", g_rrlLimitSpec);
        if (auto* failure = std::get_if<RTAPIFailure>(&answer)) {
            if (!r.stopFlag)
                lf_logFailure(*failure);
        } else {
            RTAPIReply& reply = std::get<RTAPIReply>(answer);
            if (reply.apiStatus == 406) {
                status = 406;
                gf_logError(fmt::format("buffer traffic msg {}", reply.message));
            } else if (reply.apiStatus != 200) {
                status = reply.apiStatus;
            } else {
                r.intervalMs = static_cast<uint32_t>(reply.limitMs);
                lf_startRTDirectCollection();
                if (reply.data.is_object() && !reply.data.empty()) {
                    result = true;
                    std::array<TrafficBatch, 5> slices;
                    std::array<std::optional<double>, 5> times;
                    for (size_t i = 0; i < 5; ++i) {
                        const auto it = reply.data.find(fmt::format("buffer_{}", i));
                        if (it != reply.data.end() && it->is_object() && !it->empty())
                            lf_decodeInto(r, *it, in, true, slices[i]);
                        times[i] = lf_sliceTime(slices[i]);
                    }
                    const std::array<size_t, 5> order = lf_slicePlayOrder(times);
                    for (size_t played = 0; played < 5; ++played) {
                        std::swap(r.batch, slices[order[played]]);
                        lf_deliverRTDirectBatch(static_cast<uint32_t>(played * 6));
                    }
                }
            }
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "buffer", e.what()));
    }
    // The slices are handed over: the start-up may go on while the reader
    // keeps the server's pace, which may be longer than the start-up waits.
    r.liveRunning = true;
    r.sleepMs(r.intervalMs);
    if (r.stopFlag) {
        status = 9999;
        result = false;
    }
    return result;
}

void lf_postParkedTrafficQuery()
{
    RTAPITrafficReader& r = gf_rtApiTrafficReader();
    try {
        const RTAPISessionPtr session = r.session->current();
        if (!session) {
            r.parkedStatus = 1;
            return;
        }
        ParkedTrafficShare& share = gf_parkedTrafficOf(kSourceTag);
        {
            std::lock_guard lock(share.mutex);
            share.list.clear();
        }
        RTAPIQueryBox box;
        {
            std::lock_guard lock(r.boxMutex);
            box = r.parkedBox;
        }
        const std::string body =
            lf_boxBody(r.parkedTransport.escape(session->guid), box, "parkedtraffic", r.toffset.load());
        auto answer = gf_postRTAPIRequest(r.parkedTransport, "/v6/traffic", body, kParkedOptions, &r.stopFlag,
                                          "parkedtraffic", g_rrlLimitSpec);
        if (auto* failure = std::get_if<RTAPIFailure>(&answer)) {
            if (!r.stopFlag)
                lf_logFailure(*failure);
            r.parkedStatus = 1;
            return;
        }
        RTAPIReply& reply = std::get<RTAPIReply>(answer);
        if (reply.apiStatus == 200) {
            r.intervalMs = static_cast<uint32_t>(reply.limitMs);
            std::vector<ParkedTrafficRecord> list = gf_decodeRTAPIParkedTraffic(reply.data);
            {
                std::lock_guard lock(share.mutex);
                share.list.insert(share.list.end(), std::make_move_iterator(list.begin()),
                                  std::make_move_iterator(list.end()));
            }
            gf_logLine(fmt::format("{} RT parked traffic received", gf_utcTimeText()));
            gf_clearMessage();
            r.parkedStatus = 0;
        } else if (reply.apiStatus == 406) {
            gf_logError(fmt::format("parkedtraffic msg: {}", reply.message));
            r.parkedStatus = 0;
        } else {
            r.parkedStatus = reply.apiStatus;
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "parkedtraffic", e.what()));
        r.parkedStatus = 1;
    }
}

bool gf_requestRTAPIParkedTraffic()
{
    CurrentAirportRecord airport;
    {
        std::shared_lock lock(engineLock);
        airport = CurrentAirport;
    }
    RTAPITrafficReader& r = gf_rtApiTrafficReader();
    r.parkedWait = ParkedQueryWait::None;
    if (airport.code == 0 || !gf_isValidLatLon(LatLon{airport.latitude, airport.longitude}))
        return false;
    {
        std::lock_guard lock(r.boxMutex);
        r.parkedBox.top = airport.latitude + 0.04996402877697842;
        r.parkedBox.bottom = airport.latitude - 0.04996402877697842;
        std::tie(r.parkedBox.left, r.parkedBox.right) =
            lf_westEast(airport.latitude, airport.longitude, 18228.34647);
    }
    gf_showMessage(fmt::format("{} Requesting RT parked traffic ...", gf_utcTimeText()), true);
    r.parkedStatus = -1;
    // The reader sends the query once the service's interval since its
    // previous traffic query is over: the service refuses one sooner.
    r.parkedPending = true;
    r.parkedWait = ParkedQueryWait::Waiting;
    r.parkedAskedAt = r.parkedNow();
    return true;
}

bool gf_RTAPIParkedTrafficSettled()
{
    RTAPITrafficReader& r = gf_rtApiTrafficReader();
    if (r.parkedWait != ParkedQueryWait::Waiting)
        return true;
    if (r.parkedStatus.load() != -1) {
        r.parkedWait = ParkedQueryWait::Answered;
        return true;
    }
    // Once the program stops nobody may answer any more.
    if (!gf_keepRunning()) {
        r.parkedWait = ParkedQueryWait::Abandoned;
        return true;
    }
    if (r.parkedNow() - r.parkedAskedAt > std::chrono::seconds(10)) {
        gf_logLine("ParkedTraffic receiving timed out after 10 seconds");
        r.parkedWait = ParkedQueryWait::Abandoned;
        return true;
    }
    return false;
}

bool gf_takeRTAPIParkedTraffic()
{
    RTAPITrafficReader& r = gf_rtApiTrafficReader();
    const bool answered = gf_RTAPIParkedTrafficSettled() && r.parkedWait == ParkedQueryWait::Answered;
    r.parkedWait = ParkedQueryWait::None;
    if (!answered)
        return false;
    const int32_t status = r.parkedStatus.load();
    if (status <= 0)
        return true;
    switch (status) {
    case 1:
        return false;
    case 400:
        throw std::runtime_error("RT API parameter fault");
    case 403:
        throw std::runtime_error("No data for this license type");
    case 401:
        gf_logError(fmt::format("RT Parked: re-authentication to RT API is needed {}", "Kelo"));
        return false;
    default:
        gf_logError(fmt::format("RT Parked error status: {}", status));
        return false;
    }
}

bool lf_RTAPITrafficLoop(int32_t& status)
{
    RTAPITrafficReader& r = gf_rtApiTrafficReader();
    if (!r.session->current())
        return false;
    struct LiveEnd {
        RTAPITrafficReader& r;
        ~LiveEnd() { r.liveRunning = false; }
    } liveEnd{r};
    gf_showMessage(fmt::format("{} Requesting buffer traffic ...", gf_utcTimeText()), true);
    if (!lf_requestRTAPIBufferTraffic(status) && !r.stopFlag)
        gf_logError(fmt::format("buffer failed {}", status));
    gf_logLine(fmt::format("{} Requesting traffic received", gf_utcTimeText()));
    gf_clearMessage();
    if (r.stopFlag)
        return false;
    r.liveRunning = true;

    for (;;) {
        if (r.stopFlag)
            break;
        if (r.parkedPending.exchange(false)) {
            lf_postParkedTrafficQuery();
            r.sleepMs(r.intervalMs);
            continue;
        }
        const RTAPISessionPtr session = r.session->current();
        if (!session) {
            status = 401;
            break;
        }
        bool leave = false;
        std::optional<uint32_t> serverErrorWait;
        // A passing server error: wait and poll again, unless the spell has
        // lasted too long.
        auto passingError = [&](int32_t code, uint32_t retryAfterS, std::string_view context, std::string detail) {
            serverErrorWait = r.serverErrorWait(code, retryAfterS, context, detail);
            if (!serverErrorWait) {
                status = code;
                leave = true;
            }
        };
        try {
            const DecodeInputs in = lf_copyDecodeInputs(r);
            const std::string body =
                lf_boxBody(r.liveTransport.escape(session->guid), in.box, "locationtraffic", r.toffset.load());
            auto answer = gf_postRTAPIRequest(r.liveTransport, "/v6/traffic", body, kTrafficOptions, &r.stopFlag,
                                              "traffic receive", g_rrlLimitSpec);
            if (auto* failure = std::get_if<RTAPIFailure>(&answer)) {
                if (failure->kind == RTAPIFailureHttp && gf_isPassingServerError(failure->httpStatus)) {
                    passingError(static_cast<int32_t>(failure->httpStatus), failure->retryAfterS, failure->context,
                                 fmt::format("{}: {}", gf_rtApiFailureKindText(failure->kind), failure->message));
                } else {
                    if (!r.stopFlag)
                        gf_logError(fmt::format("{} {}: {}", failure->context,
                                                gf_rtApiFailureKindText(failure->kind), failure->message));
                    if (failure->kind != RTAPIFailureTransport)
                        r.serverAnswered(failure->context);
                }
            } else {
                RTAPIReply& reply = std::get<RTAPIReply>(answer);
                const RTAPISessionPtr now = r.session->current();
                const int32_t passing = gf_passingServerStatus(reply.apiStatus, reply.httpStatus);
                if (!now || now->generation != session->generation) {
                    status = 401;
                    leave = true;
                } else if (passing != 0) {
                    passingError(passing, reply.retryAfterS, "traffic receive",
                                 fmt::format("API status {}, HTTP status {}: {}", reply.apiStatus, reply.httpStatus,
                                             reply.message));
                } else {
                    r.serverAnswered("traffic receive");
                    if (reply.apiStatus == 200) {
                        r.intervalMs = static_cast<uint32_t>(reply.limitMs);
                        lf_decodeInto(r, reply.data, in, gf_seenTrafficOf(kSourceTag).collecting(), r.batch);
                        lf_deliverRTDirectBatch(30);
                    } else if (reply.apiStatus == 406) {
                        gf_logError(fmt::format("{} curl traffic msg: {}", gf_utcDateTimeText(), reply.message));
                    } else {
                        status = gf_readerEndStatus(reply.apiStatus);
                        leave = true;
                    }
                }
            }
        } catch (const std::exception& e) {
            gf_logError(fmt::format("{}: {}", "receive", e.what()));
        }
        if (leave)
            break;
        r.sleepMs(serverErrorWait ? *serverErrorWait : r.intervalMs.load());
    }
    if (r.stopFlag)
        status = 9999;
    return false;
}

void gf_RTAPITrafficReader()
{
    RTAPITrafficReader& r = gf_rtApiTrafficReader();
    int32_t status = 0;
    bool handled = false;
    RTAPIReaderExit guard{"Traffic RTAPIreader", [] { lf_setLiveTrafficState(GuiReaderState::Stopped); },
                          gf_rtApiWeatherReader(), status, handled, &r};

    guard.run("gf_RTAPITrafficReader", [&] {
        static constexpr RTDirectParkedQuery parkedQuery{&gf_requestRTAPIParkedTraffic, &gf_RTAPIParkedTrafficSettled,
                                                         &gf_takeRTAPIParkedTraffic};
        gf_setRTDirectParkedQuery(&parkedQuery);
        gf_logContinuation(fmt::format("{} connected", "Traffic RTAPIreader"));
        lf_setLiveTrafficState(GuiReaderState::Fresh);
        if (r.qnh.load() == 0) {
            r.qnh = 1013;
            CurrentQnh = 1013;
            gf_postGuiUpdate(GuiUpdate::QnhValue{1013});
        }
        lf_RTAPITrafficLoop(status);
        lf_setLiveTrafficState(GuiReaderState::Stopped);
        gf_logRTAPIReaderEnd("Traffic", status);
    });
}
