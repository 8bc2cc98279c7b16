// CFormatStringBench: CFormatString::Format measured against the C library's
// swprintf, the baseline its performance target names.
//
// The message is a typical one of the plug-in, with three text and two
// integer arguments. Format() of a prepared formatter runs against one
// swprintf of the whole message with the same arguments (already wide
// strings, into a stack buffer); the full use, constructing the formatter and
// adding the five arguments before Format(), is measured too, for the record.
// Each benchmark is repeated three times in a shuffled order, and a closing
// table gives the medians, the ratio, its limit and whether it is met; the
// exit status is 1 when the limit is missed.
//
//   CFormatStringBench              Google Benchmark's report, then the table
//   CFormatStringBench --summary    quick run, only the table
//
// The benchmark is one of the places outside the platform layer that calls
// the C library's formatting directly: it is the baseline being measured.
#include "KXMM/KXMM.h"
#include "strings/CFormatString.h"
#include "strings/MainPartition.h"

#include "bench/BenchArguments.h"
#include "bench/RateReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

namespace {

/// The target: Format() costs at most as much as the one swprintf.
constexpr double kLimit = 1.0;

constexpr char kTemplate[] = "Plug-in %s in folder %s: %d of %d files encrypted (%s)";
constexpr wchar_t kWideTemplate[] = L"Plug-in %ls in folder %ls: %d of %d files encrypted (%ls)";
constexpr char kName[] = "EncryptTools.csm";
constexpr char kFolder[] = "C:/Program Files/Calvera/Plug-ins/Batch";
constexpr char kState[] = "done";
constexpr wchar_t kWideName[] = L"EncryptTools.csm";
constexpr wchar_t kWideFolder[] = L"C:/Program Files/Calvera/Plug-ins/Batch";
constexpr wchar_t kWideState[] = L"done";
constexpr int kDone = 17;
constexpr int kTotal = 42;

void AddArguments(CFormatString& format, const TXString& name, const TXString& folder, const TXString& state)
{
    format.Add(name).Add(folder).Add(kDone).Add(kTotal).Add(state);
}

void BM_Format(benchmark::State& state)
{
    CFormatString format{TXString(kTemplate)};
    AddArguments(format, TXString(kName), TXString(kFolder), TXString(kState));
    for (auto _ : state) {
        TXString result = format.Format();
        benchmark::DoNotOptimize(result.GetData());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_BuildAndFormat(benchmark::State& state)
{
    const TXString templ(kTemplate);
    const TXString name(kName);
    const TXString folder(kFolder);
    const TXString stateText(kState);
    for (auto _ : state) {
        CFormatString format(templ);
        AddArguments(format, name, folder, stateText);
        TXString result = format.Format();
        benchmark::DoNotOptimize(result.GetData());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Swprintf(benchmark::State& state)
{
    wchar_t buffer[1024];
    for (auto _ : state) {
        const int n = std::swprintf(buffer, std::size(buffer), kWideTemplate, kWideName, kWideFolder, kDone, kTotal,
                                    kWideState);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(buffer);
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

int main(int argc, char** argv)
{
    const Bench::BenchArguments arguments(argc, argv);
    if (!arguments.Ok())
        return 1;
    SetMainPartition(KXMM::Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, true));
    benchmark::RegisterBenchmark("Format/Prepared", BM_Format);
    benchmark::RegisterBenchmark("Format/BuildAndFormat", BM_BuildAndFormat);
    benchmark::RegisterBenchmark("Swprintf/WholeMessage", BM_Swprintf);
    Bench::RateReporter reporter(arguments.Summary());
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double baseline = reporter.Median("Swprintf/WholeMessage");
    const double prepared = reporter.Median("Format/Prepared");
    const double built = reporter.Median("Format/BuildAndFormat");
    std::printf("\nCFormatString against one whole-message swprintf (median of the repetitions; ratio = relative "
                "cost)\n\n%-44s %10s %8s  %s\n%s\n",
                "target", "ratio", "limit", "result", std::string(74, '-').c_str());
    int missed = 0;
    if (baseline <= 0 || prepared <= 0) {
        std::printf("%-44s %10s %8s  %s\n", "Format() vs swprintf (cost)", "-", "-", "not run");
    } else {
        const double ratio = baseline / prepared;
        missed = ratio <= kLimit ? 0 : 1;
        std::printf("%-44s %9.2fx %7s  %s\n", "Format() vs swprintf (cost)", ratio, "<=1.0x",
                    missed ? "MISSED" : "met");
    }
    if (baseline > 0 && built > 0)
        std::printf("%-44s %9.2fx %8s  %s\n", "construct + 5 Add + Format() vs swprintf", baseline / built, "-",
                    "for the record");
    std::printf("%s\n", std::string(74, '-').c_str());
    benchmark::Shutdown();
    return missed;
}
