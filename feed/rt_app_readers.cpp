#include "feed/rt_app_readers.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numbers>
#include <shared_mutex>
#include <thread>
#include <stdexcept>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "airports/airport_database.h"
#include "core/clock.h"
#include "core/geodesy.h"
#include "core/gui_senders.h"
#include "core/log.h"
#include "core/stop_request.h"
#include "core/text.h"
#include "core/units.h"
#include "feed/qnh.h"
#include "feed/received_text.h"
#include "feed/rt_app_link.h"
#include "feed/udp_socket.h"
#include "simlink/user_aircraft.h"

namespace {

// Field positions of an RT App position line ("RTTFC", "RTBUF..."); field 0
// is the tag. The fields between are not read.
enum PositionField : size_t {
    kPosHexid = 1,          // decimal transponder id
    kPosLat = 2,            // degrees
    kPosLon = 3,            // degrees
    kPosAltitude = 4,       // feet
    kPosVerticalSpeed = 5,  // feet per minute
    kPosTrack = 7,          // degrees, may be empty
    kPosGroundSpeed = 8,    // knots
    kPosCallsign = 9,
    kPosType = 10,
    kPosRegistration = 11,
    kPosOrigin = 12,
    kPosDestination = 13,
    kPosTimestamp = 14,     // seconds since 1970 UTC
    kPosSource = 17,        // kind of report, "adsb_icao" among others
    kPosTas = 20,           // true airspeed, knots
    kPosRoll = 23,          // degrees
    kPosTrueHeading = 25,   // degrees
    kPosCategory = 28,
    kPosAirline = 43,       // only in the longer layout
};
// Fields 0 to 42 are the App's documented line; the airline comes on top.
constexpr size_t kPositionLineFields = kPosAirline;

// Field positions of an RT App parked line ("RTPARK").
enum ParkedField : size_t {
    kParkHexid = 1,         // hexadecimal transponder id
    kParkLat = 2,
    kParkLon = 3,
    kParkCallsign = 4,
    kParkType = 5,
    kParkRegistration = 6,
    kParkStand = 7,
    kParkTimestamp = 8,     // seconds since 1970 UTC
};
constexpr size_t kParkedLineFields = kParkTimestamp + 1;

constexpr size_t kTagField = 0;


// The feed's plain decimals ("-12.345", at most 15 digits, no exponent) are
// an exact integer over an exact power of ten, so one division rounds them
// exactly as from_chars does; none for any other text.
inline std::optional<double> lf_plainDecimal(std::string_view field)
{
    static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8,
                                         1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* p = field.data();
    const char* const end = p + field.size();
    const bool negative = p != end && *p == '-';
    p += negative ? 1 : 0;
    uint64_t digits = 0; // wraps only for texts refused below
    const auto readDigits = [&] {
        const char* const from = p;
        for (; p != end && static_cast<unsigned char>(*p - '0') <= 9; ++p)
            digits = digits * 10 + static_cast<uint64_t>(*p - '0');
        return static_cast<size_t>(p - from);
    };
    const size_t whole = readDigits();
    size_t decimals = 0;
    if (p != end && *p == '.') {
        ++p;
        decimals = readDigits();
        if (decimals == 0)
            return std::nullopt;
    }
    if (p != end || whole == 0 || whole + decimals > 15)
        return std::nullopt;
    double value = static_cast<double>(digits);
    if (decimals != 0)
        value /= kPowers[decimals];
    return negative ? -value : value;
}

// Splits the line at every comma, eight bytes at a time: a byte of the word
// xor ",,,,,,,," is zero exactly where a comma is (found without carries
// between the bytes).
void lf_splitAtCommas(std::string_view line, std::vector<std::string_view>& fields)
{
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    constexpr uint64_t kCommas = 0x2C2C2C2C2C2C2C2Cull;
    fields.clear();
    const char* p = line.data();
    const size_t n = line.size();
    size_t start = 0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t word;
        std::memcpy(&word, p + i, 8);
        const uint64_t x = word ^ kCommas;
        uint64_t found = ~(((x & kLow7) + kLow7) | x | kLow7);
        while (found != 0) {
            const size_t at = i + static_cast<size_t>(std::countr_zero(found) / 8);
            fields.emplace_back(p + start, at - start);
            start = at + 1;
            found &= found - 1;
        }
    }
    for (; i < n; ++i)
        if (p[i] == ',') {
            fields.emplace_back(p + start, i - start);
            start = i + 1;
        }
    fields.emplace_back(p + start, n - start);
}

// A field that cannot be read; `kind` names the fault without the text that came.
struct BadFieldError : std::runtime_error {
    BadFieldError(const char* kind, const std::string& what) : std::runtime_error(what), kind(kind) {}
    const char* kind;
};

// The kind of a failed line, for counting repeats: the fault without the
// received text that follows its ":".
std::string_view lf_faultKind(const std::exception& e)
{
    if (const auto* bad = dynamic_cast<const BadFieldError*>(&e))
        return bad->kind;
    const std::string_view text = e.what();
    return text.substr(0, std::min<size_t>(text.find(':'), 48));
}

// Any other number text, or "{name}:{text}"; kept out of line so that the
// plain case stays small where it is inlined.
[[gnu::noinline]] double lf_otherNumber(std::string_view field, const char* name)
{
    double value = 0.0;
    const char* end = field.data() + field.size();
    auto [ptr, ec] = std::from_chars(field.data(), end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value))
        throw BadFieldError(name, fmt::format("{}:{}", name, gf_quoteReceived(field)));
    return value;
}

// The whole field as a finite decimal number; "{name}:{text}" otherwise.
inline double lf_number(std::string_view field, const char* name)
{
    if (const auto plain = lf_plainDecimal(field))
        return *plain;
    return lf_otherNumber(field, name);
}

std::atomic<uint16_t> g_trafficPortForTest{0};
std::atomic<uint16_t> g_weatherPortForTest{0};

void lf_closeSocket(SocketHandle& s)
{
    if (s != kInvalidSocket) {
        lf_udpClose(s);
        s = kInvalidSocket;
    }
}

} // namespace

uint16_t gf_rtAppTrafficPort()
{
    const uint16_t port = g_trafficPortForTest.load();
    return port ? port : kRTAppTrafficPort;
}

uint16_t gf_rtAppWeatherPort()
{
    const uint16_t port = g_weatherPortForTest.load();
    return port ? port : kRTAppWeatherPort;
}

void gf_setRTAppPortsForTest(uint16_t trafficPort, uint16_t weatherPort)
{
    g_trafficPortForTest.store(trafficPort);
    g_weatherPortForTest.store(weatherPort);
}

// ---- Receiver base --------------------------------------------------------------

UdpReceiver::~UdpReceiver()
{
    closeSocket();
}

void UdpReceiver::closeSocket()
{
    lf_closeSocket(socket_);
}

void UdpReceiver::openSocket()
{
    closeSocket();
    std::string error;
    const SocketHandle s = lf_udpOpen(error);
    if (s == kInvalidSocket)
        throw std::runtime_error(fmt::format("failed to create the socket, error: {}", error));
    socket_ = s;
}

void UdpReceiver::bindToPort(uint16_t port)
{
    if (socket_ == kInvalidSocket)
        throw std::runtime_error("bindToPort: socket_ is INVALID_SOCKET");
    std::string error;
    if (!lf_udpBind(socket_, port, error))
        throw std::runtime_error(fmt::format("bind failed, error: {}", error));
}

void UdpReceiver::receive()
{
    if (socket_ == kInvalidSocket)
        throw std::runtime_error("receive: socket_ is INVALID_SOCKET");
    stopFlag = false;
    std::string error;
    if (!lf_udpSetReceiveTimeout(socket_, 1000, error))
        throw std::runtime_error(
            fmt::format("setsockopt SO_RCVTIMEO failed, socket_={}, error={}", socket_, error));
    lf_setReceiveBuffer();
    try {
        for (;;) {
            // A stop asked before the loop began (the flag was cleared above)
            // is still seen through the published stop request.
            if (stopFlag || !gf_keepRunning()) {
                onStop();
                return;
            }
            badInput.report();
            size_t n = 0;
            const UdpReceive got = lf_udpReceive(socket_, buffer->data(), kMaxDatagram + 1, n, error);
            if (got == UdpReceive::again)
                continue;
            const auto tooLarge = [this] {
                ++datagramCount;
                badInput.note("UDP datagram too large", RepeatedInputLog::Writer::noThrow,
                              [] { return fmt::format("UDP datagram exceeds {} bytes; discarded", kMaxDatagram); });
            };
            if (got == UdpReceive::tooLarge) {
                tooLarge();
                continue;
            }
            if (got == UdpReceive::failed) {
                if (stopFlag) {
                    onStop();
                    return;
                }
                throw std::runtime_error(fmt::format("receive error: {}", error));
            }
            if (n == 0)
                continue;
            if (n > kMaxDatagram) {
                tooLarge();
                continue;
            }
            const std::string_view received(buffer->data(), n);
            if (!skipRepeats || received != lastDatagram) {
                lastDatagram.assign(received);
                datagram = lastDatagram;
                onDatagram();
            }
            ++datagramCount; // counted once handled
        }
    } catch (...) {
        onStop();
        throw;
    }
}

void UdpReceiver::lf_setReceiveBuffer()
{
    const int asked = kUdpReceiveBufferBytes;
    const int granted = lf_udpSetReceiveBuffer(socket_, asked);
    grantedReceiveBuffer = granted;
    if (granted < asked && !smallBufferLogged) {
        smallBufferLogged = true;
        gf_logNoThrow(fmt::format("UDP receive buffer: {} bytes asked, {} granted; a burst may lose datagrams",
                                  asked, granted));
    }
}

// ---- Traffic reader -------------------------------------------------------------

void TrafficReader::onDatagram()
{
    handleLine(datagram);
}

void TrafficReader::onStop()
{
    gf_postGuiUpdate(GuiUpdate::LiveTrafficState{GuiReaderState::Stopped});
    gf_logNoThrow("Traffic Reader disconnected");
}

void TrafficReader::handleLine(std::string_view line)
{
    datagram = line;
    lf_splitAtCommas(line, fields);
    processRTAppLine();
}

bool TrafficReader::lf_checkFieldCount(size_t required)
{
    if (fields.size() >= required)
        return true;
    badInput.note(fmt::format("Ignoring incomplete RT App message ({} fields required)", required),
                  RepeatedInputLog::Writer::line, [&] {
                      return fmt::format("Ignoring incomplete RT App message: {} fields received, {} required: {}",
                                         fields.size(), required, gf_quoteReceived(datagram));
                  });
    return false;
}

void TrafficReader::processRTAppLine()
{
    try {
        TrafficMailbox& box = mailbox ? *mailbox : gf_trafficMailbox();
        const std::string_view tag = fields.empty() ? std::string_view() : fields[kTagField];
        if (tag == "RTTFC_EOT") {
            box.post(batch, TrafficBatchKind::Live, 30, true);
            batchContext.reset();
        } else if (tag == "RTBUF_SEP") {
            // Every slice is buffered traffic, however many separators come.
            box.post(batch, TrafficBatchKind::Buffered, 6 * sepCount, true);
            ++sepCount;
        } else if (tag == "RTBUF_EOT") {
            const bool inTurn = !bufferDone.exchange(true);
            batchContext.reset();
            gf_resetRTBufferRequest();
            lf_logEndOfBatch(inTurn, "Buffer traffic received");
        } else if (tag == "RTTFC" || tag.starts_with("RTBUF")) {
            if (lf_checkFieldCount(kPositionLineFields))
                lf_processTrafficLine();
        } else if (tag == "RTPARK") {
            if (lf_checkFieldCount(kParkedLineFields))
                lf_processParkLine();
        } else if (tag == "RTPARK_EOT") {
            {
                std::lock_guard lock(parked.mutex);
                std::swap(parkedCollecting, parked.list);
                parkedCollecting.clear();
            }
            const bool inTurn = !parked.received.exchange(true);
            lf_logEndOfBatch(inTurn, "park traffic received");
        }
    } catch (const std::exception& e) {
        badInput.note(fmt::format("exception in processRTAppLine: {}", lf_faultKind(e)), RepeatedInputLog::Writer::line,
                      [&] { return fmt::format("exception in processRTAppLine: {}", e.what()); }); // quotes cut where thrown
    }
}

void TrafficReader::lf_logEndOfBatch(bool inTurn, std::string_view what)
{
    const auto line = [what] { return fmt::format("{} {}", gf_utcTimeText(), what); };
    if (inTurn) {
        gf_logLine(line());
        return;
    }
    // An end that nothing was waiting for: an App (or anyone) sending it
    // again and again is counted like any other repeated bad input.
    badInput.note(fmt::format("{} out of turn", what), RepeatedInputLog::Writer::line, line);
}

void TrafficReader::lf_processTrafficLine()
{
    if (!batchContext) {
        TrafficBatchContext b;
        TrafficConversionContext& c = b.conversion;
        {
            std::lock_guard lock(positionMutex);
            c.userLat = userLat;
            c.userLon = userLon;
            c.cosUserLat = cosUserLat;
            c.airportAltitude = airportAltitude;
        }
        b.settings = gf_parametersSnapshot();
        c.settings = b.settings.get();
        gf_takeProgramState(c);
        c.sourceTag = TrafficSource::rtApp;
        c.groundSquawkCheck = false;
        c.earlySeen = true;
        batchContext = std::move(b);
    }
    processLine(*batchContext);
}

void TrafficReader::processLine(const TrafficBatchContext& bc)
{
    try {
        ParsedTrafficFields f;
        f.timestamp = lf_number(fields[kPosTimestamp], "timestamp");
        f.lat = lf_number(fields[kPosLat], "lat");
        f.lon = lf_number(fields[kPosLon], "lon");

        TrafficConversionContext c = bc.conversion;
        c.qnh = qnh.load();
        c.collectSeen = seen.collecting();

        const LaloTimeCheck check = lf_checkLaloAndTime(f, c);
        if (check.timestamp != 0) {
            lastTimestamp = check.timestamp;
            gf_trafficClockInputs().rtAppLastTimestamp = check.timestamp;
        }
        if (!check.inRange)
            return;

        const auto hexid = gf_parseHexid(fields[kPosHexid], 10);
        if (!hexid)
            throw BadFieldError("hexid", fmt::format("hexid:{}", gf_quoteReceived(fields[kPosHexid])));
        f.hexid = *hexid;
        f.altitude = lf_number(fields[kPosAltitude], "altitude");
        f.verticalSpeed = lf_number(fields[kPosVerticalSpeed], "vs");
        if (!fields[kPosTrack].empty())
            f.track = lf_number(fields[kPosTrack], "track");
        f.groundSpeed = lf_number(fields[kPosGroundSpeed], "gs");
        f.source = fields[kPosSource];
        if (gf_isAdsbIcaoSource(f.source))
            f.trueHeading = lf_number(fields[kPosTrueHeading], "trueheading");
        f.roll = lf_number(fields[kPosRoll], "roll");
        f.tas = lf_number(fields[kPosTas], "TAS");
        f.callsign = fields[kPosCallsign];
        f.type = fields[kPosType];
        f.registration = fields[kPosRegistration];
        f.origin = fields[kPosOrigin];
        f.destination = fields[kPosDestination];
        f.category = fields[kPosCategory];
        f.airline = fields.size() > kPosAirline ? fields[kPosAirline] : std::string_view();

        // Built where it is kept; taken back when not wanted.
        std::optional<SeenTrafficEntry> seenEntry;
        bool kept = false;
        try {
            kept = gf_fillLiveTrafficRecord(f, c, batch.emplace_back(), seenEntry);
        } catch (...) {
            batch.pop_back();
            throw;
        }
        if (!kept)
            batch.pop_back();
        if (seenEntry)
            seen.add(*seenEntry);
    } catch (const std::exception& e) {
        badInput.note(fmt::format("exception in processLine: {}", lf_faultKind(e)), RepeatedInputLog::Writer::line,
                      [&] { return fmt::format("exception in processLine: {}", e.what()); }); // quotes cut where thrown
    }
}

void TrafficReader::lf_processParkLine()
{
    ParkedTrafficFields f;
    const std::string_view hexText = fields[kParkHexid];
    const auto hexid = gf_parseHexid(hexText, 16);
    if (!hexid)
        throw BadFieldError("hexid incorrect", fmt::format("hexid incorrect{}", gf_quoteReceived(hexText)));
    f.hexid = *hexid;
    const double time = lf_number(fields[kParkTimestamp], "timestamp");
    if (time <= 0.0 || time >= 9223372036854775808.0)
        throw BadFieldError("timestamp outside range", fmt::format("timestamp outside range:{:.3f}", time));
    f.time = static_cast<int64_t>(time);
    f.lat = lf_number(fields[kParkLat], "lat");
    f.lon = lf_number(fields[kParkLon], "lon");
    f.callsign = fields[kParkCallsign];
    f.type = fields[kParkType];
    f.registration = fields[kParkRegistration];
    f.stand = fields[kParkStand];
    if (auto record = gf_makeParkedTrafficRecord(f)) {
        std::lock_guard lock(parked.mutex);
        parkedCollecting.push_back(std::move(*record));
    }
}

void TrafficReader::reset()
{
    badInput.clear();
    datagram = {};
    lastDatagram.clear();
    stopFlag = false;
    datagramCount = 0;
    countAtLastCheck = 0;
    lastTimestamp = 0;
    gf_trafficClockInputs().rtAppLastTimestamp = 0;
    qnh = 0;
    bufferDone = false;
    parked.received = false;
    sepCount = 0;
    batch.clear();
    batchContext.reset();
    fields.clear();
    seen.clear();
    {
        std::lock_guard lock(parked.mutex);
        parked.list.clear();
        parkedCollecting.clear();
    }
    std::lock_guard lock(positionMutex);
    airportAltitude.reset();
    userLat = userLon = cosUserLat = 0.0;
}

// ---- QNH reader -----------------------------------------------------------------

void QnhReader::onDatagram()
{
    std::optional<std::string> metar;
    try {
        const nlohmann::json root = nlohmann::json::parse(datagram);
        if (root.is_object()) {
            auto it = root.find("METAR");
            if (it != root.end() && it->is_string())
                metar = it->get<std::string>();
        }
    } catch (const std::exception& e) {
        badInput.note("weather datagram not read", RepeatedInputLog::Writer::line, [&] {
            return fmt::format("Exception {}, in {}", gf_quoteReceived(e.what()), gf_quoteReceived(datagram));
        });
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    // lastMetar is only ever a METAR that gave a QNH: before the first one,
    // an empty METAR is no weather at all.
    if (metar && !lastMetar.empty() && *metar == lastMetar) {
        lastReceive = now;
        return;
    }
    const auto noQnh = [&] {
        badInput.note("no QNH", RepeatedInputLog::Writer::line,
                      [&] { return fmt::format("no QNH {}", gf_quoteReceived(datagram)); });
    };
    if (!metar) {
        noQnh();
        return;
    }
    auto result = gf_qnhFromMetar(*metar);
    if (auto* error = std::get_if<QnhParseError>(&result)) {
        if (error->code == 0) {
            noQnh();
        } else {
            const std::string_view message = error->message;
            badInput.note(fmt::format("QNH {}", message.substr(0, std::min<size_t>(message.find(':'), 48))),
                          RepeatedInputLog::Writer::error, [&] {
                              return fmt::format("{} in {}", gf_quoteReceived(error->message),
                                                 gf_quoteReceived(datagram));
                          });
        }
        return;
    }
    const int32_t value = std::get<int32_t>(result);
    lastMetar = *metar;
    lastReceive = now;
    if (value != lastQnh) {
        lastQnh = value;
        gf_rtAppTrafficReader().qnh = value;
        CurrentQnh.exchange(value);
        gf_postGuiUpdate(GuiUpdate::QnhValue{static_cast<uint32_t>(value)});
    }
}

void QnhReader::clearState()
{
    badInput.clear();
    datagram = {};
    lastDatagram.clear();
    stopFlag = false;
    datagramCount = 0;
    lastMetar.clear();
    lastQnh = 0;
    lastReceive = std::chrono::steady_clock::time_point{};
}

// ---- The program's readers --------------------------------------------------------

TrafficReader& gf_rtAppTrafficReader()
{
    static TrafficReader reader;
    return reader;
}

QnhReader& gf_rtAppQnhReader()
{
    static QnhReader reader;
    return reader;
}

void gf_trafficReader()
{
    TrafficReader& reader = gf_rtAppTrafficReader();
    try {
        reader.openSocket();
        reader.bindToPort(gf_rtAppTrafficPort());
        gf_postGuiUpdate(GuiUpdate::LiveTrafficState{GuiReaderState::Fresh});
        gf_logLine(fmt::format("{} connected", "Traffic Reader"));
        if (reader.qnh == 0) {
            reader.qnh = 1013;
            CurrentQnh.exchange(1013);
            gf_postGuiUpdate(GuiUpdate::QnhValue{1013});
        }
        gf_showMessage(fmt::format("{} Requesting buffer traffic ...", gf_utcTimeText()), true);
        reader.sepCount = 0;
        reader.batchContext.reset();
        reader.bufferDone = false;
        gf_resetSeenTraffic();
        if (!gf_requestRTBufferTraffic())
            gf_logError("Receiving buffer traffic failed");
        reader.receive();
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception: {}", "gf_trafficReader", e.what()));
        gf_reportReaderError("Traffic Reader", e.what());
    } catch (...) {
        gf_reportReaderError("Traffic Reader", "Unknown exception");
    }
    gf_resetRTBufferRequest();
    reader.closeSocket();
    gf_logNoThrow(fmt::format("{} disconnected", "Traffic Reader"));
}

void gf_weatherReader()
{
    QnhReader& reader = gf_rtAppQnhReader();
    try {
        for (;;) {
            try {
                reader.openSocket();
                reader.bindToPort(gf_rtAppWeatherPort());
                gf_postGuiUpdate(GuiUpdate::QnhState{GuiReaderState::Fresh});
                gf_logLine(fmt::format("{} connected", "QNH Reader"));
                reader.receive();
                break;
            } catch (const std::exception& e) {
                reader.closeSocket();
                if (!gf_keepRunning())
                    break;
                reader.clearState();
                gf_postGuiUpdate(GuiUpdate::QnhState{GuiReaderState::Stopped});
                gf_logError(fmt::format("{} exception: {}; reconnecting ...", "gf_weatherReader", e.what()));
                bool keepOn = true;
                for (int step = 0; step < 20 && keepOn; ++step) {
                    keepOn = gf_keepRunning() && !reader.stopFlag;
                    if (keepOn)
                        std::this_thread::sleep_for(std::chrono::milliseconds(100));
                }
                if (!keepOn)
                    break;
            }
        }
    } catch (...) {
        gf_reportReaderError("QNH Reader", "Unknown exception");
    }
    reader.closeSocket();
    gf_postGuiUpdate(GuiUpdate::QnhState{GuiReaderState::Stopped});
    gf_logNoThrow(fmt::format("{} disconnected", "QNH Reader"));
}

void gf_setRTAppAirportAltitude(std::optional<double> altitudeFt)
{
    TrafficReader& reader = gf_rtAppTrafficReader();
    std::lock_guard lock(reader.positionMutex);
    reader.airportAltitude = altitudeFt;
}

void gf_setRTAppUserPosition(double lat, double lon)
{
    TrafficReader& reader = gf_rtAppTrafficReader();
    std::lock_guard lock(reader.positionMutex);
    reader.userLat = lat;
    reader.userLon = lon;
    reader.cosUserLat = gf_cosLatitude(lat);
}

void gf_requestRTAppParkedTraffic()
{
    TrafficReader& reader = gf_rtAppTrafficReader();
    reader.parked.received = false;
    {
        std::lock_guard lock(reader.parked.mutex);
        reader.parked.list.clear();
        reader.parkedCollecting.clear();
    }
    CurrentAirportRecord airport;
    {
        std::shared_lock lock(engineLock);
        airport = CurrentAirport;
    }
    std::optional<LatLon> centre;
    if (airport.code != 0 && gf_isValidLatLon(LatLon{airport.latitude, airport.longitude})) {
        centre = LatLon{airport.latitude, airport.longitude};
    } else if (userOnGround) {
        const auto user = gf_publishedUserAcPosition();
        centre = LatLon{user->latitude, user->longitude};
    }
    if (!centre)
        return;
    constexpr double kHalfSide = 0.04996402877697842; // 3 NM in degrees of latitude
    constexpr double kHalfSideFt = 18228.34647;
    ParkedTrafficBox box;
    box.north = centre->latitude + kHalfSide;
    box.south = centre->latitude - kHalfSide;
    box.west = gf_destinationPoint(*centre, BearingDistance{-std::numbers::pi / 2, kHalfSideFt}).longitude;
    box.east = gf_destinationPoint(*centre, BearingDistance{std::numbers::pi / 2, kHalfSideFt}).longitude;
    gf_requestRTParkedTraffic(box);
}
