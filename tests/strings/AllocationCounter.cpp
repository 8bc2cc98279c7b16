// The test program's replacement of the global allocation operators: plain
// malloc and free with counters, and a switch that makes allocations fail so
// that the memory manager's failure path can be driven without exhausting
// the machine.
#include "TXStringTestSupport.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> newCalls{0};
std::atomic<std::size_t> deleteCalls{0};
std::atomic<std::size_t> failuresPending{0};

void* CountedNew(std::size_t size)
{
    std::size_t pending = failuresPending.load();
    while (pending > 0) {
        if (failuresPending.compare_exchange_weak(pending, pending - 1))
            throw std::bad_alloc();
    }
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr)
        throw std::bad_alloc();
    newCalls.fetch_add(1);
    return p;
}

void CountedDelete(void* p) noexcept
{
    if (p == nullptr)
        return;
    deleteCalls.fetch_add(1);
    std::free(p);
}

} // namespace

void* operator new(std::size_t size)
{
    return CountedNew(size);
}

void* operator new[](std::size_t size)
{
    return CountedNew(size);
}

// The non-throwing forms too: a block from the runtime's own form would come
// back through the replaced delete, which the sanitizers report as a mismatch.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return CountedNew(size);
    } catch (...) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}

void operator delete(void* p) noexcept
{
    CountedDelete(p);
}

void operator delete[](void* p) noexcept
{
    CountedDelete(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    CountedDelete(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    CountedDelete(p);
}

namespace AllocationCounter {

Counts Now()
{
    return {newCalls.load(), deleteCalls.load()};
}

void FailNext(std::size_t count)
{
    failuresPending.store(count);
}

bool SeesPartitionBlocks()
{
    KXMM::Partition* partition = KXMM::Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, true);
    const AllocationWindow window;
    char* block = static_cast<char*>(partition->TXStringAllocate(16));
    const bool seen = window.News() == 1;
    partition->TXStringDeallocate(&block);
    return seen;
}

} // namespace AllocationCounter
