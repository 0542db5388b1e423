#include "AgentPathBenchmark.h"

#include "ProcessUsage.h"

#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <csignal>

namespace {

const QString benchTitle = QStringLiteral("Bench");
const QString bodyPrefix = QStringLiteral("line ");

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

} // namespace

AgentPathBenchmark::AgentPathBenchmark(QString agentExecutable) : executable(std::move(agentExecutable))
{
    connect(&notifications, &TestNotificationService::notified, this, &AgentPathBenchmark::arrived);
    clock.start();
}

AgentPathBenchmark::~AgentPathBenchmark() { stop(); }

bool AgentPathBenchmark::start()
{
    {
        QSettings settings(config.path() + QStringLiteral("/Pellix/PellixGrowl.conf"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("username"), QStringLiteral("bench"));
        settings.setValue(QStringLiteral("apikey"), QStringLiteral("bench-key"));
        settings.setValue(QStringLiteral("streamhost"), stream.streamhost());
        // Known already, so that no line makes the agent register a new type.
        settings.setValue(QStringLiteral("notificationTypesArray"),
                          QStringList({QStringLiteral("Generic"), QStringLiteral("Pellix"), benchTitle}));
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    agent.setProcessEnvironment(environment);
    agent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    agent.start(executable, QStringList());
    if (!agent.waitForStarted())
        return false;
    exchange = stream.nextExchange(10000);
    if (!exchange)
        return false;
    exchange->sendHead(200);
    return notifications.waitForCalls(1, 10000);
}

QByteArray AgentPathBenchmark::line(int sequence)
{
    return QByteArrayLiteral("{\"title\":\"Bench\",\"description\":\"line ") + QByteArray::number(sequence) +
           QByteArrayLiteral("\",\"final_uri\":\"https://example.invalid/item/") + QByteArray::number(sequence) +
           QByteArrayLiteral("\",\"websafe_uri\":\"https://example.invalid/safe\"}\n");
}

void AgentPathBenchmark::arrived(const NotifyCall &call)
{
    if (call.summary != benchTitle || !call.body.startsWith(bodyPrefix))
        return;
    arrivedAt.insert(call.body.mid(bodyPrefix.size()).toInt(), clock.nsecsElapsed());
    if (waiting && arrivedAt.size() >= wantedArrivals)
        waiting->quit();
}

bool AgentPathBenchmark::waitForArrivals(int count, std::chrono::milliseconds timeout)
{
    if (arrivedAt.size() < count) {
        QEventLoop loop;
        QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
        wantedArrivals = count;
        waiting = &loop;
        loop.exec();
        waiting = nullptr;
    }
    return arrivedAt.size() >= count;
}

void AgentPathBenchmark::runEventsFor(std::chrono::milliseconds span)
{
    QEventLoop loop;
    QTimer::singleShot(span, &loop, &QEventLoop::quit);
    loop.exec();
}

qint64 AgentPathBenchmark::agentPid() const { return agent.processId(); }

qint64 AgentPathBenchmark::residentKiB() const { return ProcessUsage(agentPid()).residentKiB(); }

AgentPathBenchmark::Throughput AgentPathBenchmark::sustained(int lines)
{
    constexpr int linesPerPiece = 200;
    arrivedAt.clear();
    const ProcessUsage usage(agentPid());
    Throughput result;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this,
            [&] { result.largestResidentKiB = std::max(result.largestResidentKiB, usage.residentKiB()); });
    sampler.start(20);
    const std::chrono::nanoseconds cpuBefore = usage.cpuTime();
    const qint64 started = clock.nsecsElapsed();
    for (int first = 0; first < lines; first += linesPerPiece) {
        QByteArray piece;
        for (int sequence = first; sequence < std::min(lines, first + linesPerPiece); ++sequence)
            piece += line(nextSequence + sequence);
        exchange->sendPiece(piece);
    }
    const int wanted = lines;
    waitForArrivals(wanted, std::chrono::seconds(120));
    qint64 last = started;
    for (const qint64 at : std::as_const(arrivedAt))
        last = std::max(last, at);
    nextSequence += lines;
    result.lines = static_cast<int>(arrivedAt.size());
    result.seconds = static_cast<double>(last - started) / 1e9;
    result.cpuTime = usage.cpuTime() - cpuBefore;
    result.peakResidentKiB = usage.peakResidentKiB();
    result.largestResidentKiB = std::max(result.largestResidentKiB, usage.residentKiB());
    return result;
}

AgentPathBenchmark::Latency AgentPathBenchmark::paced(int lines, int linesPerSecond)
{
    arrivedAt.clear();
    writtenAt.clear();
    const int first = nextSequence;
    QTimer pace;
    pace.setTimerType(Qt::PreciseTimer);
    int written = 0;
    connect(&pace, &QTimer::timeout, this, [&] {
        const int sequence = first + written;
        writtenAt.insert(sequence, clock.nsecsElapsed());
        exchange->sendPiece(line(sequence));
        if (++written == lines)
            pace.stop();
    });
    pace.start(1000 / linesPerSecond);
    waitForArrivals(lines, std::chrono::milliseconds(lines * 1000 / linesPerSecond + 10000));
    nextSequence += lines;
    std::vector<double> milliseconds;
    for (auto at = arrivedAt.cbegin(); at != arrivedAt.cend(); ++at) {
        if (writtenAt.contains(at.key()))
            milliseconds.push_back(static_cast<double>(at.value() - writtenAt.value(at.key())) / 1e6);
    }
    Latency result;
    result.lines = lines;
    result.arrived = static_cast<int>(milliseconds.size());
    result.p50Milliseconds = percentile(milliseconds, 0.50);
    result.p99Milliseconds = percentile(milliseconds, 0.99);
    result.maxMilliseconds = milliseconds.empty() ? 0 : *std::max_element(milliseconds.begin(), milliseconds.end());
    return result;
}

AgentPathBenchmark::Idle AgentPathBenchmark::idle(std::chrono::seconds window)
{
    const ProcessUsage usage(agentPid());
    // Let whatever the last lines started settle first.
    runEventsFor(std::chrono::seconds(1));
    const std::chrono::nanoseconds before = usage.cpuTime();
    runEventsFor(window);
    Idle result;
    result.window = window;
    result.cpuTime = usage.cpuTime() - before;
    result.residentKiB = usage.residentKiB();
    return result;
}

void AgentPathBenchmark::stop()
{
    if (agent.state() == QProcess::NotRunning)
        return;
    ::kill(static_cast<pid_t>(agent.processId()), SIGTERM);
    if (!agent.waitForFinished(10000))
        agent.kill();
}
