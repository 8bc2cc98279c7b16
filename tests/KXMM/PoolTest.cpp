// Pools, resource-backed handles, user data, and the flat legacy interface
// and string buffers that ride beside them.
#include "tests/KXMM/KXMMTestSupport.h"

#include "KXMM/KXMMInternal.h"

#include <algorithm>
#include <cstring>

namespace KXMMTest {
namespace {

class PoolTest : public PartitionTest {
protected:
    void SetUp() override
    {
        pool = partition.CreatePool(64, 3);
        ASSERT_NE(pool, nullptr);
        partition.SetCurrentPool(pool);
        partition.SetFlags(1);
    }
    void TearDown() override
    {
        if (partition.GetCurrentPool() != nullptr)
            partition.DestroyPool(partition.GetCurrentPool());
    }

    /// Inline data of preformed block i.
    char* PoolData(std::size_t i) const
    {
        const char* storage = *pool;
        // record (8 words) + 3 slots of 32 bytes, then blocks of 136 + 64 bytes
        const char* blocks = storage + 64 + 3 * 32;
        return const_cast<char*>(blocks + i * (sizeof(MemoryBlock) + 64) + sizeof(MemoryBlock));
    }

    char** pool = nullptr;
};

TEST_F(PoolTest, HandsOutBlocksInOrderThenFallsBack)
{
    const auto hits = partition.NumPoolHits();
    char* a = partition.NewPtr(64);
    char* b = partition.NewPtr(10);
    char* c = partition.NewPtr(64);
    EXPECT_EQ(a, PoolData(0));
    EXPECT_EQ(b, PoolData(1));
    EXPECT_EQ(c, PoolData(2));
    EXPECT_EQ(partition.NumPoolHits(), hits + 3);
    EXPECT_EQ(partition.GetPtrSize(b), 10u);
    MemoryBlock* block = HeaderBefore(b);
    EXPECT_EQ(block->magic, KXMM::kPoolBlockMagic);
    EXPECT_EQ(block->flags, KXMM::kBlockPooled);
    EXPECT_EQ(block->pool, pool);
    EXPECT_TRUE(partition.HandleBelongsToUs(block));

    char* d = partition.NewPtr(64); // exhausted: an ordinary block
    EXPECT_EQ(HeaderBefore(d)->pool, nullptr);
    EXPECT_EQ(partition.NumPoolHits(), hits + 3);

    partition.DisposePtr(b);
    EXPECT_FALSE(partition.HandleBelongsToUs(HeaderBefore(PoolData(1))));
    EXPECT_EQ(partition.NewPtr(30), PoolData(1)); // last released, first handed out

    for (char* p : {a, PoolData(1), c, d})
        partition.DisposePtr(p);
    EXPECT_TRUE(reports.messages.empty());
}

TEST_F(PoolTest, OversizedRequestsAndPoolingOffBypassThePool)
{
    char* big = partition.NewPtr(65);
    EXPECT_EQ(HeaderBefore(big)->pool, nullptr);
    partition.SetFlags(0);
    char* off = partition.NewPtr(8);
    EXPECT_EQ(HeaderBefore(off)->pool, nullptr);
    partition.DisposePtr(big);
    partition.DisposePtr(off);
}

TEST_F(PoolTest, GrownPoolBlockReturnsToItsInlineData)
{
    char** h = partition.NewHandle(64);
    ASSERT_EQ(*h, PoolData(0));
    ASSERT_TRUE(partition.SetHandleSize(h, 200));
    EXPECT_NE(*h, PoolData(0));
    EXPECT_TRUE(Header(h)->flags & KXMM::kBlockDisconnected);
    partition.SetUserData(&reports, h);
    partition.DisposeHandle(h);

    MemoryBlock* block = HeaderBefore(PoolData(0));
    EXPECT_EQ(block->memPtr, PoolData(0));
    EXPECT_EQ(block->memSize, 64u);
    EXPECT_EQ(block->maxSize, 64u);
    EXPECT_EQ(block->flags, KXMM::kBlockPooled);
    EXPECT_EQ(block->userData, nullptr);
}

TEST_F(PoolTest, InstantiatedPoolBlockIsFilledAfterItsDestructor)
{
    char** h = partition.NewHandle(16);
    ASSERT_EQ(*h, PoolData(0));
    std::memset(*h, 0x11, 16);
    partition.SetInstantiatedState(*h, true);
    static int calls = 0;
    calls = 0;
    partition.SetDestructor(*h, [](const void* data) {
        EXPECT_EQ(*static_cast<const unsigned char*>(data), 0x11);
        ++calls;
    });
    partition.DisposeHandle(h);
    EXPECT_EQ(calls, 1);
    // The pool keeps the storage, so the fill can be seen.
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(static_cast<unsigned char>(PoolData(0)[i]), 0xA4);
    EXPECT_FALSE(HeaderBefore(PoolData(0))->instantiated);
}

TEST_F(PoolTest, DoubleReleaseIsReportedAndIgnored)
{
    char* a = partition.NewPtr(8);
    const auto blocks = partition.NumBlocks();
    partition.DisposePtr(a);
    partition.DisposePtr(a);
    EXPECT_EQ(reports.messages, std::vector<std::string>{"ReleasePoolBlock called on block that wasn't in use."});
    EXPECT_EQ(partition.NumBlocks(), blocks - 1);
    // The free list is intact: three blocks, in the expected order.
    EXPECT_EQ(partition.NewPtr(8), PoolData(0));
    EXPECT_EQ(partition.NewPtr(8), PoolData(1));
    EXPECT_EQ(partition.NewPtr(8), PoolData(2));
    EXPECT_EQ(HeaderBefore(partition.NewPtr(8))->pool, nullptr);
}

TEST_F(PoolTest, IsHandleInUseFollowsThePoolSlot)
{
    char** h = partition.NewHandle(8);
    EXPECT_TRUE(partition.IsHandleInUse(h));
    partition.DisposeHandle(h);
    EXPECT_FALSE(partition.IsHandleInUse(h)); // the header lives on in the pool
}

TEST_F(PoolTest, DestroyingTheCurrentPoolClearsIt)
{
    partition.DestroyPool(pool);
    EXPECT_EQ(partition.GetCurrentPool(), nullptr);
    char* p = partition.NewPtr(8);
    EXPECT_EQ(HeaderBefore(p)->pool, nullptr);
    partition.DisposePtr(p);
    EXPECT_TRUE(reports.messages.empty());
}

// A pool destroyed with blocks still out keeps its storage until the last of
// them comes back: their holders never touch freed memory (the sanitizers
// check), and each late release is reported. Both layouts of the storage:
// inline (the fixture's 3 blocks) and separate (100 blocks, over 5000 bytes).
TEST_F(PoolTest, BlocksOutliveTheirDestroyedPool)
{
    for (char** destroyed : {pool, partition.CreatePool(64, 100)}) {
        SCOPED_TRACE(partition.GetHandleSize(destroyed));
        reports.messages.clear();
        partition.SetCurrentPool(destroyed);
        char* a = partition.NewPtr(8);
        char** grown = partition.NewHandle(8);
        ASSERT_TRUE(partition.SetHandleSize(grown, 500));
        ASSERT_EQ(HeaderBefore(a)->pool, destroyed);
        const auto blocks = partition.NumBlocks(); // the storage + 2 handed out
        const auto listed = partition.GetBlockCount();

        partition.DestroyPool(destroyed);
        EXPECT_EQ(reports.messages, std::vector<std::string>{KXMM::detail::kMsgDestroyPoolInUse});
        EXPECT_EQ(partition.GetCurrentPool(), nullptr);
        EXPECT_EQ(partition.RequestPoolBlock(destroyed), nullptr);
        EXPECT_TRUE(partition.IsHandleInUse(reinterpret_cast<char**>(HeaderBefore(a))));
        EXPECT_EQ(partition.GetBlockCount(), listed);

        std::memset(*grown, 1, 500); // still the caller's memory
        partition.DisposePtr(a);
        EXPECT_EQ(partition.NumBlocks(), blocks - 1);
        partition.DisposeHandle(grown); // the last one: the storage goes too
        EXPECT_EQ(partition.NumBlocks(), blocks - 3);
        EXPECT_EQ(partition.GetBlockCount(), listed - 3);
        EXPECT_EQ(std::count(reports.messages.begin(), reports.messages.end(),
                             KXMM::detail::kMsgReleaseToDestroyedPool),
                  2);
    }
}

TEST_F(PoolTest, PartitionDestructorHandlesPoolsAndTheirBlocks)
{
    auto* local = new ProbePartition;
    char** other = local->CreatePool(32, 4);
    local->SetCurrentPool(local->CreatePool(16, 2));
    local->SetFlags(1);
    local->NewPtr(8);                  // from the current pool
    local->SetCurrentPool(other);      // the first pool is now just a block
    char** h = local->NewHandle(8);    // from the other pool
    ASSERT_TRUE(local->SetHandleSize(h, 300));
    local->NewPtr(100);
    delete local; // the sanitizers see any leak, double free or stale walk
    EXPECT_EQ(KXMM::Partition::GetPartitionListHead(), &partition);
    EXPECT_TRUE(reports.messages.empty()); // a partition's end releases silently
}

TEST_F(PoolTest, PoolOfOddBlockSizeKeepsHeadersAligned)
{
    char** odd = partition.CreatePool(13, 5);
    ASSERT_NE(odd, nullptr);
    partition.SetCurrentPool(odd);
    std::vector<char*> taken;
    for (int i = 0; i < 5; ++i) {
        taken.push_back(partition.NewPtr(13));
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(HeaderBefore(taken.back())) % alignof(MemoryBlock), 0u);
        EXPECT_EQ(HeaderBefore(taken.back())->pool, odd);
    }
    for (char* p : taken)
        partition.DisposePtr(p);
    partition.DestroyPool(odd);
    EXPECT_TRUE(reports.messages.empty());
}

// ---------------------------------------------------------------------------
// Resource-backed handles

class ResourceTest : public PartitionTest {
protected:
    char resourceData[32] = "resource bytes";
    char* resourceMaster = resourceData;
    void** qt = reinterpret_cast<void**>(&resourceMaster);
};

TEST_F(ResourceTest, SameResourceAndFileGiveTheSameHandle)
{
    char** h = partition.GetOrCreateHandleFromQTResourceHandle(qt, 14, 5);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(*h, resourceData);
    EXPECT_EQ(partition.GetHandleSize(h), 14u);
    EXPECT_TRUE(partition.BlockIsResource(Header(h)));
    EXPECT_EQ(partition.GetOriginalQTResource(h), reinterpret_cast<char**>(qt));
    EXPECT_EQ(partition.GetOrCreateHandleFromQTResourceHandle(qt, 14, 5), h);

    // Another handle variable with the same master pointer is the same resource.
    char* sameMaster = resourceData;
    EXPECT_EQ(partition.FindBlockWithQTResourceHandle(reinterpret_cast<void**>(&sameMaster), 5), h);
    char** other = partition.GetOrCreateHandleFromQTResourceHandle(qt, 14, 6);
    EXPECT_NE(other, h);
    EXPECT_TRUE(reports.messages.empty());

    // Resource blocks live in their own table.
    EXPECT_EQ(partition.GetBlockCount(), 0u);
    EXPECT_TRUE(partition.HandleBelongsToUs(h));
    EXPECT_TRUE(partition.HandleIsValid(h, true));
    partition.DisposeHandle(h);
    partition.DisposeHandle(other);
    EXPECT_EQ(partition.FindBlockWithQTResourceHandle(qt, 5), nullptr);
    EXPECT_EQ(std::string(resourceData), "resource bytes"); // foreign data untouched
}

TEST_F(ResourceTest, SecondReleaseIsReported)
{
    char** h = partition.GetOrCreateHandleFromQTResourceHandle(qt, 14, 5);
    partition.DisposeHandle(h);
    partition.DisposeHandle(h);
    partition.DeallocateResource(h);
    EXPECT_EQ(reports.messages, std::vector<std::string>(2, "DeallocateResource invalid block magic number"));
    EXPECT_EQ(partition.NumBlocks(), 0);
}

TEST_F(ResourceTest, DifferentSizeIsReportedAndTheFoundBlockReturned)
{
    char** h = partition.GetOrCreateHandleFromQTResourceHandle(qt, 14, 5);
    EXPECT_EQ(partition.GetOrCreateHandleFromQTResourceHandle(qt, 20, 5), h);
    ASSERT_EQ(reports.messages.size(), 1u);
    EXPECT_NE(reports.messages[0].find("result->memSize == size"), std::string::npos);
    partition.DeallocateResource(h);
}

TEST_F(ResourceTest, DeleteAllOfAFileLeavesTheOthers)
{
    char* masters[4] = {resourceData, resourceData + 1, resourceData + 2, resourceData + 3};
    for (int i = 0; i < 4; ++i)
        partition.GetOrCreateHandleFromQTResourceHandle(reinterpret_cast<void**>(&masters[i]), 4, i < 3 ? 5 : 6);
    partition.DeleteAllHandlesWithResourceFile(5);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(partition.FindBlockWithQTResourceHandle(reinterpret_cast<void**>(&masters[i]), 5), nullptr);
    char** kept = partition.FindBlockWithQTResourceHandle(reinterpret_cast<void**>(&masters[3]), 6);
    ASSERT_NE(kept, nullptr);
    partition.DeleteAllHandlesWithResourceFile(6);
    EXPECT_EQ(partition.FindBlockWithQTResourceHandle(reinterpret_cast<void**>(&masters[3]), 6), nullptr);
}

TEST_F(ResourceTest, RegrownResourceOwnsItsNewData)
{
    char** h = partition.GetOrCreateHandleFromQTResourceHandle(qt, 14, 5);
    ASSERT_TRUE(partition.SetHandleSize(h, 100)); // resource blocks are never instantiated
    EXPECT_NE(*h, resourceData);
    EXPECT_EQ(std::string(*h, 14), std::string(resourceData, 14));
    partition.DeallocateResource(h); // frees the new data, never the resource's
    EXPECT_EQ(std::string(resourceData), "resource bytes");
}

TEST_F(ResourceTest, OrdinaryBlockHandedToDeallocateResourceIsReleasedSafely)
{
    char** h = partition.NewHandle(10);
    partition.DeallocateResource(h);
    EXPECT_EQ(partition.GetBlockCount(), 0u);
    EXPECT_EQ(partition.NumBlocks(), 0);
}

TEST_F(ResourceTest, PartitionDestructorReleasesResourceHeaders)
{
    auto* local = new ProbePartition;
    char** h = local->GetOrCreateHandleFromQTResourceHandle(qt, 14, 5);
    ASSERT_NE(h, nullptr);
    delete local;
    EXPECT_EQ(std::string(resourceData), "resource bytes");
}

TEST_F(ResourceTest, ConversionsThroughTheInertFlatInterface)
{
    char** converted = partition.ConvertFromQTHandleToKXMMHandle(reinterpret_cast<char**>(qt));
    ASSERT_NE(converted, nullptr);
    EXPECT_EQ(partition.GetHandleSize(converted), 0u);
    EXPECT_EQ(partition.ConvertFromKXMMHandleToQTHandle(converted), nullptr);
    EXPECT_EQ(partition.ConvertFromQTHandleToKXMMHandle(nullptr), nullptr);
    EXPECT_EQ(partition.ConvertFromKXMMHandleToQTHandle(nullptr), nullptr);
    partition.DisposeHandle(converted);
}

TEST_F(PartitionTest, UserDataPerBlock)
{
    char** a = partition.NewHandle(8);
    char** b = partition.NewHandle(8);
    int x = 0, y = 0;
    EXPECT_EQ(partition.GetUserData(a), nullptr);
    partition.SetUserData(&x, a);
    partition.SetUserData(&y, a);
    EXPECT_EQ(partition.GetUserData(a), &y);
    EXPECT_EQ(partition.GetUserData(b), nullptr);
    EXPECT_EQ(partition.GetUserData(nullptr), nullptr);
    partition.DisposeHandle(a);
    partition.DisposeHandle(b);
}

// ---------------------------------------------------------------------------
// Flat legacy interface and string buffers

TEST(FlatInterfaceTest, EveryFunctionIsInert)
{
    char* data = nullptr;
    char** handle = &data;
    EXPECT_EQ(VIZA::NewHandle(100), nullptr);
    EXPECT_EQ(VIZA::NewHandleClear(100), nullptr);
    EXPECT_EQ(VIZA::GetHandleSize(handle), 0);
    EXPECT_EQ(VIZA::GetHandleSize(nullptr), 0);
    EXPECT_EQ(VIZA::HGetState(handle), 0);
    char** before = handle;
    EXPECT_EQ(VIZA::HandToHand(&handle), 0);
    EXPECT_EQ(handle, before);
    EXPECT_EQ(VIZA::HandAndHand(handle, handle), 0);
    EXPECT_EQ(VIZA::PtrAndHand("x", handle, 1), 0);
    EXPECT_EQ(VIZA::NewPtr(10), nullptr);
    EXPECT_EQ(VIZA::NewPtrClear(10), nullptr);
    EXPECT_EQ(VIZA::MemError(), 0);
    VIZA::DisposeHandle(nullptr);
    VIZA::SetHandleSize(nullptr, 10);
    VIZA::HLock(nullptr);
    VIZA::HUnlock(nullptr);
    VIZA::DisposePtr(nullptr);
    VIZA::SetPtrSize(nullptr, 1);
    EXPECT_EQ(data, nullptr);
}

TEST_F(PartitionTest, StringBuffersBypassThePartition)
{
    const auto calls = partition.NumCalls();
    char* buffer = static_cast<char*>(partition.TXStringAllocate(0));
    ASSERT_NE(buffer, nullptr);
    partition.TXStringDeallocate(&buffer);
    EXPECT_EQ(buffer, nullptr);
    partition.TXStringDeallocate(&buffer); // a second call does nothing

    buffer = static_cast<char*>(partition.TXStringAllocate(64));
    std::memset(buffer, 'x', 64);
    EXPECT_EQ(partition.GetBlockCount(), 0u);
    EXPECT_EQ(partition.NumCalls(), calls);
    EXPECT_EQ(partition.NumBlocks(), 0);
    partition.TXStringDeallocate(&buffer);

    EXPECT_EQ(partition.TXStringAllocate(std::size_t(-1) - 64), nullptr);
    EXPECT_EQ(reports.messages, std::vector<std::string>{"Allocate new failed (exception)"});
}

} // namespace
} // namespace KXMMTest

// A block goes back to its pool through its index, taken by multiplying
// with the stride's inverse instead of dividing: the quotient must be exact
// for every stride and offset of 32 bits, at and around each multiple.
TEST(PoolIndexTest, TheInverseGivesTheExactQuotient)
{
    for (const std::uint64_t stride : {72ull, 136ull, 4104ull, 65535ull, 1000003ull, 0xFFFFFFFFull}) {
        KXMM::detail::PoolRecord record{};
        record.stride = stride;
        const std::uint64_t inverse = KXMM::detail::StrideInverse(stride);
        for (const std::uint64_t multiple : {0ull, 1ull, 7ull, 0xFFFFFFFFull / stride - 1, 0xFFFFFFFFull / stride}) {
            for (const std::int64_t step : {-1, 0, 1}) {
                const std::uint64_t offset = multiple * stride + static_cast<std::uint64_t>(step);
                if (offset > 0xFFFFFFFFull)
                    continue;
                ASSERT_EQ(KXMM::detail::BlockIndex(&record, offset, inverse), offset / stride)
                    << "stride " << stride << ", offset " << offset;
            }
        }
        ASSERT_EQ(KXMM::detail::BlockIndex(&record, 0xFFFFFFFFull, inverse), 0xFFFFFFFFull / stride);
    }
}
