// Several threads allocate, grow and release blocks of one partition at once,
// pooled and unpooled, each block carrying a cookie that is checked on every
// growth and on release. Runs at a small scale in every suite and under
// ThreadSanitizer.
#include "tests/KXMM/KXMMTestSupport.h"

#include <cstdint>
#include <thread>

namespace KXMMTest {
namespace {

constexpr int kThreads = 4;
constexpr int kOperationsPerThread = 20000;
constexpr int kLivePerThread = 64;

/// A repeatable pseudo-random sequence per thread (xorshift64*).
class Sequence {
public:
    explicit Sequence(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint64_t Next()
    {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1Dull;
    }
    std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }

private:
    std::uint64_t state_;
};

struct Live {
    char** handle = nullptr;
    std::uint64_t cookie = 0;
};

void WriteCookie(KXMM::Partition& partition, char** h, std::uint64_t cookie)
{
    const std::size_t size = partition.GetHandleSize(h);
    for (std::size_t i = 0; i < size; ++i)
        (*h)[i] = static_cast<char>(cookie >> (8 * (i % 8)));
}

bool CookieIntact(KXMM::Partition& partition, char** h, std::uint64_t cookie, std::size_t upTo)
{
    const std::size_t size = std::min(partition.GetHandleSize(h), upTo);
    for (std::size_t i = 0; i < size; ++i) {
        if ((*h)[i] != static_cast<char>(cookie >> (8 * (i % 8))))
            return false;
    }
    return true;
}

void Churn(KXMM::Partition& partition, int thread, std::atomic<int>& faults)
{
    Sequence random(static_cast<std::uint64_t>(thread) + 1);
    Live live[kLivePerThread];
    for (int op = 0; op < kOperationsPerThread; ++op) {
        Live& slot = live[random.Below(kLivePerThread)];
        if (slot.handle == nullptr) {
            // Mostly small blocks (some from the pool), a few separate ones.
            const std::size_t size = random.Below(8) == 0 ? 5000 + random.Below(4000) : random.Below(200);
            slot.handle = partition.NewHandle(size);
            slot.cookie = random.Next();
            WriteCookie(partition, slot.handle, slot.cookie);
        } else if (random.Below(3) == 0) {
            const std::size_t before = partition.GetHandleSize(slot.handle);
            if (!partition.SetHandleSize(slot.handle, before + random.Below(600)) ||
                !CookieIntact(partition, slot.handle, slot.cookie, before))
                faults.fetch_add(1);
            WriteCookie(partition, slot.handle, slot.cookie);
        } else {
            if (!CookieIntact(partition, slot.handle, slot.cookie, SIZE_MAX))
                faults.fetch_add(1);
            partition.DisposeHandle(slot.handle);
            slot.handle = nullptr;
        }
    }
    for (Live& slot : live) {
        if (slot.handle != nullptr) {
            if (!CookieIntact(partition, slot.handle, slot.cookie, SIZE_MAX))
                faults.fetch_add(1);
            partition.DisposeHandle(slot.handle);
        }
    }
}

TEST_F(PartitionTest, ConcurrentChurnKeepsEveryBlockIntact)
{
    char** pool = partition.CreatePool(96, 128);
    partition.SetCurrentPool(pool);
    partition.SetFlags(1);
    std::atomic<int> faults{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(Churn, std::ref(partition), t, std::ref(faults));
    for (auto& t : threads)
        t.join();

    EXPECT_EQ(faults.load(), 0);
    EXPECT_TRUE(reports.messages.empty());
    EXPECT_EQ(partition.GetBlockCount(), 1u); // only the pool's storage
    EXPECT_EQ(partition.NumBlocks(), 1);
    EXPECT_GT(partition.NumPoolHits(), 0);
    partition.DestroyPool(pool);
    EXPECT_EQ(partition.NumBlocks(), 0);
}

} // namespace
} // namespace KXMMTest
