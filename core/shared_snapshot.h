// A shared_ptr to an immutable record that one thread replaces while others
// read it: load, store and compare_exchange_weak as std::atomic<std::shared_ptr>
// has them, over a mutex. libstdc++ 12's std::atomic<std::shared_ptr> ends a
// load with a relaxed unlock, so a reader's access to the pointer and the next
// writer's are not ordered (ThreadSanitizer reports it); this one is plain.
#pragma once

#include <memory>
#include <mutex>
#include <utility>

template <class T>
class SharedSnapshot {
public:
    explicit SharedSnapshot(std::shared_ptr<T> initial) : m_ptr(std::move(initial)) {}
    SharedSnapshot(const SharedSnapshot&) = delete;
    SharedSnapshot& operator=(const SharedSnapshot&) = delete;

    std::shared_ptr<T> load() const
    {
        std::lock_guard lock(m_mutex);
        return m_ptr;
    }

    // The record it replaces is released outside the lock.
    void store(std::shared_ptr<T> next)
    {
        {
            std::lock_guard lock(m_mutex);
            m_ptr.swap(next);
        }
    }

    // Replaces the record when it is still `expected`; otherwise `expected`
    // becomes the record in force.
    bool compare_exchange_weak(std::shared_ptr<T>& expected, std::shared_ptr<T> desired)
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_ptr == expected) {
                m_ptr.swap(desired);
                return true;
            }
            expected = m_ptr;
        }
        return false;
    }

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<T> m_ptr;
};
