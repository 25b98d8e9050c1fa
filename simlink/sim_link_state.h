// The state of the simulator link that other threads read: the link state
// byte, the user answers and title, the flags of the simulator switch and the
// reaction to a failed SimConnect request.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

// Link state values.
struct LinkState {
    static constexpr uint8_t NotConnected = 0;
    static constexpr uint8_t Stopped = 1;      // connected, simulation stopped
    static constexpr uint8_t Running = 2;      // simulation running
    static constexpr uint8_t RequestFailed = 3; // sticky until reconnect, end or reset
};

// The link state; read by every thread without a lock.
extern std::atomic<uint8_t> g_linkState;

// Bits of the user answers: 1 = title handled, 2 = model handled.
extern std::atomic<uint8_t> g_userAnswers;

// Set by the window after it has switched the simulator choice (or by the
// user's own choice of simulator); cleared by every accepted OPEN packet.
extern std::atomic<bool> simChoiceSetByUser;

// Set while the shutdown removal runs; cleared on every new connection.
extern std::atomic<bool> g_simShutdown;

// The user aircraft's last title (at most 48 characters); any thread.
std::string gf_userAcTitle();
void gf_setUserAcTitle(std::string title);

// Any failed SimConnect request: the timed message "SimConnect request
// error", the window's flight-running flag off, link state 3 and the stop
// request {6, 9} unless another one was published first.
void gf_onSimConnectRequestError();

// The system's text of an HRESULT, without trailing blanks and line ends;
// "no system description" when Windows has none.
std::string gf_hresultText(int32_t hr);

// Handler of the USER_AC_TITLE reply (request 105): the whole packet.
void lf_onUserAcTitle(const void* packet, uint32_t cbData);
