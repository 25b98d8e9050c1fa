// The RT Direct session: signing in at /v6/auth, the session record that both
// RT Direct readers use, and signing off at /v6/deauth.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <variant>

#include "feed/feed_flags.h"
#include "feed/rt_api_reader.h"
#include "feed/rt_api_transport.h"

// One successful authentication; published once and never changed.
struct RTAPISessionRecord {
    std::string guid;
    std::string server;
    int32_t rrl = 2000;
    int32_t wrrl = 2000;
    int32_t type = 1; // 2 = professional
    int64_t expiry = 0; // seconds since 1970 UTC
    uint64_t generation = 0;
};

using RTAPISessionPtr = std::shared_ptr<const RTAPISessionRecord>;

// A session operation that failed: the API status (100 = no usable answer).
struct RTAPIStatusError {
    int32_t status = 100;
    std::string message;
    // The HTTP status of the answer (0 = none came) and the seconds it asked
    // to wait before the next request (0 = none).
    uint32_t httpStatus = 0;
    uint32_t retryAfterS = 0;
    // The libcurl code of a request that got no answer (0 = an answer came).
    uint32_t curlCode = 0;
};

struct RTAPIDeauthReply {
    std::string message;
    std::string server;
};

class RTAPISession {
public:
    RTAPISession();

    // Signs in with the credential ("token" for "rt_..." texts, else "license").
    std::variant<RTAPISessionPtr, RTAPIStatusError> requestAuth(std::string_view credential,
                                                                std::string_view software);
    // Signs off; without a session nothing is sent and the result is empty.
    std::variant<RTAPIDeauthReply, RTAPIStatusError> requestDeauth();
    bool hasSession();
    void clear();
    // The current session (null = none), copied under the mutex.
    RTAPISessionPtr current();

    // Used only for /v6/auth and /v6/deauth.
    RTAPITransport transport{4096};
    // The sign-in's spell of passing server errors and of a network that
    // finds no server for the moment: each sign-in starts without one and
    // waits them out in the same way as the readers' polls.
    RTAPIServerSpell signInSpell;
    // What the user is told of the spell's latest failure: "error 503", or
    // "no connection: Couldn't connect to server".
    std::string signInProblem;

private:
    std::mutex mutex;
    RTAPISessionPtr session;
    uint64_t generationCounter = 1;
};

// The program's one session.
RTAPISession& gf_rtApiSession();

// Signs in with the stored credential and reports the licence; false with
// `status` set on failure. Passing server errors (429, 500, 502, 503) and
// requests that find no server (refused, name lookup, reset, time-out) are
// waited out, the message line telling why and when it asks again; after a
// spell too long it gives up with that error's status (the session's
// signInSpell then tells so, and signInProblem what went wrong).
bool authenticate(int32_t& status);
// Signs off at shutdown.
void deauthenticate();
// The start-up step of RT Direct mode: turns a failed sign-in into what the
// user sees (throws kvr::UserRelatedException for 402, 404 and 405; a
// service unavailable for too long, or any other failure, ends the run, its
// reason left on the message line).
void Authenticater();

// Whole days from now until the licence expiry, both in 100-ns ticks since
// 1970 UTC (truncated toward zero; saturates instead of overflowing).
int64_t lf_licenseDaysLeft(int64_t expirySeconds, int64_t now100ns);
// "RT Direct {} license, {} day{} left".
std::string lf_licenseText(int32_t type, int64_t days);
// Test seam: how long Authenticater shows a refusal before it throws (10 s).
void gf_setAuthRefusalWaitForTesting(std::chrono::milliseconds wait);
// Test seam: the sleep of the sign-in's waits between two tries (at most a
// second at a time; none = sleep while the program keeps running).
void gf_setSignInSleepForTesting(std::function<void(int64_t ms)> sleep);
