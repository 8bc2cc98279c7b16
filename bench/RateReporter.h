// The console reporter of the benchmarks that compare items per second: it
// keeps every repetition's rate, so a program can print its table of targets
// from the medians after the run. With `quiet` (--summary) it prints nothing
// of its own.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace Bench {

class RateReporter : public benchmark::ConsoleReporter {
public:
    explicit RateReporter(bool quiet) : quiet_(quiet) {}

    bool ReportContext(const Context& context) override
    {
        return quiet_ || benchmark::ConsoleReporter::ReportContext(context);
    }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const auto rate = run.counters.find("items_per_second");
            if (run.error_occurred || rate == run.counters.end())
                continue;
            if (run.run_type == Run::RT_Iteration)
                rates_[run.run_name.str()].push_back(rate->second.value);
            else if (run.aggregate_name == "median")
                medians_[run.run_name.function_name] = rate->second.value;
        }
        if (!quiet_)
            benchmark::ConsoleReporter::ReportRuns(runs);
    }

    /// The median rate of benchmark `name` over its repetitions (Google
    /// Benchmark's own median when only that was reported); 0 when it did
    /// not run.
    double Median(const std::string& name) const
    {
        if (auto found = rates_.find(name); found != rates_.end() && !found->second.empty()) {
            std::vector<double> rates = found->second;
            std::sort(rates.begin(), rates.end());
            const std::size_t n = rates.size();
            return n % 2 ? rates[n / 2] : (rates[n / 2 - 1] + rates[n / 2]) / 2;
        }
        const auto found = medians_.find(name);
        return found == medians_.end() ? 0 : found->second;
    }

private:
    bool quiet_;
    std::map<std::string, std::vector<double>> rates_;
    std::map<std::string, double> medians_;
};

} // namespace Bench
