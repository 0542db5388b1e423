// SPDX-License-Identifier: MIT

#include "ThroughputTable.h"

#include <algorithm>
#include <iomanip>
#include <set>

namespace {
std::vector<std::string> splitName(const std::string &name)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t slash; (slash = name.find('/', start)) != std::string::npos; start = slash + 1)
        parts.push_back(name.substr(start, slash - start));
    parts.push_back(name.substr(start));
    return parts;
}

// The middle of repeated runs: a shared machine's busy spells push single
// runs either way.
double median(std::vector<double> figures)
{
    const auto middle = figures.begin() + static_cast<std::ptrdiff_t>(figures.size() / 2);
    std::ranges::nth_element(figures, middle);
    return *middle;
}
}

ThroughputTable::ThroughputTable(std::string ownLibraryName)
    : ownLibrary(std::move(ownLibraryName))
{
}

void ThroughputTable::ReportRuns(const std::vector<Run> &runs)
{
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
        if (run.error_occurred || run.run_type != Run::RT_Iteration)
            continue;
        const auto parts = splitName(run.run_name.function_name);
        const auto bytesPerSecond = run.counters.find("bytes_per_second");
        if (parts.size() != 3 || bytesPerSecond == run.counters.end())
            continue;
        megabytesPerSecond[{parts[0], parts[1]}][parts[2]].push_back(bytesPerSecond->second.value / 1e6);
    }
}

void ThroughputTable::printTables(std::ostream &out) const
{
    std::set<std::string> operations;
    for (const auto &[key, figures] : megabytesPerSecond)
        operations.insert(key.operation);

    out << std::fixed << std::setprecision(0);
    for (const std::string &operation : operations) {
        out << "\n" << operation << " throughput, MB/s (ratio = " << ownLibrary << " / peer)\n";
        for (const auto &[key, figures] : megabytesPerSecond) {
            if (key.operation != operation)
                continue;
            const auto own = figures.find(ownLibrary);
            out << "  " << std::left << std::setw(18) << key.corpus;
            const double ownFigure = own != figures.end() ? median(own->second) : 0;
            if (own != figures.end())
                out << ownLibrary << " " << ownFigure;
            for (const auto &[library, runs] : figures) {
                if (library == ownLibrary)
                    continue;
                const double figure = median(runs);
                out << " | " << library << " " << figure;
                if (own != figures.end())
                    out << std::setprecision(2) << " (" << ownFigure / figure << "x)" << std::setprecision(0);
            }
            out << "\n";
        }
    }
}
