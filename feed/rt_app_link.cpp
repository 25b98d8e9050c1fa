#include "feed/rt_app_link.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <thread>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/gui_senders.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/stop_request.h"
#include "core/text.h"
#include "core/units.h"
#include "simlink/user_aircraft.h"
#include "feed/feed_flags.h"
#include "feed/rt_app_readers.h"

std::atomic<bool> rtAppWaitingForApp{false};
std::atomic<bool> rtAppBufferRequested{false};

namespace {

constexpr size_t kReceiveBuffer = 16384;

std::mutex rtAppRequestMutex;

// Readable within the wait; false on a time-out or error.
bool lf_waitReadable(SOCKET s, std::chrono::milliseconds wait)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval tv{static_cast<long>(wait.count() / 1000), static_cast<long>((wait.count() % 1000) * 1000)};
    return select(0, &readable, nullptr, nullptr, &tv) > 0;
}

void lf_closeRTAppSockets()
{
    gf_rtAppServer().closeSockets();
}

// Sleeps in slices that watch gf_keepRunning.
void lf_pause(std::chrono::milliseconds total, std::chrono::milliseconds slice)
{
    const auto end = std::chrono::steady_clock::now() + total;
    while (gf_keepRunning()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(end - now, slice));
    }
}

void lf_appGone(std::string message)
{
    feedConnected = false;
    gf_showMessage(std::move(message), true);
    StopRequestPtr expected;
    gf_compareExchangeStopRequest(expected, std::make_shared<const StopRequest>(StopRequest{3, 0}));
}

} // namespace

RTAppServer& gf_rtAppServer()
{
    static RTAppServer server;
    static const bool registered = (gf_setRTAppSocketCloser(&lf_closeRTAppSockets), true);
    (void)registered;
    return server;
}

// ---- Server ---------------------------------------------------------------------

void RTAppServer::startListening(const std::string& port)
{
    std::lock_guard lock(stateMutex);
    addrinfo hints{};
    hints.ai_flags = AI_PASSIVE;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* result = nullptr;
    if (int rc = getaddrinfo(nullptr, port.c_str(), &hints, &result); rc != 0)
        throw std::runtime_error(fmt::format("getaddrinfo failed with error {}", rc));
    SOCKET s = ::socket(result->ai_family, result->ai_socktype, result->ai_protocol);
    if (s == INVALID_SOCKET) {
        freeaddrinfo(result);
        throw std::runtime_error("socket failed with error " + gf_wsaErrorText(WSAGetLastError()));
    }
    listener = static_cast<SocketHandle>(s);
    auto fail = [&](std::string text) {
        freeaddrinfo(result);
        closesocket(s);
        listener = kInvalidSocket;
        throw std::runtime_error(text);
    };
    u_long blocking = 0;
    if (ioctlsocket(s, FIONBIO, &blocking) == SOCKET_ERROR)
        fail("ioctlsocket failed with error " + gf_wsaErrorText(WSAGetLastError()));
    int reuse = 1;
    if (setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse) ==
        SOCKET_ERROR)
        fail("setsockopt(SO_REUSEADDR) failed");
    if (::bind(s, result->ai_addr, static_cast<int>(result->ai_addrlen)) == SOCKET_ERROR)
        fail("Bind failed at port " + port + " with error " + gf_wsaErrorText(WSAGetLastError()));
    freeaddrinfo(result);
    if (::listen(s, SOMAXCONN) == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        closesocket(s);
        listener = kInvalidSocket;
        throw std::runtime_error("listen failed with error " + gf_wsaErrorText(error));
    }
}

bool RTAppServer::waitForClient()
{
    if (connected)
        return false;
    try {
        SocketHandle waitedOn;
        {
            std::lock_guard lock(stateMutex);
            waitedOn = listener;
        }
        if (waitedOn == kInvalidSocket)
            return false;
        // Accept only once a client is waiting, so that a stop request
        // published meanwhile ends the wait as well as a closed listener.
        for (;;) {
            if (!gf_keepRunning())
                return false;
            {
                std::lock_guard lock(stateMutex);
                if (listener != waitedOn)
                    return false;
            }
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(static_cast<SOCKET>(waitedOn), &readable);
            timeval tv{static_cast<long>(pollInterval.count() / 1000),
                       static_cast<long>((pollInterval.count() % 1000) * 1000)};
            const int ready = select(0, &readable, nullptr, nullptr, &tv);
            if (ready == SOCKET_ERROR)
                return false; // the listener was closed
            if (ready > 0)
                break;
        }
        SOCKET s = accept(static_cast<SOCKET>(waitedOn), nullptr, nullptr);
        if (s == INVALID_SOCKET)
            return false;
        char noDelay = 1;
        if (setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &noDelay, 1) == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            closesocket(s);
            throw std::runtime_error(
                fmt::format("{} setsockopt failed with error {}", gf_utcTimeText(), gf_wsaErrorText(error)));
        }
        // Sends never wait: an App that stops reading must not hold the
        // main task, which sends its lines on the tick.
        u_long nonBlocking = 1;
        if (ioctlsocket(s, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            closesocket(s);
            throw std::runtime_error(
                fmt::format("{} ioctlsocket failed with error {}", gf_utcTimeText(), gf_wsaErrorText(error)));
        }
        std::unique_lock lock(stateMutex);
        if (listener == waitedOn) {
            client = static_cast<SocketHandle>(s);
            ++clientNumber;
            connected = true;
            return true;
        }
        lock.unlock();
        closesocket(s);
        return false;
    } catch (const std::exception& e) {
        gf_logNoThrow(fmt::format("waitForClient interrupted: {}", e.what()));
        return false;
    }
}

bool RTAppServer::sendDataPacket(std::string_view line)
{
    std::lock_guard sendLock(sendMutex);
    SocketHandle s;
    uint64_t number;
    {
        std::lock_guard lock(stateMutex);
        s = client;
        number = clientNumber;
    }
    if (s == kInvalidSocket)
        return false;
    if (pendingFor != number) {
        pendingOutput.clear();
        pendingFor = number;
    }
    auto fail = [&](const std::string& why) {
        gf_logNoThrow(fmt::format("sendDataPacket to RealTraffic failed: {}", why));
        pendingOutput.clear();
        dropClient(s);
        gf_logNoThrow("RealTraffic client socket closed");
        return false;
    };
    // As many bytes as the socket takes now; none when it is full.
    auto sendSome = [&](std::string_view bytes, int& error) -> size_t {
        const int n = send(static_cast<SOCKET>(s), bytes.data(), static_cast<int>(bytes.size()), 0);
        if (n != SOCKET_ERROR)
            return static_cast<size_t>(n);
        error = WSAGetLastError();
        return 0;
    };
    int error = 0;
    if (!pendingOutput.empty()) {
        pendingOutput.erase(0, sendSome(pendingOutput, error));
        if (error != 0 && error != WSAEWOULDBLOCK)
            return fail(gf_wsaErrorText(error));
        if (!pendingOutput.empty()) {
            const auto waited = sendNow() - pendingSince;
            if (waited >= sendStallLimit)
                return fail(fmt::format("the App took no data for {} ms",
                                        std::chrono::duration_cast<std::chrono::milliseconds>(waited).count()));
            pendingOutput.append(line);
            return true;
        }
    }
    const size_t sent = sendSome(line, error);
    if (error != 0 && error != WSAEWOULDBLOCK)
        return fail(gf_wsaErrorText(error));
    if (sent < line.size()) {
        pendingOutput.assign(line.substr(sent));
        pendingSince = sendNow();
    }
    return true;
}

size_t RTAppServer::pendingBytes()
{
    std::lock_guard sendLock(sendMutex);
    std::lock_guard lock(stateMutex);
    return client != kInvalidSocket && pendingFor == clientNumber ? pendingOutput.size() : 0;
}

std::string RTAppServer::receive()
{
    std::lock_guard receiveLock(receiveMutex);
    const SocketHandle s = clientSocket();
    if (s == kInvalidSocket)
        return {};
    // The App answers at once; a silent one must not hold up a stop request
    // or the start-up for ever.
    const auto deadline = std::chrono::steady_clock::now() + replyTimeout;
    while (!lf_waitReadable(static_cast<SOCKET>(s), pollInterval)) {
        if (!gf_keepRunning() || clientSocket() != s || std::chrono::steady_clock::now() >= deadline)
            return {};
    }
    std::array<char, kReceiveBuffer> buffer{};
    const int n = recv(static_cast<SOCKET>(s), buffer.data(), static_cast<int>(buffer.size()), 0);
    if (n == SOCKET_ERROR) {
        gf_logNoThrow(fmt::format("receive: {}", gf_wsaErrorText(WSAGetLastError())));
        return {};
    }
    if (n == 0)
        return {};
    if (static_cast<size_t>(n) == kReceiveBuffer) {
        gf_logNoThrow(fmt::format("receive: buffer overrun: {}", n));
        return {};
    }
    return std::string(buffer.data(), static_cast<size_t>(n));
}

void RTAppServer::drainReceiveBuffer()
{
    std::lock_guard receiveLock(receiveMutex);
    const SocketHandle s = clientSocket();
    if (s == kInvalidSocket)
        return;
    // A peer that keeps sending must not hold the caller (the main task after
    // each "Qs121"): the drain ends after a bounded time and number of bytes;
    // the rest waits for the next one.
    const auto deadline = std::chrono::steady_clock::now() + drainTimeLimit;
    size_t drained = 0;
    while (drained < drainByteLimit && std::chrono::steady_clock::now() < deadline) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(static_cast<SOCKET>(s), &readable);
        timeval tv{0, 0};
        const int ready = select(0, &readable, nullptr, nullptr, &tv);
        if (ready == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            if (error != WSAEWOULDBLOCK)
                gf_logNoThrow(fmt::format("drainReceiveBuffer select error: {}", gf_wsaErrorText(error)));
            return;
        }
        if (ready == 0)
            return;
        std::array<char, kReceiveBuffer> buffer{};
        const int n = recv(static_cast<SOCKET>(s), buffer.data(), static_cast<int>(buffer.size()), 0);
        if (n == 0) {
            dropClient(s);
            return;
        }
        if (n == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            if (error == WSAEWOULDBLOCK)
                return;
            if (error != WSAECONNABORTED && error != WSAECONNRESET)
                gf_logNoThrow(fmt::format("drainReceiveBuffer recv error: {}", gf_wsaErrorText(error)));
            dropClient(s);
            return;
        }
        drained += static_cast<size_t>(n);
    }
}

void RTAppServer::dropClient(SocketHandle socket)
{
    {
        std::lock_guard lock(stateMutex);
        if (client != socket)
            return;
        client = kInvalidSocket;
        connected = false;
    }
    closesocket(static_cast<SOCKET>(socket));
}

void RTAppServer::closeSockets()
{
    SocketHandle oldListener;
    SocketHandle oldClient;
    {
        std::lock_guard lock(stateMutex);
        oldListener = listener;
        oldClient = client;
        listener = kInvalidSocket;
        client = kInvalidSocket;
        connected = false;
    }
    if (oldListener != kInvalidSocket)
        closesocket(static_cast<SOCKET>(oldListener));
    if (oldClient != kInvalidSocket)
        closesocket(static_cast<SOCKET>(oldClient));
}

SocketHandle RTAppServer::clientSocket()
{
    std::lock_guard lock(stateMutex);
    return client;
}

// ---- Handshake ------------------------------------------------------------------

void gf_runRTAppSession()
{
    if (!PSX_SERVER_HERE.value)
        return;
    RTAppServer& server = gf_rtAppServer();
    gf_showMessage("Waiting for the RealTraffic App to run ... (did you start it?)", true);
    gf_logLineFlush(" ");
    rtAppWaitingForApp = true;
    gf_rtAppTrafficReader().reset();
    gf_rtAppQnhReader().clearState();
    if (server.waitForClient()) {
        for (;;) {
            server.sendDataPacket("Qs999=version\r\n");
            const std::string reply = server.receive();
            lf_pause(server.settleTime, server.pollInterval);
            if (!gf_keepRunning())
                break;
            server.drainReceiveBuffer();
            if (server.connected) {
                lf_processRTVersion(reply);
                feedConnected = true;
                gf_logLine("RealTraffic connected");
                rtAppWaitingForApp = false;
                break;
            }
            gf_logLine("RT App connection was stale, waiting for a new one ...");
            server.closeSockets();
            server.startListening(PORT_NUMBER.value);
            if (!server.waitForClient())
                break;
        }
    }
    gf_clearMessage();
}

// ---- Senders --------------------------------------------------------------------

std::string gf_formatQs121(double pitch, double bank, double trueHeading, double indicatedAltitude,
                           double groundSpeed, double latitude, double longitude)
{
    return fmt::format("Qs121={:.0f};{:.0f};{:.6f};{:.0f};{:.0f};{:.6f};{:.6f}\r\n", pitch * -100000.0,
                       bank * 100000.0, trueHeading, indicatedAltitude * 1000.0, groundSpeed * 1000.0,
                       latitude * kDegToRad, longitude * kDegToRad);
}

void gf_sendUserStateToRTApp()
{
    // Without a server of its own (no PSX server here, or Aerowinx PSX is
    // the App's partner) there is no link to report on or to lose.
    if (!PSX_SERVER_HERE.value || AEROWINX.value)
        return;
    const UserAcPosition user = gf_engineUserAcPosition();
    if (!(std::fabs(user.latitude) > 0.0001) && !(std::fabs(user.longitude) > 0.0001))
        return;
    RTAppServer& server = gf_rtAppServer();
    if (!server.connected) {
        lf_appGone(fmt::format("{} RealTraffic App gone", gf_utcTimeText()));
        return;
    }
    const std::string line = gf_formatQs121(user.pitch, user.bank, user.trueHeading, user.indicatedAltitude,
                                            user.groundSpeed, user.latitude, user.longitude);
    if (server.sendDataPacket(line)) {
        std::lock_guard lock(rtAppRequestMutex);
        if (!rtAppBufferRequested)
            server.drainReceiveBuffer();
    } else {
        lf_appGone("RealTraffic App gone");
    }
}

void gf_sendQs123Line(int64_t seconds)
{
    RTAppServer& server = gf_rtAppServer();
    if (!server.connected || seconds < 1)
        return;
    server.sendDataPacket(fmt::format("Qs123={}\r\n", seconds * 1000));
}

bool gf_requestRTParkedTraffic(const ParkedTrafficBox& box)
{
    RTAppServer& server = gf_rtAppServer();
    if (!server.connected)
        return false;
    server.sendDataPacket(
        fmt::format("Qs999=sendparked,{:.6f},{:.6f},{:.6f},{:.6f}\r\n", box.south, box.west, box.north, box.east));
    return true;
}

bool gf_requestRTBufferTraffic()
{
    std::lock_guard lock(rtAppRequestMutex);
    if (rtAppBufferRequested.exchange(true))
        return false;
    const auto user = gf_publishedUserAcPosition();
    std::string line;
    if (!(std::fabs(user->latitude) > 0.0001) && !(std::fabs(user->longitude) > 0.0001)) {
        line = "Qs999=sendbuffer=5,6\n";
    } else {
        const double range = gf_parametersSnapshot()->rangeNm;
        const LatLon centre{user->latitude, user->longitude};
        const double south = user->latitude - range * kKmPerNm / kKmPerDegreeLatitude;
        const double north = user->latitude + range * kKmPerNm / kKmPerDegreeLatitude;
        const double distanceFt = range * kFeetPerNm;
        const double west = gf_destinationPoint(centre, BearingDistance{-std::numbers::pi / 2, distanceFt}).longitude;
        const double east = gf_destinationPoint(centre, BearingDistance{std::numbers::pi / 2, distanceFt}).longitude;
        line = fmt::format("Qs999=sendbuffer=5,6,{:.6f},{:.6f},{:.6f},{:.6f}\n", south, west, north, east);
    }
    RTAppServer& server = gf_rtAppServer();
    server.drainReceiveBuffer();
    const bool sent = server.sendDataPacket(line);
    if (!sent)
        rtAppBufferRequested = false;
    return sent;
}

void gf_resetRTBufferRequest()
{
    std::lock_guard lock(rtAppRequestMutex);
    rtAppBufferRequested = false;
}
