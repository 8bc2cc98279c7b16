// Command-line handling shared by the benchmark programs: each has its own
// default Google Benchmark flags and a --summary switch for a quick run that
// prints only the closing table of targets.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace Bench {

inline constexpr char kSummaryFlag[] = "--summary";
inline constexpr char kSummaryMinTimeFlag[] = "--benchmark_min_time=0.1";
inline constexpr const char* kDefaultFlags[] = {"--benchmark_repetitions=3",
                                                "--benchmark_enable_random_interleaving=true",
                                                "--benchmark_display_aggregates_only=true"};

/// Google Benchmark's help, with the --summary switch.
inline void PrintHelp()
{
    benchmark::PrintDefaultHelp();
    std::printf("          [%s]  quick run (min time 0.1 s), prints only the table of targets\n", kSummaryFlag);
}

/// Initializes Google Benchmark with the defaults first, then the quick-run
/// time for --summary, then the caller's own flags, which so override both.
/// Summary() tells whether --summary was given; Ok() is false when a flag was
/// not recognised (Google Benchmark has said which).
class BenchArguments {
public:
    BenchArguments(int argc, char** argv)
    {
        std::vector<std::string> callerFlags;
        for (int i = 1; i < argc; ++i) {
            if (std::string_view(argv[i]) == kSummaryFlag)
                summary_ = true;
            else
                callerFlags.emplace_back(argv[i]);
        }
        flags_.assign(std::begin(kDefaultFlags), std::end(kDefaultFlags));
        if (summary_)
            flags_.emplace_back(kSummaryMinTimeFlag);
        flags_.insert(flags_.end(), callerFlags.begin(), callerFlags.end());

        std::vector<char*> args{argv[0]};
        for (std::string& flag : flags_)
            args.push_back(flag.data());
        int count = static_cast<int>(args.size());
        args.push_back(nullptr);
        benchmark::Initialize(&count, args.data(), PrintHelp);
        ok_ = !benchmark::ReportUnrecognizedArguments(count, args.data());
    }

    bool Summary() const { return summary_; }
    bool Ok() const { return ok_; }

private:
    std::vector<std::string> flags_; // Google Benchmark keeps pointers into these
    bool summary_ = false;
    bool ok_ = false;
};

} // namespace Bench
