// Speed of the strings-file parser (full parse into a table, and the
// check-only parse buildkxr runs) on one large generated file, beside a
// plain pass that only counts line feeds over the same buffer (the least any
// one-pass reader must do), and beside the cost a node-based ordered map would
// add for the same entries. Prints GB/s of UTF-16 input and the ratios.
//
// Run: build/release/bin/StringsFileBench
#include "bench/StringsGenerator.h"
#include "buildkxr/StringsFile.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <map>
#include <vector>

namespace {

constexpr std::size_t kEntries = 400000; // about 100 MB of UTF-16
constexpr std::uint64_t kSeed = 20261209;
constexpr double kBytesPerGigabyte = 1e9;

struct Input {
    std::vector<char16_t> pristine;
    std::size_t bytes = 0;
};

const Input& TheInput()
{
    static const Input input = [] {
        std::u16string text(1, u'\uFEFF');
        KxBench::Random random(kSeed);
        KxBench::AppendStrings(text, random, kEntries);
        Input made;
        made.pristine.assign(text.begin(), text.end());
        made.bytes = made.pristine.size() * sizeof(char16_t);
        return made;
    }();
    return input;
}

/// Median seconds per pass of each benchmark, for the closing summary: wall
/// time, and the process's processor time (less disturbed when other work
/// shares the machine).
std::map<std::string, double> gMedians;
std::map<std::string, double> gCpuMedians;

double CpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

using Clock = std::chrono::steady_clock;

void BM_ParseStringsBuffer(benchmark::State& state)
{
    const Input& input = TheInput();
    std::vector<char16_t> work(input.pristine.size());
    std::vector<double> times, cpuTimes;
    StringTable table;
    for (auto _ : state) {
        // The parse rewrites its buffer: start every pass from the original.
        std::memcpy(work.data(), input.pristine.data(), input.bytes);
        table.clear();
        const double cpuStart = CpuSeconds();
        const auto start = Clock::now();
        const bool ok = ParseStringsBuffer(work.data(), input.bytes, table, nullptr);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        cpuTimes.push_back(CpuSeconds() - cpuStart);
        if (!ok)
            state.SkipWithError("the generated file does not parse");
        state.SetIterationTime(seconds);
        times.push_back(seconds);
    }
    state.counters["entries"] = static_cast<double>(table.size());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.bytes));
    gMedians["parse"] = Median(times);
    gCpuMedians["parse"] = Median(cpuTimes);
}

/// The check-only parse buildkxr runs: same verdict, no table, no writes.
void BM_CheckStringsBuffer(benchmark::State& state)
{
    const Input& input = TheInput();
    std::vector<double> times;
    for (auto _ : state) {
        const auto start = Clock::now();
        const bool ok = CheckStringsBuffer(input.pristine.data(), input.bytes, nullptr);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (!ok)
            state.SkipWithError("the generated file does not parse");
        state.SetIterationTime(seconds);
        times.push_back(seconds);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.bytes));
    gMedians["check"] = Median(times);
}

void BM_CountLineFeeds(benchmark::State& state)
{
    const Input& input = TheInput();
    std::vector<double> times, cpuTimes;
    for (auto _ : state) {
        const double cpuStart = CpuSeconds();
        const auto start = Clock::now();
        std::size_t lineFeeds = 0;
        for (char16_t unit : input.pristine)
            lineFeeds += unit == u'\n';
        benchmark::DoNotOptimize(lineFeeds);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        cpuTimes.push_back(CpuSeconds() - cpuStart);
        state.SetIterationTime(seconds);
        times.push_back(seconds);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.bytes));
    gMedians["count"] = Median(times);
    gCpuMedians["count"] = Median(cpuTimes);
}

/// What one node allocation and tree search per entry would cost: the
/// parsed entries inserted in file order into a std::map keyed like the table.
void BM_StdMapInsertSameEntries(benchmark::State& state)
{
    const Input& input = TheInput();
    std::vector<char16_t> work(input.pristine);
    StringTable table;
    ParseStringsBuffer(work.data(), input.bytes, table, nullptr);
    std::vector<StringTable::Entry> fileOrder(table.begin(), table.end());
    std::sort(fileOrder.begin(), fileOrder.end(),
              [](const StringTable::Entry& a, const StringTable::Entry& b) { return a.key < b.key; });
    struct KeyLess {
        bool operator()(const char* a, const char* b) const { return std::strcmp(a, b) < 0; }
    };
    std::vector<double> times;
    for (auto _ : state) {
        std::map<const char*, const char16_t*, KeyLess> map;
        const auto start = Clock::now();
        for (const StringTable::Entry& entry : fileOrder)
            map[entry.key] = entry.value;
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        times.push_back(seconds);
        benchmark::DoNotOptimize(map.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.bytes));
    gMedians["map"] = Median(times);
}

BENCHMARK(BM_ParseStringsBuffer)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CheckStringsBuffer)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CountLineFeeds)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_StdMapInsertSameEntries)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const double gigabytes = static_cast<double>(TheInput().bytes) / kBytesPerGigabyte;
    const double parse = gMedians["parse"], count = gMedians["count"], map = gMedians["map"];
    std::printf("\ninput: %.1f MB of UTF-16, %zu entries\n", gigabytes * 1000, kEntries);
    if (parse > 0)
        std::printf("parse and check (median): %.2f GB/s\n", gigabytes / parse);
    const double check = gMedians["check"];
    if (check > 0)
        std::printf("check only, as buildkxr runs it (median): %.2f GB/s\n", gigabytes / check);
    if (count > 0)
        std::printf("line-feed count (median): %.2f GB/s\n", gigabytes / count);
    if (parse > 0 && count > 0)
        std::printf("parse time / line-feed count time: %.2fx\n", parse / count);
    if (check > 0 && count > 0)
        std::printf("check time / line-feed count time: %.2fx\n", check / count);
    const double parseCpu = gCpuMedians["parse"], countCpu = gCpuMedians["count"];
    if (parseCpu > 0)
        std::printf("parse and check, processor time (median): %.2f GB/s\n", gigabytes / parseCpu);
    if (parseCpu > 0 && countCpu > 0)
        std::printf("parse / line-feed count, processor time: %.2fx\n", parseCpu / countCpu);
    if (parse > 0 && map > 0)
        std::printf("std::map inserts alone take %.2fx the whole parse\n", map / parse);
    return 0;
}
