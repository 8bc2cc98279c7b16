// Handles: creation and disposal, the growth reserve, the legacy lock, copies,
// concatenation, insertion and the byte search.
#include "tests/KXMM/KXMMTestSupport.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace KXMMTest {
namespace {

std::string Content(const KXMM::Partition& partition, char** h)
{
    return std::string(*h, partition.GetHandleSize(h));
}

char** HandleWith(KXMM::Partition& partition, const std::string& text)
{
    char** h = nullptr;
    partition.PtrToHand(text.data(), h, text.size());
    return h;
}

TEST_F(PartitionTest, NewHandleOfZeroHasDataAndNoSize)
{
    char** h = partition.NewHandle(0);
    ASSERT_NE(h, nullptr);
    EXPECT_NE(*h, nullptr);
    EXPECT_EQ(partition.GetHandleSize(h), 0u);
    EXPECT_EQ(partition.GetHandle(*h), h);
    partition.DisposeHandle(h);

    char** clear = partition.NewHandleClear(100);
    EXPECT_EQ(std::string(*clear, 100), std::string(100, '\0'));
    partition.DisposeHandle(clear);
}

TEST_F(PartitionTest, HandleStaysValidAcrossMoves)
{
    char** h = HandleWith(partition, "abc");
    for (std::size_t size = 3; size < 20000; size = size * 3 + 1) {
        ASSERT_TRUE(partition.SetHandleSize(h, size));
        EXPECT_EQ(std::string(*h, 3), "abc");
        EXPECT_EQ(partition.GetHandle(*h), h);
    }
    partition.DisposeHandle(h);
}

TEST_F(PartitionTest, SizeQueriesOfNullAreZero)
{
    EXPECT_EQ(partition.GetHandleSize(nullptr), 0u);
    EXPECT_EQ(partition.GetKXMMHandleSize(nullptr), 0u);
    EXPECT_EQ(partition.GetHandleMaxSize(nullptr), 0u);
    EXPECT_EQ(partition.GetHandleOversize(nullptr), 0u);
    partition.SetHandleOversize(nullptr, 10, true);
    partition.DisposeHandle(nullptr);
    EXPECT_TRUE(reports.messages.empty());
}

TEST_F(PartitionTest, SetHandleSizeOnNullNamesItsOverload)
{
    EXPECT_FALSE(partition.SetHandleSize(nullptr, 10));
    EXPECT_FALSE(partition.SetHandleSize(nullptr, 10, [](void*, std::size_t, void*, std::size_t) {}));
    EXPECT_EQ(reports.messages,
              (std::vector<std::string>{
                  "Partition::SetHandleSize - 1 - called with a null handle. Evaluate/remove the call.",
                  "Partition::SetHandleSize - 2 - called with a null handle. Evaluate/remove the call."}));
}

TEST_F(PartitionTest, OversizeOnlyGrowsUnlessForced)
{
    char** h = partition.NewHandle(100);
    partition.SetHandleOversize(h, 1000, false);
    partition.SetHandleOversize(h, 10, false);
    EXPECT_EQ(partition.GetHandleOversize(h), 1000u);
    partition.SetHandleOversize(h, 10, true);
    EXPECT_EQ(partition.GetHandleOversize(h), 10u);
    partition.DisposeHandle(h);
}

TEST_F(PartitionTest, SizeFiftyAndBackKeepsDataThenGrowthMoves)
{
    char** h = partition.NewHandle(100);
    char* before = *h;
    ASSERT_TRUE(partition.SetHandleSize(h, 50));
    ASSERT_TRUE(partition.SetHandleSize(h, 100));
    EXPECT_EQ(*h, before);
    ASSERT_TRUE(partition.SetHandleSize(h, 101));
    EXPECT_NE(*h, before);
    EXPECT_EQ(partition.GetHandleMaxSize(h), 117u);
    partition.DisposeHandle(h);
}

TEST_F(PartitionTest, LegacyLockIsRecordedButNeverConsulted)
{
    char** h = partition.NewHandle(10);
    EXPECT_EQ(partition.HGetState(h), 0);
    partition.HLock(h);
    EXPECT_EQ(static_cast<unsigned char>(partition.HGetState(h)), 0x80);
    EXPECT_TRUE(partition.HandleIsLocked_Legacy(h));
    ASSERT_TRUE(partition.SetHandleSize(h, 5000)); // a locked handle still moves
    partition.HUnlock(h);
    EXPECT_EQ(partition.HGetState(h), 0);
    EXPECT_EQ(partition.HGetState(nullptr), 0);
    EXPECT_FALSE(partition.SetHandleLockState_Legacy(nullptr, true));
    EXPECT_FALSE(partition.HandleIsLocked_Legacy(nullptr));
    partition.DisposeHandle(h);
}

TEST_F(PartitionTest, IsHandleInUseTellsLiveFromDead)
{
    char** h = partition.NewHandle(10);
    EXPECT_TRUE(partition.IsHandleInUse(h));
    EXPECT_FALSE(partition.IsHandleInUse(nullptr));
    alignas(MemoryBlock) MemoryBlock stranger{};
    stranger.magic = 0xDEADBEEF;
    EXPECT_FALSE(partition.IsHandleInUse(reinterpret_cast<char**>(&stranger)));
    partition.DisposeHandle(h);
}

// ---------------------------------------------------------------------------
// Copies and concatenation

TEST_F(PartitionTest, HandToHandReplacesWithACopy)
{
    char** original = HandleWith(partition, "payload");
    partition.SetHandleOversize(original, 500, true);
    partition.SetUserData(&reports, original);
    partition.HLock(original);

    char** h = original;
    ASSERT_TRUE(partition.HandToHand(h));
    ASSERT_NE(h, original);
    EXPECT_EQ(Content(partition, h), "payload");
    EXPECT_EQ(Content(partition, original), "payload"); // the source is not released
    // Only the data travels.
    EXPECT_EQ(partition.GetHandleMaxSize(h), 8u);
    EXPECT_EQ(partition.GetHandleOversize(h), 0u);
    EXPECT_EQ(partition.GetUserData(h), nullptr);
    EXPECT_FALSE(partition.HandleIsLocked_Legacy(h));

    char** none = nullptr;
    EXPECT_FALSE(partition.HandToHand(none));
    EXPECT_EQ(partition.DuplicateHandle(nullptr), nullptr);
    partition.DisposeHandle(h);
    partition.DisposeHandle(original);
}

TEST_F(PartitionTest, HandAndHandAppendsAndDoublesItself)
{
    char** a = HandleWith(partition, "abc");
    char** b = HandleWith(partition, "XYZW");
    ASSERT_TRUE(partition.HandAndHand(b, a));
    EXPECT_EQ(Content(partition, a), "abcXYZW");
    ASSERT_TRUE(partition.HandAndHand(a, a));
    EXPECT_EQ(Content(partition, a), "abcXYZWabcXYZW");
    EXPECT_FALSE(partition.HandAndHand(nullptr, a));
    EXPECT_FALSE(partition.HandAndHand(a, nullptr));
    EXPECT_EQ(Content(partition, a), "abcXYZWabcXYZW");
    partition.DisposeHandle(a);
    partition.DisposeHandle(b);
}

TEST_F(PartitionTest, PtrAndHandAndPtrToXHand)
{
    char** h = HandleWith(partition, "12");
    partition.SetHandleOversize(h, 4096, false);
    for (int i = 0; i < 500; ++i)
        ASSERT_TRUE(partition.PtrAndHand("ab", h, 2));
    EXPECT_EQ(partition.GetHandleSize(h), 1002u);
    EXPECT_EQ(std::string(*h, 6), "12abab");
    EXPECT_EQ(partition.GetHandleMaxSize(h), 10 + 4096u); // moved once, at the fourth append

    ASSERT_TRUE(partition.PtrToXHand("xyz", h, 3));
    EXPECT_EQ(Content(partition, h), "xyz");
    EXPECT_FALSE(partition.PtrAndHand("a", nullptr, 1));
    EXPECT_FALSE(partition.PtrToXHand("a", nullptr, 1));
    partition.DisposeHandle(h);

    char** empty = nullptr;
    partition.PtrToHand("", empty, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(partition.GetHandleSize(empty), 0u);
    partition.DisposeHandle(empty);
}

struct InsertCase {
    std::size_t offset;
    std::string insert;
    bool ok;
    std::string result;
};

class InsertDataTest : public PartitionTest, public ::testing::WithParamInterface<InsertCase> {};

TEST_P(InsertDataTest, InsertsAtOffset)
{
    const InsertCase c = GetParam();
    char** h = HandleWith(partition, "abcdef");
    std::string src = c.insert;
    EXPECT_EQ(partition.InsertData(h, c.offset, src.data(), src.size()), c.ok);
    EXPECT_EQ(Content(partition, h), c.result);
    partition.DisposeHandle(h);
}

INSTANTIATE_TEST_SUITE_P(Cases, InsertDataTest,
                         ::testing::Values(InsertCase{0, "XY", true, "XYabcdef"}, InsertCase{3, "XY", true, "abcXYdef"},
                                           InsertCase{6, "XY", true, "abcdefXY"},   // at the end: appends
                                           InsertCase{7, "XY", false, "abcdef"},    // past the end
                                           InsertCase{0, "", true, "abcdef"},
                                           InsertCase{2, std::string(6000, 'z'), true,
                                                      "ab" + std::string(6000, 'z') + "cdef"}));

TEST_F(PartitionTest, InsertDataOnNullFails)
{
    char x = 'x';
    EXPECT_FALSE(partition.InsertData(nullptr, 0, &x, 1));
    EXPECT_FALSE(partition.InsertData(nullptr, 0, &x, 0));
}

// ---------------------------------------------------------------------------
// Instantiated blocks refuse bytewise copies and resizes

void NoteDestruction(const void* data)
{
    ++*static_cast<int*>(*static_cast<void* const*>(data));
}

TEST_F(PartitionTest, InstantiatedBlocksRefuseBytewiseOperations)
{
    char** h = partition.NewHandle(sizeof(void*));
    int destroyed = 0;
    void* counter = &destroyed;
    std::memcpy(*h, &counter, sizeof counter);
    partition.SetInstantiatedState(*h, true);
    partition.SetDestructor(*h, &NoteDestruction);
    char** other = HandleWith(partition, "x");

    char** copy = h;
    EXPECT_FALSE(partition.HandToHand(copy));
    EXPECT_EQ(copy, h);
    EXPECT_FALSE(partition.HandAndHand(other, h));
    EXPECT_FALSE(partition.HandAndHand(h, other));
    EXPECT_FALSE(partition.SetHandleSize(h, 100));
    EXPECT_FALSE(partition.SetHandleSize(h, 100, nullptr));
    EXPECT_EQ(reports.messages,
              (std::vector<std::string>{
                  "Partition::HandToHand - called for instantiated object node. Evaluate/remove the call to this.",
                  "Partition::HandAndHand - called for instantiated object node. Evaluate/remove the call to this.",
                  "Partition::HandAndHand - called for instantiated object node. Evaluate/remove the call to this.",
                  "Partition::SetHandleSize - 1 - called for instantiated object node. Evaluate/remove the call to "
                  "this.",
                  "Partition::SetHandleSize - 2 - called for instantiated object node. Evaluate/remove the call to "
                  "this."}));
    EXPECT_EQ(partition.GetHandleSize(h), sizeof(void*));

    partition.DisposeHandle(h);
    EXPECT_EQ(destroyed, 1);
    partition.DisposeHandle(other);
}

TEST_F(PartitionTest, DisposeHandleRunsDestructorOnceWithTheData)
{
    char** h = partition.NewHandle(32);
    static const void* seenData = nullptr;
    static unsigned char seenFirstByte = 0;
    static int calls = 0;
    calls = 0;
    partition.SetInstantiatedState(*h, true);
    partition.SetDestructor(*h, [](const void* data) {
        seenData = data;
        seenFirstByte = *static_cast<const unsigned char*>(data);
        ++calls;
    });
    std::memset(*h, 0x11, 32);
    char* data = *h;
    partition.DisposeHandle(h);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seenData, data);
    EXPECT_EQ(seenFirstByte, 0x11); // the destructor sees the object before the fill
}

TEST_F(PartitionTest, DestructorOfABlockNotInstantiatedNeverRuns)
{
    char* p = partition.NewPtr(8);
    static int calls = 0;
    calls = 0;
    partition.SetDestructor(p, [](const void*) { ++calls; });
    partition.DisposePtr(p);
    EXPECT_EQ(calls, 0);

    char* q = partition.NewPtr(8);
    partition.SetInstantiatedState(q, true);
    partition.SetDestructor(q, [](const void*) { ++calls; });
    partition.SetDestructor(q, nullptr); // reported, the destructor stays
    EXPECT_EQ(reports.messages, std::vector<std::string>{"Partition::SetDestructor was passed a null pointer."});
    partition.CallDestructor(q); // does not clear it
    EXPECT_EQ(calls, 1);
    partition.DisposePtr(q);
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(partition.GetInstantiatedState(nullptr));
}

// ---------------------------------------------------------------------------
// MemMem

struct MemMemCase {
    std::string data;
    std::string pattern;
    long offset; // -1: not found
};

class MemMemTest : public ::testing::TestWithParam<MemMemCase> {};

TEST_P(MemMemTest, FindsFirstOccurrence)
{
    const MemMemCase c = GetParam();
    const void* found = KXMM::Partition::MemMem(c.data.data(), c.data.size(), c.pattern.data(), c.pattern.size());
    if (c.offset < 0) {
        EXPECT_EQ(found, nullptr);
    } else {
        EXPECT_EQ(found, c.data.data() + c.offset);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, MemMemTest,
                         ::testing::Values(MemMemCase{"abcabd", "abd", 3}, MemMemCase{"abcabd", "", -1},
                                           MemMemCase{"ab", "abc", -1}, MemMemCase{"aaaab", "aab", 2},
                                           MemMemCase{"xyz", "xyz", 0}, MemMemCase{"xyz", "z", 2},
                                           MemMemCase{"xyzxy", "xyq", -1},
                                           MemMemCase{std::string("a\0b\0c", 5), std::string("\0c", 2), 3},
                                           MemMemCase{"", "a", -1}));

TEST(MemMemSearchTest, AgreesWithStdSearchOnRandomTexts)
{
    // Small alphabets make near misses (first and last byte matching, middle
    // not) frequent, and lengths cross the block size of the scan.
    std::uint64_t state = 12345;
    auto next = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<unsigned>(state >> 33);
    };
    for (int round = 0; round < 3000; ++round) {
        const unsigned alphabet = 2 + next() % 3;
        std::string data(next() % 300, 'a');
        for (char& c : data)
            c = static_cast<char>('a' + next() % alphabet);
        std::string pattern(1 + next() % 6, 'a');
        for (char& c : pattern)
            c = static_cast<char>('a' + next() % alphabet);
        const auto expected = std::search(data.begin(), data.end(), pattern.begin(), pattern.end());
        const void* found = KXMM::Partition::MemMem(data.data(), data.size(), pattern.data(), pattern.size());
        if (expected == data.end())
            ASSERT_EQ(found, nullptr) << data << " / " << pattern;
        else
            ASSERT_EQ(found, data.data() + (expected - data.begin())) << data << " / " << pattern;
    }
}

// The caller's code runs inside the library in three places: the copy
// function of a resize, a block's destructor and the memory callbacks. An
// exception from any of them is reported and stays inside; nothing leaks and
// the counters stay right.
TEST_F(PartitionTest, ExceptionsFromCallersCodeStayInsideTheLibrary)
{
    char** h = partition.NewHandle(100);
    std::memset(*h, 7, 100);
    const char* data = *h;
    const auto bytes = partition.BytesAllocated();
    EXPECT_FALSE(partition.SetHandleSize(h, 100000, [](void*, std::size_t, void*, std::size_t) {
        throw std::runtime_error("copy");
    }));
    EXPECT_EQ(*h, data);
    EXPECT_EQ(partition.GetHandleSize(h), 100u);
    EXPECT_EQ(partition.BytesAllocated(), bytes);
    EXPECT_EQ(std::count(*h, *h + 100, 7), 100);
    partition.DisposeHandle(h);

    char* p = partition.NewPtr(16);
    partition.SetInstantiatedState(p, true);
    partition.SetDestructor(p, [](const void*) { throw 1; });
    const auto blocks = partition.NumBlocks();
    partition.DisposePtr(p);
    EXPECT_EQ(partition.NumBlocks(), blocks - 1);

    const auto throwing = [](int, std::size_t, void*) { throw std::bad_alloc(); };
    ASSERT_TRUE(partition.RegisterMemoryCallbackFunction(throwing, nullptr));
    partition.InvokeCallbacks(1, 10);
    partition.UnregisterMemoryCallbackFunction(throwing);

    EXPECT_EQ(reports.messages, (std::vector<std::string>{"Resize copy function threw an exception; the block is unchanged.",
                                                          "Block destructor threw an exception.",
                                                          "Memory callback threw an exception."}));
}

} // namespace
} // namespace KXMMTest
