// What the benchmarks share: a reporter that keeps each benchmark's median
// time so that main can print ratios against the baseline measured in the
// same run, and the main that sets the defaults.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench_heap.h"

namespace bench {

inline double NanosecondsPer(benchmark::TimeUnit unit) {
    switch (unit) {
    case benchmark::kNanosecond: return 1.0;
    case benchmark::kMicrosecond: return 1e3;
    case benchmark::kMillisecond: return 1e6;
    case benchmark::kSecond: return 1e9;
    }
    return 1.0;
}

// Prints as the console reporter does and remembers, per benchmark name, the
// CPU time per iteration of every repetition and the median aggregate. CPU
// time, not wall time: the machine is shared, and a preempted benchmark
// should not look slow.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const std::string name = run.run_name.function_name;
            if (run.error_occurred) {
                failed_ = true;
                continue;
            }
            const double ns = run.GetAdjustedCPUTime() * NanosecondsPer(run.time_unit);
            if (run.run_type == Run::RT_Iteration) {
                repetitions_[name].push_back(ns);
            } else if (run.aggregate_name == "median") {
                medians_[name] = ns;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Median CPU nanoseconds per iteration, or NaN when the benchmark did not
    // run (filtered out, or it failed).
    double MedianNs(const std::string& name) const {
        const auto median = medians_.find(name);
        if (median != medians_.end()) {
            return median->second;
        }
        const auto found = repetitions_.find(name);
        if (found == repetitions_.end() || found->second.empty()) {
            return std::nan("");
        }
        std::vector<double> times = found->second;
        std::sort(times.begin(), times.end());
        const size_t n = times.size();
        return n % 2 == 1 ? times[n / 2] : 0.5 * (times[n / 2 - 1] + times[n / 2]);
    }

    bool AnyFailed() const { return failed_; }

private:
    std::map<std::string, std::vector<double>> repetitions_;
    std::map<std::string, double> medians_;
    bool failed_ = false;
};

// Runs the registered benchmarks with five repetitions and only the
// aggregates shown, unless the command line says otherwise (its flags come
// after the defaults and win). Returns the process's exit status.
template <typename Summary>
int RunBenchmarks(int argc, char** argv, Summary summary) {
    std::vector<char*> args;
    args.push_back(argv[0]);
    static char repetitions[] = "--benchmark_repetitions=5";
    static char aggregatesOnly[] = "--benchmark_display_aggregates_only=true";
    args.push_back(repetitions);
    args.push_back(aggregatesOnly);
    for (int i = 1; i < argc; ++i) {
        args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) {
        return 2;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("\n");
    const bool ok = summary(reporter);
    std::fflush(stdout);
    return ok && !reporter.AnyFailed() ? 0 : 1;
}

}  // namespace bench
