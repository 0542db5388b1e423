// SPDX-License-Identifier: MIT

#pragma once

#include <QtGlobal>

#include <chrono>

// What a running process costs, read from /proc/<pid>: CPU time summed over
// all its threads (nanosecond scheduler accounting, far finer than the clock
// ticks of getrusage) and resident memory.
class ProcessUsage
{
public:
    explicit ProcessUsage(qint64 pid);

    std::chrono::nanoseconds cpuTime() const;
    qint64 residentKiB() const;
    qint64 peakResidentKiB() const;

private:
    qint64 statusKiB(const char *field) const;

    qint64 pid;
};
