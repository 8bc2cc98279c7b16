// Internals shared by the core (KXMM.cpp) and the diagnostic side
// (KXMM_Debug.cpp) of the memory manager: the process-wide lock, the block
// layout constants, the pool records and the report texts. Not installed, not
// exported.
#pragma once

#include "KXMM/KXMM.h"
#include "platform/Cpu.h"
#include "platform/Wait.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace KXMM::detail {

/// The one lock of the library, shared by all partitions. Recursive: a
/// section that holds it may enter another that takes it again.
///
/// The uncontended path is one compare-and-swap to take it and one plain
/// store (plus a load of the sleeper count) to give it back. A waiter spins
/// with exponential backoff for a moment, then sleeps on the lock word until
/// a release wakes it, so a thread that holds the lock for long (a report
/// box, a stalled thread) costs the others no processor time.
///
/// The release has no fence between its store and its load of the sleeper
/// count, so on its own it could miss a waiter that registers at that very
/// moment. The waiter closes the gap instead: after registering it makes
/// every thread of the process pass a full barrier (Platform::FenceAllThreads),
/// after which either the release's store is visible to it or the releasing
/// thread is bound to see the registration. That keeps the cost on the rare
/// sleeping path, not on every release.
class RecursiveLock {
public:
    void Lock() noexcept
    {
        const std::uint32_t self = ThreadId();
        if (owner_.load(std::memory_order_relaxed) == self) {
            ++depth_;
            return;
        }
        std::uint32_t expected = kFree;
        if (!owner_.compare_exchange_strong(expected, self, std::memory_order_acquire, std::memory_order_relaxed))
            LockContended(self);
        depth_ = 1;
    }

    void Unlock() noexcept
    {
        if (--depth_ != 0)
            return;
        owner_.store(kFree, std::memory_order_release);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        if (sleepers_.load(std::memory_order_relaxed) != 0)
            WakeASleeper();
    }

private:
    /// A number of the calling thread, never 0 (kFree), so that the lock
    /// word itself tells who holds it: 32 bits, as the word a thread sleeps
    /// on must be.
    static std::uint32_t ThreadId() noexcept
    {
        static thread_local std::uint32_t id = 0;
        if (id == 0) [[unlikely]] {
            static std::atomic<std::uint32_t> last{kFree};
            do
                id = last.fetch_add(1, std::memory_order_relaxed) + 1;
            while (id == kFree);
        }
        return id;
    }

    bool TryTake(std::uint32_t self) noexcept
    {
        std::uint32_t expected = kFree;
        return owner_.load(std::memory_order_relaxed) == kFree &&
               owner_.compare_exchange_weak(expected, self, std::memory_order_acquire, std::memory_order_relaxed);
    }

    void WakeASleeper() noexcept
    {
        // One wake-up in flight is enough: until the woken thread has run
        // and looked at the lock again, further releases skip the system
        // call, so a sleeper costs the running thread one call per sleep,
        // not one per release.
        if (wakePending_.exchange(1, std::memory_order_acq_rel) == 0)
            Platform::WakeOne(owner_);
    }

    void LockContended(std::uint32_t self) noexcept
    {
        // A few attempts with exponential backoff (about a microsecond in
        // all), then sleep. Critical sections are a few dozen instructions,
        // so a lock that is not free by then is wanted without pause by
        // another thread: a waiter that keeps probing would drag the lock's
        // cache line (and the tables') to its core again and again, and two
        // busy threads would do far less together than one alone. Asleep, it
        // lets the holder run its sections back to back.
        for (unsigned backoff = 1; backoff <= kMaxBackoff; backoff *= 2) {
            for (unsigned i = 0; i < backoff; ++i)
                Platform::CpuRelax();
            if (TryTake(self))
                return;
        }

        sleepers_.fetch_add(1, std::memory_order_seq_cst);
        Platform::FenceAllThreads();
        for (;;) {
            // Looking again answers any wake-up in flight: the next release
            // must wake someone anew.
            wakePending_.store(0, std::memory_order_relaxed);
            if (TryTake(self))
                break;
            // The bound only matters if a platform's fence were weaker than
            // promised: a missed wake-up then costs a short delay, never a
            // hang.
            const std::uint32_t holder = owner_.load(std::memory_order_relaxed);
            if (holder != kFree)
                Platform::WaitWhileEqual(owner_, holder, kSleepLimitMs);
        }
        sleepers_.fetch_sub(1, std::memory_order_relaxed);
    }

    static constexpr std::uint32_t kFree = 0;
    static constexpr unsigned kMaxBackoff = 16;
    static constexpr unsigned kSleepLimitMs = 50;

    alignas(64) std::atomic<std::uint32_t> owner_{kFree}; ///< the holder's ThreadId, or kFree
    std::atomic<std::uint32_t> sleepers_{0};
    std::atomic<std::uint32_t> wakePending_{0};
    unsigned depth_ = 0; // only the owner touches it
};

extern RecursiveLock blockListLock;

class LockGuard {
public:
    LockGuard() noexcept { blockListLock.Lock(); }
    ~LockGuard() { blockListLock.Unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;
};

/// @name Block layout
/// @{
inline constexpr std::size_t kHeaderSize = sizeof(MemoryBlock);
inline constexpr std::size_t kLinkSize = sizeof(MemoryBlock*); ///< header address before disconnected data
inline constexpr std::size_t kMinBlockSize = 8;
inline constexpr std::size_t kDisconnectThreshold = 5000;
inline constexpr std::size_t kMinGrowthReserve = 16;
inline constexpr std::uint32_t kShrinkSlack = 5000;
inline constexpr std::uint32_t kPoolingOn = 1;
/// Set in the flags of a pool's storage block when DestroyPool finds blocks of
/// the pool still handed out. The storage then stays until the last of them
/// comes back, so a late release is reported instead of reaching freed memory.
inline constexpr std::uint16_t kBlockPoolDestroyed = 0x8000;
inline constexpr std::int16_t kNoResourceFile = -1;
inline constexpr unsigned char kDisposedFill = 0xA4;
inline constexpr unsigned char kHandleLockedState = 0x80;
static_assert(kHeaderSize == 136, "the header layout is part of the interface");
static_assert(offsetof(MemoryBlock, self) == kHeaderSize - kLinkSize, "self must precede inline data");
/// @}

/// @name Pools
/// A pool's storage is the data of one ordinary block: the record, then one
/// slot per preformed block, then the blocks themselves.
/// @{
struct PoolSlot {
    std::uint64_t index;
    bool inUse;
    std::uint16_t bucket; ///< the block's bucket index, fixed with its address (in what was padding)
    PoolSlot* prev;
    PoolSlot* next;
};
static_assert(sizeof(PoolSlot) == 32 && offsetof(PoolSlot, prev) == 16, "slot layout is part of the pool storage");

struct PoolRecord {
    std::uint64_t blockSize;
    std::uint64_t blockCount;
    std::uint64_t stride;
    std::uint64_t freeCount;
    PoolSlot* freeHead;
    PoolSlot* usedHead;
    PoolSlot* slots;
    char* blocks;
};

inline PoolRecord* PoolOf(char** pool) noexcept
{
    return reinterpret_cast<PoolRecord*>(*pool);
}

/// ceil(2^64 / `stride`) where the stride fits in 32 bits, else 0: with it,
/// a block's index comes from a multiplication instead of a division.
inline std::uint64_t StrideInverse(std::uint64_t stride) noexcept
{
#if defined(__SIZEOF_INT128__)
    if (stride > 1 && stride <= UINT32_MAX)
        return UINT64_MAX / stride + 1;
#endif
    return 0;
}

/// `offset` / `record->stride`, through `inverse` (StrideInverse of the
/// stride, or 0). For offsets and strides of 32 bits the high half of
/// offset x ceil(2^64 / stride) is the exact quotient (Lemire, Kaser and
/// Kurz), some forty cycles less than a 64-bit division.
inline std::uint64_t BlockIndex(const PoolRecord* record, std::uint64_t offset, std::uint64_t inverse) noexcept
{
#if defined(__SIZEOF_INT128__)
    if (inverse != 0 && offset <= UINT32_MAX) {
        __extension__ using Wide = unsigned __int128;
        return static_cast<std::uint64_t>((static_cast<Wide>(inverse) * offset) >> 64);
    }
#endif
    return offset / record->stride;
}

/// The slot of a preformed block, or null when `block` is not one of the
/// pool's blocks.
inline PoolSlot* SlotOf(const PoolRecord* record, const void* block, std::uint64_t inverse = 0) noexcept
{
    const char* at = static_cast<const char*>(block);
    if (at < record->blocks || record->stride == 0)
        return nullptr;
    const auto offset = static_cast<std::uint64_t>(at - record->blocks);
    const std::uint64_t index = BlockIndex(record, offset, inverse);
    if (index >= record->blockCount || index * record->stride != offset)
        return nullptr;
    return record->slots + index;
}
/// @}

/// @name Report texts
/// @{
inline constexpr char kAssertTitle[] = "KXMM Assert";
inline constexpr char kAssertFormat[] = "%s\n\nDo you wish to continue receiving memory asserts?\n";
inline constexpr std::size_t kAssertTextSize = 520;
inline constexpr char kFailedConditionFormat[] = "Assertion failed: %s, file %s, line %d";

inline constexpr char kMsgAllocateException[] = "Allocate new failed (exception)";
inline constexpr char kMsgAllocateNull[] = "Allocate new failed (NULL pointer)";
inline constexpr char kMsgDisconnectedException[] = "Allocate(disconnected data) new failed (exception)";
inline constexpr char kMsgDisconnectedNull[] = "Allocate(disconnected data) new failed (NULL return)";
inline constexpr char kMsgResizeException[] = "Resize new failed (exception)";
inline constexpr char kMsgResizeNull[] = "Resize new failed (NULL return)";
inline constexpr char kMsgDeallocateMagic[] = "Deallocate invalid block magic number";
inline constexpr char kMsgSetHandleSizeNull1[] =
    "Partition::SetHandleSize - 1 - called with a null handle. Evaluate/remove the call.";
inline constexpr char kMsgSetHandleSizeNull2[] =
    "Partition::SetHandleSize - 2 - called with a null handle. Evaluate/remove the call.";
inline constexpr char kMsgSetHandleSizeInstantiated1[] =
    "Partition::SetHandleSize - 1 - called for instantiated object node. Evaluate/remove the call to this.";
inline constexpr char kMsgSetHandleSizeInstantiated2[] =
    "Partition::SetHandleSize - 2 - called for instantiated object node. Evaluate/remove the call to this.";
inline constexpr char kMsgHandToHandInstantiated[] =
    "Partition::HandToHand - called for instantiated object node. Evaluate/remove the call to this.";
inline constexpr char kMsgHandAndHandInstantiated[] =
    "Partition::HandAndHand - called for instantiated object node. Evaluate/remove the call to this.";
inline constexpr char kMsgRequestPoolMagic[] = "RequestPoolBlock invalid block magic number";
inline constexpr char kMsgReleasePoolMagic[] = "ReleasePoolBlock invalid block magic number";
inline constexpr char kMsgReleasePoolNotInUse[] = "ReleasePoolBlock called on block that wasn't in use.";
inline constexpr char kMsgDestroyPoolInUse[] =
    "DestroyPool called while blocks of the pool are still in use; its storage is released with the last of them.";
inline constexpr char kMsgReleaseToDestroyedPool[] = "ReleasePoolBlock called for a block of a destroyed pool.";
inline constexpr char kMsgCopyThrew[] = "Resize copy function threw an exception; the block is unchanged.";
inline constexpr char kMsgDestructorThrew[] = "Block destructor threw an exception.";
inline constexpr char kMsgCallbackThrew[] = "Memory callback threw an exception.";
inline constexpr char kMsgResourcePooled[] = "Resource blocks should not be pooled";
inline constexpr char kMsgDeallocateResourceMagic[] = "DeallocateResource invalid block magic number";
inline constexpr char kMsgNullDestructor[] = "Partition::SetDestructor was passed a null pointer.";
inline constexpr char kMsgStatZeroSize[] = "MemoryStat_AddAlloc size was zero or negative";
/// @}

/// Reports decided while blockListLock is held, raised when this object goes
/// out of scope. Declared before the LockGuard of a section, it outlives the
/// guard, so no report box (which waits for a person) ever holds the lock.
class DeferredReports {
public:
    DeferredReports() = default;
    DeferredReports(const DeferredReports&) = delete;
    DeferredReports& operator=(const DeferredReports&) = delete;
    ~DeferredReports()
    {
        for (std::size_t i = 0; i < count_; ++i)
            Partition::KXMM_Assert(false, messages_[i]);
    }
    void Add(const char* message) noexcept
    {
        if (count_ < kMaxReports)
            messages_[count_++] = message;
    }

private:
    static constexpr std::size_t kMaxReports = 2; // a section raises at most two
    const char* messages_[kMaxReports]; // only the first count_ are set
    std::size_t count_ = 0;
};

/// Reports a failed internal condition the way a debug assertion names it.
void ReportFailedCondition(const char* condition, const char* unit, int line);

/// Writes to the installed output handler, or to the debugger's output.
void DebugOutput(const char* text);

/// printf-style formatting into a fixed buffer of `size` bytes (> 0): longer
/// text is cut, the result is always terminated.
void FormatInto(char* buffer, std::size_t size, const char* format, ...);

} // namespace KXMM::detail
