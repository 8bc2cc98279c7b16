// Blocks and their layout, the bucket table, the resize step, the pointer
// interface, the partition list and the assertion reporter.
#include "tests/KXMM/KXMMTestSupport.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace KXMMTest {
namespace {

constexpr std::size_t kHeaderSize = sizeof(MemoryBlock);
constexpr std::size_t kHuge = std::numeric_limits<std::size_t>::max() / 2;

// ---------------------------------------------------------------------------
// Layout

struct LayoutCase {
    std::size_t size;
    std::size_t maxSize;
    bool disconnected;
};

class BlockLayoutTest : public PartitionTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(BlockLayoutTest, HeaderPrecedesDataAndRecordsSizes)
{
    const LayoutCase c = GetParam();
    char* p = partition.NewPtr(c.size);
    ASSERT_NE(p, nullptr);
    MemoryBlock* block = HeaderBefore(p);

    EXPECT_EQ(partition.GetHandle(p), block);
    EXPECT_EQ(block->self, block);
    EXPECT_EQ(block->memPtr, p);
    EXPECT_EQ(block->memSize, c.size);
    EXPECT_EQ(block->maxSize, c.maxSize);
    EXPECT_EQ(partition.GetPtrSize(p), c.size);
    EXPECT_EQ((block->flags & KXMM::kBlockDisconnected) != 0, c.disconnected);
    EXPECT_EQ(block->magic, KXMM::kLiveBlockMagic);
    EXPECT_EQ(block->resFile, -1);
    EXPECT_EQ(block->pool, nullptr);
    EXPECT_EQ(block->userData, nullptr);
    EXPECT_EQ(block->oversize, 0u);
    EXPECT_FALSE(block->locked);
    EXPECT_FALSE(block->instantiated);
    if (!c.disconnected) {
        EXPECT_EQ(p, reinterpret_cast<char*>(block) + kHeaderSize);
    }

    std::memset(p, 0x5A, c.size); // the whole requested size is usable
    partition.DisposePtr(p);
    EXPECT_TRUE(reports.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlockLayoutTest,
                         ::testing::Values(LayoutCase{0, 8, false}, LayoutCase{7, 8, false}, LayoutCase{8, 8, false},
                                           LayoutCase{100, 100, false}, LayoutCase{4999, 4999, false},
                                           LayoutCase{5000, 5000, true}, LayoutCase{70000, 70000, true}));

TEST_F(PartitionTest, HeaderLayoutIsFixed)
{
    EXPECT_EQ(sizeof(MemoryBlock), 136u);
    EXPECT_EQ(offsetof(MemoryBlock, memPtr), 0u);
    EXPECT_EQ(offsetof(MemoryBlock, hashIndex), 8u);
    EXPECT_EQ(offsetof(MemoryBlock, memSize), 32u);
    EXPECT_EQ(offsetof(MemoryBlock, flags), 48u);
    EXPECT_EQ(offsetof(MemoryBlock, magic), 120u);
    EXPECT_EQ(offsetof(MemoryBlock, self), 128u);
}

TEST_F(PartitionTest, NewPtrClearZeroesTheRequestedBytes)
{
    for (std::size_t size : {1u, 100u, 6000u}) {
        char* p = partition.NewPtrClear(size);
        ASSERT_NE(p, nullptr);
        for (std::size_t i = 0; i < size; ++i)
            ASSERT_EQ(p[i], 0) << "size " << size << " byte " << i;
        partition.DisposePtr(p);
    }
}

// ---------------------------------------------------------------------------
// Bucket table

TEST_F(PartitionTest, HashIsFnv1aOfTheAddressBytes)
{
    for (std::uintptr_t address : {std::uintptr_t{0}, std::uintptr_t{0x1000}, std::uintptr_t{0x7ffd12345678}}) {
        std::uint64_t hash = 0xcbf29ce484222325ull;
        for (int i = 0; i < 8; ++i) {
            hash ^= (address >> (8 * i)) & 0xFF;
            hash *= 0x100000001b3ull;
        }
        EXPECT_EQ(KXMM::Partition::GetMemoryBlockHash(reinterpret_cast<const MemoryBlock*>(address)), hash % 1024);
    }
    // Known value: an all-zero address hashes FNV-1a's basis over 8 zero bytes.
    EXPECT_EQ(KXMM::Partition::GetMemoryBlockHash(nullptr), 0xa8c7f832281a39c5ull % 1024);
}

TEST_F(PartitionTest, HeadersInEveryKindOfMemoryLandInTheirHashBucket)
{
    // Stack, heap and static storage lie in different regions of the address
    // space; the bucket must be the full hash for each of them.
    static MemoryBlock staticHeaders[64];
    MemoryBlock stackHeaders[64];
    std::vector<MemoryBlock> heapHeaders(64);
    MemoryBlock* lists[1024] = {};
    std::size_t counts[1024] = {};
    for (MemoryBlock* headers : {staticHeaders, stackHeaders, heapHeaders.data(), stackHeaders, staticHeaders}) {
        for (int i = 0; i < 64; ++i) {
            MemoryBlock* header = &headers[i];
            partition.HookupBlockToList(header, lists, counts);
            ASSERT_EQ(header->hashIndex, KXMM::Partition::GetMemoryBlockHash(header));
            ASSERT_EQ(lists[header->hashIndex], header);
            partition.RemoveBlockFromList(header, lists, counts);
        }
    }
}

TEST_F(PartitionTest, NewestHeaderHeadsItsBucket)
{
    // Allocate until two blocks share a bucket (1024 buckets: this takes a
    // few dozen at most).
    std::vector<char*> blocks;
    MemoryBlock* older = nullptr;
    MemoryBlock* newer = nullptr;
    std::vector<MemoryBlock*> seen(1024, nullptr);
    while (newer == nullptr && blocks.size() < 5000) {
        char* p = partition.NewPtr(16);
        blocks.push_back(p);
        MemoryBlock* block = HeaderBefore(p);
        if (seen[block->hashIndex] != nullptr) {
            older = seen[block->hashIndex];
            newer = block;
        }
        seen[block->hashIndex] = block;
    }
    ASSERT_NE(newer, nullptr);
    const std::size_t i = newer->hashIndex;
    EXPECT_EQ(partition.BucketHead(i), newer);
    EXPECT_EQ(newer->next, older);
    EXPECT_EQ(older->prev, newer);
    EXPECT_EQ(partition.BucketCount(i), 2u);

    partition.DisposePtr(newer->memPtr);
    EXPECT_EQ(partition.BucketHead(i), older);
    EXPECT_EQ(older->prev, nullptr);
    EXPECT_EQ(partition.BucketCount(i), 1u);
    for (char* p : blocks) {
        if (p != blocks.back())
            partition.DisposePtr(p);
    }
    EXPECT_EQ(partition.GetBlockCount(), 0u);
}

TEST_F(PartitionTest, BlocksAreEnteredAndRemovedFromTheirBucket)
{
    std::vector<char*> blocks;
    for (int i = 0; i < 3000; ++i)
        blocks.push_back(partition.NewPtr(static_cast<std::size_t>(i % 7000)));
    EXPECT_EQ(partition.GetBlockCount(), blocks.size());
    for (char* p : blocks) {
        MemoryBlock* block = HeaderBefore(p);
        EXPECT_EQ(block->hashIndex, KXMM::Partition::GetMemoryBlockHash(block));
        EXPECT_TRUE(partition.HandleBelongsToUs(block));
    }
    std::size_t total = 0;
    for (std::size_t i = 0; i < 1024; ++i)
        total += partition.BucketCount(i);
    EXPECT_EQ(total, blocks.size());
    for (char* p : blocks)
        partition.DisposePtr(p);
    EXPECT_EQ(partition.GetBlockCount(), 0u);
    for (std::size_t i = 0; i < 1024; ++i)
        ASSERT_EQ(partition.BucketHead(i), nullptr);
}

// ---------------------------------------------------------------------------
// Statistics of allocation and release

TEST_F(PartitionTest, CountersFollowAllocationAndRelease)
{
    char* a = partition.NewPtr(3);   // rounded to 8
    char* b = partition.NewPtr(100);
    EXPECT_EQ(partition.NumCalls(), 2);
    EXPECT_EQ(partition.NumBlocks(), 2);
    EXPECT_EQ(partition.BytesAllocated(), 108);
    partition.DisposePtr(b);
    EXPECT_EQ(partition.NumBlocks(), 1);
    EXPECT_EQ(partition.BytesAllocated(), 8);
    partition.DisposePtr(a); // the logical size goes back: 3
    EXPECT_EQ(partition.BytesAllocated(), 5);
    partition.Deallocate(nullptr);
    EXPECT_EQ(partition.NumBlocks(), 0);
    EXPECT_EQ(partition.NumCalls(), 2);
}

// ---------------------------------------------------------------------------
// Resize step

TEST_F(PartitionTest, ShrinkWithinCapacityKeepsDataInPlace)
{
    char** h = partition.NewHandle(100);
    char* before = *h;
    ASSERT_TRUE(partition.SetHandleSize(h, 50));
    EXPECT_EQ(*h, before);
    EXPECT_EQ(partition.GetHandleSize(h), 50u);
    EXPECT_EQ(partition.GetHandleMaxSize(h), 100u);
    ASSERT_TRUE(partition.SetHandleSize(h, 100));
    EXPECT_EQ(*h, before);
    partition.DisposeHandle(h);
}

TEST_F(PartitionTest, GrowthMovesToSeparateDataWithReserve)
{
    char** h = partition.NewHandle(100);
    for (int i = 0; i < 100; ++i)
        (*h)[i] = static_cast<char>(i);
    char* before = *h;
    ASSERT_TRUE(partition.SetHandleSize(h, 200));
    EXPECT_NE(*h, before);
    EXPECT_EQ(partition.GetHandleMaxSize(h), 216u);
    EXPECT_EQ(partition.GetHandleSize(h), 200u);
    EXPECT_TRUE(Header(h)->flags & KXMM::kBlockDisconnected);
    EXPECT_EQ(HeaderBefore(*h), Header(h));
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ((*h)[i], static_cast<char>(i));
    partition.DisposeHandle(h);
}

struct ShrinkCase {
    std::size_t start;
    unsigned oversize;
    std::size_t newSize;
    bool moves;
    std::size_t capacity;
};

class ShrinkReleaseTest : public PartitionTest, public ::testing::WithParamInterface<ShrinkCase> {};

TEST_P(ShrinkReleaseTest, IdleCapacityBeyondReserveIsGivenBack)
{
    const ShrinkCase c = GetParam();
    char** h = partition.NewHandle(c.start);
    partition.SetHandleOversize(h, c.oversize, true);
    char* before = *h;
    ASSERT_TRUE(partition.SetHandleSize(h, c.newSize));
    EXPECT_EQ(*h != before, c.moves);
    EXPECT_EQ(partition.GetHandleMaxSize(h), c.capacity);
    EXPECT_EQ(partition.GetHandleSize(h), c.newSize);
    partition.DisposeHandle(h);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShrinkReleaseTest,
    ::testing::Values(ShrinkCase{20000, 0, 10000, true, 10016},   // idle 10000 > 5000
                      ShrinkCase{20000, 0, 16000, false, 20000},  // idle 4000
                      ShrinkCase{20000, 0, 15000, false, 20000},  // idle exactly 5000: kept
                      ShrinkCase{20000, 64, 10000, true, 10064},  // a move reserves the oversize
                      ShrinkCase{20000, 6000, 10000, false, 20000},
                      ShrinkCase{4000, 0, 10, false, 4000}));     // inline data is never given back

TEST_F(PartitionTest, GrowthReserveIsAtLeastSixteen)
{
    char** h = partition.NewHandle(10);
    partition.SetHandleOversize(h, 8, false);
    ASSERT_TRUE(partition.SetHandleSize(h, 20));
    EXPECT_EQ(partition.GetHandleMaxSize(h), 36u);
    partition.SetHandleOversize(h, 64, false);
    ASSERT_TRUE(partition.SetHandleSize(h, 100));
    EXPECT_EQ(partition.GetHandleMaxSize(h), 164u);
    partition.DisposeHandle(h);
}

TEST_F(PartitionTest, CopyFunctionReplacesTheByteCopyOncePerMove)
{
    char** h = partition.NewHandle(10);
    std::memcpy(*h, "0123456789", 10);
    int calls = 0;
    void* seenOld = nullptr;
    std::size_t seenOldSize = 0, seenNewSize = 0;
    char* const oldData = *h;
    auto copy = [&](void* from, std::size_t fromSize, void* to, std::size_t toSize) {
        ++calls;
        seenOld = from;
        seenOldSize = fromSize;
        seenNewSize = toSize;
        std::memset(to, 'c', toSize);
    };
    ASSERT_TRUE(partition.SetHandleSize(h, 5, copy)); // in place: no call
    EXPECT_EQ(calls, 0);
    ASSERT_TRUE(partition.Resize(h, 40, copy));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seenOld, oldData);
    EXPECT_EQ(seenOldSize, 5u);
    EXPECT_EQ(seenNewSize, 40u);
    EXPECT_EQ((*h)[0], 'c'); // the default copy was skipped
    partition.DisposeHandle(h);
}

TEST_F(PartitionTest, ResizeOfNullFails)
{
    EXPECT_FALSE(partition.Resize(nullptr, 10, nullptr));
    EXPECT_TRUE(reports.messages.empty());
}

TEST_F(PartitionTest, ResizeAdjustsBytesAllocated)
{
    char** h = partition.NewHandle(100);
    const auto before = partition.BytesAllocated();
    ASSERT_TRUE(partition.SetHandleSize(h, 300));
    EXPECT_EQ(partition.BytesAllocated(), before + 200);
    ASSERT_TRUE(partition.SetHandleSize(h, 50));
    EXPECT_EQ(partition.BytesAllocated(), before - 50);
    partition.DisposeHandle(h);
}

// ---------------------------------------------------------------------------
// Pointer interface

TEST_F(PartitionTest, SetPtrSizeChangesOnlyInPlace)
{
    char* p = partition.NewPtr(100);
    EXPECT_TRUE(partition.SetPtrSize(p, 60));
    EXPECT_EQ(partition.GetPtrSize(p), 60u);
    EXPECT_TRUE(partition.SetPtrSize(p, 100));
    // Growing past the capacity would move the data away from `p`.
    EXPECT_FALSE(partition.SetPtrSize(p, 101));
    EXPECT_EQ(partition.GetPtrSize(p), 100u);
    EXPECT_EQ(HeaderBefore(p)->memPtr, p);
    partition.DisposePtr(p);

    char* big = partition.NewPtr(20000);
    EXPECT_FALSE(partition.SetPtrSize(big, 1000)); // a shrink release would move it
    EXPECT_EQ(partition.GetPtrSize(big), 20000u);
    EXPECT_TRUE(partition.SetPtrSize(big, 16000));
    partition.DisposePtr(big);
}

TEST_F(PartitionTest, NullPointersAreHarmless)
{
    EXPECT_EQ(partition.GetHandle(nullptr), nullptr);
    EXPECT_EQ(partition.GetPtrSize(nullptr), 0u);
    EXPECT_FALSE(partition.SetPtrSize(nullptr, 10));
    partition.DisposePtr(nullptr);
    partition.Deallocate(nullptr);
    EXPECT_EQ(partition.NumBlocks(), 0);
    EXPECT_TRUE(reports.messages.empty());
}

// ---------------------------------------------------------------------------
// Failed allocations and bad releases

int failedCalls = 0;
std::size_t failedSize = 0;
void CountFailure(int code, std::size_t size, void* user)
{
    EXPECT_EQ(code, 1);
    EXPECT_EQ(user, &failedCalls);
    ++failedCalls;
    failedSize = size;
}

TEST_F(PartitionTest, FailedAllocationsAreReportedAndSignalled)
{
    failedCalls = 0;
    ASSERT_TRUE(partition.RegisterMemoryCallbackFunction(&CountFailure, &failedCalls));

    EXPECT_EQ(partition.NewPtr(kHuge), nullptr);
    EXPECT_EQ(reports.messages.back(), "Allocate(disconnected data) new failed (exception)");
    EXPECT_EQ(failedCalls, 1);
    EXPECT_EQ(failedSize, kHuge);
    EXPECT_EQ(partition.MemError(), 0);
    EXPECT_EQ(partition.GetBlockCount(), 0u);

    EXPECT_EQ(partition.NewPtr(std::numeric_limits<std::size_t>::max()), nullptr);
    EXPECT_EQ(failedCalls, 2);

    char** h = partition.NewHandle(10);
    std::memcpy(*h, "abcdefghij", 10);
    EXPECT_FALSE(partition.SetHandleSize(h, kHuge));
    EXPECT_EQ(reports.messages.back(), "Resize new failed (exception)");
    EXPECT_EQ(failedCalls, 3);
    EXPECT_EQ(failedSize, kHuge);
    EXPECT_EQ(partition.GetHandleSize(h), 10u); // unchanged
    EXPECT_EQ(std::memcmp(*h, "abcdefghij", 10), 0);

    // Sizes that would overflow when added are refused, not wrapped.
    EXPECT_FALSE(partition.PtrAndHand("x", h, std::numeric_limits<std::size_t>::max() - 4));
    EXPECT_EQ(partition.GetHandleSize(h), 10u);
    EXPECT_EQ(failedCalls, 4);
    partition.DisposeHandle(h);

    EXPECT_EQ(partition.CreatePool(kHuge, 4), nullptr);
    EXPECT_EQ(failedCalls, 5);
    EXPECT_TRUE(partition.UnregisterMemoryCallbackFunction(&CountFailure));
}

TEST_F(PartitionTest, WrongMagicIsReportedAndNothingIsFreed)
{
    char* p = partition.NewPtr(64);
    MemoryBlock* block = HeaderBefore(p);
    block->magic = 0x12345678;
    partition.DisposePtr(p);
    EXPECT_EQ(reports.messages, std::vector<std::string>{"Deallocate invalid block magic number"});
    EXPECT_EQ(partition.NumBlocks(), 1); // not released, not counted as released
    EXPECT_EQ(partition.GetBlockCount(), 1u);

    block->magic = KXMM::kLiveBlockMagic;
    partition.DisposePtr(p);
    EXPECT_EQ(partition.GetBlockCount(), 0u);
}

TEST_F(PartitionTest, SecondReleaseIsReportedNotFreedTwice)
{
    char* p = partition.NewPtr(64);
    char** h = partition.NewHandle(10);
    char** big = partition.NewHandle(20000);
    partition.DisposePtr(p);
    partition.DisposeHandle(h);
    partition.DisposeHandle(big);
    const auto blocks = partition.NumBlocks();
    const auto bytes = partition.BytesAllocated();

    partition.DisposePtr(p);
    partition.DisposeHandle(h);
    partition.DisposeHandle(big);
    EXPECT_EQ(reports.messages, std::vector<std::string>(3, "Deallocate invalid block magic number"));
    EXPECT_EQ(partition.NumBlocks(), blocks);
    EXPECT_EQ(partition.BytesAllocated(), bytes);

    // Later blocks are unaffected, and the retired headers go with the
    // partition (the sanitizers see a leak or a double free otherwise).
    char* q = partition.NewPtr(64);
    std::memset(q, 1, 64);
    partition.DisposePtr(q);
    EXPECT_EQ(partition.GetBlockCount(), 0u);
}

TEST_F(PartitionTest, ForeignAddressIsReportedNotFreed)
{
    // Data whose preceding word points at a header that no allocation made.
    alignas(MemoryBlock) unsigned char fake[sizeof(MemoryBlock) + 16] = {};
    auto* header = reinterpret_cast<MemoryBlock*>(fake);
    header->self = header;
    char* data = reinterpret_cast<char*>(fake) + sizeof(MemoryBlock);
    header->memPtr = data;
    partition.DisposePtr(data);
    partition.DisposeHandle(reinterpret_cast<char**>(header));
    EXPECT_EQ(reports.messages.size(), 2u);
    EXPECT_TRUE(reports.Reported("Deallocate invalid block magic number"));
}

// ---------------------------------------------------------------------------
// Partition list

class PartitionListTest : public ::testing::Test {
protected:
    void SetUp() override { KXMM::Partition::FreeAllPartitions(); }
    void TearDown() override { KXMM::Partition::FreeAllPartitions(); }
};

TEST_F(PartitionListTest, FirstCallCreatesLaterCallsReturnTheHead)
{
    ASSERT_EQ(KXMM::Partition::GetPartitionListHead(), nullptr);
    KXMM::Partition* first = KXMM::Partition::GetPartitionByIdentifier("First", false);
    ASSERT_NE(first, nullptr);
    char name[KXMM::Partition::kIdentifierSize];
    first->GetIdentifier(name);
    EXPECT_STREQ(name, "First");
    EXPECT_EQ(KXMM::Partition::GetPartitionByIdentifier("KXMainPartition", true), first);
    EXPECT_EQ(KXMM::Partition::GetPartitionListHead(), first);
}

TEST_F(PartitionListTest, ConstructionAndDestructionMaintainTheList)
{
    auto* a = new KXMM::Partition;
    auto* b = new KXMM::Partition;
    auto* c = new KXMM::Partition;
    EXPECT_EQ(KXMM::Partition::GetPartitionListHead(), c);
    EXPECT_EQ(KXMM::Partition::GetPartitionByIdentifier("x", true), c);
    delete b; // from the middle
    EXPECT_EQ(KXMM::Partition::GetPartitionListHead(), c);
    delete c; // the head
    EXPECT_EQ(KXMM::Partition::GetPartitionListHead(), a);
    delete a;
    EXPECT_EQ(KXMM::Partition::GetPartitionListHead(), nullptr);
}

TEST_F(PartitionListTest, FreeAllFreesCreatedPartitionsAndUnlinksOthers)
{
    KXMM::Partition::FreeAllPartitions(); // nothing to do
    EXPECT_EQ(KXMM::Partition::GetPartitionListHead(), nullptr);
    KXMM::Partition::GetPartitionByIdentifier("created", true);
    {
        KXMM::Partition local; // constructed elsewhere: must survive and destroy cleanly
        char* p = local.NewPtr(10);
        KXMM::Partition::FreeAllPartitions();
        EXPECT_EQ(KXMM::Partition::GetPartitionListHead(), nullptr);
        local.DisposePtr(p);
    }
    EXPECT_EQ(KXMM::Partition::GetPartitionListHead(), nullptr);
}

TEST_F(PartitionTest, IdentifierKeepsAtMost127Characters)
{
    const std::string longName(200, 'n');
    partition.SetIdentifier(longName.c_str());
    char out[KXMM::Partition::kIdentifierSize];
    partition.GetIdentifier(out);
    EXPECT_EQ(std::string(out), longName.substr(0, 127));
    partition.SetFlags(5);
    EXPECT_EQ(partition.GetFlags(), 5u);
}

TEST_F(PartitionTest, DestructorReleasesEveryBlockAndLeavesTheList)
{
    // Under the sanitizers this also catches leaks and double frees of the
    // destructor's walk over inline, separate and regrown blocks.
    auto* local = new ProbePartition;
    EXPECT_EQ(KXMM::Partition::GetPartitionListHead(), local);
    local->NewPtr(10);
    local->NewPtr(9000);
    char** grown = local->NewHandle(10);
    ASSERT_TRUE(local->SetHandleSize(grown, 700));
    EXPECT_EQ(local->GetBlockCount(), 3u);
    delete local;
    EXPECT_EQ(KXMM::Partition::GetPartitionListHead(), &partition);
    EXPECT_TRUE(reports.messages.empty());
}

// ---------------------------------------------------------------------------
// Assertion reporter

TEST_F(PartitionTest, ReportTextAndSilencingAfterNo)
{
    KXMM::Partition::KXMM_Assert(true, "never shown");
    EXPECT_TRUE(reports.boxTexts.empty());

    KXMM::Partition::KXMM_Assert(false, "first");
    ASSERT_EQ(reports.boxTexts.size(), 1u);
    EXPECT_EQ(reports.boxTexts[0], "first\n\nDo you wish to continue receiving memory asserts?\n");

    reports.answerYes = false;
    KXMM::Partition::KXMM_Assert(false, "second");
    KXMM::Partition::KXMM_Assert(false, "third");
    partition.SetHandleSize(nullptr, 1);
    EXPECT_EQ(reports.boxTexts.size(), 2u); // silenced for good after the No

    KXMM::Partition::EnableAsserts();
    reports.answerYes = true;
    const std::string longText(1000, 'x');
    KXMM::Partition::KXMM_Assert(false, longText.c_str());
    EXPECT_EQ(reports.boxTexts.back().size(), 519u); // cut to the 520-byte buffer
}

} // namespace
} // namespace KXMMTest
