#pragma once

#include <benchmark/benchmark.h>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Console output as usual, then a table of each measured operation against the baseline
// it was paired with, both from the same run: the ratio is what the targets are about.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    struct Pair
    {
        std::string Operation;
        std::string Baseline;
        double Target; // the largest acceptable ratio
    };

    // An operation whose own time matters too, beside its ratio.
    struct Limit
    {
        std::string Operation;
        double MaxMilliseconds;
    };

    explicit RatioReporter(std::vector<Pair> pairs, std::vector<Limit> limits = {})
        : FPairs(std::move(pairs)), FLimits(std::move(limits))
    {
    }

    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

private:
    std::vector<Pair> FPairs;
    std::vector<Limit> FLimits;
    // The real time of one iteration (ns) or -1 when not measured: the median of the
    // repetitions.
    double timeOf(const std::string& name) const;

    std::map<std::string, std::vector<double>> FRuns; // real time per iteration, in ns
    std::map<std::string, double> FMedians;           // from the aggregates, when reported
};

// Runs the registered benchmarks with the reporter; returns the process exit code.
int RunWithRatios(int argc, char** argv, std::vector<RatioReporter::Pair> pairs,
                  std::vector<RatioReporter::Limit> limits = {});
