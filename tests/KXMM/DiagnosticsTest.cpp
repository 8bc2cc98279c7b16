// The diagnostic side: validation and search, snapshots, the histogram and
// the statistics report, recorded call stacks and the memory callbacks.
#include "tests/KXMM/KXMMTestSupport.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <utility>

// Kept out of line and visible so that its name can be found in a recorded
// stack.
KX_SYMBOL_EXPORT __attribute__((noinline)) char* KXMMTestAllocatingCaller(KXMM::Partition& partition)
{
    char* p = partition.NewPtr(24);
    __asm__ volatile("" ::: "memory"); // keep this frame from becoming a tail call
    return p;
}

namespace KXMMTest {
namespace {

// ---------------------------------------------------------------------------
// Validation and search

TEST_F(PartitionTest, PointerValidity)
{
    int local = 0;
    EXPECT_TRUE(partition.PointerIsValid(nullptr, true, true));
    EXPECT_TRUE(partition.PointerIsValid(&local, false, false));
    EXPECT_FALSE(partition.PointerIsValid(&local, true, true));
    // Null is no block's data; the search must not form an address from it.
    EXPECT_EQ(partition.GetVerifiedHandle(nullptr), nullptr);
    EXPECT_FALSE(partition.PointerBelongsToUs(nullptr, true));
    EXPECT_FALSE(partition.PointerBelongsToUs(nullptr, false));

    char* small = partition.NewPtr(100);
    char* large = partition.NewPtr(6000);
    EXPECT_EQ(partition.GetVerifiedBlockForPointer(small), HeaderBefore(small));
    EXPECT_EQ(partition.GetVerifiedBlockForPointer(large), HeaderBefore(large));
    EXPECT_EQ(partition.GetVerifiedHandle(large), HeaderBefore(large));
    EXPECT_TRUE(partition.PointerIsValid(small, true, true));
    EXPECT_FALSE(partition.PointerBelongsToUs(small + 1, true));
    char* other = partition.NewPtr(100); // keeps the table non-empty
    partition.DisposePtr(small);
    partition.DisposePtr(large);
    EXPECT_EQ(partition.GetVerifiedBlockForPointer(small), nullptr);
    EXPECT_EQ(partition.GetVerifiedBlockForPointer(large), nullptr);
    partition.DisposePtr(other);
}

TEST_F(PartitionTest, HandleValidity)
{
    char** h = partition.NewHandle(10);
    alignas(MemoryBlock) MemoryBlock stranger{};
    EXPECT_TRUE(partition.HandleIsValid(h, true));
    EXPECT_TRUE(partition.HandleIsValid(h, false));
    EXPECT_FALSE(partition.HandleIsValid(&stranger, true));
    EXPECT_FALSE(partition.HandleIsValid(nullptr, true));
    EXPECT_FALSE(partition.HandleIsValid(nullptr, false));

    ProbePartition other;
    EXPECT_FALSE(other.HandleIsValid(h, true)); // ownership is per partition
    EXPECT_FALSE(other.HandleBelongsToUs(h));
    partition.DisposeHandle(h);
}

TEST_F(PartitionTest, QuickOwnershipTestCoversTheWholeCurrentPool)
{
    char** pool = partition.CreatePool(32, 4);
    partition.SetCurrentPool(pool);
    partition.SetFlags(1);
    char* handedOut = partition.NewPtr(32);
    const char* freeBlockData = handedOut + sizeof(MemoryBlock) + 32; // the next block, still free

    EXPECT_TRUE(partition.PointerBelongsToUs(handedOut, false));
    EXPECT_TRUE(partition.PointerBelongsToUs(freeBlockData, false));
    EXPECT_TRUE(partition.PointerBelongsToUs(*pool, false)); // the pool record itself
    EXPECT_TRUE(partition.PointerBelongsToUs(handedOut, true));
    EXPECT_FALSE(partition.PointerBelongsToUs(freeBlockData, true));

    partition.DisposePtr(handedOut);
    partition.DestroyPool(pool);
}

// ---------------------------------------------------------------------------
// Snapshots

TEST_F(PartitionTest, GetAllBlocksNeverShortensItsOutput)
{
    char** blocks[3] = {partition.NewHandle(1), partition.NewHandle(2), partition.NewHandle(3)};
    int marker = 0;
    std::vector<const void*> out(10, &marker);
    EXPECT_EQ(partition.GetAllBlocks(out), 3u);
    ASSERT_EQ(out.size(), 10u);
    for (std::size_t i = 3; i < 10; ++i)
        EXPECT_EQ(out[i], &marker);
    for (char** h : blocks)
        EXPECT_TRUE(partition.BlockArrayContainsBlock(out, h));

    const void* plain[10];
    for (auto& p : plain)
        p = &marker;
    EXPECT_EQ(partition.GetAllBlocks(plain, 10), 3u);
    for (std::size_t i = 3; i < 10; ++i)
        EXPECT_EQ(plain[i], nullptr);
    const void* tiny[2];
    EXPECT_EQ(partition.GetAllBlocks(tiny, 2), 2u);
    EXPECT_EQ(partition.GetBlockSize(blocks[2]), 3u);
    EXPECT_EQ(partition.GetBlockSize(nullptr), 0u);

    for (char** h : blocks)
        partition.DisposeHandle(h);
}

TEST_F(PartitionTest, SubtractingSnapshotsFindsNewBlocks)
{
    char** kept = partition.NewHandle(8);
    std::vector<const void*> earlier;
    partition.GetAllBlocks(earlier);
    char** added = partition.NewHandle(8);
    std::vector<const void*> later;
    const std::size_t n = partition.GetAllBlocks(later);
    later.resize(n);

    std::vector<const void*> diff;
    ASSERT_EQ(partition.SubtractBlockArrays(later, earlier, diff), 1u);
    EXPECT_EQ(diff[0], added);

    const void* fromArray[4] = {added, nullptr, kept, added};
    const void* removeArray[1] = {kept};
    const void* out[4] = {};
    // Stops at the first null entry of `from`.
    EXPECT_EQ(partition.SubtractBlockArrays(fromArray, 4, removeArray, 1, out, 4), 1u);
    EXPECT_EQ(out[0], added);
    const void* many[3] = {added, added, added};
    EXPECT_EQ(partition.SubtractBlockArrays(many, 3, removeArray, 1, out, 2), 2u); // bounded by the output
    const void* withNull[3] = {nullptr, kept, added};
    EXPECT_FALSE(partition.BlockArrayContainsBlock(withNull, 3, kept));

    partition.DisposeHandle(kept);
    partition.DisposeHandle(added);
}

// ---------------------------------------------------------------------------
// Histogram and report

TEST_F(PartitionTest, HistogramSlots)
{
    for (std::size_t size : {9u, 10u, 49u, 50u, 7000000u})
        partition.MemoryStat_AddAlloc(size);
    EXPECT_EQ(partition.SlotCount(0), 1u);
    EXPECT_EQ(partition.SlotCount(1), 2u);
    EXPECT_EQ(partition.SlotCount(2), 1u);
    EXPECT_EQ(partition.SlotCount(12), 1u);
    EXPECT_EQ(partition.SlotTotal(), 5);

    partition.MemoryStat_AddAlloc(0); // reported, then counted
    EXPECT_EQ(reports.messages.size(), 2u);
    EXPECT_EQ(reports.messages[0], "MemoryStat_AddAlloc size was zero or negative");
    EXPECT_NE(reports.messages[1].find("size > 0"), std::string::npos);
    EXPECT_EQ(partition.SlotCount(0), 2u);
}

TEST_F(PartitionTest, SlotLabels)
{
    char label[128];
    const char* expected[13] = {"0 - 10",         "11 - 50",         "51 - 100",         "101 - 500",
                                "501 - 1000",     "1001 - 5000",     "5001 - 10000",     "10001 - 50000",
                                "50001 - 100000", "100001 - 500000", "500001 - 1000000", "1000001 - 5000000",
                                "5000001 - 10000000"};
    for (std::size_t i = 0; i < 13; ++i) {
        partition.MemoryStat_GetSlotBoundsStr(label, sizeof label, i);
        EXPECT_STREQ(label, expected[i]);
    }
    char cut[5];
    partition.MemoryStat_GetSlotBoundsStr(cut, sizeof cut, 12);
    EXPECT_STREQ(cut, "5000");
}

TEST_F(PartitionTest, ReportOfAFreshPartition)
{
    partition.PrintMemoryStats(1); // histogram asked for, but empty
    EXPECT_EQ(reports.output, "KXMM: numCalls: 0. numBlocks: 0. bytesAllocated: 0   numAllocates: 0   numpoolHits: 0\n"
                              "Pool: absent\n");
}

TEST_F(PartitionTest, ReportWithPoolAndHistogram)
{
    char** pool = partition.CreatePool(16, 4);
    partition.SetCurrentPool(pool);
    partition.SetFlags(1);
    char* p = partition.NewPtr(5);
    partition.MemoryStat_AddAlloc(5);
    partition.MemoryStat_AddAlloc(5000);
    partition.MemoryStat_AddAlloc(20);
    partition.MemoryStat_AddAlloc(20);
    partition.PrintMemoryStats(0);
    const std::string poolBytes = std::to_string(64 + 4 * 32 + 4 * (sizeof(MemoryBlock) + 16));
    EXPECT_EQ(reports.output, "KXMM: numCalls: 2. numBlocks: 2. bytesAllocated: " +
                                  std::to_string(std::stoul(poolBytes) + 8) +
                                  "   numAllocates: 0   numpoolHits: 1\n"
                                  "Pool: present\n"
                                  "    TotalHandles: 4    NumUsed: 1\n");
    reports.output.clear();
    partition.PrintMemoryStats(1);
    EXPECT_NE(reports.output.find("0) 1 allocations in range 0 - 10 (25.00%)\n"), std::string::npos);
    EXPECT_NE(reports.output.find("1) 2 allocations in range 11 - 50 (50.00%)\n"), std::string::npos);
    EXPECT_NE(reports.output.find("6) 1 allocations in range 5001 - 10000 (25.00%)\n"), std::string::npos);
    EXPECT_NE(reports.output.find("12) 0 allocations in range 5000001 - 10000000 (0.00%)\n"), std::string::npos);
    partition.DisposePtr(p);
    partition.DestroyPool(pool);
}

// ---------------------------------------------------------------------------
// Call stacks

TEST_F(PartitionTest, StacksAreRecordedOnlyWhileEnabled)
{
    char* untraced = partition.NewPtr(8);
    EXPECT_EQ(HeaderBefore(untraced)->stackTrace, nullptr);

    partition.EnableStackTraceInfo(true);
    char* traced = KXMMTestAllocatingCaller(partition);
    const auto* frames = HeaderBefore(traced)->stackTrace;
    ASSERT_NE(frames, nullptr);
    EXPECT_EQ(frames->size(), 59u);
    EXPECT_NE((*frames)[0], nullptr);

    char text[4096];
    partition.GetBlockStackTrace(HeaderBefore(traced), text, sizeof text);
    const std::string stack(text);
    // One name per line, from the allocating operation outward.
    EXPECT_NE(stack.find("Allocate"), std::string::npos) << stack;
    EXPECT_NE(stack.find("KXMMTestAllocatingCaller"), std::string::npos) << stack;
    EXPECT_LT(stack.find("Allocate"), stack.find("KXMMTestAllocatingCaller")) << stack;
    EXPECT_EQ(stack.back(), '\n');

    partition.SetMaxStackFrames(1);
    partition.GetBlockStackTrace(HeaderBefore(traced), text, sizeof text);
    EXPECT_EQ(std::count(text, text + std::strlen(text), '\n'), 1);

    char small[12];
    partition.SetMaxStackFrames(16);
    partition.GetBlockStackTrace(HeaderBefore(traced), small, sizeof small);
    EXPECT_EQ(std::strlen(small), 11u);
    EXPECT_STREQ(small + 8, "...");
    char four[4] = "xyz";
    partition.GetBlockStackTrace(HeaderBefore(traced), four, sizeof four);
    EXPECT_EQ(std::string(four).find("..."), std::string::npos);

    partition.GetBlockStackTrace(HeaderBefore(untraced), text, sizeof text);
    EXPECT_STREQ(text, "");
    partition.EnableStackTraceInfo(false);
    partition.GetBlockStackTrace(HeaderBefore(traced), text, sizeof text);
    EXPECT_STREQ(text, ""); // nothing while stacks are off
    partition.DisposePtr(traced);
    partition.DisposePtr(untraced);
}

TEST_F(PartitionTest, PoolBlockDropsItsStackOnceTracingIsOff)
{
    char** pool = partition.CreatePool(32, 1);
    partition.SetCurrentPool(pool);
    partition.SetFlags(1);
    partition.EnableStackTraceInfo(true);
    char* p = KXMMTestAllocatingCaller(partition);
    ASSERT_EQ(HeaderBefore(p)->pool, pool);
    EXPECT_NE(HeaderBefore(p)->stackTrace, nullptr);
    // A pooled stack starts at the allocating operation, as an unpooled one
    // does, not in the pool's internals.
    partition.SetFlags(0);
    char* unpooled = KXMMTestAllocatingCaller(partition);
    const auto firstLine = [&](const void* handle) {
        char text[4096];
        partition.GetBlockStackTrace(handle, text, sizeof text);
        const std::string stack(text);
        return stack.substr(0, stack.find('\n'));
    };
    EXPECT_EQ(firstLine(HeaderBefore(p)), firstLine(HeaderBefore(unpooled)));
    EXPECT_EQ(firstLine(HeaderBefore(p)).find("Pool"), std::string::npos) << firstLine(HeaderBefore(p));
    EXPECT_NE(firstLine(HeaderBefore(p)).find("Partition::"), std::string::npos) << firstLine(HeaderBefore(p));
    partition.DisposePtr(unpooled);
    partition.SetFlags(1);
    partition.DisposePtr(p);
    partition.EnableStackTraceInfo(false);
    p = partition.NewPtr(8);
    EXPECT_EQ(HeaderBefore(p)->stackTrace, nullptr);
    partition.DisposePtr(p);
    partition.DestroyPool(pool);
}

// ---------------------------------------------------------------------------
// Memory callbacks

struct CallbackLog {
    int calls = 0;
    int code = 0;
    std::size_t size = 0;
};

void Record(int code, std::size_t size, void* user)
{
    auto* log = static_cast<CallbackLog*>(user);
    ++log->calls;
    log->code = code;
    log->size = size;
}

template <int N>
void Numbered(int code, std::size_t, void* user)
{
    static_cast<int*>(user)[N] = code;
}

TEST_F(PartitionTest, RegistrationCountsAndReplacesTheDatum)
{
    CallbackLog first, second;
    EXPECT_EQ(partition.GetFreeMemoryCallbackFunctionSlot(), 0);
    ASSERT_TRUE(partition.RegisterMemoryCallbackFunction(&Record, &first));
    ASSERT_TRUE(partition.RegisterMemoryCallbackFunction(&Record, &second));
    EXPECT_EQ(partition.GetMemoryCallbackFunctionIndex(&Record), 0);
    EXPECT_EQ(partition.GetFreeMemoryCallbackFunctionSlot(), 1);
    EXPECT_TRUE(partition.UnregisterMemoryCallbackFunction(&Record));

    partition.InvokeCallbacks(1, 77);
    EXPECT_EQ(first.calls, 0);
    EXPECT_EQ(second.calls, 1); // still registered, with the second datum
    EXPECT_EQ(second.size, 77u);

    EXPECT_TRUE(partition.UnregisterMemoryCallbackFunction(&Record));
    EXPECT_FALSE(partition.UnregisterMemoryCallbackFunction(&Record));
    EXPECT_EQ(partition.GetMemoryCallbackFunctionIndex(&Record), -1);
    partition.InvokeCallbacks(1, 5);
    EXPECT_EQ(second.calls, 1);
}

TEST_F(PartitionTest, TheTableHoldsOneHundredTwentyEightCallbacks)
{
    // 129 distinct functions, one too many for the table.
    using Fn = KXMM::MemoryCallback;
    const auto fns = []<int... I>(std::integer_sequence<int, I...>) {
        return std::array<Fn, sizeof...(I)>{&Numbered<I>...};
    }(std::make_integer_sequence<int, 129>{});
    int seen[129] = {};
    std::size_t registered = 0;
    for (Fn fn : fns)
        registered += partition.RegisterMemoryCallbackFunction(fn, seen) ? 1 : 0;
    EXPECT_EQ(registered, 128u);
    partition.InvokeCallbacks(1, 0);
    EXPECT_EQ(std::count(seen, seen + 129, 1), 128);
    EXPECT_EQ(seen[128], 0);
    EXPECT_EQ(partition.GetFreeMemoryCallbackFunctionSlot(), -1);
    EXPECT_TRUE(partition.UnregisterMemoryCallbackFunction(fns[5]));
    EXPECT_EQ(partition.GetFreeMemoryCallbackFunctionSlot(), 5);
}

TEST_F(PartitionTest, EachFailedAllocationCallsEveryCallbackOnce)
{
    CallbackLog a, b;
    partition.RegisterMemoryCallbackFunction(&Record, &a);
    partition.RegisterMemoryCallbackFunction(+[](int code, std::size_t size, void* user) { Record(code, size, user); },
                                             &b);
    EXPECT_EQ(partition.NewHandle(std::size_t(-1) / 2), nullptr);
    EXPECT_EQ(a.calls, 1);
    EXPECT_EQ(b.calls, 1);
    EXPECT_EQ(a.code, 1);
    EXPECT_EQ(a.size, std::size_t(-1) / 2);
}

} // namespace
} // namespace KXMMTest
