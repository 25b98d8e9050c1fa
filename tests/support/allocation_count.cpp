#include "tests/support/allocation_count.h"

#include <atomic>
#include <cstdlib>
#include <new>

// The replacements pair malloc with free; GCC, seeing free reached from a
// delete-expression once inlined, would take them for mismatched.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<std::size_t> g_minimum{0};
std::atomic<long> g_count{0};

} // namespace

// Every plain form of new and delete is replaced, so whatever form a library
// or a sanitizer's runtime would otherwise supply, each block is taken with
// malloc and given back with free.
void* operator new(std::size_t size)
{
    if (g_counting.load(std::memory_order_relaxed) && size >= g_minimum.load(std::memory_order_relaxed))
        g_count.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    return ::operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return ::operator new(size, std::nothrow);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

namespace kvr::test {

AllocationCounter::AllocationCounter(std::size_t minimumBytes)
{
    g_minimum = minimumBytes;
    g_count = 0;
    g_counting = true;
}

AllocationCounter::~AllocationCounter()
{
    g_counting = false;
}

long AllocationCounter::count() const
{
    return g_count.load();
}

} // namespace kvr::test
