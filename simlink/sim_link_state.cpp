#include "simlink/sim_link_state.h"

#include <mutex>

#if defined(_WIN32)
#include <windows.h>
#endif

#include <fmt/format.h>

#include "core/gui_senders.h"
#include "core/log.h"
#include "core/stop_request.h"
#include "core/text.h"
#include "simlink/sim_packet.h"
#include "simlink/simconnect_ids.h"
#include "simlink/simconnect_packets.h"

std::atomic<uint8_t> g_linkState{LinkState::NotConnected};
std::atomic<uint8_t> g_userAnswers{0};
std::atomic<bool> simChoiceSetByUser{false};
std::atomic<bool> g_simShutdown{false};

namespace {

std::mutex g_titleMutex;
std::string g_title;

} // namespace

std::string gf_userAcTitle()
{
    std::lock_guard lock(g_titleMutex);
    return g_title;
}

void gf_setUserAcTitle(std::string title)
{
    std::lock_guard lock(g_titleMutex);
    g_title = std::move(title);
}

void gf_onSimConnectRequestError()
{
    gf_showMessage("SimConnect request error", true);
    gf_postGuiUpdate(GuiUpdate::FlightRunning{false});
    g_linkState.store(LinkState::RequestFailed);
    gf_requestStop(6, 9);
}

std::string gf_hresultText(int32_t hr)
{
#if !defined(_WIN32)
    // The native build: the system's texts of HRESULTs are Windows'.
    (void)hr;
    return "no system description";
#else
    wchar_t buffer[512];
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer,
                                   512, nullptr);
    if (n == 0)
        return "no system description";
    std::wstring_view text(buffer, n);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t' || text.back() == L'\r' ||
                             text.back() == L'\n'))
        text.remove_suffix(1);
    try {
        return wide_to_utf8(text);
    } catch (const std::exception&) {
        return "system description conversion failed";
    }
#endif
}

void lf_onUserAcTitle(const void* packet, uint32_t cbData)
{
    struct SetBit {
        ~SetBit() { g_userAnswers.fetch_or(1); }
    } setBit;
    if (!gf_checkSimObjectData(USER_AC_TITLE, cbData))
        return;
    const char* text = static_cast<const char*>(packet) + kDataHeaderSize;
    const size_t length = cbData - kDataHeaderSize;
    const size_t n = ::strnlen(text, length);
    if (n == length) {
        gf_logError("SimConnect USER_AC_TITLE is not null terminated");
        return;
    }
    if (n == 0) {
        gf_logLine("! Title of your aircraft is empty?");
        return;
    }
    std::string title(text, std::min<size_t>(n, 48));
    if (title != gf_userAcTitle()) {
        gf_logContinuation("SimConnect: user aircraft title: " + title);
        gf_setUserAcTitle(std::move(title));
    }
}
