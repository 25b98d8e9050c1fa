#pragma once
// Counts the allocations made through the global operator new while a counter
// is alive, so a test can tell whether a read path allocates per file or per
// line without timing it. Using it links the test program's operator new and
// delete from allocation_count.cpp (malloc and free underneath).
#include <cstddef>

namespace kvr::test {

class AllocationCounter {
public:
    // Counts allocations of `minimumBytes` or more, on any thread.
    explicit AllocationCounter(std::size_t minimumBytes = 0);
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    long count() const;
};

} // namespace kvr::test
