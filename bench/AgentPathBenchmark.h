// SPDX-License-Identifier: MIT

#pragma once

#include "TestNotificationService.h"
#include "TestHttpService.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <memory>

// Drives the built agent as a user runs it: a loopback stream service writes
// lines into its stream, the agent decodes and posts them, and a test
// notification service on the private session bus records when each one
// arrives. Lines carry their sequence number, so every arrival is matched to
// the moment its line was written.
class AgentPathBenchmark : public QObject
{
    Q_OBJECT

public:
    struct Throughput
    {
        int lines = 0;
        double seconds = 0;
        qint64 peakResidentKiB = 0;
        qint64 largestResidentKiB = 0;
        std::chrono::nanoseconds cpuTime{};
    };
    struct Latency
    {
        int lines = 0;
        int arrived = 0;
        double p50Milliseconds = 0;
        double p99Milliseconds = 0;
        double maxMilliseconds = 0;
    };
    struct Idle
    {
        std::chrono::seconds window{};
        std::chrono::nanoseconds cpuTime{};
        qint64 residentKiB = 0;
    };
    // Lines whose titles are all different, so each registers a new type.
    struct TitleBurst
    {
        Throughput throughput;
        qint64 largestSettingsBytes = 0;
        qint64 settingsBytesAfter = 0;
        // Files seen outside the settings folder, in the agent's TMPDIR or
        // beside the folder, while the burst ran.
        int copiesOutsideTheFolder = 0;
    };
    struct Termination
    {
        int arrivedBefore = 0;
        bool ended = false;
        double milliseconds = 0;
        int exitCode = -1;
        bool settingsIntact = false;
        int typesKept = 0;
    };
    struct Outage
    {
        int lines = 0;
        int arrived = 0;
        int duplicates = 0;
        bool inOrder = false;
        double seconds = 0;
    };
    struct Icons
    {
        int lines = 0;
        int arrived = 0;
        int withIcon = 0;
        QSize largestIcon;
        qint64 peakResidentKiB = 0;
        qint64 residentAfterKiB = 0;
    };

    struct LargeLines
    {
        int lines = 0;
        int arrived = 0;
        bool inOrder = false;
        qint64 peakResidentKiB = 0;
    };

    struct WatcherFlood
    {
        int signalCount = 0;
        int registrations = 0;
        double slowestStatusMilliseconds = 0;
        qint64 residentBeforeKiB = 0;
        qint64 peakResidentKiB = 0;
        qint64 residentAfterKiB = 0;
    };

    // From the launch of the agent to its request for the stream.
    struct StartUp
    {
        double seconds = 0;
        qint64 residentKiB = 0;
        qint64 peakResidentKiB = 0;
    };

    // From the launch to the first notification, through a host name.
    struct DualStack
    {
        bool arrived = false;
        double seconds = 0;
    };
    // From the moment the server's packets stop to the state leaving Connected.
    struct SilentDrop
    {
        bool noticed = false;
        double seconds = 0;
        QString state;
    };

    explicit AgentPathBenchmark(QString agentExecutable);
    ~AgentPathBenchmark() override;

    // Starts the agent, with a settings file of at least settingsBytes and
    // the stream service named by host, and waits until its stream is open
    // and it has said so.
    bool start(qint64 settingsBytes = 0, const QString &host = QStringLiteral("127.0.0.1"));
    StartUp lastStartUp() const;
    // Writes lines as fast as the stream takes them; timed up to the last arrival.
    Throughput sustained(int lines);
    // Writes linesPerSecond lines a second, one at a time.
    Latency paced(int lines, int linesPerSecond);
    // Leaves the open stream silent for the window.
    Idle idle(std::chrono::seconds window);
    // As sustained(), every line with a title of its own.
    TitleBurst distinctTitles(int lines);
    // A burst of distinct titles, and SIGTERM once half of it has arrived.
    Termination terminateDuringBurst(int lines);
    // A burst during which the notification service is gone for the outage.
    Outage serviceOutageDuringBurst(int lines, std::chrono::milliseconds outage);
    // count lines, each with an icon of side x side pixels of its own, fetched
    // over http or given inline as a data: address.
    Icons largeIcons(int count, int side, bool inlineIcons);
    // count lines of about bytes each, written while the notification service
    // answers nothing for the hold, then answers.
    LargeLines largeLinesToAStalledService(int count, qsizetype bytes, std::chrono::seconds hold);
    // A tray watcher appears and sends its "a host registered" signal count
    // times over the span, while the agent's state is asked for every 100 ms.
    WatcherFlood watcherFlood(int count, std::chrono::seconds span);
    // A started agent whose stream host name resolves to a dead IPv6 address
    // first and to the service second.
    DualStack firstNotificationThrough(const QString &host);
    // The open stream's server goes silent: every packet from it vanishes.
    SilentDrop silentDrop(std::chrono::seconds patience);
    void stop();
    qint64 residentKiB() const;

private:
    static QByteArray line(int sequence, const QByteArray &title = "Bench", const QByteArray &members = {});
    void joinNotificationService();
    // Whether each line's first arrival since first came after that of every line before it.
    bool arrivedInOrder(int first) const;
    void arrived(const NotifyCall &call);
    // Writes the lines from nextSequence on, as fast as the stream takes them.
    void writeLines(int lines, const std::function<QByteArray(int sequence)> &lineFor);
    // Writes the lines and measures them up to the last arrival, sampling the
    // agent's memory, and whatever else the caller samples, meanwhile.
    Throughput burst(int lines, const std::function<QByteArray(int sequence)> &lineFor,
                     std::chrono::milliseconds sampling, const std::function<void()> &sampleAlso = {});
    // Runs the event loop until count lines have arrived or the time is up;
    // it wakes on each arrival (a polling wait would add its own delay).
    bool waitForArrivals(int count, std::chrono::milliseconds timeout);
    static void runEventsFor(std::chrono::milliseconds span);
    qint64 agentPid() const;
    QString agentState() const;
    QString settingsPath() const;
    int filesOutsideTheSettingsFolder() const;

    QString executable;
    QTemporaryDir config;
    QTemporaryDir agentTemporaryFolder;
    QTemporaryDir agentRuntimeFolder;
    std::unique_ptr<TestNotificationService> notifications;
    TestHttpService stream;
    TestHttpExchange *exchange = nullptr;
    QProcess agent;
    QElapsedTimer clock;
    int nextSequence = 0;
    QHash<int, qint64> writtenAt;
    QHash<int, qint64> arrivedAt;
    QList<NotifyCall> arrivals;
    QEventLoop *waiting = nullptr;
    int wantedArrivals = 0;
    StartUp startUp;
};
