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

    explicit AgentPathBenchmark(QString agentExecutable);
    ~AgentPathBenchmark() override;

    // Starts the agent and waits until its stream is open and it has said so.
    bool start();
    // Writes lines as fast as the stream takes them; timed up to the last arrival.
    Throughput sustained(int lines);
    // Writes linesPerSecond lines a second, one at a time.
    Latency paced(int lines, int linesPerSecond);
    // Leaves the open stream silent for the window.
    Idle idle(std::chrono::seconds window);
    void stop();
    qint64 residentKiB() const;

private:
    static QByteArray line(int sequence);
    void arrived(const NotifyCall &call);
    // Runs the event loop until count lines have arrived or the time is up;
    // it wakes on each arrival (a polling wait would add its own delay).
    bool waitForArrivals(int count, std::chrono::milliseconds timeout);
    static void runEventsFor(std::chrono::milliseconds span);
    qint64 agentPid() const;

    QString executable;
    QTemporaryDir config;
    TestNotificationService notifications;
    TestHttpService stream;
    TestHttpExchange *exchange = nullptr;
    QProcess agent;
    QElapsedTimer clock;
    int nextSequence = 0;
    QHash<int, qint64> writtenAt;
    QHash<int, qint64> arrivedAt;
    QEventLoop *waiting = nullptr;
    int wantedArrivals = 0;
};
