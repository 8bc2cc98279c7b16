// The core of the memory manager: the partition list, the bucket table,
// allocation, release and the resize step, handles, pools, resource-backed
// handles, destructors, user data, the flat legacy interface and the string
// buffers. Validation, statistics, stacks and callbacks are in KXMM_Debug.cpp.
#include "KXMM/KXMM.h"
#include "KXMM/KXMMInternal.h"
#include "platform/Diagnostics.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

namespace KXMM {

using namespace detail;

namespace detail {

RecursiveLock blockListLock;

void FormatInto(char* buffer, std::size_t size, const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    if (std::vsnprintf(buffer, size, format, arguments) < 0)
        buffer[0] = '\0';
    va_end(arguments);
}

void ReportFailedCondition(const char* condition, const char* unit, int line)
{
    char text[kAssertTextSize];
    FormatInto(text, sizeof text, kFailedConditionFormat, condition, unit, line);
    Partition::KXMM_Assert(false, text);
}

} // namespace detail

namespace {

constexpr std::size_t kMaxSize = std::numeric_limits<std::size_t>::max();

std::atomic<bool> assertsEnabled{true};
std::atomic<AssertHandler> assertHandler{nullptr};
std::atomic<OutputHandler> outputHandler{nullptr};

enum class NewResult { Ok, Threw, Null };

/// operator new that reports failure instead of throwing. A byte count that
/// overflowed while it was computed (`overflow`), or that no object can have,
/// counts as a throw without asking: operator new could only throw for it.
void* TryNew(std::size_t bytes, NewResult& result, bool overflow = false) noexcept
{
    if (overflow || bytes > static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max())) {
        result = NewResult::Threw;
        return nullptr;
    }
    try {
        void* p = ::operator new(bytes);
        result = p ? NewResult::Ok : NewResult::Null;
        return p;
    } catch (...) {
        result = NewResult::Threw;
        return nullptr;
    }
}

/// Adds to a statistics counter. Every change of a counter happens with
/// blockListLock held, so a plain load and store cannot lose an update, and
/// the hot paths pay for no atomic read-modify-write beyond the lock itself;
/// the counters stay atomic for readers that take no lock.
template <typename T, typename D>
void Count(std::atomic<T>& counter, D delta) noexcept
{
    using U = std::make_unsigned_t<T>;
    counter.store(static_cast<T>(static_cast<U>(counter.load(std::memory_order_relaxed)) + static_cast<U>(delta)),
                  std::memory_order_relaxed);
}

MemoryBlock* HeaderOf(const void* handle) noexcept
{
    return static_cast<MemoryBlock*>(const_cast<void*>(handle));
}

MemoryBlock* HeaderBefore(const void* data) noexcept
{
    MemoryBlock* header;
    std::memcpy(&header, static_cast<const char*>(data) - kLinkSize, sizeof header);
    return header;
}

void StoreHeaderLink(void* allocation, MemoryBlock* header) noexcept
{
    std::memcpy(allocation, &header, sizeof header);
}

char* InlineData(MemoryBlock* header) noexcept
{
    return reinterpret_cast<char*>(header) + kHeaderSize;
}

/// A fresh header in `memory` with every field as a new block starts. The
/// fields are set one by one: clearing the whole header first costs more on
/// the allocation path than the header is worth.
MemoryBlock* FormatHeader(void* memory, std::size_t memSize, std::size_t maxSize, char* data) noexcept
{
    auto* block = static_cast<MemoryBlock*>(memory);
    block->memPtr = data;
    block->hashIndex = 0;
    block->next = nullptr;
    block->prev = nullptr;
    block->memSize = memSize;
    block->maxSize = maxSize;
    block->flags = 0;
    block->oversize = 0;
    block->pool = nullptr;
    block->qtResource = nullptr;
    block->resFile = kNoResourceFile;
    block->stackTrace = nullptr;
    block->locked = false;
    block->userData = nullptr;
    block->instantiated = false;
    block->destructor = nullptr;
    block->magic = 0;
    block->self = block;
    return block;
}

} // namespace

// ---------------------------------------------------------------------------
// Partitions and the partition list

Partition* Partition::partitionList = nullptr;

Partition::Partition()
{
    AddThisToList();
}

Partition::~Partition()
{
    RemoveThisFromList();
    // The current pool's storage is an ordinary block of the table and goes
    // with all the others below. Whatever is still handed out is released
    // silently: a partition's end is not a misuse.
    currentPool = nullptr;

    // Preformed blocks of other pools lie inside their pool's storage, which
    // is an ordinary block of this table: take them out first, so that
    // releasing the storage never leaves a walk standing in freed memory.
    for (std::size_t i = 0; i < kBucketCount; ++i) {
        for (MemoryBlock* block = blockLists[i]; block != nullptr;) {
            MemoryBlock* following = block->next;
            if (block->flags & kBlockPooled)
                DetachInUsePoolBlock(block);
            block = following;
        }
    }
    for (MemoryBlock** lists : {blockLists, resourceLists}) {
        std::size_t* counts = lists == blockLists ? blockListCounts : resourceListCounts;
        for (std::size_t i = 0; i < kBucketCount; ++i) {
            for (MemoryBlock* block = lists[i]; block != nullptr;) {
                MemoryBlock* following = block->next;
                FreeBlockStorage(block);
                block = following;
            }
            lists[i] = nullptr;
            counts[i] = 0;
        }
    }
    FreeRetiredHeaders();
}

Partition* Partition::GetPartitionByIdentifier(const char* identifier, bool /*flag*/)
{
    if (partitionList != nullptr)
        return partitionList;
    void* memory = std::malloc(sizeof(Partition));
    if (memory == nullptr)
        return nullptr;
    auto* partition = ::new (memory) Partition();
    partition->createdByLibrary = true;
    partition->SetIdentifier(identifier);
    return partition;
}

Partition* Partition::GetPartitionListHead()
{
    return partitionList;
}

void Partition::FreeAllPartitions()
{
    while (partitionList != nullptr) {
        Partition* taken = partitionList;
        partitionList = taken->next;
        if (partitionList != nullptr)
            partitionList->prev = nullptr;
        taken->next = taken->prev = nullptr;
        if (taken->createdByLibrary) {
            taken->FreeRetiredHeaders(); // released blocks: not the caller's to lose
            std::free(taken);
        }
    }
}

void Partition::AddThisToList()
{
    next = partitionList;
    prev = nullptr;
    if (partitionList != nullptr)
        partitionList->prev = this;
    partitionList = this;
}

void Partition::RemoveThisFromList()
{
    if (prev != nullptr)
        prev->next = next;
    if (next != nullptr)
        next->prev = prev;
    if (partitionList == this)
        partitionList = next;
    next = prev = nullptr;
}

void Partition::SetIdentifier(const char* name)
{
    FormatInto(identifier, sizeof identifier, "%s", name ? name : "");
}

void Partition::GetIdentifier(char* out) const
{
    FormatInto(out, kIdentifierSize, "%s", identifier);
}

void Partition::SetFlags(unsigned int value)
{
    flags = value;
}

unsigned int Partition::GetFlags() const
{
    return flags;
}

// ---------------------------------------------------------------------------
// The bucket table

unsigned int Partition::GetMemoryBlockHash(const MemoryBlock* block)
{
    // 64-bit FNV-1a over the address's bytes, least significant first.
    const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(block));
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned byte = 0; byte < sizeof address; ++byte) {
        hash ^= (address >> (8 * byte)) & 0xFF;
        hash *= 0x100000001b3ull;
    }
    return static_cast<unsigned int>(hash % kBucketCount);
}

namespace {

/// Enters a header at the front of bucket `i`.
void LinkIntoBucket(MemoryBlock* block, unsigned int i, MemoryBlock** lists, std::size_t* counts) noexcept
{
    block->hashIndex = i;
    block->prev = nullptr;
    block->next = lists[i];
    if (lists[i] != nullptr)
        lists[i]->prev = block;
    ++counts[i];
    lists[i] = block;
}

} // namespace

void Partition::HookupBlockToList(MemoryBlock* block, MemoryBlock** lists, std::size_t* counts)
{
    LinkIntoBucket(block, GetMemoryBlockHash(block), lists, counts);
}

void Partition::RemoveBlockFromList(MemoryBlock* block, MemoryBlock** lists, std::size_t* counts)
{
    const std::size_t i = block->hashIndex;
    if (lists[i] == block)
        lists[i] = block->next;
    if (block->next != nullptr)
        block->next->prev = block->prev;
    if (block->prev != nullptr)
        block->prev->next = block->next;
    block->next = block->prev = nullptr;
    block->hashIndex = 0;
    --counts[i];
}

// ---------------------------------------------------------------------------
// Blocks and pointers

void Partition::AllocationFailed(const char* message, std::size_t size)
{
    KXMM_Assert(false, message);
    InvokeCallbacks(1, size);
}

void* Partition::Allocate(std::size_t size)
{
    const std::size_t n = std::max(size, kMinBlockSize);

    if ((flags & kPoolingOn) && currentPool != nullptr && size <= PoolOf(currentPool)->blockSize) {
        DeferredReports reports;
        char** handle;
        {
            LockGuard guard;
            handle = TakePoolBlock(currentPool, reports);
            if (handle != nullptr) {
                Count(numCalls, 1);
                Count(numBlocks, 1);
                Count(bytesAllocated, n);
                Count(numpoolHits, 1);
            }
        }
        if (handle != nullptr) {
            MemoryBlock* block = HeaderOf(handle);
            block->memSize = size;
            block->instantiated = false;
            block->destructor = nullptr;
            // Recorded here rather than in the pool's hand-out, so that the
            // stack starts at the allocating operation.
            if (stackTraceEnabled || block->stackTrace != nullptr)
                CollectStackTrace(block);
            return block->memPtr;
        }
    }

    const bool disconnected = n >= kDisconnectThreshold;
    NewResult result;
    void* memory = TryNew(kHeaderSize + (disconnected ? kLinkSize : n), result);
    if (memory == nullptr) {
        CountFailedAllocation(n);
        AllocationFailed(result == NewResult::Threw ? kMsgAllocateException : kMsgAllocateNull, size);
        return nullptr;
    }
    MemoryBlock* block = FormatHeader(memory, size, n, nullptr);
    block->memPtr = InlineData(block);
    if (stackTraceEnabled)
        CollectStackTrace(block);

    if (disconnected) {
        void* data = TryNew(n + kLinkSize, result, n > kMaxSize - kLinkSize);
        if (data == nullptr) {
            // The header is of no use without its data: give it back rather
            // than leak it.
            FreeBlockStorage(block);
            CountFailedAllocation(n);
            AllocationFailed(result == NewResult::Threw ? kMsgDisconnectedException : kMsgDisconnectedNull, n);
            return nullptr;
        }
        StoreHeaderLink(data, block);
        block->memPtr = static_cast<char*>(data) + kLinkSize;
        block->flags |= kBlockDisconnected;
    }

    block->magic = kLiveBlockMagic;
    {
        LockGuard guard;
        Count(numBlocks, 1);
        Count(numCalls, 1);
        Count(bytesAllocated, n);
        HookupBlockToList(block, blockLists, blockListCounts);
    }
    return block->memPtr;
}

void Partition::CountFailedAllocation(std::size_t roundedSize)
{
    // A failed attempt still counts as an allocation made.
    LockGuard guard;
    Count(numBlocks, 1);
    Count(numCalls, 1);
    Count(bytesAllocated, roundedSize);
}

void Partition::ReleaseBlockContents(MemoryBlock* block)
{
    if (block->flags & kBlockDisconnected)
        ::operator delete(block->memPtr - kLinkSize);
    delete block->stackTrace;
    block->stackTrace = nullptr;
    block->memPtr = nullptr;
}

void Partition::FreeBlockStorage(MemoryBlock* block)
{
    ReleaseBlockContents(block);
    ::operator delete(block);
}

MemoryBlock* Partition::RetireHeader(MemoryBlock* block)
{
    // Released headers are kept for a while before their memory goes back:
    // a second release of the same block then still finds a dead magic
    // number to report instead of reading memory the heap has reused.
    MemoryBlock* expired = retiredHeaders[retiredNext];
    retiredHeaders[retiredNext] = block;
    retiredNext = (retiredNext + 1) % kRetiredHeaders;
    return expired;
}

void Partition::FreeRetiredHeaders()
{
    for (MemoryBlock*& header : retiredHeaders) {
        ::operator delete(header);
        header = nullptr;
    }
}

void Partition::Deallocate(void* data)
{
    if (data == nullptr)
        return;
    MemoryBlock* block = HeaderBefore(data);

    if (block->pool != nullptr) {
        ReleaseToPool(block->pool, block, true);
        return;
    }
    // A block that is not live (released before, or never ours) is reported
    // and left alone: releasing it would free memory twice.
    if (block->magic != kLiveBlockMagic) {
        KXMM_Assert(false, kMsgDeallocateMagic);
        return;
    }
    block->magic = 0;
    ReleaseBlockContents(block);
    MemoryBlock* expired;
    {
        LockGuard guard;
        Count(bytesAllocated, 0 - block->memSize);
        Count(numBlocks, -1);
        RemoveBlockFromList(block, blockLists, blockListCounts);
        expired = RetireHeader(block);
    }
    ::operator delete(expired);
}

bool Partition::ShrinkReleaseDue(const MemoryBlock* block, std::size_t newSize) const
{
    // The slack is summed in 32 bits, as the reserve field is.
    const std::uint32_t slack = block->oversize + kShrinkSlack;
    return block->maxSize >= newSize && block->maxSize - newSize > slack && (block->flags & kBlockDisconnected);
}

bool Partition::ResizeBlock(MemoryBlock* block, std::size_t newSize, const CopyFunction* copy)
{
    {
        LockGuard guard;
        Count(bytesAllocated, newSize - block->memSize);
    }

    if (block->maxSize >= newSize && !ShrinkReleaseDue(block, newSize)) {
        block->memSize = newSize;
        return true;
    }

    const std::size_t reserve = std::max<std::size_t>(block->oversize, kMinGrowthReserve);
    const bool overflow = newSize > kMaxSize - reserve - kLinkSize;
    const std::size_t capacity = overflow ? 0 : newSize + reserve;
    NewResult result;
    void* memory = TryNew(capacity + kLinkSize, result, overflow);
    if (memory == nullptr) {
        AllocationFailed(result == NewResult::Threw ? kMsgResizeException : kMsgResizeNull, newSize);
        return false;
    }
    StoreHeaderLink(memory, block);
    char* oldData = block->memPtr;
    char* newData = static_cast<char*>(memory) + kLinkSize;
    if (copy != nullptr && *copy) {
        try {
            (*copy)(oldData, block->memSize, newData, newSize);
        } catch (...) {
            // The caller's exception must not leave the library. The block
            // keeps its old data, so the new storage and the size change
            // counted above are both undone.
            ::operator delete(memory);
            {
                LockGuard guard;
                Count(bytesAllocated, block->memSize - newSize);
            }
            KXMM_Assert(false, kMsgCopyThrew);
            return false;
        }
    } else {
        std::memcpy(newData, oldData, std::min<std::size_t>(block->memSize, newSize));
    }

    // An old inline area stays inside the header's allocation; only separate
    // data is ours to free.
    if (block->flags & kBlockDisconnected)
        ::operator delete(oldData - kLinkSize);
    block->flags |= kBlockDisconnected;
    block->memPtr = newData;
    block->memSize = newSize;
    block->maxSize = capacity;
    return true;
}

bool Partition::GrowBy(MemoryBlock* block, std::size_t extra)
{
    if (extra > kMaxSize - block->memSize) {
        AllocationFailed(kMsgResizeException, kMaxSize);
        return false;
    }
    return ResizeBlock(block, block->memSize + extra, nullptr);
}

bool Partition::Resize(void* handle, std::size_t newSize, CopyFunction copy)
{
    if (handle == nullptr)
        return false;
    return ResizeBlock(HeaderOf(handle), newSize, &copy);
}

char* Partition::NewPtr(std::size_t size)
{
    return static_cast<char*>(Allocate(size));
}

char* Partition::NewPtrClear(std::size_t size)
{
    char* p = NewPtr(size);
    if (p != nullptr)
        std::memset(p, 0, size);
    return p;
}

void Partition::DisposePtr(char* p)
{
    if (p != nullptr && GetInstantiatedState(p)) {
        SetInstantiatedState(p, false);
        CallDestructor(p);
        ClearDestructor(p);
    }
    Deallocate(p);
}

std::size_t Partition::GetPtrSize(const char* p) const
{
    const void* handle = GetHandle(p);
    return handle ? HeaderOf(handle)->memSize : 0;
}

bool Partition::SetPtrSize(char* p, std::size_t newSize)
{
    if (p == nullptr)
        return false;
    MemoryBlock* block = HeaderBefore(p);
    // The caller keeps only `p`: a change that would move the data is refused.
    if (block->maxSize < newSize || ShrinkReleaseDue(block, newSize))
        return false;
    return ResizeBlock(block, newSize, nullptr);
}

void* Partition::GetHandle(const void* p) const
{
    return p ? HeaderBefore(p) : nullptr;
}

short Partition::MemError()
{
    return 0;
}

void Partition::KXMM_Assert(bool condition, const char* message)
{
    if (condition || !assertsEnabled.load(std::memory_order_relaxed))
        return;
    char text[kAssertTextSize];
    FormatInto(text, sizeof text, kAssertFormat, message ? message : "");
    const AssertHandler handler = assertHandler.load(std::memory_order_acquire);
    bool keepReporting = true;
    try {
        keepReporting = handler ? handler(text) : Platform::ShowAssertBox(kAssertTitle, text);
    } catch (...) {
        // A handler that throws has not answered No.
    }
    if (!keepReporting)
        assertsEnabled.store(false, std::memory_order_relaxed);
}

AssertHandler Partition::SetAssertHandler(AssertHandler handler)
{
    return assertHandler.exchange(handler, std::memory_order_acq_rel);
}

void Partition::EnableAsserts()
{
    assertsEnabled.store(true, std::memory_order_relaxed);
}

OutputHandler Partition::SetOutputHandler(OutputHandler handler)
{
    return outputHandler.exchange(handler, std::memory_order_acq_rel);
}

void detail::DebugOutput(const char* text)
{
    if (const OutputHandler handler = outputHandler.load(std::memory_order_acquire))
        handler(text);
    else
        Platform::DebugOutput(text);
}

// ---------------------------------------------------------------------------
// Handles

char** Partition::NewHandle(std::size_t size)
{
    return static_cast<char**>(GetHandle(Allocate(size)));
}

char** Partition::NewHandleClear(std::size_t size)
{
    char** h = NewHandle(size);
    if (h != nullptr)
        std::memset(*h, 0, size);
    return h;
}

bool Partition::IsInstantiated(const char* const* h) const
{
    // Resource data is foreign: there is no header word in front of it.
    if (h == nullptr || *h == nullptr || (HeaderOf(h)->flags & kBlockResource))
        return false;
    return HeaderBefore(*h)->instantiated;
}

void Partition::DisposeHandle(char** h)
{
    if (h == nullptr)
        return;
    // A resource-backed block has no header word before its data, so it can
    // only be released through its handle.
    if (HeaderOf(h)->flags & kBlockResource) {
        DeallocateResource(h);
        return;
    }
    if (HeaderOf(h)->magic != kLiveBlockMagic && HeaderOf(h)->magic != kPoolBlockMagic) {
        KXMM_Assert(false, kMsgDeallocateMagic);
        return;
    }
    char* p = *h;
    if (IsInstantiated(h)) {
        SetInstantiatedState(p, false);
        CallDestructor(p);
        ClearDestructor(p);
        std::memset(p, kDisposedFill, GetHandleSize(h));
    }
    Deallocate(p);
}

std::size_t Partition::GetHandleSize(const char* const* h) const
{
    return GetKXMMHandleSize(h);
}

std::size_t Partition::GetKXMMHandleSize(const void* h) const
{
    return h ? HeaderOf(h)->memSize : 0;
}

std::size_t Partition::GetHandleMaxSize(const char* const* h) const
{
    return GetKXMMHandleMaxSize(h);
}

std::size_t Partition::GetKXMMHandleMaxSize(const void* h) const
{
    return h ? HeaderOf(h)->maxSize : 0;
}

bool Partition::SetHandleSize(char** h, std::size_t newSize)
{
    if (h == nullptr) {
        KXMM_Assert(false, kMsgSetHandleSizeNull1);
        return false;
    }
    if (IsInstantiated(h)) {
        KXMM_Assert(false, kMsgSetHandleSizeInstantiated1);
        return false;
    }
    return ResizeBlock(HeaderOf(h), newSize, nullptr);
}

bool Partition::SetHandleSize(char** h, std::size_t newSize, CopyFunction copy)
{
    if (h == nullptr) {
        KXMM_Assert(false, kMsgSetHandleSizeNull2);
        return false;
    }
    if (IsInstantiated(h)) {
        KXMM_Assert(false, kMsgSetHandleSizeInstantiated2);
        return false;
    }
    return ResizeBlock(HeaderOf(h), newSize, &copy);
}

void Partition::SetHandleOversize(char** h, unsigned int oversize, bool force)
{
    if (h == nullptr)
        return;
    MemoryBlock* block = HeaderOf(h);
    if (force || oversize > block->oversize)
        block->oversize = oversize;
}

unsigned int Partition::GetHandleOversize(const char* const* h) const
{
    return h ? HeaderOf(h)->oversize : 0;
}

void Partition::HLock(char** h)
{
    SetHandleLockState_Legacy(h, true);
}

void Partition::HUnlock(char** h)
{
    SetHandleLockState_Legacy(h, false);
}

char Partition::HGetState(const char* const* h) const
{
    return HandleIsLocked_Legacy(h) ? static_cast<char>(kHandleLockedState) : 0;
}

bool Partition::SetHandleLockState_Legacy(char** h, bool locked)
{
    if (h == nullptr)
        return false;
    HeaderOf(h)->locked = locked;
    return true;
}

bool Partition::HandleIsLocked_Legacy(const char* const* h) const
{
    return h ? HeaderOf(h)->locked : false;
}

bool Partition::IsHandleInUse(const char* const* h) const
{
    if (h == nullptr)
        return false;
    const MemoryBlock* block = HeaderOf(h);
    if (block->magic == kPoolBlockMagic) {
        if (!(block->flags & kBlockPooled) || block->pool == nullptr)
            return false;
        const PoolSlot* slot = SlotOf(PoolOf(block->pool), block);
        return slot != nullptr && slot->inUse;
    }
    return block->magic == kLiveBlockMagic;
}

bool Partition::HandToHand(char**& h)
{
    if (h == nullptr)
        return false;
    if (IsInstantiated(h)) {
        KXMM_Assert(false, kMsgHandToHandInstantiated);
        return false;
    }
    h = static_cast<char**>(DuplicateHandle(h));
    return h != nullptr;
}

bool Partition::HandAndHand(const char* const* from, char** to)
{
    if (from == nullptr || to == nullptr)
        return false;
    if (IsInstantiated(from) || IsInstantiated(to)) {
        KXMM_Assert(false, kMsgHandAndHandInstantiated);
        return false;
    }
    const std::size_t a = GetKXMMHandleSize(from);
    const std::size_t b = GetKXMMHandleSize(to);
    if (!GrowBy(HeaderOf(to), a))
        return false;
    // Read `*from` only now: `from` may be `to`, whose data just moved.
    std::memmove(*to + b, *from, a);
    return true;
}

void Partition::PtrToHand(const void* src, char**& out, std::size_t len)
{
    void* data = Allocate(len);
    if (data != nullptr && len != 0)
        std::memcpy(data, src, len);
    out = static_cast<char**>(GetHandle(data));
}

bool Partition::PtrAndHand(const void* src, char** h, std::size_t len)
{
    if (h == nullptr)
        return false;
    const std::size_t b = HeaderOf(h)->memSize;
    if (!GrowBy(HeaderOf(h), len))
        return false;
    if (len != 0)
        std::memcpy(*h + b, src, len);
    return true;
}

bool Partition::PtrToXHand(const void* src, char** h, std::size_t len)
{
    if (h == nullptr)
        return false;
    if (!ResizeBlock(HeaderOf(h), len, nullptr))
        return false;
    if (len != 0)
        std::memcpy(*h, src, len);
    return true;
}

bool Partition::InsertData(void* h, std::size_t offset, void* src, std::size_t len)
{
    if (h == nullptr)
        return false;
    if (len == 0)
        return true;
    MemoryBlock* block = HeaderOf(h);
    const std::size_t s = block->memSize;
    if (offset > s)
        return false;
    if (!GrowBy(block, len))
        return false;
    if (offset != s)
        std::memmove(block->memPtr + offset + len, block->memPtr + offset, s - offset);
    std::memcpy(block->memPtr + offset, src, len);
    return true;
}

void* Partition::MemMem(const void* data, std::size_t dataLen, const void* pattern, std::size_t patternLen)
{
    if (patternLen == 0 || data == nullptr || pattern == nullptr || patternLen > dataLen)
        return nullptr;
    const auto* haystack = static_cast<const unsigned char*>(data);
    const auto* needle = static_cast<const unsigned char*>(pattern);
    if (patternLen == 1)
        return const_cast<void*>(std::memchr(haystack, needle[0], dataLen));

    // Candidates are positions whose first and last byte both match: in text
    // the first byte alone matches far too often. Blocks of positions are
    // tested together (the compiler turns the inner loop into vector
    // compares) and the whole pattern is compared only at candidates, in
    // order, so the first occurrence is found.
    const unsigned char first = needle[0];
    const unsigned char last = needle[patternLen - 1];
    const std::size_t positions = dataLen - patternLen + 1;
    const unsigned char* tail = haystack + patternLen - 1;
    constexpr std::size_t kBlock = 32;
    std::size_t i = 0;
    for (; i + kBlock <= positions; i += kBlock) {
        unsigned char any = 0;
        for (std::size_t k = 0; k < kBlock; ++k)
            any |= static_cast<unsigned char>((haystack[i + k] == first) & (tail[i + k] == last));
        if (any == 0)
            continue;
        for (std::size_t k = 0; k < kBlock; ++k) {
            if (haystack[i + k] == first && tail[i + k] == last &&
                std::memcmp(haystack + i + k + 1, needle + 1, patternLen - 2) == 0)
                return const_cast<unsigned char*>(haystack + i + k);
        }
    }
    for (; i < positions; ++i) {
        if (haystack[i] == first && tail[i] == last && std::memcmp(haystack + i + 1, needle + 1, patternLen - 2) == 0)
            return const_cast<unsigned char*>(haystack + i);
    }
    return nullptr;
}

void* Partition::DuplicateHandle(const void* h)
{
    if (h == nullptr || *static_cast<char* const*>(h) == nullptr)
        return nullptr;
    const MemoryBlock* source = HeaderOf(h);
    const std::size_t size = source->memSize;
    void* data = Allocate(size);
    if (data == nullptr)
        return nullptr;
    if (size != 0)
        std::memcpy(data, source->memPtr, size);
    return GetHandle(data);
}

void* Partition::GetVerifiedHandle(const void* p) const
{
    return GetVerifiedBlockForPointer(p);
}

// ---------------------------------------------------------------------------
// Pools

char** Partition::CreatePool(std::size_t blockSize, std::size_t blockCount)
{
    // Headers inside the block area must stay aligned whatever the block size.
    constexpr std::size_t kAlign = alignof(MemoryBlock);
    const std::size_t stride =
        blockSize > kMaxSize - kHeaderSize - kAlign ? 0 : kHeaderSize + (blockSize + kAlign - 1) / kAlign * kAlign;
    const std::size_t perBlock = stride + sizeof(PoolSlot);
    if (stride == 0 || (blockCount != 0 && perBlock > (kMaxSize - sizeof(PoolRecord)) / blockCount)) {
        AllocationFailed(kMsgAllocateException, kMaxSize);
        return nullptr;
    }
    void* data = Allocate(sizeof(PoolRecord) + blockCount * perBlock);
    if (data == nullptr)
        return nullptr;
    auto** pool = static_cast<char**>(GetHandle(data));

    auto* record = static_cast<PoolRecord*>(data);
    record->blockSize = blockSize;
    record->blockCount = blockCount;
    record->stride = stride;
    record->usedHead = nullptr;
    record->freeCount = blockCount;
    record->slots = reinterpret_cast<PoolSlot*>(record + 1);
    record->blocks = reinterpret_cast<char*>(record->slots + blockCount);

    for (std::size_t i = 0; i < blockCount; ++i) {
        char* at = record->blocks + i * stride;
        const auto bucket = static_cast<std::uint16_t>(GetMemoryBlockHash(reinterpret_cast<MemoryBlock*>(at)));
        PoolSlot* slot =
            ::new (record->slots + i) PoolSlot{i, false, bucket, i ? record->slots + i - 1 : nullptr, nullptr};
        if (i != 0)
            record->slots[i - 1].next = slot;
        MemoryBlock* block = FormatHeader(at, blockSize, blockSize, at + kHeaderSize);
        block->flags = kBlockPooled;
        block->pool = pool;
        block->magic = kPoolBlockMagic;
    }
    record->freeHead = blockCount ? record->slots : nullptr;
    return pool;
}

void Partition::DetachInUsePoolBlock(MemoryBlock* block)
{
    LockGuard guard;
    RemoveBlockFromList(block, blockLists, blockListCounts);
    if (block->flags & kBlockDisconnected) {
        ::operator delete(block->memPtr - kLinkSize);
        block->flags &= static_cast<std::uint16_t>(~kBlockDisconnected);
        block->memPtr = InlineData(block);
    }
    delete block->stackTrace;
    block->stackTrace = nullptr;
}

void Partition::DestroyPool(char** pool)
{
    if (pool == nullptr)
        return;
    if (pool == currentPool)
        currentPool = nullptr;
    bool blocksOut;
    {
        LockGuard guard;
        blocksOut = PoolOf(pool)->usedHead != nullptr;
        if (blocksOut)
            HeaderOf(pool)->flags |= kBlockPoolDestroyed;
    }
    if (blocksOut) {
        // The blocks still out lie inside the storage: releasing it now would
        // leave their holders with freed memory. It goes with the last of them.
        KXMM_Assert(false, kMsgDestroyPoolInUse);
        return;
    }
    Deallocate(*pool);
}

char** Partition::RequestPoolBlock(char** pool)
{
    if (pool == nullptr)
        return nullptr;
    char** handle;
    {
        DeferredReports reports;
        LockGuard guard;
        if (HeaderOf(pool)->flags & kBlockPoolDestroyed)
            return nullptr;
        handle = TakePoolBlock(pool, reports);
    }
    if (handle != nullptr && (stackTraceEnabled || HeaderOf(handle)->stackTrace != nullptr))
        CollectStackTrace(HeaderOf(handle));
    return handle;
}

// The pool's hand-out and return are forced inline into the paths that take
// and give back pooled blocks: as calls, their prologues and spills cost a
// pooled pair 3 of its 23 ns.
[[gnu::always_inline]] inline char** Partition::TakePoolBlock(char** pool, DeferredReports& reports)
{
    PoolRecord* record = PoolOf(pool);
    if (record->freeCount == 0)
        return nullptr;
    PoolSlot* slot = record->freeHead;
    record->freeHead = slot->next;
    if (record->freeHead != nullptr)
        record->freeHead->prev = nullptr;
    slot->prev = nullptr;
    slot->next = record->usedHead;
    if (record->usedHead != nullptr)
        record->usedHead->prev = slot;
    record->usedHead = slot;
    slot->inUse = true;
    --record->freeCount;

    auto* block = reinterpret_cast<MemoryBlock*>(record->blocks + slot->index * record->stride);
    if (block->magic != kPoolBlockMagic)
        reports.Add(kMsgRequestPoolMagic);
    LinkIntoBucket(block, slot->bucket, blockLists, blockListCounts);
    return reinterpret_cast<char**>(block);
}

namespace {

/// The stride whose inverse was taken last, and that inverse: blocks mostly
/// go back to the pool they came from. Used with blockListLock held only.
struct {
    std::uint64_t stride = 0;
    std::uint64_t inverse = 0;
} lastStride;

} // namespace

[[gnu::always_inline]] inline Partition::PoolReturn Partition::ReturnPoolBlock(char** pool, MemoryBlock* block,
                                                                             DeferredReports& reports)
{
    PoolRecord* record = PoolOf(pool);
    if (record->stride != lastStride.stride)
        lastStride = {record->stride, StrideInverse(record->stride)};
    PoolSlot* slot = SlotOf(record, block, lastStride.inverse);
    if (slot != nullptr && block->magic != kPoolBlockMagic)
        reports.Add(kMsgReleasePoolMagic);
    if (slot == nullptr || !slot->inUse) {
        reports.Add(kMsgReleasePoolNotInUse);
        return PoolReturn::Refused;
    }
    const bool destroyed = HeaderOf(pool)->flags & kBlockPoolDestroyed;
    if (destroyed)
        reports.Add(kMsgReleaseToDestroyedPool);

    RemoveBlockFromList(block, blockLists, blockListCounts);
    if (block->flags & kBlockDisconnected) {
        ::operator delete(block->memPtr - kLinkSize);
        block->memPtr = InlineData(block);
        block->flags &= static_cast<std::uint16_t>(~kBlockDisconnected);
        block->maxSize = block->memSize = record->blockSize;
    }
    if (block->qtResource != nullptr) {
        block->qtResource = nullptr;
        block->resFile = kNoResourceFile;
    }
    block->userData = nullptr;
    // The stack belongs to the hand-out that recorded it.
    delete block->stackTrace;
    block->stackTrace = nullptr;

    if (slot->prev != nullptr)
        slot->prev->next = slot->next;
    if (slot->next != nullptr)
        slot->next->prev = slot->prev;
    if (record->usedHead == slot)
        record->usedHead = slot->next;
    slot->prev = nullptr;
    slot->next = record->freeHead;
    if (record->freeHead != nullptr)
        record->freeHead->prev = slot;
    record->freeHead = slot;
    slot->inUse = false;
    ++record->freeCount;
    return destroyed && record->usedHead == nullptr ? PoolReturn::LastOfDestroyedPool : PoolReturn::Returned;
}

[[gnu::always_inline]] inline void Partition::ReleaseToPool(char** pool, MemoryBlock* block, bool countRelease)
{
    PoolReturn outcome;
    {
        DeferredReports reports;
        LockGuard guard;
        const std::size_t size = block->memSize;
        outcome = ReturnPoolBlock(pool, block, reports);
        if (countRelease && outcome != PoolReturn::Refused) {
            Count(bytesAllocated, 0 - size);
            Count(numBlocks, -1);
        }
    }
    if (outcome == PoolReturn::LastOfDestroyedPool)
        Deallocate(*pool);
}

void Partition::ReleasePoolBlock(char** pool, char** block)
{
    if (pool == nullptr || block == nullptr)
        return;
    ReleaseToPool(pool, HeaderOf(block), false);
}

void Partition::SetCurrentPool(char** pool)
{
    currentPool = pool;
}

char** Partition::GetCurrentPool() const
{
    return currentPool;
}

// ---------------------------------------------------------------------------
// Resource-backed handles

MemoryBlock* Partition::AllocateFromExistingResource(void* data, std::size_t size)
{
    return AllocateResourceBlock(data, size, nullptr, kNoResourceFile);
}

MemoryBlock* Partition::AllocateResourceBlock(void* data, std::size_t size, void** qtHandle, short resFile)
{
    NewResult result;
    void* memory = TryNew(kHeaderSize, result);
    if (memory == nullptr) {
        CountFailedAllocation(0);
        AllocationFailed(result == NewResult::Threw ? kMsgAllocateException : kMsgAllocateNull, size);
        return nullptr;
    }
    MemoryBlock* block = FormatHeader(memory, size, size, static_cast<char*>(data));
    block->flags = kBlockResource;
    // Filled before the header enters the table: from then on other threads'
    // searches read these fields.
    block->qtResource = qtHandle;
    block->resFile = resFile;
    CollectStackTrace(block);
    block->magic = kLiveBlockMagic;
    LockGuard guard;
    Count(numBlocks, 1);
    Count(numCalls, 1);
    HookupBlockToList(block, resourceLists, resourceListCounts);
    return block;
}

bool Partition::BlockIsResource(const MemoryBlock* block) const
{
    return block != nullptr && (block->flags & kBlockResource);
}

void Partition::DeallocateResource(void* handle)
{
    if (handle == nullptr)
        return;
    MemoryBlock* block = HeaderOf(handle);
    if (block->pool != nullptr) {
        KXMM_Assert(false, kMsgResourcePooled);
        Deallocate(block->memPtr);
        return;
    }
    if (block->magic != kLiveBlockMagic) {
        KXMM_Assert(false, kMsgDeallocateResourceMagic);
        return;
    }
    // An ordinary block lives in the other table; taking it out of this one
    // would corrupt both.
    if (!BlockIsResource(block)) {
        Deallocate(block->memPtr);
        return;
    }
    LockGuard guard;
    ReleaseResourceBlock(block);
}

void Partition::ReleaseResourceBlock(MemoryBlock* block)
{
    block->magic = 0;
    ReleaseBlockContents(block);
    Count(numBlocks, -1);
    RemoveBlockFromList(block, resourceLists, resourceListCounts);
    ::operator delete(RetireHeader(block));
}

void Partition::SetQTResourcePtr(void* handle, void** qtHandle, short resFile)
{
    if (handle == nullptr)
        return;
    HeaderOf(handle)->qtResource = qtHandle;
    HeaderOf(handle)->resFile = resFile;
}

char** Partition::FindBlockWithQTResourceHandle(void** qtHandle, short resFile) const
{
    if (qtHandle == nullptr)
        return nullptr;
    LockGuard guard;
    for (MemoryBlock* const bucket : resourceLists) {
        for (const MemoryBlock* block = bucket; block != nullptr; block = block->next) {
            if (block->qtResource != nullptr && *block->qtResource == *qtHandle && block->resFile == resFile)
                return reinterpret_cast<char**>(const_cast<MemoryBlock*>(block));
        }
    }
    return nullptr;
}

char** Partition::GetOrCreateHandleFromQTResourceHandle(void** qtHandle, std::size_t size, short resFile)
{
    if (qtHandle == nullptr)
        return nullptr;
    if (char** found = FindBlockWithQTResourceHandle(qtHandle, resFile)) {
        // One resource is always asked for with one size.
        if (HeaderOf(found)->memSize != size)
            ReportFailedCondition("result->memSize == size", "KXMM", 601);
        return found;
    }
    return reinterpret_cast<char**>(AllocateResourceBlock(*qtHandle, size, qtHandle, resFile));
}

char** Partition::GetOriginalQTResource(const void* handle) const
{
    return handle ? reinterpret_cast<char**>(HeaderOf(handle)->qtResource) : nullptr;
}

void Partition::DeleteAllHandlesWithResourceFile(short resFile)
{
    // The whole walk holds the lock: another thread may release a block of
    // another resource file meanwhile, and the header it frees must not be
    // read here. Every header of this table is a live resource block, so the
    // release needs none of DeallocateResource's checks (or their reports).
    LockGuard guard;
    for (MemoryBlock*& bucket : resourceLists) {
        for (MemoryBlock* block = bucket; block != nullptr;) {
            MemoryBlock* following = block->next;
            if (block->resFile == resFile)
                ReleaseResourceBlock(block);
            block = following;
        }
    }
}

char** Partition::ConvertFromQTHandleToKXMMHandle(const char* const* qtHandle)
{
    if (qtHandle == nullptr)
        return nullptr;
    const auto n = static_cast<std::size_t>(VIZA::GetHandleSize(qtHandle));
    char** h = NewHandle(n);
    if (h != nullptr && n != 0)
        std::memcpy(*h, *qtHandle, n);
    return h;
}

char** Partition::ConvertFromKXMMHandleToQTHandle(const char* const* handle)
{
    if (handle == nullptr)
        return nullptr;
    const std::size_t n = GetKXMMHandleSize(handle);
    char** qt = VIZA::NewHandle(static_cast<long long>(n));
    if (qt == nullptr)
        return nullptr;
    if (n != 0)
        std::memcpy(*qt, *handle, n);
    return qt;
}

// ---------------------------------------------------------------------------
// Destructors and user data

void Partition::SetDestructor(const void* data, void (*destructor)(const void*))
{
    if (data == nullptr)
        return;
    if (destructor == nullptr) {
        KXMM_Assert(false, kMsgNullDestructor);
        return;
    }
    HeaderBefore(data)->destructor = destructor;
}

void Partition::ClearDestructor(const void* data)
{
    if (data != nullptr)
        HeaderBefore(data)->destructor = nullptr;
}

void Partition::CallDestructor(const void* data)
{
    if (data == nullptr)
        return;
    if (auto destructor = HeaderBefore(data)->destructor) {
        try {
            destructor(data);
        } catch (...) {
            KXMM_Assert(false, kMsgDestructorThrew); // never across the library's boundary
        }
    }
}

void Partition::SetInstantiatedState(const void* data, bool instantiated)
{
    if (data != nullptr)
        HeaderBefore(data)->instantiated = instantiated;
}

bool Partition::GetInstantiatedState(const void* data) const
{
    return data != nullptr && HeaderBefore(data)->instantiated;
}

void Partition::SetUserData(void* userData, void* handle)
{
    if (handle != nullptr)
        HeaderOf(handle)->userData = userData;
}

void* Partition::GetUserData(const void* handle) const
{
    return handle ? HeaderOf(handle)->userData : nullptr;
}

// ---------------------------------------------------------------------------
// String buffers

void* Partition::TXStringAllocate(std::size_t size)
{
    NewResult result;
    void* p = TryNew(size, result);
    if (p == nullptr)
        KXMM_Assert(false, result == NewResult::Threw ? kMsgAllocateException : kMsgAllocateNull);
    return p;
}

void Partition::TXStringDeallocate(char** p)
{
    if (p == nullptr || *p == nullptr)
        return;
    ::operator delete(*p);
    *p = nullptr;
}

} // namespace KXMM

// ---------------------------------------------------------------------------
// The flat legacy interface: inert by design.

namespace VIZA {
char** NewHandle(long long) { return nullptr; }
char** NewHandleClear(long long) { return nullptr; }
void DisposeHandle(char**) {}
long long GetHandleSize(const char* const*) { return 0; }
void SetHandleSize(char**, long long) {}
void HLock(char**) {}
void HUnlock(char**) {}
char HGetState(char**) { return 0; }
short HandToHand(char***) { return 0; }
short HandAndHand(char**, char**) { return 0; }
short PtrAndHand(const void*, char**, long long) { return 0; }
char* NewPtr(long long) { return nullptr; }
char* NewPtrClear(long long) { return nullptr; }
void DisposePtr(char*) {}
void SetPtrSize(char*, long long) {}
short MemError() { return 0; }
} // namespace VIZA
