// SPDX-License-Identifier: MIT

#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

// Collects the throughput of benchmarks named "<operation>/<corpus>/<library>"
// while passing every run on to the console, then prints one table per
// operation: each peer's MB/s and this codec's ratio to it. Of repeated runs
// (--benchmark_repetitions) the median is shown.
class ThroughputTable : public benchmark::ConsoleReporter
{
public:
    explicit ThroughputTable(std::string ownLibraryName);

    void ReportRuns(const std::vector<Run> &runs) override;
    void printTables(std::ostream &out) const;

private:
    struct Key
    {
        std::string operation;
        std::string corpus;
        auto operator<=>(const Key &) const = default;
    };

    std::string ownLibrary;
    // Every run's figure, by operation and corpus, then by library.
    std::map<Key, std::map<std::string, std::vector<double>>> megabytesPerSecond;
};
