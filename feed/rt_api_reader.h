// The head shared by the two RT Direct reader threads: the session they use,
// the time offset and intervals of their requests, and the stop flag with the
// interruptible sleep that lets a stop end either thread at once.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>

class RTAPISession;

class RTAPIreader {
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

protected:
    std::mutex sleepMutex;
    std::condition_variable sleepCv;
};

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
    ~RTAPIReaderExit();

    // Runs the thread's work: an exception it throws is logged under `where`
    // and reported here as this reader's stop (`handled` is then set).
    void run(const char* where, const std::function<void()>& work);
};
