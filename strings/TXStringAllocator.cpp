// The out-of-line half of TXStringAllocator: the calls into the memory
// manager's string-buffer entry points.
#include "strings/TXStringAllocator.h"

#include "KXMM/KXMM.h"
#include "strings/MainPartition.h"

#include <new>

namespace TXStringDetail {

void* AllocateBlock(std::size_t bytes)
{
    KXMM::Partition* partition = GetMainPartition();
    if (partition == nullptr)
        throw std::bad_alloc();
    void* block = partition->TXStringAllocate(bytes);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

void DeallocateBlock(void* block) noexcept
{
    if (block == nullptr)
        return;
    // The entry point clears the variable it is given; a local copy keeps the
    // caller's own pointer out of it.
    char* local = static_cast<char*>(block);
    // Without a main partition there is no way back through the memory
    // manager; going around it would break the rule that every buffer returns
    // through TXStringDeallocate, so the block is left alone. Only a module
    // that clears the pointer while strings are alive gets here.
    if (KXMM::Partition* partition = GetMainPartition())
        partition->TXStringDeallocate(&local);
}

void ThrowBadLength()
{
    throw std::bad_array_new_length();
}

} // namespace TXStringDetail
