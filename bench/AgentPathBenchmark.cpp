// SPDX-License-Identifier: MIT

#include "AgentPathBenchmark.h"

#include "ProcessUsage.h"
#include "TestNetwork.h"
#include "TestStatusNotifierHost.h"

#include <QDBusInterface>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QFileInfo>
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
    joinNotificationService();
    clock.start();
}

AgentPathBenchmark::~AgentPathBenchmark() { stop(); }

void AgentPathBenchmark::joinNotificationService()
{
    notifications = std::make_unique<TestNotificationService>();
    connect(notifications.get(), &TestNotificationService::notified, this, &AgentPathBenchmark::arrived);
}

bool AgentPathBenchmark::start(qint64 settingsBytes, const QString &host)
{
    {
        QSettings settings(settingsPath(), QSettings::IniFormat);
        // A list under a key the agent never reads, as a list that grew for
        // years would be under the key it does.
        constexpr int entryBytes = 100;
        settings.setValue(QStringLiteral("padding"),
                          QStringList(settingsBytes / entryBytes, QString(entryBytes - 2, QLatin1Char('x'))));
        settings.setValue(QStringLiteral("username"), QStringLiteral("bench"));
        settings.setValue(QStringLiteral("apikey"), QStringLiteral("bench-key"));
        settings.setValue(QStringLiteral("streamhost"), stream.streamhost().replace(QStringLiteral("127.0.0.1"), host));
        // Known already, so that no line makes the agent register a new type.
        settings.setValue(QStringLiteral("notificationTypesArray"),
                          QStringList({QStringLiteral("Generic"), QStringLiteral("Pellix"), benchTitle}));
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    environment.insert(QStringLiteral("TMPDIR"), agentTemporaryFolder.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), agentRuntimeFolder.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    agent.setProcessEnvironment(environment);
    agent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const qsizetype noticesBefore = notifications->calls().size();
    const qint64 launched = clock.nsecsElapsed();
    agent.start(executable, QStringList());
    if (!agent.waitForStarted())
        return false;
    exchange = stream.nextExchange(30000);
    if (!exchange)
        return false;
    startUp = {static_cast<double>(clock.nsecsElapsed() - launched) / 1e9, residentKiB(),
               ProcessUsage(agentPid()).peakResidentKiB()};
    exchange->sendHead(200);
    return notifications->waitForCalls(noticesBefore + 1, 10000);
}

QByteArray AgentPathBenchmark::line(int sequence, const QByteArray &title, const QByteArray &members)
{
    return "{\"title\":\"" + title + "\",\"description\":\"line " + QByteArray::number(sequence)
           + "\",\"final_uri\":\"https://example.invalid/item/" + QByteArray::number(sequence)
           + "\",\"websafe_uri\":\"https://example.invalid/safe\"" + members + "}\n";
}

void AgentPathBenchmark::arrived(const NotifyCall &call)
{
    if (!call.body.startsWith(bodyPrefix))
        return;
    arrivals.append(call);
    const int sequence = call.body.mid(bodyPrefix.size()).toInt();
    if (!arrivedAt.contains(sequence))
        arrivedAt.insert(sequence, clock.nsecsElapsed());
    if (waiting && arrivedAt.size() >= wantedArrivals)
        waiting->quit();
}

void AgentPathBenchmark::writeLines(int lines, const std::function<QByteArray(int sequence)> &lineFor)
{
    constexpr int linesPerPiece = 200;
    for (int first = 0; first < lines; first += linesPerPiece) {
        QByteArray piece;
        for (int sequence = first; sequence < std::min(lines, first + linesPerPiece); ++sequence)
            piece += lineFor(nextSequence + sequence);
        exchange->sendPiece(piece);
    }
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

AgentPathBenchmark::StartUp AgentPathBenchmark::lastStartUp() const { return startUp; }

AgentPathBenchmark::Throughput AgentPathBenchmark::sustained(int lines)
{
    return burst(lines, [](int sequence) { return line(sequence); }, std::chrono::milliseconds(20));
}

AgentPathBenchmark::Throughput AgentPathBenchmark::burst(int lines,
                                                         const std::function<QByteArray(int sequence)> &lineFor,
                                                         std::chrono::milliseconds sampling,
                                                         const std::function<void()> &sampleAlso)
{
    arrivedAt.clear();
    arrivals.clear();
    const ProcessUsage usage(agentPid());
    Throughput result;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this, [&] {
        result.largestResidentKiB = std::max(result.largestResidentKiB, usage.residentKiB());
        if (sampleAlso)
            sampleAlso();
    });
    sampler.start(sampling);
    const std::chrono::nanoseconds cpuBefore = usage.cpuTime();
    const qint64 started = clock.nsecsElapsed();
    writeLines(lines, lineFor);
    waitForArrivals(lines, std::chrono::seconds(120));
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
    arrivals.clear();
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

QString AgentPathBenchmark::settingsPath() const { return config.filePath(QStringLiteral("Pellix/PellixGrowl.conf")); }

// Anything in the agent's TMPDIR, or beside the settings folder, would be a
// copy of what the folder holds.
int AgentPathBenchmark::filesOutsideTheSettingsFolder() const
{
    const QDir::Filters entries = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
    QStringList beside = QDir(config.path()).entryList(entries);
    beside.removeAll(QStringLiteral("Pellix"));
    return static_cast<int>(QDir(agentTemporaryFolder.path()).entryList(entries).size() + beside.size());
}

AgentPathBenchmark::TitleBurst AgentPathBenchmark::distinctTitles(int lines)
{
    TitleBurst result;
    result.throughput = burst(
        lines, [](int sequence) { return line(sequence, "Build #" + QByteArray::number(sequence) + " passed"); },
        std::chrono::milliseconds(5), [&] {
            result.largestSettingsBytes = std::max(result.largestSettingsBytes, QFileInfo(settingsPath()).size());
            result.copiesOutsideTheFolder = std::max(result.copiesOutsideTheFolder, filesOutsideTheSettingsFolder());
        });
    // The last registrations reach the file within the agent's write delay.
    runEventsFor(std::chrono::seconds(2));
    result.settingsBytesAfter = QFileInfo(settingsPath()).size();
    result.largestSettingsBytes = std::max(result.largestSettingsBytes, result.settingsBytesAfter);
    return result;
}

AgentPathBenchmark::Termination AgentPathBenchmark::terminateDuringBurst(int lines)
{
    arrivedAt.clear();
    arrivals.clear();
    writeLines(lines, [](int sequence) { return line(sequence, "Deploy " + QByteArray::number(sequence)); });
    nextSequence += lines;
    Termination result;
    waitForArrivals(lines / 2, std::chrono::seconds(60));
    result.arrivedBefore = static_cast<int>(arrivedAt.size());
    QEventLoop ending;
    connect(&agent, &QProcess::finished, &ending, &QEventLoop::quit);
    QTimer::singleShot(std::chrono::seconds(10), &ending, &QEventLoop::quit);
    QElapsedTimer sinceSignal;
    ::kill(static_cast<pid_t>(agent.processId()), SIGTERM);
    sinceSignal.start();
    ending.exec();
    result.ended = agent.state() == QProcess::NotRunning;
    result.milliseconds = static_cast<double>(sinceSignal.nsecsElapsed()) / 1e6;
    result.exitCode = result.ended && agent.exitStatus() == QProcess::NormalExit ? agent.exitCode() : -1;
    QSettings settings(settingsPath(), QSettings::IniFormat);
    const QStringList types = settings.value(QStringLiteral("notificationTypesArray")).toStringList();
    settings.allKeys();
    result.typesKept = static_cast<int>(types.size());
    result.settingsIntact = settings.status() == QSettings::NoError
                            && settings.value(QStringLiteral("username")).toString() == QStringLiteral("bench")
                            && types.startsWith(QStringLiteral("Generic"));
    return result;
}

// The service leaves the bus as a killed one does: its connection drops,
// and calls it had not answered fail.
AgentPathBenchmark::Outage AgentPathBenchmark::serviceOutageDuringBurst(int lines, std::chrono::milliseconds outage)
{
    arrivedAt.clear();
    arrivals.clear();
    const int first = nextSequence;
    const qint64 started = clock.nsecsElapsed();
    writeLines(lines, [](int sequence) { return line(sequence); });
    nextSequence += lines;
    waitForArrivals(lines / 4, std::chrono::seconds(60));
    notifications.reset();
    runEventsFor(outage);
    joinNotificationService();
    waitForArrivals(lines, std::chrono::seconds(120));
    Outage result;
    result.lines = lines;
    result.arrived = static_cast<int>(arrivedAt.size());
    result.duplicates = static_cast<int>(arrivals.size() - arrivedAt.size());
    result.seconds = static_cast<double>(clock.nsecsElapsed() - started) / 1e9;
    result.inOrder = arrivedInOrder(first);
    return result;
}

bool AgentPathBenchmark::arrivedInOrder(int first) const
{
    int expected = first;
    for (const NotifyCall &call : std::as_const(arrivals)) {
        const int sequence = call.body.mid(bodyPrefix.size()).toInt();
        if (sequence == expected)
            ++expected;
        else if (sequence > expected)
            return false;
    }
    return true;
}

// The size goes in the title, which every line shares, so that the body
// still names the line.
AgentPathBenchmark::LargeLines AgentPathBenchmark::largeLinesToAStalledService(int count, qsizetype bytes,
                                                                               std::chrono::seconds hold)
{
    arrivedAt.clear();
    arrivals.clear();
    const int first = nextSequence;
    const QByteArray title(bytes, 'x');
    const ProcessUsage usage(agentPid());
    notifications->holdAnswers();
    writeLines(count, [&](int sequence) { return line(sequence, title); });
    nextSequence += count;
    runEventsFor(hold);
    notifications->releaseAnswers();
    waitForArrivals(count, std::chrono::seconds(120));
    return {count, static_cast<int>(arrivedAt.size()), arrivedInOrder(first), usage.peakResidentKiB()};
}

AgentPathBenchmark::Icons AgentPathBenchmark::largeIcons(int count, int side, bool inlineIcons)
{
    arrivedAt.clear();
    arrivals.clear();
    const QByteArray picture = TestHttpReply::png({side, side}, QColor(200, 40, 10));
    const int first = nextSequence;
    for (int icon = 0; icon < count; ++icon)
        stream.route(QStringLiteral("/icon-%1.png").arg(first + icon), TestHttpReply::picture(picture));
    const ProcessUsage usage(agentPid());
    writeLines(count, [&](int sequence) {
        const QByteArray address = inlineIcons ? "data:image/png;base64," + picture.toBase64()
                                               : stream.url(QStringLiteral("/icon-%1.png").arg(sequence)).toEncoded();
        return line(sequence, "Bench", ",\"iconpath\":\"" + address + "\"");
    });
    nextSequence += count;
    waitForArrivals(count, std::chrono::seconds(120));
    Icons result;
    result.lines = count;
    result.arrived = static_cast<int>(arrivedAt.size());
    for (const NotifyCall &call : std::as_const(arrivals)) {
        if (!call.image.isNull())
            ++result.withIcon;
        result.largestIcon = result.largestIcon.expandedTo(call.image.size());
    }
    result.peakResidentKiB = usage.peakResidentKiB();
    result.residentAfterKiB = usage.residentKiB();
    return result;
}

AgentPathBenchmark::WatcherFlood AgentPathBenchmark::watcherFlood(int count, std::chrono::seconds span)
{
    TestStatusNotifierHost watcher;
    QElapsedTimer registered;
    registered.start();
    while (watcher.items.isEmpty() && !registered.hasExpired(10000))
        runEventsFor(std::chrono::milliseconds(50));
    const ProcessUsage usage(agentPid());
    WatcherFlood result{count, 0, 0, usage.residentKiB()};
    constexpr int rounds = 100;
    // Answers that come after the measure are dropped with it.
    QObject answers;
    const QDBusMessage askState = QDBusMessage::createMethodCall(
        QStringLiteral("org.pellix.PellixGrowl"), QStringLiteral("/org/pellix/PellixGrowl"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    for (int round = 0; round < rounds; ++round) {
        for (int signal = 0; signal < count / rounds; ++signal)
            watcher.emitWatcherSignal(QStringLiteral("StatusNotifierHostRegistered"));
        QElapsedTimer asked;
        asked.start();
        auto *answer = new QDBusPendingCallWatcher(
            QDBusConnection::sessionBus().asyncCall(QDBusMessage(askState) << QStringLiteral("org.pellix.PellixGrowl")
                                                                            << QStringLiteral("State")),
            &answers);
        connect(answer, &QDBusPendingCallWatcher::finished, &answers, [&result, asked](QDBusPendingCallWatcher *call) {
            result.slowestStatusMilliseconds =
                std::max(result.slowestStatusMilliseconds, static_cast<double>(asked.nsecsElapsed()) / 1e6);
            call->deleteLater();
        });
        runEventsFor(std::chrono::duration_cast<std::chrono::milliseconds>(span) / rounds);
    }
    runEventsFor(std::chrono::seconds(5));
    result.registrations = watcher.registrations;
    result.peakResidentKiB = usage.peakResidentKiB();
    result.residentAfterKiB = usage.residentKiB();
    return result;
}

AgentPathBenchmark::DualStack AgentPathBenchmark::firstNotificationThrough(const QString &host)
{
    const qint64 launched = clock.nsecsElapsed();
    if (!start(0, host))
        return {};
    const int sequence = nextSequence++;
    arrivedAt.remove(sequence);
    exchange->sendPiece(line(sequence));
    const bool arrived = waitForArrivals(int(arrivedAt.size()) + 1, std::chrono::seconds(10));
    return {arrived, static_cast<double>(clock.nsecsElapsed() - launched) / 1e9};
}

QString AgentPathBenchmark::agentState() const
{
    return QDBusInterface(QStringLiteral("org.pellix.PellixGrowl"), QStringLiteral("/org/pellix/PellixGrowl"),
                          QStringLiteral("org.pellix.PellixGrowl"))
        .property("State")
        .toString();
}

AgentPathBenchmark::SilentDrop AgentPathBenchmark::silentDrop(std::chrono::seconds patience)
{
    SilentDrop drop;
    if (!agentState().startsWith(QStringLiteral("Connected")) || !TestNetwork::dropPacketsFrom(quint16(stream.url({}).port())))
        return drop;
    const qint64 dropped = clock.nsecsElapsed();
    const qint64 deadline = dropped + std::chrono::nanoseconds(patience).count();
    while (clock.nsecsElapsed() < deadline && agentState().startsWith(QStringLiteral("Connected")))
        runEventsFor(std::chrono::milliseconds(100));
    drop.state = agentState();
    drop.noticed = !drop.state.startsWith(QStringLiteral("Connected"));
    drop.seconds = static_cast<double>(clock.nsecsElapsed() - dropped) / 1e9;
    TestNetwork::letPacketsFlow();
    return drop;
}

void AgentPathBenchmark::stop()
{
    if (agent.state() == QProcess::NotRunning)
        return;
    ::kill(static_cast<pid_t>(agent.processId()), SIGTERM);
    if (agent.waitForFinished(10000))
        return;
    agent.kill();
    agent.waitForFinished();
}
