// Several threads allocate, grow and release blocks of one partition at once,
// pooled and unpooled, each block carrying a cookie that is checked on every
// growth and on release; resource files are released while other threads work
// on others; and a thread waiting for the lock sleeps instead of spinning.
// Runs at a small scale in every suite and under ThreadSanitizer.
#include "tests/KXMM/KXMMTestSupport.h"

#include "KXMM/KXMMInternal.h"
#include "platform/Wait.h"

#include <chrono>
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

// Each thread creates resource-backed blocks of its own resource file and
// releases them all at once or one by one; the walks and releases of one file
// must never read the headers another thread frees.
TEST_F(PartitionTest, ResourceFilesReleasedConcurrently)
{
    constexpr int kRounds = 200;
    constexpr int kHandles = 32;
    const auto work = [this](short resFile, bool wholeFile) {
        void* data[kHandles];
        void* masters[kHandles];
        for (int i = 0; i < kHandles; ++i)
            masters[i] = &data[i];
        for (int round = 0; round < kRounds; ++round) {
            char** blocks[kHandles];
            for (int i = 0; i < kHandles; ++i)
                blocks[i] = partition.GetOrCreateHandleFromQTResourceHandle(&masters[i], 8, resFile);
            if (wholeFile) {
                partition.DeleteAllHandlesWithResourceFile(resFile);
            } else {
                for (char** block : blocks)
                    partition.DeallocateResource(block);
            }
        }
    };
    std::thread whole(work, short{5}, true);
    std::thread single(work, short{6}, false);
    work(7, true);
    whole.join();
    single.join();
    EXPECT_EQ(partition.NumBlocks(), 0);
    EXPECT_TRUE(reports.messages.empty());
}

// A waiter blocks while the holder keeps the lock: its own processor time
// stays far below the second the holder sleeps.
TEST(RecursiveLockTest, AWaiterSleepsWhileTheHolderStalls)
{
    KXMM::detail::RecursiveLock lock;
    std::atomic<bool> held{false};
    std::atomic<bool> released{false};
    std::thread holder([&] {
        lock.Lock();
        lock.Lock(); // recursive
        held = true;
        std::this_thread::sleep_for(std::chrono::seconds(1));
        released = true;
        lock.Unlock();
        lock.Unlock();
    });
    while (!held)
        std::this_thread::yield();
    const double before = Platform::ThreadCpuSeconds();
    lock.Lock();
    const double used = Platform::ThreadCpuSeconds() - before;
    EXPECT_TRUE(released.load()); // it waited for the holder
    lock.Unlock();
    holder.join();
    EXPECT_LT(used, 0.1);
}

std::atomic<bool> inReportBox{false};

bool SlowReportBox(const char*)
{
    inReportBox = true;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    inReportBox = false;
    return true;
}

// A report waits for a person; it must not hold the lock meanwhile, or every
// other thread's allocation would wait with it.
TEST_F(PartitionTest, AReportBoxNeverHoldsTheLock)
{
    char** pool = partition.CreatePool(32, 2);
    char** block = partition.RequestPoolBlock(pool);
    partition.ReleasePoolBlock(pool, block);
    KXMM::Partition::SetAssertHandler(SlowReportBox); // the fixture restores its own
    std::thread reporter([&] { partition.ReleasePoolBlock(pool, block); }); // not in use: reported
    while (!inReportBox)
        std::this_thread::yield();
    const double before = Platform::ThreadCpuSeconds();
    char* p = partition.NewPtr(64);
    const double used = Platform::ThreadCpuSeconds() - before;
    EXPECT_TRUE(inReportBox.load()); // done while the box was still open
    partition.DisposePtr(p);
    reporter.join();
    EXPECT_LT(used, 0.1);
    partition.DestroyPool(pool);
}

} // namespace
} // namespace KXMMTest
