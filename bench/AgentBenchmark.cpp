// The agent's whole path under load and at rest: sustained notifications per
// second, latency from the stream's write to the notification service, the
// agent's memory, and its CPU time with a silent open stream.
#include "AgentPathBenchmark.h"
#include "PrivateSessionBus.h"

#include <QGuiApplication>

#include <cstdio>

namespace {

constexpr int pacedRate = 100;

double megabytes(qint64 kib) { return static_cast<double>(kib) / 1024.0; }

} // namespace

int main(int argc, char *argv[])
{
    PrivateSessionBus bus;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    // --quick: a short run for trying changes out, not for the record.
    const bool quick = QCoreApplication::arguments().contains(QStringLiteral("--quick"));
    const int sustainedLines = quick ? 5000 : 20000;
    const int pacedLines = quick ? 300 : 1000;
    const std::chrono::seconds idleWindow{quick ? 5 : 30};

    AgentPathBenchmark bench(QStringLiteral(PELLIX_GROWL_EXECUTABLE));
    if (!bench.start()) {
        std::fprintf(stderr, "the agent did not open its stream and announce itself\n");
        return 1;
    }
    const qint64 startedKiB = bench.residentKiB();
    const AgentPathBenchmark::Throughput throughput = bench.sustained(sustainedLines);
    const AgentPathBenchmark::Latency latency = bench.paced(pacedLines, pacedRate);
    const AgentPathBenchmark::Idle rest = bench.idle(idleWindow);
    bench.stop();

    std::printf("\nagent path: stream line -> agent -> Notify on the session bus\n");
    std::printf("  sustained   %d of %d lines arrived in %.3f s: %.0f notifications/s (bar: >= 5000);"
                " agent CPU %.0f ms\n",
                throughput.lines, sustainedLines, throughput.seconds,
                throughput.seconds > 0 ? throughput.lines / throughput.seconds : 0.0,
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
    return throughput.lines == sustainedLines && latency.arrived == pacedLines ? 0 : 1;
}
