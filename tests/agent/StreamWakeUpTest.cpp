#include "PellixSettings.h"
#include "PellixTestEnvironment.h"
#include "PrefsWindowController.h"
#include "TestStreamService.h"
#include "WakeUpWatcher.h"
#include "pellix_growlAppDelegate.h"

#include <QSignalSpy>

namespace {
using Reachability = QNetworkInformation::Reachability;

// Feeds the watcher what logind or the reachability backend would report.
void report(WakeUpWatcher &watcher, const QString &event)
{
    if (event == QLatin1String("sleep"))
        watcher.prepareForSleep(true);
    else if (event == QLatin1String("resume"))
        watcher.prepareForSleep(false);
    else if (event == QLatin1String("online"))
        watcher.reachabilityChanged(Reachability::Online);
    else if (event == QLatin1String("local"))
        watcher.reachabilityChanged(Reachability::Local);
    else if (event == QLatin1String("offline"))
        watcher.reachabilityChanged(Reachability::Disconnected);
    else if (event == QLatin1String("unknown"))
        watcher.reachabilityChanged(Reachability::Unknown);
    else
        qFatal("no such event: %s", qPrintable(event));
}

// The two ways back: a resume, and the network returning after an outage.
void wakeUp(WakeUpWatcher &watcher, const QString &how)
{
    const QStringList events = how == QLatin1String("resume")
                                   ? QStringList{QStringLiteral("sleep"), QStringLiteral("resume")}
                                   : QStringList{QStringLiteral("online"), QStringLiteral("offline"),
                                                 QStringLiteral("online")};
    for (const QString &event : events)
        report(watcher, event);
}

QWidget *preferencesWindow()
{
    return PrefsWindowController::initWithWindowNibName(QStringLiteral("PrefsWindow"))->window();
}
}

class StreamWakeUpTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestStreamService> service;
    std::unique_ptr<pellix_growlAppDelegate> delegate;

    void configure(const QString &username)
    {
        PellixSettings settings;
        settings.setUsername(username);
        settings.setApikey(QStringLiteral("secret"));
        settings.setStreamhost(service->streamhost());
        settings.synchronize();
    }

    int waitSeconds() const { return delegate->reconnectTimer()->interval() / 1000; }

    // Opens the stream and lets it and each re-open fail; the last failure
    // leaves a re-open pending. Answers the waits scheduled.
    QList<int> failOpens(int count)
    {
        QList<int> waits;
        service->setFallbackReply(TestStreamReply::dropped(TestStreamReply::Ending::Reset));
        for (int failure = 0; failure < count; ++failure) {
            const qsizetype before = service->requests().size();
            QTimer *reopen = delegate->reconnectTimer();
            if (failure == 0)
                delegate->reconnectNotificationStream();
            else
                reopen->start(0);
            if (!service->waitForRequests(before + 1) || !QTest::qWaitFor([reopen] { return reopen->isActive(); }))
                qWarning("the stream was not opened, or no re-open followed its failure");
            waits.append(waitSeconds());
        }
        service->setFallbackReply(std::nullopt);
        return waits;
    }

private slots:
    void init()
    {
        PellixTestEnvironment::clearSettings();
        service = std::make_unique<TestStreamService>();
        delegate = std::make_unique<pellix_growlAppDelegate>();
        configure(QStringLiteral("alice"));
    }

    void cleanup()
    {
        delegate.reset();
        service.reset();
        if (QWidget *window = preferencesWindow())
            window->hide();
    }

    void onlyAResumeOrAReturnFromAnOutageCounts_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<int>("wakeUps");
        QTest::newRow("resume") << "resume" << 1;
        QTest::newRow("going to sleep") << "sleep" << 0;
        QTest::newRow("two resumes") << "sleep resume sleep resume" << 2;
        QTest::newRow("first report online") << "online" << 0;
        QTest::newRow("back from offline") << "offline online" << 1;
        QTest::newRow("back from local only") << "offline local online" << 1;
        QTest::newRow("still local") << "offline local" << 0;
        QTest::newRow("from unknown") << "unknown online" << 0;
        QTest::newRow("online, out, back") << "online offline online" << 1;
        QTest::newRow("two outages") << "offline online offline online" << 2;
    }

    void onlyAResumeOrAReturnFromAnOutageCounts()
    {
        QFETCH(QString, events);
        QFETCH(int, wakeUps);
        WakeUpWatcher watcher;
        QSignalSpy woken(&watcher, &WakeUpWatcher::wokeUp);
        for (const QString &event : events.split(QLatin1Char(' ')))
            report(watcher, event);
        QCOMPARE(woken.size(), wakeUps);
    }

    void wakeUp_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("resume") << "resume";
        QTest::newRow("network back") << "network";
    }

    void aWaitingStreamOpensAtOnceAndKeepsItsBackOff_data() { wakeUp_data(); }

    void aWaitingStreamOpensAtOnceAndKeepsItsBackOff()
    {
        QFETCH(QString, how);
        QCOMPARE(failOpens(5), QList<int>({1, 3, 7, 15, 31}));
        QVERIFY(delegate->reconnectTimer()->isActive());

        wakeUp(*delegate->wakeUps(), how);
        QVERIFY(!delegate->reconnectTimer()->isActive());
        TestStreamExchange *exchange = service->nextExchange();
        QVERIFY(exchange);

        exchange->reset();
        QTRY_VERIFY(delegate->reconnectTimer()->isActive());
        QCOMPARE(waitSeconds(), 61);
    }

    void anOpenStreamIsReplaced_data() { wakeUp_data(); }

    void anOpenStreamIsReplaced()
    {
        QFETCH(QString, how);
        delegate->reconnectNotificationStream();
        TestStreamExchange *before = service->nextExchange();
        QVERIFY(before);
        before->sendHead(200);
        before->sendPiece("{\"title\":\"t\"}\n");

        wakeUp(*delegate->wakeUps(), how);
        QVERIFY(before->waitForClosedByPeer());
        QVERIFY(service->nextExchange());
        QCOMPARE(service->requests().size(), 2);
        QVERIFY(!delegate->reconnectTimer()->isActive());
    }

    void anIdleStreamStaysIdle_data() { wakeUp_data(); }

    void anIdleStreamStaysIdle()
    {
        QFETCH(QString, how);
        wakeUp(*delegate->wakeUps(), how);
        QTest::qWait(200);
        QVERIFY(service->requests().isEmpty());
        QVERIFY(!delegate->reconnectTimer()->isActive());
    }

    void incompleteSettingsLeaveEverythingAsItIs_data() { wakeUp_data(); }

    void incompleteSettingsLeaveEverythingAsItIs()
    {
        QFETCH(QString, how);
        delegate->reconnectNotificationStream();
        TestStreamExchange *open = service->nextExchange();
        QVERIFY(open);
        // Both reasons to re-open at once, with the settings emptied behind
        // the agent's back.
        delegate->reconnectTimer()->start(std::chrono::seconds(7));
        configure(QString());

        wakeUp(*delegate->wakeUps(), how);
        QTest::qWait(200);
        QCOMPARE(service->requests().size(), 1);
        QVERIFY(!open->closedByPeer());
        QVERIFY(delegate->reconnectTimer()->isActive());
        QVERIFY(!preferencesWindow() || !preferencesWindow()->isVisible());
    }
};

PELLIX_TEST_MAIN(StreamWakeUpTest)
#include "StreamWakeUpTest.moc"
