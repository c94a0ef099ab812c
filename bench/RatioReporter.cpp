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
        std::printf("%-44s %-34s %8.2f %7.1fx %s\n", p.Operation.c_str(), p.Baseline.c_str(), ratio,
                    p.Target, ratio <= p.Target ? "ok" : "MISSED");
    }
    std::fflush(stdout);
}

int RunWithRatios(int argc, char** argv, std::vector<RatioReporter::Pair> pairs)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter(std::move(pairs));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
