#include "standins/rt_app_standin.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace kvr::standin {

std::string trafficLine(const AppAircraft& a, double timestamp, std::string_view tag, TrafficLayout layout)
{
    // Fields 0..43; the ones Kelo does not read carry plausible fillers.
    const bool documented = layout == TrafficLayout::Documented;
    std::vector<std::string> f(documented ? 43 : 44);
    f[0] = tag;
    f[1] = std::to_string(a.hexid);
    f[2] = fmt::format("{:.5f}", a.lat);
    f[3] = fmt::format("{:.5f}", a.lon);
    f[4] = fmt::format("{:.0f}", a.altitude);
    f[5] = fmt::format("{:.0f}", a.verticalSpeed);
    f[6] = a.altitude > 0 ? "1" : "0";
    f[7] = fmt::format("{:.1f}", a.track);
    f[8] = fmt::format("{:.1f}", a.groundSpeed);
    f[9] = a.callsign;
    f[10] = a.type;
    f[11] = a.registration;
    f[12] = a.origin;
    f[13] = a.destination;
    f[14] = fmt::format("{:.2f}", timestamp);
    f[15] = "X";
    f[16] = a.callsign;
    f[17] = documented && !a.source.empty() ? "F_" + a.source : a.source;
    f[18] = "1200";
    f[19] = fmt::format("{:.0f}", a.tas > 0 ? a.tas * 0.8 : a.groundSpeed);
    f[20] = fmt::format("{:.0f}", a.tas);
    f[21] = "0.0";
    f[22] = fmt::format("{:.0f}", a.altitude);
    f[23] = fmt::format("{:.1f}", a.roll);
    f[24] = fmt::format("{:.1f}", a.track);
    f[25] = fmt::format("{:.1f}", a.track);
    f[26] = "0";
    f[27] = "0";
    f[28] = a.category;
    for (size_t i = 29; i < 43; ++i)
        f[i] = "0";
    if (!documented)
        f[43] = a.airline;
    std::string line = f[0];
    for (size_t i = 1; i < f.size(); ++i) {
        line += ',';
        line += f[i];
    }
    return line;
}

std::string parkedLine(const AppParked& p, double timestamp)
{
    return fmt::format("RTPARK,{:x},{:.6f},{:.6f},{},{},{},{},{:.0f}", p.hexid, p.lat, p.lon, p.callsign, p.type,
                       p.registration, p.stand, timestamp);
}

RtAppStandIn::RtAppStandIn() : tcp(INVALID_SOCKET), udp(INVALID_SOCKET)
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    udp = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
}

RtAppStandIn::~RtAppStandIn()
{
    disconnect();
    if (udp != INVALID_SOCKET)
        closesocket(udp);
    WSACleanup();
}

bool RtAppStandIn::connect(uint16_t port, std::chrono::milliseconds timeout)
{
    disconnect();
    {
        std::lock_guard lock(mutex);
        closedByPeer = false;
        received.clear();
    }
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
            tcp = s;
            connected = true;
            reader = std::thread([this, s] { readLoop(s); });
            return true;
        }
        closesocket(s);
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool RtAppStandIn::connectAndClose(uint16_t port, std::chrono::milliseconds timeout)
{
    const AppEdition kept = edition;
    edition = AppEdition::Silent;
    const bool ok = connect(port, timeout);
    disconnect();
    edition = kept;
    return ok;
}

void RtAppStandIn::disconnect()
{
    if (tcp != INVALID_SOCKET) {
        shutdown(tcp, SD_BOTH);
        closesocket(tcp);
        tcp = INVALID_SOCKET;
    }
    if (reader.joinable())
        reader.join();
    connected = false;
}

void RtAppStandIn::readLoop(uintptr_t socket)
{
    std::string pending;
    char buffer[4096];
    for (;;) {
        const int n = recv(socket, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        pending.append(buffer, static_cast<size_t>(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end + 1);
            pending.erase(0, end + 1);
            {
                std::lock_guard lock(mutex);
                received.push_back(line);
            }
            changed.notify_all();
            answer(line);
        }
    }
    connected = false;
    {
        std::lock_guard lock(mutex);
        closedByPeer = true;
    }
    changed.notify_all();
}

void RtAppStandIn::answer(const std::string& line)
{
    if (line.starts_with("Qs999=version") && !versionReply.empty()) {
        sendTcp(versionReply);
    } else if (line.starts_with("Qs999=version")) {
        switch (edition) {
        case AppEdition::Professional: sendTcp(fmt::format(R"({{"level":2,"version":"{}"}})", version)); break;
        case AppEdition::Standard: sendTcp(fmt::format(R"({{"level":1,"version":"{}"}})", version)); break;
        case AppEdition::Garbage: sendTcp("%%garbage%%"); break;
        case AppEdition::Silent: break;
        }
    } else if (line.starts_with("Qs999=sendbuffer=")) {
        for (const auto& slice : bufferSlices) {
            for (const auto& l : slice)
                sendTraffic(l);
            sendTraffic("RTBUF_SEP");
        }
        sendTraffic("RTBUF_EOT");
    } else if (line.starts_with("Qs999=sendparked,")) {
        std::vector<std::string> lines;
        {
            std::lock_guard lock(mutex);
            lines = parkedLines;
        }
        for (const auto& l : lines)
            sendTraffic(l);
        sendTraffic("RTPARK_EOT");
    }
}

void RtAppStandIn::setParkedLines(std::vector<std::string> lines)
{
    std::lock_guard lock(mutex);
    parkedLines = std::move(lines);
}

void RtAppStandIn::sendTcp(std::string_view bytes)
{
    send(tcp, bytes.data(), static_cast<int>(bytes.size()), 0);
}

std::vector<std::string> RtAppStandIn::lines() const
{
    std::lock_guard lock(mutex);
    return received;
}

std::vector<std::string> RtAppStandIn::linesStartingWith(std::string_view prefix) const
{
    std::vector<std::string> out;
    for (const auto& l : lines())
        if (l.starts_with(prefix))
            out.push_back(l);
    return out;
}

bool RtAppStandIn::waitForLines(std::string_view prefix, size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [&] {
        size_t n = 0;
        for (const auto& l : received)
            n += l.starts_with(prefix) ? 1 : 0;
        return n >= count;
    });
}

bool RtAppStandIn::waitForClose(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [&] { return closedByPeer; });
}

void RtAppStandIn::sendDatagram(uint16_t port, std::string_view bytes)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(udp, bytes.data(), static_cast<int>(bytes.size()), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

void RtAppStandIn::sendBatch(const std::vector<std::string>& batch)
{
    for (const auto& l : batch)
        sendTraffic(l);
    sendTraffic("RTTFC_EOT");
}

void RtAppStandIn::sendMetar(std::string_view metar)
{
    sendDatagram(weatherPort, nlohmann::json{{"METAR", metar}}.dump());
}

} // namespace kvr::standin
