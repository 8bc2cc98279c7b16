// kxhost's LoadResourceString, warm, on an archive of 200 strings files of 50
// strings each, beside a std::unordered_map lookup of the same location and
// key that copies the value out: what serving a string costs once every file
// is parsed. Both copy the value into a string the caller keeps (a TXString,
// a std::u16string). Prints strings per second and the ratio (goal: at most
// 20x).
//
// The archive is generated in the temporary directory when the program
// starts and removed at the end. Run by hand: build/release/bin/ResourceStoreBench
#include "KXMM/KXMM.h"
#include "bench/StringsGenerator.h"
#include "host/FileServices.h"
#include "host/HostApplication.h"
#include "host/ResourceStore.h"
#include "strings/MainPartition.h"
#include "strings/TXString.h"

#include <zip.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 200;
constexpr int kKeysPerFile = 50;

struct Request {
    std::string location;
    std::string key;
};

struct Fixture {
    fs::path archive;
    std::vector<Request> requests; // every string once, shuffled
    std::unordered_map<std::string, std::u16string> baseline;
    std::vector<std::string> files; // the archive's entries' bytes, alive until it is written
};

Fixture& TheFixture()
{
    static Fixture fixture = [] {
        Fixture f;
        f.archive = fs::temp_directory_path() / ("Bench-" + std::to_string(std::random_device{}())) / "Bench.kxr";
        fs::create_directories(f.archive.parent_path());
        int error = 0;
        zip_t* zip = zip_open(f.archive.string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        f.files.reserve(kFiles);
        for (int file = 0; file < kFiles; ++file) {
            const std::string number = std::to_string(1000 + file);
            std::u16string text;
            for (int key = 0; key < kKeysPerFile; ++key) {
                const std::string name = "message" + std::to_string(key);
                const std::u16string wideName(name.begin(), name.end());
                std::u16string value = u"The message ";
                value.append(wideName).append(u" of file ").append(number.begin(), number.end());
                value.append(u", with a few more words than a label has.");
                text.append(u"\"").append(wideName).append(u"\" = \"").append(value).append(u"\";\r\n");
                const std::string location = "Bench/Strings/" + number + " *";
                f.requests.push_back({location, name});
                f.baseline.emplace(location + '\n' + name, value);
            }
            f.files.push_back(KxBench::StringsFileBytes(text));
            const std::string entry = "Strings/" + number + " File" + std::to_string(file) + ".kxstrings";
            zip_source_t* source = zip_source_buffer(zip, f.files.back().data(), f.files.back().size(), 0);
            const zip_int64_t index = zip_file_add(zip, entry.c_str(), source, 0);
            zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 5);
        }
        zip_close(zip);
        f.files.clear();
        std::shuffle(f.requests.begin(), f.requests.end(), std::mt19937(42));
        return f;
    }();
    return fixture;
}

double gHostNanoseconds = 0;
double gMapNanoseconds = 0;

void BM_LoadResourceString(benchmark::State& state)
{
    Fixture& f = TheFixture();
    KxHost::ResourceStore store;
    store.Add(f.archive.string());
    KxHost::FileServices files{KxHost::HostOptions{}};
    KxHost::HostApplication application(files, store);
    TXString target;
    for (const Request& request : f.requests) { // warm: every file parsed once
        if (application.LoadResourceString(target, request.location.c_str(), request.key.c_str(), 0) != 0) {
            state.SkipWithError("a string of the generated archive was not found");
            return;
        }
    }
    std::size_t next = 0;
    for (auto _ : state) {
        const Request& request = f.requests[next];
        next = next + 1 == f.requests.size() ? 0 : next + 1;
        application.LoadResourceString(target, request.location.c_str(), request.key.c_str(), 0);
        benchmark::DoNotOptimize(target);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void BM_UnorderedMapLookup(benchmark::State& state)
{
    Fixture& f = TheFixture();
    std::u16string target;
    std::string key;
    std::size_t next = 0;
    for (auto _ : state) {
        const Request& request = f.requests[next];
        next = next + 1 == f.requests.size() ? 0 : next + 1;
        key.assign(request.location).append(1, '\n').append(request.key);
        target = f.baseline.find(key)->second;
        benchmark::DoNotOptimize(target);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

BENCHMARK(BM_LoadResourceString);
BENCHMARK(BM_UnorderedMapLookup);

/// Keeps the per-string times of the two benchmarks for the closing line.
class Recorder : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations == 0)
                continue;
            const double nanoseconds = run.GetAdjustedRealTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            if (run.benchmark_name().starts_with("BM_LoadResourceString"))
                gHostNanoseconds = nanoseconds;
            else
                gMapNanoseconds = nanoseconds;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    SetMainPartition(KXMM::Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, true));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    std::printf("archive: %d strings files of %d strings\n", kFiles, kKeysPerFile);
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();
    if (gHostNanoseconds > 0 && gMapNanoseconds > 0)
        std::printf("\nLoadResourceString, warm: %.0f ns a string (%.2f million strings/s); unordered_map: %.0f ns; "
                    "ratio %.2fx (goal: at most 20x)\n",
                    gHostNanoseconds, 1e3 / gHostNanoseconds, gMapNanoseconds, gHostNanoseconds / gMapNanoseconds);
    std::error_code ignored;
    fs::remove_all(TheFixture().archive.parent_path(), ignored);
    return 0;
}
