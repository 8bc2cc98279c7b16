// The module-wide main-partition pointer behind GetMainPartition and
// SetMainPartition.
#include "strings/MainPartition.h"

#include <atomic>

namespace {

// Relaxed is enough: the pointer is set by the module entry before any string
// allocates, and the partition it names never changes its own state for
// string buffers.
std::atomic<KXMM::Partition*> mainPartition{nullptr};

} // namespace

KXMM::Partition* GetMainPartition()
{
    return mainPartition.load(std::memory_order_relaxed);
}

void SetMainPartition(KXMM::Partition* partition)
{
    mainPartition.store(partition, std::memory_order_relaxed);
}
