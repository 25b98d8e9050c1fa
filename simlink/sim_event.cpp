#include "simlink/sim_event.h"

#include <utility>

SimEventQueue::SimEventQueue()
{
    m_push.reserve(256);
}

void SimEventQueue::push(const SimEvent& event)
{
    std::lock_guard lock(m_mutex);
    m_push.push_back(event);
}

void SimEventQueue::swapInto(std::vector<SimEvent>& processing)
{
    processing.clear();
    if (processing.capacity() < 256)
        processing.reserve(256);
    std::lock_guard lock(m_mutex);
    m_push.swap(processing);
}

void SimEventQueue::clear()
{
    std::lock_guard lock(m_mutex);
    m_push.clear();
}

size_t SimEventQueue::pendingCount() const
{
    std::lock_guard lock(m_mutex);
    return m_push.size();
}

SimEventQueue& gf_simEventQueue()
{
    static SimEventQueue queue;
    return queue;
}

void gf_pushSimEvent(const SimEvent& event)
{
    gf_simEventQueue().push(event);
}
