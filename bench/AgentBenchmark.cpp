// SPDX-License-Identifier: MIT

// The agent's whole path under load and at rest: sustained notifications per
// second, latency from the stream's write to the notification service, the
// agent's memory, and its CPU time with a silent open stream. Then what
// careless or hostile input costs: a new title in every line, SIGTERM in the
// middle of such a burst, large icons, and a notification service that goes
// away during a burst. Last, on a network of its own (root only), what a
// dead IPv6 address and a server gone in silence cost.
#include "AgentPathBenchmark.h"
#include "PrivateSessionBus.h"
#include "TestNetwork.h"

#include <QGuiApplication>

#include <cstdio>

namespace {

constexpr int pacedRate = 100;

double megabytes(qint64 kib) { return static_cast<double>(kib) / 1024.0; }
double kilobytes(qint64 bytes) { return static_cast<double>(bytes) / 1024.0; }

double rate(const AgentPathBenchmark::Throughput &throughput)
{
    return throughput.seconds > 0 ? throughput.lines / throughput.seconds : 0.0;
}

bool started(AgentPathBenchmark &bench, qint64 settingsBytes = 0)
{
    if (bench.start(settingsBytes))
        return true;
    std::fprintf(stderr, "the agent did not open its stream and announce itself\n");
    return false;
}

} // namespace

// The agent's defaults: the first keepalive probe after 60 s, then 3 more
// 10 s apart, so a silent drop is noticed about 90 s after the last data.
void networkPaths(AgentPathBenchmark &bench)
{
    std::printf("\nnetworks\n");
    const AgentPathBenchmark::DualStack dualStack = bench.firstNotificationThrough(QString::fromLatin1(TestNetwork::hostName));
    std::printf("  dual stack  a host whose IPv6 address is dead, its IPv4 address alive: first notification %s"
                " %.2f s after the launch (bar: < 1 s)\n",
                dualStack.arrived ? "shown" : "NOT shown", dualStack.seconds);
    std::fflush(stdout);
    const AgentPathBenchmark::SilentDrop drop = bench.silentDrop(std::chrono::seconds(180));
    std::printf("  silent drop every packet of the server dropped: %s after %.1f s (bar: < 120 s): %s\n",
                drop.noticed ? "noticed" : "NOT noticed", drop.seconds, qPrintable(drop.state));
    bench.stop();
}

int main(int argc, char *argv[])
{
    // Before any thread starts, as a namespace must be entered.
    const QString network = TestNetwork::enter();
    PrivateSessionBus bus;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    // --quick: a short run for trying changes out, not for the record.
    const bool quick = QCoreApplication::arguments().contains(QStringLiteral("--quick"));
    const int sustainedLines = quick ? 5000 : 20000;
    const int pacedLines = quick ? 300 : 1000;
    const std::chrono::seconds idleWindow{quick ? 5 : 30};
    const int titleLines = 10000;
    const int outageLines = quick ? 3000 : 10000;
    const int iconLines = 80;
    const int iconSide = 2800;
    const qint64 largeSettingsBytes = qint64(50) * 1000 * 1000;

    AgentPathBenchmark bench(QStringLiteral(PELLIX_GROWL_EXECUTABLE));
    if (!started(bench))
        return 1;
    const qint64 startedKiB = bench.residentKiB();
    const AgentPathBenchmark::Throughput throughput = bench.sustained(sustainedLines);
    const AgentPathBenchmark::Latency latency = bench.paced(pacedLines, pacedRate);
    const AgentPathBenchmark::Idle rest = bench.idle(idleWindow);

    std::printf("\nagent path: stream line -> agent -> Notify on the session bus\n");
    std::printf("  sustained   %d of %d lines arrived in %.3f s: %.0f notifications/s (bar: >= 5000);"
                " agent CPU %.0f ms\n",
                throughput.lines, sustainedLines, throughput.seconds, rate(throughput),
                static_cast<double>(throughput.cpuTime.count()) / 1e6);
    std::printf("  latency     %d of %d lines at %d lines/s: p50 %.2f ms, p99 %.2f ms, max %.2f ms (bar: p99 < 5 ms)\n",
                latency.arrived, latency.lines, pacedRate, latency.p50Milliseconds, latency.p99Milliseconds,
                latency.maxMilliseconds);
    std::printf("  memory      resident %.1f MB once started, while streaming up to %.1f MB, peak %.1f MB"
                " (bar: < 40 MB)\n",
                megabytes(startedKiB), megabytes(throughput.largestResidentKiB), megabytes(throughput.peakResidentKiB));
    std::printf("  idle        %lld s with the stream open and silent: %.3f ms CPU (bar: < 10 ms), resident %.1f MB\n",
                static_cast<long long>(rest.window.count()), static_cast<double>(rest.cpuTime.count()) / 1e6,
                megabytes(rest.residentKiB));
    bool allArrived = throughput.lines == sustainedLines && latency.arrived == pacedLines;

    std::printf("\nreliability\n");
    const AgentPathBenchmark::TitleBurst titles = bench.distinctTitles(titleLines);
    std::printf("  new titles  %d of %d lines, each a new title, in %.3f s: %.0f notifications/s (bar: >= 2000);"
                " agent CPU %.0f ms, resident up to %.1f MB\n",
                titles.throughput.lines, titleLines, titles.throughput.seconds, rate(titles.throughput),
                static_cast<double>(titles.throughput.cpuTime.count()) / 1e6,
                megabytes(titles.throughput.largestResidentKiB));
    std::printf("              settings file up to %.1f KB, %.1f KB afterwards (bar: < 512 KB);"
                " files outside its folder: %d (bar: 0)\n",
                kilobytes(titles.largestSettingsBytes), kilobytes(titles.settingsBytesAfter),
                titles.copiesOutsideTheFolder);
    std::fflush(stdout);
    const AgentPathBenchmark::Outage outage = bench.serviceOutageDuringBurst(outageLines, std::chrono::seconds(5));
    std::printf("  outage      notification service gone for 5 s during %d lines: %d arrived (%d lost, bar: 0),"
                " %s, %d shown twice; %.1f s in all\n",
                outage.lines, outage.arrived, outage.lines - outage.arrived,
                outage.inOrder ? "in order" : "OUT OF ORDER", outage.duplicates, outage.seconds);
    std::fflush(stdout);
    bench.stop();
    allArrived = allArrived && titles.throughput.lines == titleLines && outage.arrived == outage.lines
                 && outage.inOrder;

    // Each measure of peak memory has an agent of its own.
    for (const bool inlineIcons : {false, true}) {
        if (!started(bench))
            return 1;
        const AgentPathBenchmark::Icons run = bench.largeIcons(iconLines, iconSide, inlineIcons);
        std::printf("  icons       %d of %d lines with a %dx%d PNG %s: %d shown with an icon of at most %dx%d;"
                    " peak resident %.1f MB (bar: < 100 MB), %.1f MB afterwards\n",
                    run.arrived, run.lines, iconSide, iconSide, inlineIcons ? "as a data: address" : "over http",
                    run.withIcon, run.largestIcon.width(), run.largestIcon.height(), megabytes(run.peakResidentKiB),
                    megabytes(run.residentAfterKiB));
        std::fflush(stdout);
        bench.stop();
        allArrived = allArrived && run.arrived == iconLines;
    }

    if (!started(bench))
        return 1;
    const AgentPathBenchmark::LargeLines large = bench.largeLinesToAStalledService(400, 1000 * 1000, std::chrono::seconds(10));
    std::printf("  large lines %d lines of 1 MB while the notification service answers nothing for 10 s: %d shown, %s;"
                " peak resident %.1f MB (bar: < 100 MB)\n",
                large.lines, large.arrived, large.inOrder ? "in order" : "OUT OF ORDER", megabytes(large.peakResidentKiB));
    std::fflush(stdout);
    bench.stop();
    allArrived = allArrived && large.arrived == large.lines && large.inOrder;

    if (!started(bench))
        return 1;
    const AgentPathBenchmark::WatcherFlood flood = bench.watcherFlood(100000, std::chrono::seconds(10));
    std::printf("  watcher     %d \"host registered\" signals in 10 s: %d registrations; state answered within"
                " %.0f ms at most (bar: < 1000 ms); resident %.1f MB before, %.1f MB peak, %.1f MB 5 s after"
                " (bar: within 10 MB)\n",
                flood.signalCount, flood.registrations, flood.slowestStatusMilliseconds,
                megabytes(flood.residentBeforeKiB), megabytes(flood.peakResidentKiB), megabytes(flood.residentAfterKiB));
    std::fflush(stdout);
    bench.stop();

    if (!started(bench, largeSettingsBytes))
        return 1;
    const AgentPathBenchmark::StartUp largeSettings = bench.lastStartUp();
    std::printf("  settings    a settings file of %.0f MB: stream requested %.2f s after the launch,"
                " resident %.1f MB then, peak %.1f MB\n",
                static_cast<double>(largeSettingsBytes) / 1e6, largeSettings.seconds, megabytes(largeSettings.residentKiB),
                megabytes(largeSettings.peakResidentKiB));
    std::fflush(stdout);
    bench.stop();

    if (!started(bench))
        return 1;
    const AgentPathBenchmark::Termination termination = bench.terminateDuringBurst(titleLines);
    std::printf("  SIGTERM     sent once %d of %d lines had arrived: %s after %.0f ms (bar: < 2000 ms), exit status %d,"
                " settings %s with %d types\n",
                termination.arrivedBefore, titleLines, termination.ended ? "ended" : "still running",
                termination.milliseconds, termination.exitCode, termination.settingsIntact ? "intact" : "DAMAGED",
                termination.typesKept);
    bench.stop();
    if (network.isEmpty())
        networkPaths(bench);
    else
        std::printf("\nnetworks: not measured, %s\n", qPrintable(network));
    return allArrived && termination.ended && termination.settingsIntact ? 0 : 1;
}
