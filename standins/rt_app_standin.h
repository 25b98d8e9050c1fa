// A stand-in for the RealTraffic App: connects to Kelo's TCP server, answers
// the version query, records every line Kelo sends, answers buffer and parked
// requests, and sends traffic and weather datagrams to 127.0.0.1.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "standins/rt_app_lines.h"

namespace kvr::standin {

enum class AppEdition { Professional, Standard, Silent, Garbage };

class RtAppStandIn {
public:
    RtAppStandIn();
    ~RtAppStandIn();
    RtAppStandIn(const RtAppStandIn&) = delete;
    RtAppStandIn& operator=(const RtAppStandIn&) = delete;

    // How the App answers. Set before connecting.
    AppEdition edition = AppEdition::Professional;
    std::string version = "10.0.281";
    // When not empty, sent as the version reply in place of the edition's.
    std::string versionReply;
    // Sent on "sendbuffer": each slice's lines, "RTBUF_SEP" after each slice,
    // then "RTBUF_EOT".
    std::vector<std::vector<std::string>> bufferSlices;
    // Sent on "sendparked", then "RTPARK_EOT". Set before connecting, or
    // through setParkedLines while connected.
    std::vector<std::string> parkedLines;
    uint16_t trafficPort = 49005;
    uint16_t weatherPort = 49004;

    // Connects to Kelo's server, retrying until the time is up.
    bool connect(uint16_t port, std::chrono::milliseconds timeout);
    // Connects and closes at once.
    bool connectAndClose(uint16_t port, std::chrono::milliseconds timeout);
    // New parked lines while a request may be answered.
    void setParkedLines(std::vector<std::string> lines);
    // Drops the connection.
    void disconnect();
    bool isConnected() const { return connected.load(); }

    // Every line received so far, each with its line end.
    std::vector<std::string> lines() const;
    // Forgets the lines received so far (a long run keeps no more than it
    // looks at); returns how many there were.
    size_t forgetLines();
    // The received lines that begin with prefix.
    std::vector<std::string> linesStartingWith(std::string_view prefix) const;
    // Waits until `count` lines beginning with prefix have come.
    bool waitForLines(std::string_view prefix, size_t count, std::chrono::milliseconds timeout) const;
    // True once Kelo has closed the connection.
    bool waitForClose(std::chrono::milliseconds timeout) const;

    // Datagrams to 127.0.0.1.
    void sendDatagram(uint16_t port, std::string_view bytes);
    void sendTraffic(std::string_view line) { sendDatagram(trafficPort, line); }
    // Each line, then "RTTFC_EOT".
    void sendBatch(const std::vector<std::string>& lines);
    // {"METAR": metar} to the weather port.
    void sendMetar(std::string_view metar);

private:
    void readLoop(uintptr_t socket);
    void answer(const std::string& line);
    void sendTcp(std::string_view bytes);

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<std::string> received;
    std::atomic<bool> connected{false};
    bool closedByPeer = false;
    uintptr_t tcp;
    uintptr_t udp;
    std::thread reader;
};

} // namespace kvr::standin
