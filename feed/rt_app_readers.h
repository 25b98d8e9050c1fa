// The RealTraffic App's UDP datagrams: the "Traffic Reader" on port 49005
// decodes traffic lines into records and batches, the "QNH Reader" on port
// 49004 takes the QNH from the METAR of each weather datagram. Both share a
// receiver base that binds the socket and runs the receive loop.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "feed/repeated_input_log.h"
#include "feed/socket_handle.h"
#include "feed/traffic_mailbox.h"
#include "feed/traffic_records.h"

inline constexpr uint16_t kRTAppTrafficPort = 49005;
inline constexpr uint16_t kRTAppWeatherPort = 49004;
inline constexpr size_t kMaxDatagram = 16384;
// The App sends a burst of some 300 datagrams every 10 s: the socket's
// receive buffer must hold a burst while the reader is busy.
inline constexpr int kUdpReceiveBufferBytes = 8 * 1024 * 1024;

// The ports the two readers bind: 49005 and 49004. Tests that run beside
// others (or beside a demo) set free ports of their own; 0 restores the App's.
uint16_t gf_rtAppTrafficPort();
uint16_t gf_rtAppWeatherPort();
void gf_setRTAppPortsForTest(uint16_t trafficPort, uint16_t weatherPort);

class UdpReceiver {
public:
    virtual ~UdpReceiver();
    virtual void onDatagram() = 0;
    virtual void onStop() = 0;

    // A new UDP socket; an open older one is closed first.
    void openSocket();
    // Binds to any local address.
    void bindToPort(uint16_t port);
    // Receives until stopFlag is set or a stop request is published (noticed
    // within the 1000 ms time-out).
    void receive();
    void closeSocket();
    // The receive buffer the system granted (bytes); 0 before the loop set it.
    int receiveBufferBytes() const { return grantedReceiveBuffer; }

    std::string_view datagram; // view of lastDatagram
    std::unique_ptr<std::array<char, kMaxDatagram + 1>> buffer = std::make_unique<std::array<char, kMaxDatagram + 1>>();
    std::string lastDatagram;
    std::atomic<bool> stopFlag{false};
    std::atomic<uint32_t> datagramCount{0};
    uint32_t countAtLastCheck = 0;
    SocketHandle socket_ = kInvalidSocket;
    // A datagram equal to the one before is skipped (traffic lines); the
    // weather reader sees every one, a repeat being fresh weather too.
    bool skipRepeats = true;
    // The log lines about bad datagrams: a flood of them is counted, not
    // written one by one. The receiving thread only.
    RepeatedInputLog badInput;

private:
    void lf_setReceiveBuffer();
    int grantedReceiveBuffer = 0;
    bool smallBufferLogged = false;
};

// What the lines of one batch are converted with.
struct TrafficBatchContext {
    // What every line of the batch is converted with, as it was at the first
    // line; the QNH and the seen-traffic switch are read per line.
    TrafficConversionContext conversion;
    std::shared_ptr<const Parameters> settings; // conversion.settings points into it
};

class TrafficReader : public UdpReceiver {
public:
    void onDatagram() override;
    void onStop() override;

    // Splits one line into fields and dispatches it by its tag.
    void handleLine(std::string_view line);
    void processRTAppLine();
    bool lf_checkFieldCount(size_t required);
    // The line about the end of buffered or parked traffic: written when the
    // end was awaited, counted as repeated bad input when it was not.
    void lf_logEndOfBatch(bool inTurn, std::string_view what);
    void lf_processTrafficLine();
    void processLine(const TrafficBatchContext& context);
    void lf_processParkLine();
    void reset();

    std::vector<LiveTrafficRecord> batch;
    std::optional<TrafficBatchContext> batchContext;
    std::vector<ParkedTrafficRecord> parkedCollecting; // under the parked mutex
    std::vector<std::string_view> fields;
    // Written by the main task under positionMutex.
    double userLat = 0.0;
    double userLon = 0.0;
    double cosUserLat = 0.0;
    std::optional<double> airportAltitude;
    std::atomic<bool> bufferDone{false};
    std::atomic<int32_t> qnh{0}; // 0 = none yet
    std::atomic<uint64_t> lastTimestamp{0};
    uint32_t sepCount = 0;
    std::mutex positionMutex;

    // The seen traffic, the published parked list with its mutex and the
    // parked-received flag, shared with the parking code.
    SeenTrafficCollector& seen = gf_seenTrafficOf(TrafficSource::rtApp);
    ParkedTrafficShare& parked = gf_parkedTrafficOf(TrafficSource::rtApp);

    // Where finished batches go; tests replace it.
    TrafficMailbox* mailbox = nullptr; // nullptr = the program's mailbox
};

class QnhReader : public UdpReceiver {
public:
    QnhReader() { skipRepeats = false; }
    void onDatagram() override;
    void onStop() override {}
    void clearState();

    std::string lastMetar;
    std::atomic<int32_t> lastQnh{0};
    std::atomic<std::chrono::steady_clock::time_point> lastReceive{};
};

// The program's readers.
TrafficReader& gf_rtAppTrafficReader();
QnhReader& gf_rtAppQnhReader();

// Thread bodies "Traffic Reader" and "QNH Reader".
void gf_trafficReader();
void gf_weatherReader();

// Under the traffic reader's position mutex.
void gf_setRTAppAirportAltitude(std::optional<double> altitudeFt);
void gf_setRTAppUserPosition(double lat, double lon);
// Asks the App for the parked traffic 3 NM around the current airport, or
// around the user aircraft on the ground.
void gf_requestRTAppParkedTraffic();
