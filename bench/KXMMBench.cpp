// KXMMBench: the memory manager measured against the allocators and searches
// it stands in for.
//
// Every performance target of the library pairs one of our operations with a
// baseline that does the same work with the standard library or the C
// library: pointer and handle pairs against operator new/delete, pooled pairs
// against unpooled ones, handle appends against one lock round trip plus the
// copy (what an append must cost at least, since it changes the partition's
// counters under the lock), two threads against the same table work guarded by
// a std::mutex, MemMem against the C library's memmem. Both sides run in the
// same process, and by default every benchmark is repeated three times in a
// shuffled order so that a burst of load from elsewhere on the machine lands
// on ours and the baseline alike. After the runs a table gives each target's
// figures (the median of the repetitions), the ratio, the limit and whether
// the limit is met.
//
//   KXMMBench              Google Benchmark's report (aggregates), then the table
//   KXMMBench --summary    quick run (0.1 s per measurement), only the table
//
// Every --benchmark_* flag works as usual and overrides these defaults (for
// example --benchmark_repetitions=5 or --benchmark_min_time=0.2). Single-thread
// figures are processor time; the thread-scaling ones are wall-clock time and
// need both CPUs idle. On a shared machine, run it a few times.
#include "KXMM/KXMM.h"
#include "KXMM/KXMMInternal.h"

#include "bench/BenchArguments.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using KXMM::Partition;

/// @name Workload parameters
/// @{
constexpr std::size_t kSmallBlockSize = 64;
constexpr std::size_t kChurnLiveBlocks = 100000;
constexpr double kChurnMinSize = 16;
constexpr double kChurnMaxSize = 4096;
constexpr std::size_t kChurnStepCount = std::size_t{1} << 16; // a power of two: the step index wraps by mask
constexpr std::size_t kPoolBlockCount = 1024;
constexpr std::size_t kPieceSize = 16;
constexpr unsigned int kAppendReserve = 4096;
/// Pieces per batch of the append target: one batch fills the reserve the
/// caller asked for, which is the use SetHandleOversize is meant for.
constexpr int kAppendBatchPieces = 256;
/// A batch sixteen times the reserve, to show how appends fare past it.
constexpr int kAppendLongBatchPieces = 4096;
constexpr std::size_t kSearchSize = std::size_t{1} << 20;
constexpr std::size_t kMatchFromEnd = 256;
constexpr std::size_t kRandomPatternSize = 16;
constexpr char kTextPattern[] = "the layer was not found";
constexpr std::uint64_t kSeed = 0x4B584D4D42656E63ull;
/// @}

constexpr char kItemsPerSecond[] = "items_per_second";
constexpr char kMedianAggregate[] = "median";

/// @name Benchmark names (the table finds its figures by them)
/// @{
constexpr char kPtrPair[] = "KXMM_NewPtr_DisposePtr_64B";
constexpr char kNewDeletePair[] = "new_delete_64B";
constexpr char kHandleChurn[] = "KXMM_NewHandle_DisposeHandle_churn";
constexpr char kNewDeleteChurn[] = "new_delete_churn";
constexpr char kPooledPair[] = "KXMM_pooled_Allocate_Deallocate_64B";
constexpr char kPtrAndHandAppend[] = "KXMM_PtrAndHand_append_16B";
constexpr char kVectorAppend[] = "vector_append_16B";
constexpr char kLockedCopyAppend[] = "lock_round_trip_copy_16B";
constexpr char kPtrPairThreads[] = "KXMM_NewPtr_DisposePtr_64B_threads";
constexpr char kMutexPairThreads[] = "std_mutex_table_pair_64B_threads";
constexpr char kMemMemRandom[] = "KXMM_MemMem_1MiB_random";
constexpr char kLibcMemMemRandom[] = "memmem_1MiB_random";
constexpr char kMemMemText[] = "KXMM_MemMem_1MiB_text";
constexpr char kLibcMemMemText[] = "memmem_1MiB_text";
/// @}

// ---------------------------------------------------------------------------
// Deterministic inputs

/// SplitMix64: the same sequence on every platform and standard library, so
/// both sides of a comparison and every run see identical inputs.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    /// Uniform in [0, bound).
    std::uint32_t Below(std::uint32_t bound) { return static_cast<std::uint32_t>(((Next() >> 32) * bound) >> 32); }

    /// Uniform in [0, 1).
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

private:
    std::uint64_t state_;
};

struct ChurnStep {
    std::uint32_t slot;
    std::uint32_t size;
};

/// The churn workload: the sizes of the blocks that start live, then a fixed
/// cycle of (slot to replace, size of its replacement).
struct ChurnPlan {
    std::vector<std::uint32_t> initialSizes;
    std::vector<ChurnStep> steps;
};

/// Sizes are log-uniform, as in real programs: small blocks are common, big
/// ones rare, every power of two between the bounds equally likely.
std::uint32_t ChurnSize(Random& random)
{
    const double size = kChurnMinSize * std::exp2(random.Unit() * std::log2(kChurnMaxSize / kChurnMinSize));
    return static_cast<std::uint32_t>(std::clamp(std::round(size), kChurnMinSize, kChurnMaxSize));
}

const ChurnPlan& TheChurnPlan()
{
    static const ChurnPlan plan = [] {
        ChurnPlan p;
        Random random(kSeed);
        p.initialSizes.resize(kChurnLiveBlocks);
        for (std::uint32_t& size : p.initialSizes)
            size = ChurnSize(random);
        p.steps.resize(kChurnStepCount);
        for (ChurnStep& step : p.steps) {
            step.slot = random.Below(static_cast<std::uint32_t>(kChurnLiveBlocks));
            step.size = ChurnSize(random);
        }
        return p;
    }();
    return plan;
}

/// A search input: 1 MiB of data with the pattern planted near its end.
struct SearchCase {
    std::vector<unsigned char> data;
    std::vector<unsigned char> pattern;
    std::size_t matchOffset = 0;
};

void Plant(SearchCase& c)
{
    c.matchOffset = c.data.size() - kMatchFromEnd;
    std::copy(c.pattern.begin(), c.pattern.end(), c.data.begin() + static_cast<std::ptrdiff_t>(c.matchOffset));
}

const SearchCase& RandomBytesCase()
{
    static const SearchCase c = [] {
        SearchCase s;
        Random random(kSeed + 1);
        s.data.resize(kSearchSize);
        for (unsigned char& byte : s.data)
            byte = static_cast<unsigned char>(random.Next());
        s.pattern.resize(kRandomPatternSize);
        for (unsigned char& byte : s.pattern)
            byte = static_cast<unsigned char>(random.Next());
        Plant(s);
        return s;
    }();
    return c;
}

/// Prose-like text: lower-case words, sentences and lines. "the" is drawn
/// often, so a pattern that starts with it meets a candidate every few words,
/// as a search through real text does.
const SearchCase& TextCase()
{
    static const SearchCase c = [] {
        static constexpr std::string_view kWords[] = {
            "the",     "the",       "the",    "of",      "and",      "to",       "a",       "in",
            "is",      "that",      "for",    "it",      "with",     "as",       "was",     "on",
            "be",      "at",        "by",     "this",    "from",     "or",       "an",      "not",
            "are",     "which",     "all",    "layer",   "wall",     "door",     "window",  "class",
            "object",  "symbol",    "record", "field",   "value",    "drawing",  "sheet",   "viewport",
            "scale",   "text",      "line",   "arc",     "polygon",  "extrude",  "plugin",  "script",
            "found",   "missing",   "saved",  "opened",  "selected", "hidden",   "visible", "locked",
            "his",     "her",       "have",   "had",     "were",     "can",      "one",     "more",
        };
        constexpr std::size_t kLineWidth = 72;
        constexpr std::uint32_t kSentenceOdds = 12;
        SearchCase s;
        Random random(kSeed + 2);
        std::string text;
        text.reserve(kSearchSize + kLineWidth);
        std::size_t lineStart = 0;
        while (text.size() < kSearchSize) {
            const std::string_view word = kWords[random.Below(std::size(kWords))];
            text.append(word);
            if (random.Below(kSentenceOdds) == 0)
                text.push_back('.');
            if (text.size() - lineStart >= kLineWidth) {
                text.push_back('\n');
                lineStart = text.size();
            } else {
                text.push_back(' ');
            }
        }
        text.resize(kSearchSize);
        s.data.assign(text.begin(), text.end());
        s.pattern.assign(kTextPattern, kTextPattern + std::strlen(kTextPattern));
        Plant(s);
        return s;
    }();
    return c;
}

// ---------------------------------------------------------------------------
// Shared state

/// Reports raised by the library while the benchmarks ran; any at all means a
/// benchmark misused the library and its figures are suspect.
std::atomic<int> assertReports{0};

bool CountAssertReport(const char* /*text*/)
{
    assertReports.fetch_add(1, std::memory_order_relaxed);
    return true;
}

/// The partition both threads of the scaling benchmark share. Built once,
/// before any thread runs, because the partition list is not thread-safe.
Partition& SharedPartition()
{
    static Partition shared;
    return shared;
}

// ---------------------------------------------------------------------------
// 1 and 5: pointer pairs

void PtrPair(benchmark::State& state, Partition& partition)
{
    for (auto _ : state) {
        char* p = partition.NewPtr(kSmallBlockSize);
        benchmark::DoNotOptimize(p);
        partition.DisposePtr(p);
    }
    state.SetItemsProcessed(state.iterations());
}

void NewDeletePair(benchmark::State& state)
{
    for (auto _ : state) {
        char* p = new char[kSmallBlockSize];
        benchmark::DoNotOptimize(p);
        delete[] p;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_PtrPair(benchmark::State& state)
{
    auto partition = std::make_unique<Partition>();
    PtrPair(state, *partition);
}

void BM_PtrPairShared(benchmark::State& state)
{
    PtrPair(state, SharedPartition());
}

/// The baseline of the thread-scaling target: the work of a pointer pair (a
/// header and its data in one allocation, entered in a 1024-bucket table with
/// one hold of a lock, taken out again with another) with std::mutex as the
/// lock. Both threads share one table, as they share one partition.
class MutexGuardedTable {
public:
    void* Allocate(std::size_t size)
    {
        auto* block = static_cast<KXMM::MemoryBlock*>(::operator new(sizeof(KXMM::MemoryBlock) + size));
        block->memPtr = reinterpret_cast<char*>(block + 1);
        block->memSize = block->maxSize = size;
        block->self = block;
        const unsigned int i = Partition::GetMemoryBlockHash(block);
        std::lock_guard<std::mutex> hold(mutex_);
        block->hashIndex = i;
        block->prev = nullptr;
        block->next = buckets_[i];
        if (buckets_[i] != nullptr)
            buckets_[i]->prev = block;
        buckets_[i] = block;
        ++counts_[i];
        return block->memPtr;
    }

    void Deallocate(void* data)
    {
        KXMM::MemoryBlock* block;
        std::memcpy(&block, static_cast<char*>(data) - sizeof block, sizeof block);
        {
            std::lock_guard<std::mutex> hold(mutex_);
            const std::size_t i = block->hashIndex;
            if (buckets_[i] == block)
                buckets_[i] = block->next;
            if (block->next != nullptr)
                block->next->prev = block->prev;
            if (block->prev != nullptr)
                block->prev->next = block->next;
            --counts_[i];
        }
        ::operator delete(block);
    }

private:
    std::mutex mutex_;
    KXMM::MemoryBlock* buckets_[Partition::kBucketCount] = {};
    std::size_t counts_[Partition::kBucketCount] = {};
};

MutexGuardedTable& SharedMutexTable()
{
    static MutexGuardedTable table;
    return table;
}

void BM_MutexPairShared(benchmark::State& state)
{
    MutexGuardedTable& table = SharedMutexTable();
    for (auto _ : state) {
        void* p = table.Allocate(kSmallBlockSize);
        benchmark::DoNotOptimize(p);
        table.Deallocate(p);
    }
    state.SetItemsProcessed(state.iterations());
}

// ---------------------------------------------------------------------------
// 2: churn with 100,000 live blocks

void BM_HandleChurn(benchmark::State& state)
{
    const ChurnPlan& plan = TheChurnPlan();
    auto partition = std::make_unique<Partition>();
    std::vector<char**> live(plan.initialSizes.size());
    for (std::size_t i = 0; i < live.size(); ++i)
        live[i] = partition->NewHandle(plan.initialSizes[i]);

    std::size_t next = 0;
    for (auto _ : state) {
        const ChurnStep step = plan.steps[next++ & (kChurnStepCount - 1)];
        partition->DisposeHandle(live[step.slot]);
        live[step.slot] = partition->NewHandle(step.size);
    }
    state.SetItemsProcessed(state.iterations());

    if (std::find(live.begin(), live.end(), nullptr) != live.end())
        state.SkipWithError("NewHandle failed");
    for (char** h : live)
        partition->DisposeHandle(h);
}

void BM_NewDeleteChurn(benchmark::State& state)
{
    const ChurnPlan& plan = TheChurnPlan();
    std::vector<char*> live(plan.initialSizes.size());
    for (std::size_t i = 0; i < live.size(); ++i)
        live[i] = new char[plan.initialSizes[i]];

    std::size_t next = 0;
    for (auto _ : state) {
        const ChurnStep step = plan.steps[next++ & (kChurnStepCount - 1)];
        delete[] live[step.slot];
        live[step.slot] = new char[step.size];
        benchmark::DoNotOptimize(live[step.slot]);
    }
    state.SetItemsProcessed(state.iterations());

    for (char* p : live)
        delete[] p;
}

// ---------------------------------------------------------------------------
// 3: pooled pairs

void BM_PooledPair(benchmark::State& state)
{
    auto partition = std::make_unique<Partition>();
    char** pool = partition->CreatePool(kSmallBlockSize, kPoolBlockCount);
    if (pool == nullptr) {
        state.SkipWithError("CreatePool failed");
        return;
    }
    partition->SetCurrentPool(pool);
    partition->SetFlags(KXMM::detail::kPoolingOn);

    // A pair that quietly fell back to the heap would measure the wrong thing.
    void* probe = partition->Allocate(kSmallBlockSize);
    const bool pooled = static_cast<const KXMM::MemoryBlock*>(partition->GetHandle(probe))->pool == pool;
    partition->Deallocate(probe);
    if (!pooled) {
        state.SkipWithError("the allocation did not come from the pool");
        return;
    }

    for (auto _ : state) {
        void* p = partition->Allocate(kSmallBlockSize);
        benchmark::DoNotOptimize(p);
        partition->Deallocate(p);
    }
    state.SetItemsProcessed(state.iterations());
    // The partition releases its current pool when it goes.
}

// ---------------------------------------------------------------------------
// 4: appending 16-byte pieces

/// The bytes appended: a piece is taken from a rotating offset so that no
/// side can treat the source as constant.
const std::vector<char>& AppendSource()
{
    static const std::vector<char> source = [] {
        std::vector<char> bytes(kPieceSize * kAppendBatchPieces);
        Random random(kSeed + 3);
        for (char& byte : bytes)
            byte = static_cast<char>(random.Next());
        return bytes;
    }();
    return source;
}

const char* PieceAt(const std::vector<char>& source, int i)
{
    return source.data() + static_cast<std::size_t>(i % kAppendBatchPieces) * kPieceSize;
}

// Each iteration appends one batch and then empties the buffer the way its
// owner would reuse it: SetHandleSize(h, 0) for the handle, clear() for the
// vector. Items are pieces, so both report time per append with the reset
// amortized in.
void BM_PtrAndHandAppend(benchmark::State& state)
{
    const int pieces = static_cast<int>(state.range(0));
    const std::vector<char>& source = AppendSource();
    auto partition = std::make_unique<Partition>();
    char** h = partition->NewHandle(0);
    if (h == nullptr) {
        state.SkipWithError("NewHandle failed");
        return;
    }
    partition->SetHandleOversize(h, kAppendReserve, false);

    bool ok = true;
    for (auto _ : state) {
        for (int i = 0; i < pieces; ++i)
            ok &= partition->PtrAndHand(PieceAt(source, i), h, kPieceSize);
        benchmark::DoNotOptimize(*h);
        partition->SetHandleSize(h, 0);
    }
    state.SetItemsProcessed(state.iterations() * pieces);
    if (!ok)
        state.SkipWithError("PtrAndHand failed");
    partition->DisposeHandle(h);
}

/// What an append costs at least: one uncontended round trip of the library's
/// lock (an append changes the partition's counters, which are guarded by it)
/// and the copy of the piece into room that is already there.
void BM_LockedCopyAppend(benchmark::State& state)
{
    const int pieces = static_cast<int>(state.range(0));
    const std::vector<char>& source = AppendSource();
    KXMM::detail::RecursiveLock lock;
    std::vector<char> buffer(static_cast<std::size_t>(pieces) * kPieceSize);
    for (auto _ : state) {
        char* end = buffer.data();
        for (int i = 0; i < pieces; ++i) {
            lock.Lock();
            lock.Unlock();
            std::memcpy(end, PieceAt(source, i), kPieceSize);
            end += kPieceSize;
        }
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * pieces);
}

void BM_VectorAppend(benchmark::State& state)
{
    const int pieces = static_cast<int>(state.range(0));
    const std::vector<char>& source = AppendSource();
    std::vector<char> buffer;
    for (auto _ : state) {
        for (int i = 0; i < pieces; ++i) {
            const char* piece = PieceAt(source, i);
            buffer.insert(buffer.end(), piece, piece + kPieceSize);
        }
        benchmark::DoNotOptimize(buffer.data());
        buffer.clear();
    }
    state.SetItemsProcessed(state.iterations() * pieces);
}

// ---------------------------------------------------------------------------
// 6: searching 1 MiB

template <typename Search>
void RunSearch(benchmark::State& state, const SearchCase& c, Search search)
{
    // The planted pattern must be the first occurrence, or the two searches
    // would not scan the same distance.
    const void* expected = c.data.data() + c.matchOffset;
    if (search(c.data.data(), c.data.size(), c.pattern.data(), c.pattern.size()) != expected) {
        state.SkipWithError("the first match is not the planted one");
        return;
    }
    for (auto _ : state) {
        const void* found = search(c.data.data(), c.data.size(), c.pattern.data(), c.pattern.size());
        benchmark::DoNotOptimize(found);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(c.matchOffset + c.pattern.size()));
}

const void* OurSearch(const void* data, std::size_t dataLen, const void* pattern, std::size_t patternLen)
{
    return Partition::MemMem(data, dataLen, pattern, patternLen);
}

const void* LibcSearch(const void* data, std::size_t dataLen, const void* pattern, std::size_t patternLen)
{
    return ::memmem(data, dataLen, pattern, patternLen);
}

// ---------------------------------------------------------------------------
// Registration

void RegisterAll()
{
    benchmark::RegisterBenchmark(kPtrPair, BM_PtrPair);
    benchmark::RegisterBenchmark(kNewDeletePair, NewDeletePair);
    benchmark::RegisterBenchmark(kHandleChurn, BM_HandleChurn);
    benchmark::RegisterBenchmark(kNewDeleteChurn, BM_NewDeleteChurn);
    benchmark::RegisterBenchmark(kPooledPair, BM_PooledPair);
    benchmark::RegisterBenchmark(kPtrAndHandAppend, BM_PtrAndHandAppend)
        ->Arg(kAppendBatchPieces)
        ->Arg(kAppendLongBatchPieces);
    benchmark::RegisterBenchmark(kLockedCopyAppend, BM_LockedCopyAppend)->Arg(kAppendBatchPieces);
    benchmark::RegisterBenchmark(kVectorAppend, BM_VectorAppend)->Arg(kAppendBatchPieces)->Arg(kAppendLongBatchPieces);
    // Wall-clock time: the scaling question is how much work both threads get
    // done per second together, not how much processor time each used.
    benchmark::RegisterBenchmark(kPtrPairThreads, BM_PtrPairShared)->Threads(1)->Threads(2)->UseRealTime();
    benchmark::RegisterBenchmark(kMutexPairThreads, BM_MutexPairShared)->Threads(1)->Threads(2)->UseRealTime();
    benchmark::RegisterBenchmark(kMemMemRandom, [](benchmark::State& s) { RunSearch(s, RandomBytesCase(), OurSearch); });
    benchmark::RegisterBenchmark(kLibcMemMemRandom,
                                 [](benchmark::State& s) { RunSearch(s, RandomBytesCase(), LibcSearch); });
    benchmark::RegisterBenchmark(kMemMemText, [](benchmark::State& s) { RunSearch(s, TextCase(), OurSearch); });
    benchmark::RegisterBenchmark(kLibcMemMemText, [](benchmark::State& s) { RunSearch(s, TextCase(), LibcSearch); });
}

// ---------------------------------------------------------------------------
// The table

/// One measured benchmark instance: family name, argument and thread count.
struct RunKey {
    std::string name;
    std::int64_t arg = -1;
    std::int64_t threads = 1;
    auto operator<=>(const RunKey&) const = default;
};

enum class Unit { Nanoseconds, Microseconds, MillionPerSecond };
enum class Goal { AtMost, AtLeast, Info };

struct TargetRow {
    const char* number;
    const char* label;
    RunKey ours;
    RunKey baseline;
    Unit unit;
    Goal goal;
    double limit;
};

const std::vector<TargetRow>& TargetRows()
{
    static const std::vector<TargetRow> rows = {
        {"1", "NewPtr+DisposePtr 64 B / new+delete", {kPtrPair}, {kNewDeletePair}, Unit::Nanoseconds, Goal::AtMost,
         3.0},
        {"2", "NewHandle+DisposeHandle churn / new+delete churn", {kHandleChurn}, {kNewDeleteChurn},
         Unit::Nanoseconds, Goal::AtMost, 3.0},
        {"3", "pooled Allocate+Deallocate / NewPtr+DisposePtr", {kPooledPair}, {kPtrPair}, Unit::Nanoseconds,
         Goal::AtMost, 0.8},
        {"3i", "pooled Allocate+Deallocate / new+delete", {kPooledPair}, {kNewDeletePair}, Unit::Nanoseconds,
         Goal::Info, 0},
        {"4", "PtrAndHand 16 B / lock round trip + 16 B copy", {kPtrAndHandAppend, kAppendBatchPieces},
         {kLockedCopyAppend, kAppendBatchPieces}, Unit::Nanoseconds, Goal::AtMost, 2.0},
        {"4i", "PtrAndHand 16 B, 4 KiB batches / vector<char>", {kPtrAndHandAppend, kAppendBatchPieces},
         {kVectorAppend, kAppendBatchPieces}, Unit::Nanoseconds, Goal::Info, 0},
        {"4i", "PtrAndHand 16 B, 64 KiB batches / vector<char>", {kPtrAndHandAppend, kAppendLongBatchPieces},
         {kVectorAppend, kAppendLongBatchPieces}, Unit::Nanoseconds, Goal::Info, 0},
        {"5", "NewPtr+DisposePtr, 2 threads / std::mutex table", {kPtrPairThreads, -1, 2},
         {kMutexPairThreads, -1, 2}, Unit::MillionPerSecond, Goal::AtLeast, 1.5},
        {"5i", "NewPtr+DisposePtr, 2 threads / 1 thread", {kPtrPairThreads, -1, 2}, {kPtrPairThreads, -1, 1},
         Unit::MillionPerSecond, Goal::Info, 0},
        {"5i", "std::mutex table, 2 threads / 1 thread", {kMutexPairThreads, -1, 2}, {kMutexPairThreads, -1, 1},
         Unit::MillionPerSecond, Goal::Info, 0},
        {"6", "MemMem 1 MiB random bytes / memmem", {kMemMemRandom}, {kLibcMemMemRandom}, Unit::Microseconds,
         Goal::AtMost, 2.0},
        {"6", "MemMem 1 MiB text / memmem", {kMemMemText}, {kLibcMemMemText}, Unit::Microseconds, Goal::AtMost, 2.0},
    };
    return rows;
}

/// The console reporter, which also keeps every repetition's rate for the
/// table. In summary mode it prints nothing itself.
class TableReporter : public benchmark::ConsoleReporter {
public:
    explicit TableReporter(bool quiet) : benchmark::ConsoleReporter(OO_Tabular), quiet_(quiet) {}

    bool ReportContext(const Context& context) override
    {
        cpus_ = context.cpu_info.num_cpus;
        if (!context.cpu_info.load_avg.empty())
            loadAtStart_ = context.cpu_info.load_avg.front();
        return quiet_ || benchmark::ConsoleReporter::ReportContext(context);
    }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            Collect(run);
        if (!quiet_)
            benchmark::ConsoleReporter::ReportRuns(runs);
    }

    void PrintTable() const
    {
        const int repetitions = static_cast<int>(repetitions_);
        std::printf("\nKXMM against its baselines: median of %d run%s per figure, %d CPUs, load average %.2f at start\n",
                    repetitions, repetitions == 1 ? "" : "s", cpus_, loadAtStart_);
        std::printf("Times are per operation (per append in 4, per search in 6); 5 is operations per second.\n\n");
        std::printf("%-3s %-49s %12s %12s %8s %8s  %s\n", "#", "target: ours / baseline", "ours", "baseline", "ratio",
                    "limit", "result");
        std::printf("%s\n", std::string(108, '-').c_str());
        int checked = 0;
        int missed = 0;
        for (const TargetRow& row : TargetRows()) {
            const Verdict verdict = PrintRow(row);
            checked += verdict == Verdict::Met || verdict == Verdict::Missed ? 1 : 0;
            missed += verdict == Verdict::Missed ? 1 : 0;
        }
        std::printf("%s\n", std::string(108, '-').c_str());
        if (missed != 0)
            std::printf("%d of %d targets missed.\n", missed, checked);
        else if (checked != 0)
            std::printf("All %d measured targets met.\n", checked);
        else
            std::printf("No target was measured (a filter left out one side of every comparison).\n");
        const int reports = assertReports.load();
        if (reports != 0)
            std::printf("WARNING: the library raised %d report%s during the runs; the figures are suspect.\n",
                        reports, reports == 1 ? "" : "s");
        std::printf("Ratios drift by 10 to 30%% between runs while other work shares the machine, and row 5 needs\n"
                    "two idle CPUs: rerun before acting on a borderline result.\n");
        for (const auto& [key, message] : errors_)
            std::printf("ERROR in %s: %s\n", key.name.c_str(), message.c_str());
    }

private:
    static RunKey KeyOf(const Run& run)
    {
        RunKey key{run.run_name.function_name, -1, run.threads};
        if (!run.run_name.args.empty())
            key.arg = std::stoll(run.run_name.args);
        return key;
    }

    void Collect(const Run& run)
    {
        const RunKey key = KeyOf(run);
        repetitions_ = std::max(repetitions_, run.repetitions);
        if (run.error_occurred) {
            errors_[key] = run.error_message;
            return;
        }
        const auto rate = run.counters.find(kItemsPerSecond);
        if (rate == run.counters.end())
            return;
        if (run.run_type == Run::RT_Iteration)
            rates_[key].push_back(rate->second.value);
        else if (run.aggregate_name == kMedianAggregate)
            medians_[key] = rate->second.value; // all that is shown with *_aggregates_only
    }

    /// Items per second, or 0 when the benchmark did not run.
    double MedianRate(const RunKey& key) const
    {
        if (auto found = rates_.find(key); found != rates_.end() && !found->second.empty()) {
            std::vector<double> rates = found->second;
            std::sort(rates.begin(), rates.end());
            const std::size_t n = rates.size();
            return n % 2 ? rates[n / 2] : (rates[n / 2 - 1] + rates[n / 2]) / 2;
        }
        const auto found = medians_.find(key);
        return found == medians_.end() ? 0 : found->second;
    }

    static std::string Format(double rate, Unit unit)
    {
        char text[32];
        switch (unit) {
        case Unit::Nanoseconds:
            std::snprintf(text, sizeof text, "%.1f ns", 1e9 / rate);
            break;
        case Unit::Microseconds:
            std::snprintf(text, sizeof text, "%.1f us", 1e6 / rate);
            break;
        case Unit::MillionPerSecond:
            std::snprintf(text, sizeof text, "%.2f M/s", rate / 1e6);
            break;
        }
        return text;
    }

    enum class Verdict { NotRun, Info, Met, Missed };

    Verdict PrintRow(const TargetRow& row) const
    {
        const double ours = MedianRate(row.ours);
        const double baseline = MedianRate(row.baseline);
        if (ours <= 0 || baseline <= 0) {
            std::printf("%-3s %-49s %12s %12s %8s %8s  %s\n", row.number, row.label, "-", "-", "-", "-", "not run");
            return Verdict::NotRun;
        }
        // Time rows compare cost (lower is better), the throughput row
        // compares rates (higher is better).
        const double ratio = row.unit == Unit::MillionPerSecond ? ours / baseline : baseline / ours;
        char limit[16] = "info";
        Verdict verdict = Verdict::Info;
        if (row.goal != Goal::Info) {
            std::snprintf(limit, sizeof limit, "%s%.2fx", row.goal == Goal::AtMost ? "<=" : ">=", row.limit);
            const bool met = row.goal == Goal::AtMost ? ratio <= row.limit : ratio >= row.limit;
            verdict = met ? Verdict::Met : Verdict::Missed;
        }
        const char* result = verdict == Verdict::Info ? "-" : verdict == Verdict::Met ? "met" : "MISSED";
        char ratioText[16];
        std::snprintf(ratioText, sizeof ratioText, "%.2fx", ratio);
        std::printf("%-3s %-49s %12s %12s %8s %8s  %s\n", row.number, row.label, Format(ours, row.unit).c_str(),
                    Format(baseline, row.unit).c_str(), ratioText, limit, result);
        return verdict;
    }

    bool quiet_;
    int cpus_ = 0;
    double loadAtStart_ = 0;
    std::int64_t repetitions_ = 0;
    std::map<RunKey, std::vector<double>> rates_;
    std::map<RunKey, double> medians_;
    std::map<RunKey, std::string> errors_;
};

} // namespace

int main(int argc, char** argv)
{
    const Bench::BenchArguments arguments(argc, argv);
    if (!arguments.Ok())
        return 1;
    const bool summary = arguments.Summary();

    Partition::SetAssertHandler(CountAssertReport);
    SharedPartition();
    RegisterAll();
    if (summary)
        std::printf("KXMMBench: measuring every target (10 to 20 s)...\n");
    TableReporter reporter(summary);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintTable();
    benchmark::Shutdown();
    return 0;
}
