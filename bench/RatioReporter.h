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

    explicit RatioReporter(std::vector<Pair> pairs) : FPairs(std::move(pairs)) {}

    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

private:
    std::vector<Pair> FPairs;
    std::map<std::string, double> FTimes; // real time per iteration, in ns
};

// Runs the registered benchmarks with the reporter; returns the process exit code.
int RunWithRatios(int argc, char** argv, std::vector<RatioReporter::Pair> pairs);
