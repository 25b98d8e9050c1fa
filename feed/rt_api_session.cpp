// Signing in to and off from the RealTraffic web API.
#include "feed/rt_api_session.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <fmt/format.h>
#include <sodium.h>

#include "core/clock.h"
#include "core/gui_senders.h"
#include "core/log.h"
#include "core/stop_request.h"
#include "core/value_types.h"
#include "core/version_data.h"
#include "feed/feed_flags.h"
#include "feed/rt_api_weather_reader.h"
#include "feed/rt_credential.h"

namespace {

// Sign-in: a silent server must not hold the main task for ever.
constexpr RTAPIRequestOptions kAuthOptions{10, 30, true, true};
constexpr RTAPIRequestOptions kDeauthOptions{5, 10, true, false};

std::atomic<int64_t> g_refusalWaitMs{10000};
std::mutex g_signInSleepMutex;
std::function<void(int64_t)> g_signInSleep;

// Overwrites a text that held the credential before it is freed.
struct WipedText {
    std::string text;
    ~WipedText()
    {
        if (!text.empty())
            sodium_memzero(text.data(), text.size());
    }
};

// Sleeps up to `ms` in short slices while the program keeps running.
void lf_sleepWhileRunning(int64_t ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (gf_keepRunning()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(end - now,
                                                                                  std::chrono::milliseconds(50)));
    }
}

// The wait between two sign-in tries: the message line tells why and when
// the next try comes (a countdown in seconds), the log has it once per spell.
void lf_waitToSignInAgain(uint32_t ms, const std::string& problem)
{
    std::function<void(int64_t)> sleep;
    {
        std::lock_guard lock(g_signInSleepMutex);
        sleep = g_signInSleep;
    }
    int64_t left = ms;
    while (left > 0 && gf_keepRunning()) {
        gf_showMessage(fmt::format("The RealTraffic service is unavailable ({}); trying again in {} s", problem,
                                   (left + 999) / 1000),
                       false);
        const int64_t step = std::min<int64_t>(left, 1000);
        if (sleep)
            sleep(step);
        else
            lf_sleepWhileRunning(step);
        left -= step;
    }
    if (gf_keepRunning())
        gf_showMessage("Waiting for authentication at RT server ...", false);
}

// Shows a refusal for a while, then gives it to the start-up as the user's error.
[[noreturn]] void lf_refuse(int32_t status, const char* text)
{
    gf_showMessage(text, true);
    const auto start = std::chrono::steady_clock::now();
    const auto limit = std::chrono::milliseconds(g_refusalWaitMs.load());
    while (std::chrono::steady_clock::now() - start < limit && gf_keepRunning())
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            limit - (std::chrono::steady_clock::now() - start), std::chrono::milliseconds(100)));
    throw kvr::UserRelatedException(status, text);
}

std::optional<int64_t> lf_jsonInt64(const nlohmann::json& object, std::string_view key)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number_integer())
        return std::nullopt;
    if (it->is_number_unsigned()) {
        const uint64_t u = it->get<uint64_t>();
        return u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ? std::numeric_limits<int64_t>::max()
                                                                               : static_cast<int64_t>(u);
    }
    return it->get<int64_t>();
}

std::string lf_jsonString(const nlohmann::json& object, std::string_view key)
{
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

} // namespace

RTAPISession::RTAPISession() = default;

RTAPISession& gf_rtApiSession()
{
    static RTAPISession session;
    return session;
}

bool RTAPISession::hasSession()
{
    std::lock_guard lock(mutex);
    return session != nullptr;
}

void RTAPISession::clear()
{
    std::lock_guard lock(mutex);
    session.reset();
}

RTAPISessionPtr RTAPISession::current()
{
    std::lock_guard lock(mutex);
    return session;
}

std::variant<RTAPISessionPtr, RTAPIStatusError> RTAPISession::requestAuth(std::string_view credential,
                                                                          std::string_view software)
{
    clear();
    const bool token = credential.size() >= 3 && credential.substr(0, 3) == "rt_";
    WipedText body;
    {
        WipedText escaped{transport.escape(credential)};
        body.text = fmt::format("{}={}&software={}", token ? "token" : "license", escaped.text,
                                transport.escape(software));
    }
    auto result = transport.request(gf_rtApiUrl("/v6/auth"), body.text, kAuthOptions);
    if (auto* error = std::get_if<RTAPITransportError>(&result))
        return RTAPIStatusError{100, fmt::format("Authentication failed: {}", error->message), 0, 0, error->curlCode};
    const RTAPIHttpResponse& response = std::get<RTAPIHttpResponse>(result);
    const std::string_view text = response.body;
    if (text.empty())
        return RTAPIStatusError{100, "Authentication: empty response", response.httpStatus, response.retryAfterS};
    const nlohmann::json root = nlohmann::json::parse(text, nullptr, false);
    if (root.is_discarded() || !root.is_object())
        return RTAPIStatusError{100, fmt::format("Authentication: invalid JSON: {}", text.substr(0, 256)),
                                response.httpStatus, response.retryAfterS};
    const int32_t status = gf_jsonInt32(root, "status").value_or(100);
    if (status != 200)
        return RTAPIStatusError{status, lf_jsonString(root, "message"), response.httpStatus, response.retryAfterS};

    auto record = std::make_shared<RTAPISessionRecord>();
    record->guid = lf_jsonString(root, "GUID");
    if (record->guid.empty())
        return RTAPIStatusError{100, "Authentication succeeded without a GUID"};
    record->server = lf_jsonString(root, "server");
    record->rrl = gf_jsonInt32(root, "rrl").value_or(record->rrl);
    record->wrrl = gf_jsonInt32(root, "wrrl").value_or(record->wrrl);
    record->type = gf_jsonInt32(root, "type").value_or(record->type);
    record->expiry = lf_jsonInt64(root, "expiry").value_or(record->expiry);
    {
        std::lock_guard lock(mutex);
        record->generation = generationCounter++;
        session = record;
    }
    return RTAPISessionPtr(std::move(record));
}

std::variant<RTAPIDeauthReply, RTAPIStatusError> RTAPISession::requestDeauth()
{
    const RTAPISessionPtr held = current();
    if (!held)
        return RTAPIDeauthReply{};
    struct ClearOnExit {
        RTAPISession& s;
        ~ClearOnExit() { s.clear(); }
    } clearOnExit{*this};

    const std::string body = fmt::format("GUID={}", transport.escape(held->guid));
    auto result = transport.request(gf_rtApiUrl("/v6/deauth"), body, kDeauthOptions);
    if (auto* error = std::get_if<RTAPITransportError>(&result))
        return RTAPIStatusError{100, fmt::format("Deauthentication failed: {}", error->message)};
    const std::string_view text = std::get<RTAPIHttpResponse>(result).body;
    if (text.empty())
        return RTAPIStatusError{100, "Deauthentication: empty response"};
    const nlohmann::json root = nlohmann::json::parse(text, nullptr, false);
    if (root.is_discarded() || !root.is_object())
        return RTAPIStatusError{100, fmt::format("Deauthentication: invalid JSON: {}", text.substr(0, 256))};
    const int32_t status = gf_jsonInt32(root, "status").value_or(100);
    if (status != 200)
        return RTAPIStatusError{status, "Deauthentication failed"};
    return RTAPIDeauthReply{lf_jsonString(root, "message"), lf_jsonString(root, "server")};
}

int64_t lf_licenseDaysLeft(int64_t expirySeconds, int64_t now100ns)
{
    constexpr __int128 ticksPerSecond = 10'000'000;
    constexpr __int128 ticksPerDay = 864'000'000'000;
    const __int128 days = (static_cast<__int128>(expirySeconds) * ticksPerSecond - now100ns) / ticksPerDay;
    return static_cast<int64_t>(std::clamp<__int128>(days, std::numeric_limits<int64_t>::min(),
                                                     std::numeric_limits<int64_t>::max()));
}

std::string lf_licenseText(int32_t type, int64_t days)
{
    const char* suffix = (days < 0 || days == 1) ? "" : "s";
    return fmt::format("RT Direct {} license, {} day{} left", type == 2 ? "professional" : "standard", days, suffix);
}

void gf_setAuthRefusalWaitForTesting(std::chrono::milliseconds wait)
{
    g_refusalWaitMs = wait.count();
}

void gf_setSignInSleepForTesting(std::function<void(int64_t ms)> sleep)
{
    std::lock_guard lock(g_signInSleepMutex);
    g_signInSleep = std::move(sleep);
}

bool authenticate(int32_t& status)
{
    try {
        status = 100;
        RTAPISession& s = gf_rtApiSession();
        s.clear();
        feedConnected = false;
        const std::string software = fmt::format("{}_{}", "Kelo", gf_programVersion().toString());
        RTAPIServerSpell& spell = s.signInSpell;
        spell.clearSpell();
        s.signInProblem.clear();
        RTAPISessionPtr record;
        while (!record) {
            auto result = [&] {
                const SecretText credential = gf_rtCredential();
                return s.requestAuth(credential.view(), software);
            }();
            if (auto* error = std::get_if<RTAPIStatusError>(&result)) {
                status = error->status;
                // A stop request aborts the sign-in on purpose: nothing to report.
                if (!gf_keepRunning())
                    return false;
                const int32_t passing = gf_passingServerStatus(
                    error->status, static_cast<int32_t>(std::min<uint32_t>(error->httpStatus, 0x7FFFFFFFu)));
                // No server found for the moment (the network drops, the
                // machine wakes up): waited out like a busy server.
                const bool noServer =
                    error->httpStatus == 0 && error->curlCode != 0 && gf_isPassingTransportError(error->curlCode);
                if (passing != 0 || noServer) {
                    std::string detail;
                    int32_t spellStatus = 0;
                    if (passing != 0) {
                        status = passing;
                        spellStatus = passing;
                        s.signInProblem = fmt::format("error {}", passing);
                        detail = fmt::format("API status {}, HTTP status {}: {}", error->status, error->httpStatus,
                                             error->message);
                    } else {
                        // The spell tells one error from the next by its
                        // status: a transport error counts by its negated code.
                        spellStatus = -static_cast<int32_t>(error->curlCode);
                        s.signInProblem = fmt::format("no connection: {}", gf_curlErrorText(error->curlCode));
                        detail = error->message;
                    }
                    const auto wait = spell.serverErrorWait(spellStatus, error->retryAfterS, "authentication", detail);
                    if (!wait)
                        return false;
                    lf_waitToSignInAgain(*wait, s.signInProblem);
                    if (!gf_keepRunning())
                        return false;
                    continue;
                }
                if (error->httpStatus != 0)
                    spell.serverAnswered("authentication");
                if (!error->message.empty())
                    gf_logError(error->message);
                return false;
            }
            record = std::get<RTAPISessionPtr>(result);
            spell.serverAnswered("authentication");
        }
        // The server's wait is honoured within the same bounds as its traffic interval.
        const int32_t wrrl = std::clamp(record->wrrl, g_rrlLimitSpec.min, g_rrlLimitSpec.max);
        gf_rtApiWeatherReader().secondIntervalMs = static_cast<uint32_t>(wrrl);
        gf_professionalLevel() = record->type == 2;
        gf_logLine(fmt::format("\nAuthenticated at RT server '{}'", record->server.empty() ? "?" : record->server));
        feedConnected = true;

        const int64_t now100ns = std::chrono::duration_cast<std::chrono::duration<int64_t, std::ratio<1, 10000000>>>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count();
        gf_setTrafficSourceInfo(lf_licenseText(record->type, lf_licenseDaysLeft(record->expiry, now100ns)));
        lf_sleepWhileRunning(wrrl);
        return true;
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "authenticate", e.what()));
        return false;
    }
}

void deauthenticate()
{
    RTAPISession& s = gf_rtApiSession();
    try {
        if (s.hasSession()) {
            auto result = s.requestDeauth();
            if (auto* reply = std::get_if<RTAPIDeauthReply>(&result))
                gf_logLine(fmt::format("{} RT server '{}'", reply->message, reply->server));
            else {
                const auto& error = std::get<RTAPIStatusError>(result);
                gf_logError(fmt::format("Deauthentication failed, status {}: {}", error.status, error.message));
            }
        } else {
            gf_logError("Deauthentication skipped: empty GUID");
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "deauthenticate", e.what()));
    }
    feedConnected = false;
    s.clear();
}

void Authenticater()
{
    gf_showMessage("Waiting for authentication at RT server ...", true);
    gf_logLineFlush(" ");
    int32_t status = 100;
    const bool signedIn = authenticate(status);
    const RTAPISession& session = gf_rtApiSession();
    const RTAPIServerSpell& spell = session.signInSpell;
    // A sign-in that failed ends the run: its reason stays on the message
    // line until the window closes.
    if (!signedIn && spell.serverGaveOut()) {
        gf_reportServiceUnavailable(session.signInProblem, spell.serverOutageLimit);
        return;
    }
    if (!signedIn) {
        switch (status) {
        case 402:
            lf_refuse(402, "Your RT license is expired");
        case 404:
            lf_refuse(404, "RT did not recognize your license");
        case 405:
            lf_refuse(405, "More than one RealTraffic session is not possible, do not run the RealTraffic app");
        default:
            if (gf_keepRunning()) {
                gf_reportReaderStopped("Authenticater", false, 0);
                return;
            }
            break;
        }
    }
    gf_clearMessage();
}
