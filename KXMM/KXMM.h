// KXMM: the handle-and-pointer memory manager of the Calvera host process.
//
// Memory belongs to partitions. Every block carries a MemoryBlock header that is
// entered in a 1024-bucket hash table of its partition. A block is used either
// through its data address (a "pointer") or through the address of its header,
// whose first field is the master pointer to the data (a "handle"), so the data
// can move while the handle stays valid. Around that: preformed pools,
// resource-backed handles, destructors and user data, validation and
// statistics, recorded call stacks, memory-pressure callbacks, the inert flat
// interface VIZA, and the plain buffers of the plug-ins' string class.
//
// Contracts shared by the whole interface:
// - Failures show as null or false, as a report through KXMM_Assert (a Yes/No
//   box; No silences every later report of the process) and, for failed
//   allocations, as memory callbacks with code 1. MemError() is always 0.
//   Nothing throws.
// - One process-wide recursive lock guards the bucket tables, pool lists, the
//   resource search and release, stack recording and the callback table. A
//   thread waiting for it sleeps after a short spin, and no report box is
//   ever shown while it is held. Blocks of one partition may be allocated and
//   released from several threads at once; callers serialize the operations
//   on any one block, on one pool, and on the partition list.
// - Exceptions thrown by the caller's code that the library runs (copy
//   functions, destructors, memory callbacks, assertion handlers) are caught
//   and reported; none crosses the library's boundary.
// - Null handles and pointers give null, 0 or false wherever stated. A block
//   released again is reported, not freed twice: the headers of the last 16
//   released blocks of a partition stay readable for that (the data address
//   of a separate block of 5000 bytes or more is not: release those through
//   their handle). Any other foreign address is undefined.
#pragma once

#include "platform/Export.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#ifdef KXMM_BUILDING
#define KXMM_API KX_SYMBOL_EXPORT
#else
#define KXMM_API KX_SYMBOL_IMPORT
#endif

namespace KXMM {

namespace detail {
class DeferredReports;
} // namespace detail

/// Block flag bits (MemoryBlock::flags).
enum : std::uint16_t {
    kBlockDisconnected = 1, ///< the data lives in an allocation of its own
    kBlockPooled = 2,       ///< the header is one of a pool's preformed blocks
    kBlockResource = 4,     ///< the data belongs to a resource, not to the block
};

/// Magic numbers of MemoryBlock::magic.
inline constexpr std::uint32_t kLiveBlockMagic = 0xA4FEB3AF;
inline constexpr std::uint32_t kPoolBlockMagic = 0xFACEFEED;

/// The header in front of every block. Its address is the block's handle; the
/// 8 bytes immediately before the data (`self` for inline data) hold it.
struct MemoryBlock {
    char* memPtr;                       ///< master pointer to the data
    std::uint64_t hashIndex;            ///< bucket that holds the header
    MemoryBlock* next;                  ///< next header in the bucket
    MemoryBlock* prev;                  ///< previous header in the bucket
    std::uint64_t memSize;              ///< logical size
    std::uint64_t maxSize;              ///< capacity of the data area
    std::uint16_t flags;                ///< kBlock* bits
    std::uint32_t oversize;             ///< growth reserve
    char** pool;                        ///< owning pool's handle, or null
    void** qtResource;                  ///< resource handle stood for, or null
    std::int16_t resFile;               ///< resource file, -1 for none
    std::vector<void*>* stackTrace;     ///< call stack at allocation, or null
    bool locked;                        ///< legacy lock state
    void* userData;                     ///< caller's datum
    bool instantiated;                  ///< holds an object whose destructor runs at disposal
    void (*destructor)(const void*);    ///< that destructor
    std::uint32_t magic;                ///< kLiveBlockMagic / kPoolBlockMagic / 0
    MemoryBlock* self;                  ///< this header; last, so it precedes inline data
};

/// Memory-pressure callback: code 1 means an allocation of `size` bytes failed.
using MemoryCallback = void (*)(int code, std::size_t size, void* userData);

/// Receives the full text of an assertion report; returns true to go on
/// receiving reports (the box's Yes), false to silence them for good (No).
using AssertHandler = bool (*)(const char* text);

/// Receives each line the library writes to the debugger's output.
using OutputHandler = void (*)(const char* text);

class KXMM_API Partition {
public:
    static constexpr std::size_t kBucketCount = 1024;
    static constexpr std::size_t kIdentifierSize = 128;
    static constexpr std::size_t kCallbackSlots = 128;
    static constexpr std::size_t kHistogramSlots = 13;
    static constexpr std::size_t kStackFrames = 59;

    /// @name Lifecycle and the process-wide partition list
    /// @{
    /// An empty partition, linked at the head of the partition list. Allocates nothing.
    Partition();
    /// Unlinks the partition and releases its current pool and every block it
    /// still holds (destructors of instantiated blocks are not run, foreign
    /// resource data is not freed).
    ~Partition();
    Partition(const Partition&) = delete;
    /// Deleted: a copy would claim the same blocks and list neighbours.
    Partition& operator=(const Partition&) = delete;

    /// The partition at the head of the list (the newest one); when there is
    /// none, creates one named `identifier`. `flag` has no effect. Null only
    /// when the partition's memory cannot be obtained.
    static Partition* GetPartitionByIdentifier(const char* identifier, bool flag);
    static Partition* GetPartitionListHead();
    /// Frees every partition that GetPartitionByIdentifier created (memory
    /// only: blocks they still hold are neither released nor reported) and
    /// unlinks the others; the list is empty afterwards.
    static void FreeAllPartitions();

    /// Keeps at most 127 characters. Null gives the empty name.
    void SetIdentifier(const char* identifier);
    /// `out` must provide 128 bytes.
    void GetIdentifier(char* out) const;
    void SetFlags(unsigned int flags);
    unsigned int GetFlags() const;
    /// @}

    /// @name Hash table
    /// @{
    /// FNV-1a of the header address's 8 bytes, modulo 1024.
    static unsigned int GetMemoryBlockHash(const MemoryBlock* block);
    /// @}

    /// @name Blocks and pointers
    /// @{
    /// A new block of `size` bytes (uninitialized); its data address, or null
    /// after a reported failure.
    void* Allocate(std::size_t size);
    /// Releases the block whose data address is given; null is ignored. A
    /// block whose magic is not live (released before) is reported and left
    /// alone.
    void Deallocate(void* data);
    /// The resize step of every size change; `handle` is a header address.
    /// `copy`, when set, moves the content instead of a byte copy and is called
    /// exactly once per move. False (block unchanged) when null or when the
    /// new storage cannot be had.
    bool Resize(void* handle, std::size_t newSize, std::function<void(void*, std::size_t, void*, std::size_t)> copy);
    char* NewPtr(std::size_t size);
    char* NewPtrClear(std::size_t size);
    /// Runs the destructor of an instantiated block, then releases it; null is ignored.
    void DisposePtr(char* p);
    /// 0 for null.
    std::size_t GetPtrSize(const char* p) const;
    /// Changes the size where the data can stay where it is; returns false and
    /// leaves the block unchanged where it would have to move (the caller holds
    /// only the old address) and for null.
    bool SetPtrSize(char* p, std::size_t newSize);
    /// The header address stored before a data address (no check); null for null.
    void* GetHandle(const void* p) const;
    /// Always 0: failures show as null or false results.
    short MemError();
    /// Reports `message` when `condition` is false and reports are still
    /// wanted. Always returns.
    static void KXMM_Assert(bool condition, const char* message);
    /// Replaces what shows assertion reports (null restores the platform's
    /// box); returns the previous handler.
    static AssertHandler SetAssertHandler(AssertHandler handler);
    /// Turns reports back on after a No (for tools and tests).
    static void EnableAsserts();
    /// Replaces where debugger output goes (null restores the platform's
    /// debugger output); returns the previous handler.
    static OutputHandler SetOutputHandler(OutputHandler handler);
    /// @}

    /// @name Handles
    /// @{
    char** NewHandle(std::size_t size);
    char** NewHandleClear(std::size_t size);
    /// Runs the destructor of an instantiated block and fills its data with
    /// 0xA4, then releases it; null is ignored.
    void DisposeHandle(char** h);
    std::size_t GetHandleSize(const char* const* h) const;
    std::size_t GetKXMMHandleSize(const void* h) const;
    std::size_t GetHandleMaxSize(const char* const* h) const;
    std::size_t GetKXMMHandleMaxSize(const void* h) const;
    bool SetHandleSize(char** h, std::size_t newSize);
    bool SetHandleSize(char** h, std::size_t newSize, std::function<void(void*, std::size_t, void*, std::size_t)> copy);
    /// Raises the growth reserve (never lowers it unless `force`).
    void SetHandleOversize(char** h, unsigned int oversize, bool force);
    unsigned int GetHandleOversize(const char* const* h) const;
    void HLock(char** h);
    void HUnlock(char** h);
    char HGetState(const char* const* h) const;
    bool SetHandleLockState_Legacy(char** h, bool locked);
    bool HandleIsLocked_Legacy(const char* const* h) const;
    bool IsHandleInUse(const char* const* h) const;
    /// Replaces `h` with a copy of its block (the original is not released).
    /// False for null and for instantiated blocks.
    bool HandToHand(char**& h);
    /// Appends the data of `from` to `to` (`from` may be `to`). False for null.
    bool HandAndHand(const char* const* from, char** to);
    void PtrToHand(const void* src, char**& out, std::size_t len);
    bool PtrAndHand(const void* src, char** h, std::size_t len);
    bool PtrToXHand(const void* src, char** h, std::size_t len);
    /// `src` must not lie inside the block. False for null and offsets past the end.
    bool InsertData(void* h, std::size_t offset, void* src, std::size_t len);
    static void* MemMem(const void* data, std::size_t dataLen, const void* pattern, std::size_t patternLen);
    void* DuplicateHandle(const void* h);
    void* GetVerifiedHandle(const void* p) const;
    /// @}

    /// @name Pools
    /// @{
    char** CreatePool(std::size_t blockSize, std::size_t blockCount);
    /// Releases the pool's storage. With blocks still handed out it reports
    /// that and keeps the storage until the last of them is released (each
    /// such release is reported too); the pool hands out nothing more.
    void DestroyPool(char** pool);
    char** RequestPoolBlock(char** pool);
    void ReleasePoolBlock(char** pool, char** block);
    void SetCurrentPool(char** pool);
    char** GetCurrentPool() const;
    /// @}

    /// @name Resource-backed handles
    /// @{
    void DeallocateResource(void* handle);
    void SetQTResourcePtr(void* handle, void** qtHandle, short resFile);
    char** FindBlockWithQTResourceHandle(void** qtHandle, short resFile) const;
    char** GetOrCreateHandleFromQTResourceHandle(void** qtHandle, std::size_t size, short resFile);
    char** GetOriginalQTResource(const void* handle) const;
    void DeleteAllHandlesWithResourceFile(short resFile);
    char** ConvertFromQTHandleToKXMMHandle(const char* const* qtHandle);
    char** ConvertFromKXMMHandleToQTHandle(const char* const* handle);
    /// @}

    /// @name User data
    /// @{
    void SetUserData(void* userData, void* handle);
    void* GetUserData(const void* handle) const;
    /// @}

    /// @name Validation and snapshots
    /// @{
    bool HandleIsValid(const void* handle, bool checkOwnership) const;
    bool PointerIsValid(const void* p, bool checkOwnership, bool thorough) const;
    bool HandleBelongsToUs(const void* handle) const;
    bool PointerBelongsToUs(const void* p, bool thorough) const;
    std::size_t GetAllBlocks(std::vector<const void*>& out) const;
    std::size_t GetAllBlocks(const void** out, std::size_t capacity) const;
    std::size_t GetBlockCount() const;
    std::size_t GetBlockSize(const void* handle) const;
    bool BlockArrayContainsBlock(const std::vector<const void*>& blocks, const void* block) const;
    bool BlockArrayContainsBlock(const void* const* blocks, std::size_t count, const void* block) const;
    std::size_t SubtractBlockArrays(const std::vector<const void*>& from, const std::vector<const void*>& remove,
                                    std::vector<const void*>& out);
    std::size_t SubtractBlockArrays(const void* const* from, std::size_t fromCount, const void* const* remove,
                                    std::size_t removeCount, const void** out, std::size_t outCapacity);
    /// @}

    /// @name Statistics, stacks and callbacks
    /// @{
    /// Writes the counters (and with bit 0 of `options` the size histogram)
    /// to the debugger's output.
    void PrintMemoryStats(unsigned int options) const;
    /// The recorded stack of a block, one function name per line, cut with
    /// "..." when `buf` is too small; empty when stacks are off.
    void GetBlockStackTrace(const void* handle, char* buf, std::size_t bufLen) const;
    /// Registering a function again counts it once more and replaces its datum.
    bool RegisterMemoryCallbackFunction(MemoryCallback fn, void* userData);
    bool UnregisterMemoryCallbackFunction(MemoryCallback fn);
    /// @}

    /// @name String buffers
    /// Plain free-store blocks for TXString: no header, no table, no statistics.
    /// @{
    void* TXStringAllocate(std::size_t size);
    /// Releases `*p` when it is not null and sets it to null.
    void TXStringDeallocate(char** p);
    /// @}

protected:
    void AddThisToList();
    void RemoveThisFromList();
    void HookupBlockToList(MemoryBlock* block, MemoryBlock** lists, std::size_t* counts);
    void RemoveBlockFromList(MemoryBlock* block, MemoryBlock** lists, std::size_t* counts);

    MemoryBlock* AllocateFromExistingResource(void* data, std::size_t size);
    bool BlockIsResource(const MemoryBlock* block) const;

    void SetDestructor(const void* data, void (*destructor)(const void*));
    void ClearDestructor(const void* data);
    void CallDestructor(const void* data);
    void SetInstantiatedState(const void* data, bool instantiated);
    bool GetInstantiatedState(const void* data) const;

    MemoryBlock* GetVerifiedBlockForPointer(const void* p) const;

    void MemoryStat_AddAlloc(std::size_t size);
    void MemoryStat_GetSlotBoundsStr(char* buf, std::size_t bufLen, std::size_t slot) const;

    void EnableStackTraceInfo(bool enable);
    void CollectStackTrace(MemoryBlock* block);

    int GetFreeMemoryCallbackFunctionSlot() const;
    int GetMemoryCallbackFunctionIndex(MemoryCallback fn) const;
    void InvokeCallbacks(int code, std::size_t size);

    static Partition* partitionList;

    char** currentPool = nullptr;
    std::uint32_t flags = 0;
    MemoryBlock* blockLists[kBucketCount] = {};
    std::size_t blockListCounts[kBucketCount] = {};
    MemoryBlock* resourceLists[kBucketCount] = {};
    std::size_t resourceListCounts[kBucketCount] = {};
    // The counters are atomic: blocks of one partition may be allocated and
    // released from several threads at once, and readers take no lock.
    std::atomic<std::int64_t> bytesAllocated{0};
    std::atomic<std::int64_t> numBlocks{0};
    std::atomic<std::int32_t> numCalls{0};
    std::atomic<std::int64_t> numpoolHits{0};
    std::int64_t numAllocates = 0;
    char identifier[kIdentifierSize] = {};
    bool stackTraceEnabled = false;
    std::uint64_t maxStackFrames = 16;
    MemoryCallback callbackFunctions[kCallbackSlots] = {};
    std::int32_t callbackRefCounts[kCallbackSlots] = {};
    void* callbackUserData[kCallbackSlots] = {};
    std::uint64_t slotBounds[kHistogramSlots] = {10,     50,     100,     500,     1000,    5000,    10000,
                                                 50000,  100000, 500000,  1000000, 5000000, 10000000};
    std::uint64_t slotCounts[kHistogramSlots] = {};
    std::int32_t slotTotal = 0;
    Partition* next = nullptr;
    Partition* prev = nullptr;

private:
    using CopyFunction = std::function<void(void*, std::size_t, void*, std::size_t)>;

    bool ResizeBlock(MemoryBlock* block, std::size_t newSize, const CopyFunction* copy);
    bool GrowBy(MemoryBlock* block, std::size_t extra);
    // Both with blockListLock held, their reports raised once it is released:
    // hand out a free preformed block, take one back.
    enum class PoolReturn { Refused, Returned, LastOfDestroyedPool };
    char** TakePoolBlock(char** pool, detail::DeferredReports& reports);
    PoolReturn ReturnPoolBlock(char** pool, MemoryBlock* block, detail::DeferredReports& reports);
    // Takes a block back into its pool (counting the release when asked);
    // the last block of a destroyed pool releases the pool's storage.
    void ReleaseToPool(char** pool, MemoryBlock* block, bool countRelease);
    // A resource-backed header standing for `qtHandle` of `resFile`.
    MemoryBlock* AllocateResourceBlock(void* data, std::size_t size, void** qtHandle, short resFile);
    // With blockListLock held: releases a header of the resource table.
    void ReleaseResourceBlock(MemoryBlock* block);
    void AllocationFailed(const char* message, std::size_t size);
    void CountFailedAllocation(std::size_t roundedSize);
    bool IsInstantiated(const char* const* h) const;
    bool ShrinkReleaseDue(const MemoryBlock* block, std::size_t newSize) const;
    void ReleaseBlockContents(MemoryBlock* block);
    void FreeBlockStorage(MemoryBlock* block);
    MemoryBlock* RetireHeader(MemoryBlock* block);
    void FreeRetiredHeaders();
    void DetachInUsePoolBlock(MemoryBlock* block);
    void FormatStackTrace(const std::vector<void*>& frames, char* buf, std::size_t bufLen) const;

    // Set for partitions whose memory GetPartitionByIdentifier obtained with
    // malloc, the only ones FreeAllPartitions may free.
    bool createdByLibrary = false;

    // The headers of the last released blocks, freed only when pushed out,
    // so that a repeated release is reported rather than freed twice.
    static constexpr std::size_t kRetiredHeaders = 16;
    MemoryBlock* retiredHeaders[kRetiredHeaders] = {};
    std::size_t retiredNext = 0;
};

} // namespace KXMM

/// The flat legacy interface. Every function is inert: it allocates nothing,
/// changes nothing, reads none of its arguments and returns zero, false or null.
namespace VIZA {
KXMM_API char** NewHandle(long long size);
KXMM_API char** NewHandleClear(long long size);
KXMM_API void DisposeHandle(char** h);
KXMM_API long long GetHandleSize(const char* const* h);
KXMM_API void SetHandleSize(char** h, long long size);
KXMM_API void HLock(char** h);
KXMM_API void HUnlock(char** h);
KXMM_API char HGetState(char** h);
KXMM_API short HandToHand(char*** h);
KXMM_API short HandAndHand(char** from, char** to);
KXMM_API short PtrAndHand(const void* src, char** h, long long size);
KXMM_API char* NewPtr(long long size);
KXMM_API char* NewPtrClear(long long size);
KXMM_API void DisposePtr(char* p);
KXMM_API void SetPtrSize(char* p, long long size);
KXMM_API short MemError();
} // namespace VIZA
