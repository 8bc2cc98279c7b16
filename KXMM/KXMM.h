/// @file
/// KXMM: the handle-and-pointer memory manager of the Calvera host process.
///
/// Memory belongs to partitions. Every block carries a MemoryBlock header that is
/// entered in a 1024-bucket hash table of its partition. A block is used either
/// through its data address (a "pointer") or through the address of its header,
/// whose first field is the master pointer to the data (a "handle"), so the data
/// can move while the handle stays valid. Around that: preformed pools,
/// resource-backed handles, destructors and user data, validation and
/// statistics, recorded call stacks, memory-pressure callbacks, the inert flat
/// interface VIZA, and the plain buffers of the plug-ins' string class.
///
/// Contracts shared by the whole interface:
/// - Failures show as null or false, as a report through KXMM_Assert (a Yes/No
///   box; No silences every later report of the process) and, for failed
///   allocations, as memory callbacks with code 1. MemError() is always 0.
///   Nothing throws.
/// - One process-wide recursive lock guards the bucket tables, pool lists, the
///   resource search and release, stack recording and the callback table. A
///   thread waiting for it sleeps after a short spin, and no report box is
///   ever shown while it is held. Blocks of one partition may be allocated and
///   released from several threads at once; callers serialize the operations
///   on any one block, on one pool, and on the partition list.
/// - Exceptions thrown by the caller's code that the library runs (copy
///   functions, destructors, memory callbacks, assertion handlers) are caught
///   and reported; none crosses the library's boundary.
/// - Null handles and pointers give null, 0 or false wherever stated. A block
///   released again is reported, not freed twice: the headers of the last 16
///   released blocks of a partition stay readable for that (the data address
///   of a separate block of 5000 bytes or more is not: release those through
///   their handle). Any other foreign address is undefined.
#pragma once

#include "platform/Export.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

/// @def KXMM_API
/// Marks what the memory manager's shared library exports: KX_SYMBOL_EXPORT
/// while the library itself is built (KXMM_BUILDING defined), and
/// KX_SYMBOL_IMPORT for everyone who uses it.
#ifdef KXMM_BUILDING
#define KXMM_API KX_SYMBOL_EXPORT
#else
#define KXMM_API KX_SYMBOL_IMPORT
#endif

/// The memory manager: partitions, their blocks and handles.
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

/// The magic number of a live block (MemoryBlock::magic); a released block
/// has 0.
inline constexpr std::uint32_t kLiveBlockMagic = 0xA4FEB3AF;
/// The magic number of a pool's preformed block, handed out or not.
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

/// A memory partition: its blocks in a bucket table, its resource-backed
/// handles in a second one, its pools, statistics and memory callbacks. Every
/// partition is linked into one process-wide list, newest first.
class KXMM_API Partition {
public:
    /// Buckets of each of the two tables.
    static constexpr std::size_t kBucketCount = 1024;
    /// Bytes of the identifier, terminator included.
    static constexpr std::size_t kIdentifierSize = 128;
    /// Distinct memory callbacks a partition can hold.
    static constexpr std::size_t kCallbackSlots = 128;
    /// Slots of the allocation-size histogram.
    static constexpr std::size_t kHistogramSlots = 13;
    /// Frames captured for each recorded call stack.
    static constexpr std::size_t kStackFrames = 59;

    /// @name Lifecycle and the process-wide partition list
    /// @{

    /// An empty partition, linked at the head of the partition list. Allocates nothing.
    Partition();
    /// Unlinks the partition and releases its current pool and every block it
    /// still holds (destructors of instantiated blocks are not run, foreign
    /// resource data is not freed).
    ~Partition();
    /// Deleted: a copy would claim the same blocks and list neighbours.
    Partition(const Partition&) = delete;
    /// Deleted: a copy would claim the same blocks and list neighbours.
    Partition& operator=(const Partition&) = delete;

    /// The partition at the head of the list (the newest one); when there is
    /// none, creates one named `identifier`. `flag` has no effect. Null only
    /// when the partition's memory cannot be obtained.
    static Partition* GetPartitionByIdentifier(const char* identifier, bool flag);
    /// The newest partition, or null when there is none.
    static Partition* GetPartitionListHead();
    /// Frees every partition that GetPartitionByIdentifier created (memory
    /// only: blocks they still hold are neither released nor reported) and
    /// unlinks the others; the list is empty afterwards.
    static void FreeAllPartitions();

    /// Keeps at most 127 characters. Null gives the empty name.
    void SetIdentifier(const char* identifier);
    /// `out` must provide 128 bytes.
    void GetIdentifier(char* out) const;
    /// Replaces the partition's flags. Bit 0 turns pooling on: Allocate then
    /// takes blocks from the current pool.
    void SetFlags(unsigned int flags);
    /// The flags as last set; 0 for a new partition.
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
    /// after a reported failure. With pooling on (SetFlags) and a current pool
    /// whose blocks hold `size` bytes, a free block of that pool is handed out
    /// first. Data of 5000 bytes or more gets an allocation of its own.
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
    /// Allocate under its legacy name: a block's data address, or null after a
    /// reported failure.
    char* NewPtr(std::size_t size);
    /// As NewPtr, with the data zeroed.
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

    /// A new block of `size` bytes as a handle (`*h` is the data,
    /// uninitialized), or null after a reported failure.
    char** NewHandle(std::size_t size);
    /// As NewHandle, with the data zeroed.
    char** NewHandleClear(std::size_t size);
    /// Runs the destructor of an instantiated block and fills its data with
    /// 0xA4, then releases it; null is ignored.
    void DisposeHandle(char** h);
    /// The block's logical size; 0 for null.
    std::size_t GetHandleSize(const char* const* h) const;
    /// As GetHandleSize, for a handle of any pointer type.
    std::size_t GetKXMMHandleSize(const void* h) const;
    /// The capacity of the block's data area; 0 for null.
    std::size_t GetHandleMaxSize(const char* const* h) const;
    /// As GetHandleMaxSize, for a handle of any pointer type.
    std::size_t GetKXMMHandleMaxSize(const void* h) const;
    /// Changes the block's size. Within the capacity the data stays; otherwise,
    /// and when separate data would shrink far below its capacity, it moves to
    /// new storage with the growth reserve added (a byte copy of what fits), so
    /// `*h` changes and the handle stays valid. False, with the block
    /// unchanged, for null or an instantiated block (both reported) and when
    /// the storage cannot be had (reported, with the memory callbacks).
    bool SetHandleSize(char** h, std::size_t newSize);
    /// As above, with `copy`, when set, moving the content instead of the byte
    /// copy: it is called once per move with the old data, old size, new data
    /// and new size. An exception from it is caught and reported, and the block
    /// keeps its old data (false).
    bool SetHandleSize(char** h, std::size_t newSize, std::function<void(void*, std::size_t, void*, std::size_t)> copy);
    /// Raises the growth reserve (never lowers it unless `force`).
    void SetHandleOversize(char** h, unsigned int oversize, bool force);
    /// The growth reserve: bytes added to the capacity when the block moves (at
    /// least 16 are added in any case). 0 for null.
    unsigned int GetHandleOversize(const char* const* h) const;
    /// Marks the handle locked. The mark is only recorded: nothing stops the
    /// data from moving. Null is ignored.
    void HLock(char** h);
    /// Clears the lock mark; null is ignored.
    void HUnlock(char** h);
    /// 0x80 when the handle is marked locked, else 0 (also for null).
    char HGetState(const char* const* h) const;
    /// Records the lock mark; false only for null.
    bool SetHandleLockState_Legacy(char** h, bool locked);
    /// Whether the handle is marked locked; false for null.
    bool HandleIsLocked_Legacy(const char* const* h) const;
    /// Whether `h` is a live block: one not released, or a pool's preformed
    /// block that is handed out. False for null.
    bool IsHandleInUse(const char* const* h) const;
    /// Replaces `h` with a copy of its block (the original is not released).
    /// False for null and for instantiated blocks (reported), `h` unchanged;
    /// false with `h` null when the copy cannot be allocated (reported).
    bool HandToHand(char**& h);
    /// Appends the data of `from` to `to` (`from` may be `to`). False for null.
    bool HandAndHand(const char* const* from, char** to);
    /// Sets `out` to a new handle holding a copy of the `len` bytes at `src`;
    /// null after a reported failure.
    void PtrToHand(const void* src, char**& out, std::size_t len);
    /// Appends the `len` bytes at `src`, which must not lie inside the block,
    /// to the block of `h`. False for null `h` and when the block cannot grow
    /// (reported).
    bool PtrAndHand(const void* src, char** h, std::size_t len);
    /// Replaces the block's content with the `len` bytes at `src`, which must
    /// not lie inside the block, resizing it. False for null `h` and when it
    /// cannot be resized (reported).
    bool PtrToXHand(const void* src, char** h, std::size_t len);
    /// `src` must not lie inside the block. False for null and offsets past the end.
    bool InsertData(void* h, std::size_t offset, void* src, std::size_t len);
    /// The first occurrence of the `patternLen` bytes of `pattern` in the
    /// `dataLen` bytes at `data`; null when there is none, for an empty pattern
    /// and for a null argument. A plain byte search: no block is involved.
    static void* MemMem(const void* data, std::size_t dataLen, const void* pattern, std::size_t patternLen);
    /// A new handle with a copy of the block's data and logical size (no
    /// destructor, no user data); null for null, for a handle without data, and
    /// after a reported failure.
    void* DuplicateHandle(const void* h);
    /// The handle of the block whose data address is `p`, found by searching
    /// the table rather than read from before `p` (GetHandle): null for an
    /// address that is no block's data, and for null. Takes no lock.
    void* GetVerifiedHandle(const void* p) const;
    /// @}

    /// @name Pools
    /// @{

    /// A pool of `blockCount` preformed blocks of `blockSize` bytes, all in one
    /// block of the partition; its handle, or null after a reported failure. It
    /// does not become the current pool.
    char** CreatePool(std::size_t blockSize, std::size_t blockCount);
    /// Releases the pool's storage. With blocks still handed out it reports
    /// that and keeps the storage until the last of them is released (each
    /// such release is reported too); the pool hands out nothing more.
    void DestroyPool(char** pool);
    /// A free block of `pool` as a handle; null when none is free, when the
    /// pool is being destroyed, and for null.
    char** RequestPoolBlock(char** pool);
    /// Takes `block` back into `pool`; null arguments are ignored, and a block
    /// that the pool has not handed out is reported and left alone. The last
    /// block of a destroyed pool releases its storage. Releasing a pool block
    /// with Deallocate or DisposeHandle does the same and also updates the
    /// statistics.
    void ReleasePoolBlock(char** pool, char** block);
    /// The pool Allocate draws from while pooling is on; null for none. The
    /// partition does not own it.
    void SetCurrentPool(char** pool);
    /// The current pool, or null.
    char** GetCurrentPool() const;
    /// @}

    /// @name Resource-backed handles
    /// @{

    /// Releases a resource-backed handle; the resource's data stays, as it is
    /// not the partition's. An ordinary block is released as by Deallocate, a
    /// pool block is reported and given back to its pool, a block that is not
    /// live is reported and left alone; null is ignored.
    void DeallocateResource(void* handle);
    /// Records the resource handle and resource file the block stands for; null
    /// `handle` is ignored.
    void SetQTResourcePtr(void* handle, void** qtHandle, short resFile);
    /// The resource-backed handle that stands for the data of `*qtHandle` in
    /// `resFile`; null when there is none or `qtHandle` is null.
    char** FindBlockWithQTResourceHandle(void** qtHandle, short resFile) const;
    /// The handle FindBlockWithQTResourceHandle finds, or else a new
    /// resource-backed handle of `size` bytes over the data of `*qtHandle`
    /// (neither copied nor owned). Null for a null `qtHandle` and after a
    /// reported failure. A handle found with another size is reported: one
    /// resource is always asked for with one size.
    char** GetOrCreateHandleFromQTResourceHandle(void** qtHandle, std::size_t size, short resFile);
    /// The resource handle the block stands for; null when none is recorded and
    /// for null.
    char** GetOriginalQTResource(const void* handle) const;
    /// Releases every resource-backed handle of `resFile` (not the resources'
    /// data).
    void DeleteAllHandlesWithResourceFile(short resFile);
    /// A new handle with a copy of a legacy handle's data. The size comes from
    /// the inert VIZA::GetHandleSize, so the new handle is empty. Null for null
    /// and after a reported failure.
    char** ConvertFromQTHandleToKXMMHandle(const char* const* qtHandle);
    /// A legacy handle with a copy of the block's data, made with the inert
    /// VIZA::NewHandle: always null.
    char** ConvertFromKXMMHandleToQTHandle(const char* const* handle);
    /// @}

    /// @name User data
    /// @{

    /// Stores the caller's datum in the block; the partition never reads it.
    /// Null `handle` is ignored. A pool block loses it when it goes back to its
    /// pool.
    void SetUserData(void* userData, void* handle);
    /// The caller's datum; null when none is stored and for null.
    void* GetUserData(const void* handle) const;
    /// @}

    /// @name Validation and snapshots
    /// @{

    /// False for null; otherwise true, unless `checkOwnership` is set and
    /// `handle` is in neither of the partition's tables.
    bool HandleIsValid(const void* handle, bool checkOwnership) const;
    /// True for null and whenever `checkOwnership` is false; otherwise
    /// PointerBelongsToUs(p, thorough).
    bool PointerIsValid(const void* p, bool checkOwnership, bool thorough) const;
    /// Whether `handle` is in one of the partition's tables (a pool block only
    /// while handed out); false for null.
    bool HandleBelongsToUs(const void* handle) const;
    /// Whether `p` is the data address of one of the partition's blocks; false
    /// for null. Without `thorough`, while pooling is on, any address inside
    /// the current pool's storage counts too.
    bool PointerBelongsToUs(const void* p, bool thorough) const;
    /// Writes the handle of every block of the block table (resource-backed
    /// ones are not included) to `out` from index 0, overwriting its entries
    /// and growing it as needed, never shrinking it; returns the number
    /// written. Stops early, after a report, when `out` cannot grow.
    std::size_t GetAllBlocks(std::vector<const void*>& out) const;
    /// Writes up to `capacity` handles to `out`, which must hold that many, and
    /// null to the rest; returns the number of handles written.
    std::size_t GetAllBlocks(const void** out, std::size_t capacity) const;
    /// The number of blocks in the block table (resource-backed ones not
    /// counted).
    std::size_t GetBlockCount() const;
    /// The block's logical size; 0 for null.
    std::size_t GetBlockSize(const void* handle) const;
    /// Whether `block` is among the entries of `blocks` before the first null.
    bool BlockArrayContainsBlock(const std::vector<const void*>& blocks, const void* block) const;
    /// The same over at most `count` entries; false for a null array.
    bool BlockArrayContainsBlock(const void* const* blocks, std::size_t count, const void* block) const;
    /// Writes to `out`, as GetAllBlocks writes, the entries of `from` before
    /// its first null that `remove` does not contain; returns the number
    /// written.
    std::size_t SubtractBlockArrays(const std::vector<const void*>& from, const std::vector<const void*>& remove,
                                    std::vector<const void*>& out);
    /// The same over arrays: at most `outCapacity` entries written; 0 for a
    /// null `from` or `out`.
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
    /// Registers `fn`, called with `userData` whenever an allocation of the
    /// partition fails (code 1). Registering a function again counts it once
    /// more and replaces its datum. False when all 128 slots are taken.
    bool RegisterMemoryCallbackFunction(MemoryCallback fn, void* userData);
    /// Takes back one registration of `fn`; once none is left it is called no
    /// more. False when `fn` is not registered.
    bool UnregisterMemoryCallbackFunction(MemoryCallback fn);
    /// @}

    /// @name String buffers
    /// Plain free-store blocks for TXString: no header, no table, no statistics.
    /// @{

    /// A block of `size` bytes, or null after a report (the memory callbacks
    /// are not called).
    void* TXStringAllocate(std::size_t size);
    /// Releases `*p` when it is not null and sets it to null.
    void TXStringDeallocate(char** p);
    /// @}

protected:
    /// Links the partition at the head of the process-wide list (the
    /// constructor does).
    void AddThisToList();
    /// Unlinks the partition from the list (the destructor does).
    void RemoveThisFromList();
    /// Enters `block` at the front of its bucket in the table whose bucket
    /// heads are `lists` and bucket counts `counts`. The caller holds the
    /// process-wide lock.
    void HookupBlockToList(MemoryBlock* block, MemoryBlock** lists, std::size_t* counts);
    /// Takes `block` out of its bucket in that table; the caller holds the
    /// lock.
    void RemoveBlockFromList(MemoryBlock* block, MemoryBlock** lists, std::size_t* counts);

    /// A resource-backed header for the `size` bytes at `data` (neither copied
    /// nor owned), entered in the resource table; null after a reported
    /// failure.
    MemoryBlock* AllocateFromExistingResource(void* data, std::size_t size);
    /// Whether `block` is resource-backed; false for null.
    bool BlockIsResource(const MemoryBlock* block) const;

    /// Sets the destructor that DisposePtr and DisposeHandle run, with the data
    /// address, on the instantiated block whose data is `data`. Null `data` is
    /// ignored; a null destructor is reported and ignored.
    void SetDestructor(const void* data, void (*destructor)(const void*));
    /// Removes the block's destructor; null is ignored.
    void ClearDestructor(const void* data);
    /// Runs the block's destructor, if it has one; an exception from it is
    /// caught and reported. Null is ignored.
    void CallDestructor(const void* data);
    /// Marks whether the block holds an object: disposing of it then runs its
    /// destructor, and resizing or duplicating it with HandToHand is refused.
    /// Null is ignored.
    void SetInstantiatedState(const void* data, bool instantiated);
    /// Whether the block is marked as holding an object; false for null.
    bool GetInstantiatedState(const void* data) const;

    /// The header of the block whose data address is `p`, found by search; null
    /// when there is none and for null. Takes no lock.
    MemoryBlock* GetVerifiedBlockForPointer(const void* p) const;

    /// Counts an allocation of `size` bytes in the size histogram; a size of 0
    /// is reported, then counted in the first slot.
    void MemoryStat_AddAlloc(std::size_t size);
    /// Writes the range of histogram slot `slot` ("LOW - HIGH") to `buf`;
    /// nothing for a null or empty buffer or a slot out of range.
    void MemoryStat_GetSlotBoundsStr(char* buf, std::size_t bufLen, std::size_t slot) const;

    /// Turns the recording of call stacks at allocation on or off (off for a
    /// new partition).
    void EnableStackTraceInfo(bool enable);
    /// Records the current call stack in `block` while recording is on;
    /// otherwise drops any stack it holds. A stack that cannot be stored is not
    /// recorded.
    void CollectStackTrace(MemoryBlock* block);

    /// The first free callback slot, or -1.
    int GetFreeMemoryCallbackFunctionSlot() const;
    /// The slot of the registered `fn`, or -1.
    int GetMemoryCallbackFunctionIndex(MemoryCallback fn) const;
    /// Calls every registered callback with `code`, `size` and its datum; an
    /// exception from one is caught and reported.
    void InvokeCallbacks(int code, std::size_t size);

    /// The head of the process-wide partition list: the newest partition.
    static Partition* partitionList;

    /// The current pool, or null.
    char** currentPool = nullptr;
    /// The flags of SetFlags.
    std::uint32_t flags = 0;
    /// The block table: the head of each bucket.
    MemoryBlock* blockLists[kBucketCount] = {};
    /// The number of headers in each bucket of the block table.
    std::size_t blockListCounts[kBucketCount] = {};
    /// The resource table: the head of each bucket.
    MemoryBlock* resourceLists[kBucketCount] = {};
    /// The number of headers in each bucket of the resource table.
    std::size_t resourceListCounts[kBucketCount] = {};
    // The counters are atomic: blocks of one partition may be allocated and
    // released from several threads at once, and readers take no lock.
    /// Bytes allocated as the statistics count them: raised by allocations (at
    /// least 8 a block) and size changes, lowered by releases.
    std::atomic<std::int64_t> bytesAllocated{0};
    /// Blocks allocated and not yet released; a failed allocation counts as
    /// made.
    std::atomic<std::int64_t> numBlocks{0};
    /// Allocations made, failed ones included.
    std::atomic<std::int32_t> numCalls{0};
    /// Allocations served from the current pool.
    std::atomic<std::int64_t> numpoolHits{0};
    /// Printed with the statistics; no operation changes it.
    std::int64_t numAllocates = 0;
    /// The partition's name, NUL-terminated.
    char identifier[kIdentifierSize] = {};
    /// Whether call stacks are recorded (EnableStackTraceInfo).
    bool stackTraceEnabled = false;
    /// The most frames GetBlockStackTrace writes.
    std::uint64_t maxStackFrames = 16;
    /// The registered callbacks, by slot.
    MemoryCallback callbackFunctions[kCallbackSlots] = {};
    /// The registrations of each slot; 0 marks a free slot.
    std::int32_t callbackRefCounts[kCallbackSlots] = {};
    /// The datum of each slot.
    void* callbackUserData[kCallbackSlots] = {};
    /// The bounds of the histogram slots: a size falls into the first slot
    /// whose bound exceeds it, the last slot taking all larger ones.
    std::uint64_t slotBounds[kHistogramSlots] = {10,     50,     100,     500,     1000,    5000,    10000,
                                                 50000,  100000, 500000,  1000000, 5000000, 10000000};
    /// Allocations counted in each histogram slot.
    std::uint64_t slotCounts[kHistogramSlots] = {};
    /// Allocations counted in the histogram.
    std::int32_t slotTotal = 0;
    /// The next (older) partition in the list.
    Partition* next = nullptr;
    /// The previous (newer) partition in the list.
    Partition* prev = nullptr;

private:
    using CopyFunction = std::function<void(void*, std::size_t, void*, std::size_t)>;

    bool ResizeBlock(MemoryBlock* block, std::size_t newSize, const CopyFunction* copy);
    bool GrowBy(MemoryBlock* block, std::size_t extra);
    // Both with blockListLock held, their reports raised once it is released:
    // hand out a free preformed block, take one back. These three are
    // defined inline in the library's source, on the pooled fast path.
    enum class PoolReturn { Refused, Returned, LastOfDestroyedPool };
    inline char** TakePoolBlock(char** pool, detail::DeferredReports& reports);
    inline PoolReturn ReturnPoolBlock(char** pool, MemoryBlock* block, detail::DeferredReports& reports);
    // Takes a block back into its pool (counting the release when asked);
    // the last block of a destroyed pool releases the pool's storage.
    inline void ReleaseToPool(char** pool, MemoryBlock* block, bool countRelease);
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
/// Inert: null.
KXMM_API char** NewHandle(long long size);
/// Inert: null.
KXMM_API char** NewHandleClear(long long size);
/// Inert: does nothing.
KXMM_API void DisposeHandle(char** h);
/// Inert: 0.
KXMM_API long long GetHandleSize(const char* const* h);
/// Inert: does nothing.
KXMM_API void SetHandleSize(char** h, long long size);
/// Inert: does nothing.
KXMM_API void HLock(char** h);
/// Inert: does nothing.
KXMM_API void HUnlock(char** h);
/// Inert: 0.
KXMM_API char HGetState(char** h);
/// Inert: 0, `*h` untouched.
KXMM_API short HandToHand(char*** h);
/// Inert: 0.
KXMM_API short HandAndHand(char** from, char** to);
/// Inert: 0.
KXMM_API short PtrAndHand(const void* src, char** h, long long size);
/// Inert: null.
KXMM_API char* NewPtr(long long size);
/// Inert: null.
KXMM_API char* NewPtrClear(long long size);
/// Inert: does nothing.
KXMM_API void DisposePtr(char* p);
/// Inert: does nothing.
KXMM_API void SetPtrSize(char* p, long long size);
/// Inert: 0.
KXMM_API short MemError();
} // namespace VIZA
