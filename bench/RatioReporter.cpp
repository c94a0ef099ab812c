#include "RatioReporter.h"

#include <cstdio>

void RatioReporter::ReportRuns(const std::vector<Run>& runs)
{
    for (const Run& run : runs) {
        if (run.run_type == Run::RT_Iteration && !run.error_occurred)
            FTimes[run.run_name.function_name +
                   (run.run_name.args.empty() ? std::string() : "/" + run.run_name.args)] =
                run.GetAdjustedRealTime() *
                benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
    ConsoleReporter::ReportRuns(runs);
}

void RatioReporter::Finalize()
{
    ConsoleReporter::Finalize();
    std::printf("\n%-44s %-34s %8s %8s\n", "operation", "baseline", "ratio", "target");
    for (const Pair& p : FPairs) {
        const auto op = FTimes.find(p.Operation);
        const auto base = FTimes.find(p.Baseline);
        if (op == FTimes.end() || base == FTimes.end() || base->second <= 0)
            continue;
        const double ratio = op->second / base->second;
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
        const auto op = FTimes.find(l.Operation);
        if (op == FTimes.end())
            continue;
        const double ms = op->second / 1e6;
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
