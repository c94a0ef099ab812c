#include "RatioReporter.h"

#include <algorithm>
#include <cstdio>

void RatioReporter::ReportRuns(const std::vector<Run>& runs)
{
    for (const Run& run : runs) {
        if (run.error_occurred)
            continue;
        const std::string name =
            run.run_name.function_name +
            (run.run_name.args.empty() ? std::string() : "/" + run.run_name.args);
        const double ns = run.GetAdjustedRealTime() *
                          benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                          benchmark::GetTimeUnitMultiplier(run.time_unit);
        if (run.run_type == Run::RT_Iteration)
            FRuns[name].push_back(ns);
        else if (run.aggregate_name == "median")
            FMedians[name] = ns;
    }
    ConsoleReporter::ReportRuns(runs);
}

double RatioReporter::timeOf(const std::string& name) const
{
    // With repetitions, their median: one slow or fast repetition decides nothing.
    if (const auto median = FMedians.find(name); median != FMedians.end())
        return median->second;
    const auto runs = FRuns.find(name);
    if (runs == FRuns.end() || runs->second.empty())
        return -1;
    std::vector<double> times = runs->second;
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    return n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
}

void RatioReporter::Finalize()
{
    ConsoleReporter::Finalize();
    std::printf("\n%-44s %-34s %8s %8s\n", "operation", "baseline", "ratio", "target");
    for (const Pair& p : FPairs) {
        const double op = timeOf(p.Operation);
        const double base = timeOf(p.Baseline);
        if (op < 0 || base <= 0)
            continue;
        const double ratio = op / base;
        // Small ratios (an operation meant to cost a tiny part of its baseline) keep their
        // first digits.
        std::printf(ratio < 0.01 ? "%-44s %-34s %8.1e %7.0ex %s\n"
                                 : "%-44s %-34s %8.2f %7.1fx %s\n",
                    p.Operation.c_str(), p.Baseline.c_str(), ratio, p.Target,
                    ratio <= p.Target ? "ok" : "MISSED");
    }
    if (!FLimits.empty())
        std::printf("\n%-44s %34s %8s %8s\n", "operation", "", "time", "limit");
    for (const Limit& l : FLimits) {
        const double op = timeOf(l.Operation);
        if (op < 0)
            continue;
        const double ms = op / 1e6;
        std::printf("%-44s %34s %9.3g ms %6.3g ms %s\n", l.Operation.c_str(), "", ms,
                    l.MaxMilliseconds, ms <= l.MaxMilliseconds ? "ok" : "MISSED");
    }
    std::fflush(stdout);
}

int RunWithRatios(int argc, char** argv, std::vector<RatioReporter::Pair> pairs,
                  std::vector<RatioReporter::Limit> limits)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter(std::move(pairs), std::move(limits));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
