// The diagnostic side of the memory manager: ownership and validity tests,
// block snapshots, the allocation-size histogram and the statistics report,
// call stacks recorded at allocation, and the memory-callback table.
//
// The scans take no lock: callers run them while no other thread changes the
// partition. Stack recording and formatting and the callback table's changes
// hold the process-wide lock.
#include "KXMM/KXMM.h"
#include "KXMM/KXMMInternal.h"
#include "platform/Diagnostics.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace KXMM {

using namespace detail;

namespace {

constexpr char kStatsCountersFormat[] =
    "KXMM: numCalls: %d. numBlocks: %zd. bytesAllocated: %zd   numAllocates: %zd   numpoolHits: %zd\n";
constexpr char kStatsPoolFormat[] = "Pool: %s\n";
constexpr char kStatsPoolUsageFormat[] = "    TotalHandles: %zd    NumUsed: %zd\n";
constexpr char kStatsHistogramFormat[] = "%zu) %zu allocations in range %s (%.2f%%)\n";
constexpr char kSlotBoundsFormat[] = "%llu - %llu";
constexpr std::size_t kStatsLineSize = 256;
constexpr std::size_t kSlotLabelSize = 128;
constexpr std::size_t kSymbolNameSize = 2000;
constexpr unsigned kPrintHistogram = 1;

bool Contains(const void* const* blocks, std::size_t count, const void* block)
{
    for (std::size_t i = 0; i < count && blocks[i] != nullptr; ++i) {
        if (blocks[i] == block)
            return true;
    }
    return false;
}

bool BucketHolds(const MemoryBlock* head, const void* block)
{
    for (const MemoryBlock* b = head; b != nullptr; b = b->next) {
        if (b == block)
            return true;
    }
    return false;
}

const MemoryBlock* BucketFind(const MemoryBlock* head, const void* data)
{
    for (const MemoryBlock* b = head; b != nullptr; b = b->next) {
        if (b->memPtr == data)
            return b;
    }
    return nullptr;
}

/// Writes `block` to `out[n]`, growing `out` when it is that short. False,
/// after a report, when it cannot grow: the exception must not leave the
/// library, so the caller stops with what it has written.
bool PutBlock(std::vector<const void*>& out, std::size_t n, const void* block)
{
    if (n < out.size()) {
        out[n] = block;
        return true;
    }
    try {
        out.push_back(block);
        return true;
    } catch (...) {
        Partition::KXMM_Assert(false, kMsgAllocateException);
        return false;
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Validation and search

bool Partition::HandleBelongsToUs(const void* handle) const
{
    const unsigned int i = GetMemoryBlockHash(static_cast<const MemoryBlock*>(handle));
    return BucketHolds(blockLists[i], handle) || BucketHolds(resourceLists[i], handle);
}

MemoryBlock* Partition::GetVerifiedBlockForPointer(const void* p) const
{
    if (p == nullptr)
        return nullptr; // no block has null data, and null minus a header is no address
    // Inline data sits right behind its header, so one bucket decides for
    // every inline block; separate data needs the full scan.
    const auto* inlineHeader = reinterpret_cast<const MemoryBlock*>(static_cast<const char*>(p) - kHeaderSize);
    const unsigned int first = GetMemoryBlockHash(inlineHeader);
    const MemoryBlock* found = BucketFind(blockLists[first], p);
    for (std::size_t i = 0; found == nullptr && i < kBucketCount; ++i) {
        if (i != first)
            found = BucketFind(blockLists[i], p);
    }
    return const_cast<MemoryBlock*>(found);
}

bool Partition::PointerBelongsToUs(const void* p, bool thorough) const
{
    if (p == nullptr)
        return false;
    if (!thorough && (flags & kPoolingOn) && currentPool != nullptr) {
        const PoolRecord* record = PoolOf(currentPool);
        const char* at = static_cast<const char*>(p);
        const char* end = record->blocks + record->stride * record->blockCount;
        if (at >= reinterpret_cast<const char*>(record) && at < end)
            return true;
    }
    return GetVerifiedBlockForPointer(p) != nullptr;
}

bool Partition::PointerIsValid(const void* p, bool checkOwnership, bool thorough) const
{
    if (p == nullptr || !checkOwnership)
        return true;
    return PointerBelongsToUs(p, thorough);
}

bool Partition::HandleIsValid(const void* handle, bool checkOwnership) const
{
    if (handle == nullptr)
        return false;
    bool valid = checkOwnership ? HandleBelongsToUs(handle) : true;
    if (valid && !BlockIsResource(static_cast<const MemoryBlock*>(handle)))
        valid = PointerIsValid(*static_cast<char* const*>(handle), false, false);
    return valid;
}

// ---------------------------------------------------------------------------
// Block snapshots

std::size_t Partition::GetAllBlocks(std::vector<const void*>& out) const
{
    std::size_t n = 0;
    for (const MemoryBlock* bucket : blockLists) {
        for (const MemoryBlock* b = bucket; b != nullptr; b = b->next, ++n) {
            if (!PutBlock(out, n, b))
                return n;
        }
    }
    return n;
}

std::size_t Partition::GetAllBlocks(const void** out, std::size_t capacity) const
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < kBucketCount && n < capacity; ++i) {
        for (const MemoryBlock* b = blockLists[i]; b != nullptr && n < capacity; b = b->next)
            out[n++] = b;
    }
    for (std::size_t i = n; i < capacity; ++i)
        out[i] = nullptr;
    return n;
}

std::size_t Partition::GetBlockCount() const
{
    std::size_t n = 0;
    for (const MemoryBlock* bucket : blockLists) {
        for (const MemoryBlock* b = bucket; b != nullptr; b = b->next)
            ++n;
    }
    return n;
}

std::size_t Partition::GetBlockSize(const void* handle) const
{
    return handle ? static_cast<const MemoryBlock*>(handle)->memSize : 0;
}

bool Partition::BlockArrayContainsBlock(const std::vector<const void*>& blocks, const void* block) const
{
    return Contains(blocks.data(), blocks.size(), block);
}

bool Partition::BlockArrayContainsBlock(const void* const* blocks, std::size_t count, const void* block) const
{
    return blocks != nullptr && Contains(blocks, count, block);
}

std::size_t Partition::SubtractBlockArrays(const std::vector<const void*>& from,
                                           const std::vector<const void*>& remove, std::vector<const void*>& out)
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < from.size() && from[i] != nullptr; ++i) {
        if (BlockArrayContainsBlock(remove, from[i]))
            continue;
        if (!PutBlock(out, n, from[i]))
            break;
        ++n;
    }
    return n;
}

std::size_t Partition::SubtractBlockArrays(const void* const* from, std::size_t fromCount,
                                           const void* const* remove, std::size_t removeCount, const void** out,
                                           std::size_t outCapacity)
{
    if (from == nullptr || out == nullptr)
        return 0;
    std::size_t n = 0;
    for (std::size_t i = 0; i < fromCount && from[i] != nullptr && n < outCapacity; ++i) {
        if (!BlockArrayContainsBlock(remove, removeCount, from[i]))
            out[n++] = from[i];
    }
    return n;
}

// ---------------------------------------------------------------------------
// Statistics

void Partition::MemoryStat_AddAlloc(std::size_t size)
{
    if (size == 0) {
        KXMM_Assert(false, kMsgStatZeroSize);
        ReportFailedCondition("size > 0", "KXMM_Debug", 45);
    }
    ++slotTotal;
    for (std::size_t i = 0; i < kHistogramSlots; ++i) {
        if (i == kHistogramSlots - 1 || size < slotBounds[i]) {
            ++slotCounts[i];
            break;
        }
    }
}

void Partition::MemoryStat_GetSlotBoundsStr(char* buf, std::size_t bufLen, std::size_t slot) const
{
    if (buf == nullptr || bufLen == 0 || slot >= kHistogramSlots)
        return;
    const unsigned long long lower = slot == 0 ? 0 : slotBounds[slot - 1] + 1;
    FormatInto(buf, bufLen, kSlotBoundsFormat, lower, static_cast<unsigned long long>(slotBounds[slot]));
}

void Partition::PrintMemoryStats(unsigned int options) const
{
    char line[kStatsLineSize];
    FormatInto(line, sizeof line, kStatsCountersFormat, numCalls.load(),
                  static_cast<std::ptrdiff_t>(numBlocks.load()), static_cast<std::ptrdiff_t>(bytesAllocated.load()),
                  static_cast<std::ptrdiff_t>(numAllocates), static_cast<std::ptrdiff_t>(numpoolHits.load()));
    DebugOutput(line);
    FormatInto(line, sizeof line, kStatsPoolFormat, currentPool ? "present" : "absent");
    DebugOutput(line);
    if (currentPool != nullptr) {
        const PoolRecord* record = PoolOf(currentPool);
        FormatInto(line, sizeof line, kStatsPoolUsageFormat, static_cast<std::ptrdiff_t>(record->blockCount),
                      static_cast<std::ptrdiff_t>(record->blockCount - record->freeCount));
        DebugOutput(line);
    }
    if ((options & kPrintHistogram) && slotTotal > 0) {
        for (std::size_t i = 0; i < kHistogramSlots; ++i) {
            char label[kSlotLabelSize];
            MemoryStat_GetSlotBoundsStr(label, sizeof label, i);
            FormatInto(line, sizeof line, kStatsHistogramFormat, i, static_cast<std::size_t>(slotCounts[i]),
                          label, static_cast<double>(slotCounts[i]) * 100.0 / slotTotal);
            DebugOutput(line);
        }
    }
}

// ---------------------------------------------------------------------------
// Call stacks

void Partition::EnableStackTraceInfo(bool enable)
{
    stackTraceEnabled = enable;
}

void Partition::CollectStackTrace(MemoryBlock* block)
{
    if (!stackTraceEnabled) {
        delete block->stackTrace;
        block->stackTrace = nullptr;
        return;
    }
    LockGuard guard;
    delete block->stackTrace;
    // A stack that cannot be stored is simply not recorded: the allocation
    // it describes must not fail because of it.
    block->stackTrace = new (std::nothrow) std::vector<void*>();
    if (block->stackTrace == nullptr)
        return;
    try {
        block->stackTrace->resize(kStackFrames);
    } catch (...) {
        delete block->stackTrace;
        block->stackTrace = nullptr;
        return;
    }
    Platform::CaptureStack(block->stackTrace->data(), kStackFrames);
}

void Partition::FormatStackTrace(const std::vector<void*>& frames, char* buf, std::size_t bufLen) const
{
    std::size_t pos = 0;
    char name[kSymbolNameSize + 2];
    for (std::size_t i = 1; i < frames.size() && i <= maxStackFrames && pos < bufLen; ++i) {
        if (!Platform::SymbolName(frames[i], name, kSymbolNameSize + 1))
            continue;
        std::strcat(name, "\n");
        const std::size_t length = std::strlen(name);
        if (bufLen > 1 && pos + length < bufLen - 1) {
            std::memcpy(buf + pos, name, length + 1);
            pos += length;
            continue;
        }
        if (bufLen > pos + 1)
            std::memcpy(buf + pos, name, bufLen - pos - 1);
        buf[bufLen - 1] = '\0';
        if (bufLen > 4)
            std::memcpy(buf + bufLen - 4, "...", 3);
        pos = bufLen;
    }
}

void Partition::GetBlockStackTrace(const void* handle, char* buf, std::size_t bufLen) const
{
    if (buf == nullptr)
        return;
    if (bufLen > 0)
        buf[0] = '\0';
    if (!stackTraceEnabled || handle == nullptr)
        return;
    const std::vector<void*>* frames = static_cast<const MemoryBlock*>(handle)->stackTrace;
    if (frames == nullptr || frames->empty() || (*frames)[0] == nullptr)
        return;
    {
        LockGuard guard;
        FormatStackTrace(*frames, buf, bufLen);
    }
    if (bufLen > 0)
        buf[bufLen - 1] = '\0';
}

// ---------------------------------------------------------------------------
// Memory callbacks

int Partition::GetFreeMemoryCallbackFunctionSlot() const
{
    for (std::size_t i = 0; i < kCallbackSlots; ++i) {
        if (callbackRefCounts[i] == 0)
            return static_cast<int>(i);
    }
    return -1;
}

int Partition::GetMemoryCallbackFunctionIndex(MemoryCallback fn) const
{
    for (std::size_t i = 0; i < kCallbackSlots; ++i) {
        if (callbackRefCounts[i] > 0 && callbackFunctions[i] == fn)
            return static_cast<int>(i);
    }
    return -1;
}

bool Partition::RegisterMemoryCallbackFunction(MemoryCallback fn, void* userData)
{
    LockGuard guard;
    int slot = GetMemoryCallbackFunctionIndex(fn);
    if (slot < 0) {
        slot = GetFreeMemoryCallbackFunctionSlot();
        if (slot < 0)
            return false;
        callbackFunctions[slot] = fn;
    }
    ++callbackRefCounts[slot];
    callbackUserData[slot] = userData;
    return true;
}

bool Partition::UnregisterMemoryCallbackFunction(MemoryCallback fn)
{
    LockGuard guard;
    const int slot = GetMemoryCallbackFunctionIndex(fn);
    if (slot < 0)
        return false;
    if (--callbackRefCounts[slot] == 0) {
        callbackFunctions[slot] = nullptr;
        callbackUserData[slot] = nullptr;
    }
    return true;
}

void Partition::InvokeCallbacks(int code, std::size_t size)
{
    for (std::size_t i = 0; i < kCallbackSlots; ++i) {
        if (callbackRefCounts[i] == 0 || callbackFunctions[i] == nullptr)
            continue;
        try {
            callbackFunctions[i](code, size, callbackUserData[i]);
        } catch (...) {
            KXMM_Assert(false, kMsgCallbackThrew); // never across the library's boundary
        }
    }
}

} // namespace KXMM
