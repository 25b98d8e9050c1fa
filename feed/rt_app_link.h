// The TCP link with the RealTraffic App. Kelo is the server: it listens on
// PORT_NUMBER, accepts one client and speaks the PSX line protocol: it asks
// for the App's version and edition, reports the user aircraft five times a
// second and the simulator's UTC time, and asks for buffered and parked
// traffic (which then arrives over UDP).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "feed/socket_handle.h"

class RTAppServer {
public:
    // Throws std::runtime_error when the listener cannot be set up.
    void startListening(const std::string& port);
    // Waits for one client; false when the listener is closed, when a stop
    // request is published meanwhile, or on failure.
    bool waitForClient();
    // Sends the line without waiting: what the App cannot take at once is
    // kept and goes out before the next line. Drops the client on failure,
    // and when the App has not taken what was kept for sendStallLimit.
    bool sendDataPacket(std::string_view line);
    // Bytes kept for the App that it has not taken yet.
    size_t pendingBytes();
    // The bytes of one recv, or empty. Waits for data in slices that watch
    // gf_keepRunning, for at most replyTimeout.
    std::string receive();
    // Reads and discards what is waiting, at most drainByteLimit bytes within
    // drainTimeLimit; drops the client when it has closed.
    void drainReceiveBuffer();
    void dropClient(SocketHandle socket);
    void closeSockets();
    SocketHandle clientSocket();

    // Read without the lock by the quick checks.
    std::atomic<bool> connected{false};

    // Bounds of the waits; tests shorten them.
    std::chrono::milliseconds pollInterval{100};
    std::chrono::milliseconds replyTimeout{10000};
    std::chrono::milliseconds settleTime{2000};
    std::chrono::milliseconds drainTimeLimit{20};
    size_t drainByteLimit = 256 * 1024;
    // An App that takes none of the kept bytes for this long is lost.
    std::chrono::milliseconds sendStallLimit{2000};
    // The clock of that limit; tests replace it.
    std::chrono::steady_clock::time_point (*sendNow)() = &std::chrono::steady_clock::now;

private:
    std::mutex stateMutex;
    std::mutex sendMutex;
    std::mutex receiveMutex;
    SocketHandle client = kInvalidSocket;
    SocketHandle listener = kInvalidSocket;
    // Clients accepted so far: tells a new client from an old one whose
    // socket handle the system gave out again.
    uint64_t clientNumber = 0;
    // Under the send mutex: the bytes the client has not taken yet, the
    // client they are for, and since when they wait.
    std::string pendingOutput;
    uint64_t pendingFor = 0;
    std::chrono::steady_clock::time_point pendingSince{};
};

RTAppServer& gf_rtAppServer();

// Set while the handshake waits for the App.
extern std::atomic<bool> rtAppWaitingForApp;
// Set while a buffer request is outstanding.
extern std::atomic<bool> rtAppBufferRequested;

// The handshake at the feed start: wait for the App, ask its version.
void gf_runRTAppSession();
void lf_processRTVersion(std::string_view reply);
std::string lf_jsonVersion(const nlohmann::json& value);

// The Qs121 line from the engine's copy of the user position; a lost App
// ends in "RealTraffic App gone" and a restart.
void gf_sendUserStateToRTApp();
// "Qs123=<ms>" for seconds >= 1 while connected.
void gf_sendQs123Line(int64_t seconds);

// A box in degrees.
struct ParkedTrafficBox {
    double north = 0.0;
    double south = 0.0;
    double west = 0.0;
    double east = 0.0;
};
// False when no client is connected.
bool gf_requestRTParkedTraffic(const ParkedTrafficBox& box);
// One buffer request at a time; true when it was sent.
bool gf_requestRTBufferTraffic();
void gf_resetRTBufferRequest();
// The Qs121 line of a user position.
std::string gf_formatQs121(double pitch, double bank, double trueHeading, double indicatedAltitude,
                           double groundSpeed, double latitude, double longitude);
