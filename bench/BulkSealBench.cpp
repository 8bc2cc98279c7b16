// EncryptAllPlugins through kxhost on 1,000 script files of 64 KiB each,
// every sealed file flushed to the disk and renamed into place, beside
// copying the same files with `cp -r` followed by `sync`, the cheapest way
// to put the same bytes durably on the disk. Both run as whole processes,
// alternating which goes first, each on a fresh plaintext folder that is
// itself synced before the clock starts. Prints the median of each, files per
// second, and their ratio.
//
// The folder is generated in the temporary directory when the program starts
// and removed at the end. Linux only; run by hand: build/release/bin/BulkSealBench
#include "bench/ShellTiming.h"

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

constexpr int kFiles = 1000;
constexpr std::size_t kFileBytes = 64 * 1024;
constexpr int kFolders = 10;
constexpr int kRounds = 7;

std::string Quote(const fs::path& path)
{
    return Bench::ShellQuote(path.string());
}

struct Folder {
    fs::path root;
    fs::path source;  // the plaintext files, never changed
    fs::path plugins; // a fresh copy for each kxhost run
    fs::path copy;    // cp's destination
    fs::path key;
};

Folder MakeFolder()
{
    Folder folder;
    folder.root = fs::temp_directory_path() / ("kxseal-bench-" + std::to_string(std::random_device{}()));
    folder.source = folder.root / "source";
    folder.plugins = folder.root / "plugins";
    folder.copy = folder.root / "copy";
    folder.key = folder.root / "seal.key";
    std::mt19937_64 random(42);
    std::string bytes(kFileBytes, '\0');
    for (int i = 0; i < kFiles; ++i) {
        for (char& c : bytes)
            c = static_cast<char>(' ' + random() % 95);
        const fs::path dir = folder.source / ("Folder" + std::to_string(i % kFolders));
        fs::create_directories(dir);
        std::ofstream(dir / ("Script" + std::to_string(i) + ".csm"), std::ios::binary) << bytes;
    }
    std::ofstream(folder.key, std::ios::binary) << std::string(32, 'k');
    fs::permissions(folder.key, fs::perms::owner_read | fs::perms::owner_write); // kxhost refuses a shared key
    return folder;
}

const Folder& TheFolder()
{
    static const Folder folder = MakeFolder();
    return folder;
}

/// Seconds `command` took after `prepare` ran and everything was synced;
/// negative when either failed.
double Time(const std::string& prepare, const std::string& command)
{
    if (std::system((prepare + " && sync").c_str()) != 0)
        return -1;
    return Bench::TimeShell(command);
}

using Bench::Median;

double gSealMedian = 0;
double gCopyMedian = 0;

void BM_EncryptAllPluginsVersusCopyAndSync(benchmark::State& state)
{
    const Folder& folder = TheFolder();
    const std::string freshPlugins =
        "rm -rf " + Quote(folder.plugins) + " && cp -r " + Quote(folder.source) + " " + Quote(folder.plugins);
    const std::string seal = Quote(KX_KXHOST_PATH) + " call EncryptAllPlugins --quiet --plugins " +
                             Quote(folder.plugins) + " --key " + Quote(folder.key);
    const std::string noCopy = "rm -rf " + Quote(folder.copy);
    const std::string copy = "cp -r " + Quote(folder.source) + " " + Quote(folder.copy) + " && sync";

    // One untimed run of each warms the page cache and checks the commands.
    if (Time(freshPlugins, seal) < 0 || Time(noCopy, copy) < 0) {
        state.SkipWithError("kxhost or cp failed on the generated folder");
        return;
    }
    std::ifstream sealed(folder.plugins / "Folder0" / "Script0.csm", std::ios::binary);
    std::string magic(8, '\0');
    if (!sealed.read(magic.data(), 8) || magic != "KXSEAL01") {
        state.SkipWithError("kxhost did not seal the files");
        return;
    }

    std::vector<double> sealTimes, copyTimes;
    for (auto _ : state) {
        const bool sealFirst = sealTimes.size() % 2 == 0;
        const double first = sealFirst ? Time(freshPlugins, seal) : Time(noCopy, copy);
        const double second = sealFirst ? Time(noCopy, copy) : Time(freshPlugins, seal);
        const double sealSeconds = sealFirst ? first : second;
        const double copySeconds = sealFirst ? second : first;
        if (sealSeconds < 0 || copySeconds < 0) {
            state.SkipWithError("a run failed");
            return;
        }
        sealTimes.push_back(sealSeconds);
        copyTimes.push_back(copySeconds);
        state.SetIterationTime(sealSeconds);
    }
    gSealMedian = Median(sealTimes);
    gCopyMedian = Median(copyTimes);
    state.counters["kxhost_ms"] = gSealMedian * 1000;
    state.counters["cp_sync_ms"] = gCopyMedian * 1000;
    state.counters["files_per_s"] = gSealMedian > 0 ? kFiles / gSealMedian : 0;
    state.counters["ratio"] = gCopyMedian > 0 ? gSealMedian / gCopyMedian : 0;
}

BENCHMARK(BM_EncryptAllPluginsVersusCopyAndSync)->UseManualTime()->Iterations(kRounds)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const Folder& folder = TheFolder();
    std::printf("folder: %d script files of %zu KiB in %d folders\n", kFiles, kFileBytes / 1024, kFolders);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gCopyMedian > 0) {
        std::printf("\nmedians of %d alternating runs: kxhost EncryptAllPlugins %.0f ms (%.0f files/s), "
                    "cp -r + sync %.0f ms, ratio %.2fx (goal: at most 3x)\n",
                    kRounds, gSealMedian * 1000, kFiles / gSealMedian, gCopyMedian * 1000, gSealMedian / gCopyMedian);
    }
    std::error_code ignored;
    fs::remove_all(folder.root, ignored);
    return 0;
}
