// The head shared by the two RT Direct reader threads: the session they use,
// the time offset and intervals of their requests, and the stop flag with the
// interruptible sleep that lets a stop end either thread at once.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class RTAPISession;

// A spell of passing server errors (429, 500, 502, 503) met by one caller of
// the web API. One such answer starts it: it is logged once (and again when
// the status changes), the caller waits serverErrorWaitMs, or what the answer
// asked (Retry-After), and asks again in the same session. Any other answer
// of the server ends the spell; one that lasts serverOutageLimit unbroken
// ends the caller, unless it may not give up (giveUpAfterOutage false).
class RTAPIServerSpell {
public:
    // Returns the wait in ms, or none once the spell is too long.
    std::optional<uint32_t> serverErrorWait(int32_t status, uint32_t retryAfterS, std::string_view context,
                                            std::string_view detail);
    // The server answered otherwise: a spell is over.
    void serverAnswered(std::string_view context);
    // The caller ended after a spell that lasted too long.
    bool serverGaveOut() const { return gaveOut; }
    // No spell, as at the start.
    void clearSpell();

    uint32_t serverErrorWaitMs = 30000;
    std::chrono::milliseconds serverOutageLimit{std::chrono::minutes(20)};
    // False: a spell however long only waits and asks again.
    bool giveUpAfterOutage = true;
    // The clock of the spells; tests replace it.
    std::chrono::steady_clock::time_point (*outageNow)() = &std::chrono::steady_clock::now;

private:
    std::optional<std::chrono::steady_clock::time_point> outageSince;
    int32_t outageStatus = 0;
    bool gaveOut = false;
};

class RTAPIreader : public RTAPIServerSpell {
public:
    RTAPIreader();
    virtual ~RTAPIreader() = default;
    RTAPIreader(const RTAPIreader&) = delete;
    RTAPIreader& operator=(const RTAPIreader&) = delete;

    // Sleeps `ms` milliseconds; returns early only when the stop flag is set,
    // so a request after the sleep keeps the service's interval.
    void sleepMs(uint32_t ms);
    // Sets the stop flag and wakes the sleeping thread.
    void requestStop();
    // Before a restart: no session, a fresh sign-in transport, stop flag clear, live time.
    void reset();

    RTAPISession* session;
    // Seconds since 1970 UTC of the latest traffic received (traffic reader; 0 = none).
    std::atomic<uint64_t> latestTimestamp{0};
    // Minutes back in time sent with every request; 0 = live.
    std::atomic<uint32_t> toffset{0};
    std::atomic<uint32_t> intervalMs{2000};
    std::atomic<uint32_t> secondIntervalMs{2000};
    std::atomic<bool> stopFlag{false};

    // ---- Passing server errors: see RTAPIServerSpell ----
    // Set by a request that met a passing server error: the seconds its
    // answer asked to wait (0 = none) and what it said.
    uint32_t lastRetryAfterS = 0;
    std::string lastServerError;

protected:
    std::mutex sleepMutex;
    std::condition_variable sleepCv;
};

// The wait before the next request: what the answer asked (Retry-After, in
// seconds, held to 1..600 s), else `otherwiseMs`.
uint32_t gf_retryAfterWaitMs(uint32_t retryAfterS, uint32_t otherwiseMs);

// 429, 500, 502 and 503: the service is busy or down for a while.
bool gf_isPassingServerError(int64_t status);
// The passing server error of a reply with these statuses, else 0: the API
// status when it is one, or the HTTP status of a reply that is neither a
// success nor a 406.
int32_t gf_passingServerStatus(int32_t apiStatus, int32_t httpStatus);
// Tells the user that the service stayed unavailable for `limit` (what
// went wrong last: `problem`, e.g. "error 503") and ends the run for good.
void gf_reportServiceUnavailable(std::string_view problem, std::chrono::milliseconds limit);

// The status a reader ends with for an API status that ends it: 9999 means
// stopped on request, so the API's own 9999 counts as no usable answer (100).
int32_t gf_readerEndStatus(int32_t apiStatus);

// Logs why a reader's request loop ended: `kind` is "Traffic" or "Weather";
// status 9999 (a stop) logs nothing.
void gf_logRTAPIReaderEnd(std::string_view kind, int status);

// Ends a reader thread's run however it leaves: marks its state stopped
// (`setStopped`) and, unless it was stopped on request (status 9999), stops
// the other reader and reports why this one ended, when nothing reported it
// yet (`handled`).
struct RTAPIReaderExit {
    const char* readerName;
    void (*setStopped)();
    RTAPIreader& other;
    int32_t& status;
    bool& handled;
    // The reader itself: one that gave up after a long server outage tells
    // the user that the service is unavailable.
    RTAPIreader* self = nullptr;
    ~RTAPIReaderExit();

    // Runs the thread's work: an exception it throws is logged under `where`
    // and reported here as this reader's stop (`handled` is then set).
    void run(const char* where, const std::function<void()>& work);
};
