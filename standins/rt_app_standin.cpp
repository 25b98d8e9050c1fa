#include "standins/rt_app_standin.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace kvr::standin {

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

size_t RtAppStandIn::forgetLines()
{
    std::lock_guard lock(mutex);
    const size_t count = received.size();
    received = {};
    return count;
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
