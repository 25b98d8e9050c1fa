// The shared head of the RT Direct readers.
#include "feed/rt_api_reader.h"

#include <chrono>

#include "feed/rt_api_session.h"

RTAPIreader::RTAPIreader() : session(&gf_rtApiSession()) {}

void RTAPIreader::sleepMs(uint32_t ms)
{
    if (ms < 1)
        return;
    auto waitFor = [this](uint32_t part) {
        std::unique_lock lock(sleepMutex);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(part);
        return sleepCv.wait_until(lock, deadline, [this] { return stopFlag.load() || wakeRequested(); });
    };
    for (int i = 0; i < 4; ++i) {
        if (stopFlag.load() || wakeRequested())
            return;
        if (waitFor(ms / 4))
            return;
    }
    if (ms % 4 != 0 && !stopFlag.load())
        waitFor(ms % 4);
}

void RTAPIreader::requestStop()
{
    {
        std::lock_guard lock(sleepMutex);
        stopFlag = true;
    }
    sleepCv.notify_all();
}

void RTAPIreader::wake()
{
    {
        std::lock_guard lock(sleepMutex);
    }
    sleepCv.notify_all();
}

void RTAPIreader::reset()
{
    session->clear();
    session->transport.resetHandle();
    stopFlag = false;
    toffset = 0;
}
