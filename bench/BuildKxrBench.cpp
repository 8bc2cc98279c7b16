// The whole buildkxr run in copied mode (start-up, the strings check, and 7-Zip
// packing the folder) beside `7z a -r -mx0 -tzip` alone on the same folder:
// both timed as whole processes, alternating which goes first, after one
// untimed warm-up run of each so the folder is in the page cache. Prints the
// median of each and their ratio, and the median of buildkxr with an
// archiver that does nothing, which is what the check itself costs.
//
// The folder is generated in the temporary directory when the program starts
// (2,000 strings files in 20 folders plus 100 MB of other files) and removed
// at the end. Linux only; run by hand: build/release/bin/BuildKxrBench
#include "bench/ShellTiming.h"
#include "bench/StringsGenerator.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kStringsFolders = 20;
constexpr std::size_t kStringsFilesPerFolder = 100;
constexpr std::size_t kMinEntriesPerFile = 20;
constexpr std::size_t kMaxEntriesPerFile = 120;
constexpr std::size_t kOtherFiles = 100;
constexpr std::size_t kOtherFileBytes = 1000 * 1000; // 100 MB in all
constexpr int kRounds = 11;
constexpr std::uint64_t kSeed = 42;

using Bench::Median;
using Bench::ShellQuote;

struct Folder {
    fs::path root;
    fs::path input;
    fs::path toolArchive;
    fs::path zipArchive;
    std::uintmax_t stringsBytes = 0;
    std::uintmax_t otherBytes = 0;
};

Folder MakeFolder()
{
    Folder folder;
    folder.root = fs::temp_directory_path() / ("kxr-bench-" + std::to_string(std::random_device{}()));
    folder.input = folder.root / "res";
    folder.toolArchive = folder.root / "tool.zip";
    folder.zipArchive = folder.root / "7z.zip";
    KxBench::Random random(kSeed);
    for (std::size_t f = 0; f < kStringsFolders; ++f) {
        const fs::path dir = folder.input / "Strings" / ("Module" + std::to_string(f));
        fs::create_directories(dir);
        for (std::size_t i = 0; i < kStringsFilesPerFolder; ++i) {
            std::u16string text;
            KxBench::AppendStrings(text, random, random.Between(kMinEntriesPerFile, kMaxEntriesPerFile));
            const std::string bytes = KxBench::StringsFileBytes(text);
            std::ofstream(dir / (std::to_string(100 + i) + " Strings" + std::to_string(i) + ".kxstrings"),
                          std::ios::binary)
                << bytes;
            folder.stringsBytes += bytes.size();
        }
    }
    fs::create_directories(folder.input / "Images");
    std::string bytes(kOtherFileBytes, '\0');
    for (std::size_t i = 0; i < kOtherFiles; ++i) {
        for (std::size_t b = 0; b + 8 <= bytes.size(); b += 8) {
            const std::uint64_t word = random.Next();
            std::copy_n(reinterpret_cast<const char*>(&word), 8, bytes.begin() + static_cast<std::ptrdiff_t>(b));
        }
        std::ofstream(folder.input / "Images" / ("image" + std::to_string(i) + ".bin"), std::ios::binary) << bytes;
        folder.otherBytes += bytes.size();
    }
    return folder;
}

const Folder& TheFolder()
{
    static const Folder folder = MakeFolder();
    return folder;
}

std::string ToolCommand(const Folder& folder)
{
    return "KXR_INPUT=" + ShellQuote(folder.input.string()) + " KXR_OUTPUT=" + ShellQuote(folder.toolArchive.string()) +
           " KXR_MODE=Release " + ShellQuote(KX_BUILDKXR_PATH) + " >/dev/null";
}

/// The same run with an archiver that does nothing: the strings check and
/// the tool's own start-up alone.
std::string CheckOnlyCommand(const Folder& folder)
{
    return "KXR_7ZCMD=true " + ToolCommand(folder);
}

std::string ZipCommand(const Folder& folder)
{
    return "7z a -r -mx0 -tzip " + ShellQuote(folder.zipArchive.string()) + " " + ShellQuote(folder.input.string() + "/*") +
           " >/dev/null";
}

/// Seconds the command took, from a fresh archive; negative when it failed.
double Time(const std::string& command, const fs::path& archive)
{
    fs::remove(archive);
    return Bench::TimeShell(command);
}

double gToolMedian = 0;
double gZipMedian = 0;
double gCheckMedian = 0;

void BM_BuildKxrVersus7z(benchmark::State& state)
{
    const Folder& folder = TheFolder();
    const std::string tool = ToolCommand(folder), zip = ZipCommand(folder), check = CheckOnlyCommand(folder);
    if (Time(tool, folder.toolArchive) < 0 || Time(zip, folder.zipArchive) < 0) {
        state.SkipWithError("buildkxr or 7z failed on the generated folder");
        return;
    }
    std::vector<double> toolTimes, zipTimes, checkTimes;
    for (auto _ : state) {
        const bool toolFirst = toolTimes.size() % 2 == 0;
        const double first = toolFirst ? Time(tool, folder.toolArchive) : Time(zip, folder.zipArchive);
        const double second = toolFirst ? Time(zip, folder.zipArchive) : Time(tool, folder.toolArchive);
        const double toolSeconds = toolFirst ? first : second;
        const double zipSeconds = toolFirst ? second : first;
        if (toolSeconds < 0 || zipSeconds < 0) {
            state.SkipWithError("a run failed");
            return;
        }
        toolTimes.push_back(toolSeconds);
        zipTimes.push_back(zipSeconds);
        checkTimes.push_back(Time(check, folder.toolArchive));
        state.SetIterationTime(toolSeconds);
    }
    gToolMedian = Median(toolTimes);
    gZipMedian = Median(zipTimes);
    gCheckMedian = Median(checkTimes);
    state.counters["buildkxr_ms"] = gToolMedian * 1000;
    state.counters["7z_ms"] = gZipMedian * 1000;
    state.counters["check_only_ms"] = gCheckMedian * 1000;
    state.counters["ratio"] = gZipMedian > 0 ? gToolMedian / gZipMedian : 0;
}

BENCHMARK(BM_BuildKxrVersus7z)->UseManualTime()->Iterations(kRounds)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const Folder& folder = TheFolder();
    std::printf("folder: %zu strings files (%.1f MB) and %zu other files (%.1f MB)\n",
                kStringsFolders * kStringsFilesPerFolder, static_cast<double>(folder.stringsBytes) / 1e6,
                kOtherFiles, static_cast<double>(folder.otherBytes) / 1e6);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gZipMedian > 0) {
        std::printf("\nmedians of %d alternating runs: buildkxr %.0f ms, 7z alone %.0f ms, ratio %.3fx\n", kRounds,
                    gToolMedian * 1000, gZipMedian * 1000, gToolMedian / gZipMedian);
        std::printf("buildkxr with an archiver that does nothing (the check alone): %.0f ms\n", gCheckMedian * 1000);
    }
    std::error_code ignored;
    fs::remove_all(folder.root, ignored);
    return 0;
}
