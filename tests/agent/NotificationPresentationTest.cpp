#include "GrowlApplicationBridge.h"
#include "NotificationTypeList.h"
#include "PellixGrowlDelegate.h"
#include "PellixSettings.h"
#include "PellixTestEnvironment.h"
#include "TestNotificationService.h"
#include "pellix_growlAppDelegate.h"

#include <QDBusServiceWatcher>

using namespace Qt::StringLiterals;

using Context = std::optional<ClickContext>;
Q_DECLARE_METATYPE(Context)

namespace {
const QString typeHint = u"x-pellix-notification-type"_s;
const QString sentinel = u"https://sentinel.example/"_s;

Context addresses(std::optional<QString> final_uri, std::optional<QString> websafe_uri)
{
    return ClickContext{std::move(final_uri), std::move(websafe_uri)};
}
}

class NotificationPresentationTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestNotificationService> service;
    std::unique_ptr<pellix_growlAppDelegate> delegate;
    QList<QUrl> opened;
    QStringList refused;

    void installBridgeDelegate()
    {
        GrowlApplicationBridge::setGrowlDelegate(std::make_unique<PellixGrowlDelegate>([this](const QUrl &url) {
            opened.append(url);
            return !refused.contains(url.toString());
        }));
    }

    NotifyCall post(const QString &title, const QString &description = u"text"_s, const Context &context = {},
                    const QImage &icon = QImage())
    {
        const qsizetype before = service->calls().size();
        delegate->doGrowlWithTitle(title, description, icon, context);
        return service->waitForCalls(before + 1) ? service->calls().constLast() : NotifyCall();
    }

    // Clicks are signals on the bus, delivered in order: once a click on a
    // later notification has opened its address, every earlier click has
    // been handled.
    void clickAndSettle(uint id)
    {
        service->invokeAction(id);
        service->invokeAction(post(u"marker"_s, {}, addresses(sentinel, std::nullopt)).id);
        if (!QTest::qWaitFor([this] { return opened.contains(QUrl(sentinel)); }, 5000))
            qWarning("the marker click never arrived");
        opened.removeAll(QUrl(sentinel));
    }

    // Leaves and rejoins the bus, and waits until the agent's connection has
    // seen the service come back, so the bridge asks it afresh what it offers.
    void rejoinWith(const QStringList &capabilities)
    {
        QDBusServiceWatcher watcher(u"org.freedesktop.Notifications"_s, QDBusConnection::sessionBus(),
                                    QDBusServiceWatcher::WatchForRegistration);
        bool back = false;
        connect(&watcher, &QDBusServiceWatcher::serviceRegistered, this, [&back] { back = true; });
        service->setCapabilities(capabilities);
        service->leave();
        service->join();
        if (!QTest::qWaitFor([&back] { return back; }, 5000))
            qWarning("the service did not come back");
    }

private slots:
    void init()
    {
        PellixTestEnvironment::clearSettings();
        service = std::make_unique<TestNotificationService>();
        delegate = std::make_unique<pellix_growlAppDelegate>();
        opened.clear();
        refused.clear();
        installBridgeDelegate();
    }

    void cleanup()
    {
        delegate.reset();
        service.reset();
    }

    void theStoredTypesAreRegistered_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("registered");
        QTest::newRow("fresh settings") << QStringList() << QStringList{u"Generic"_s};
        const QStringList stored{u"News"_s, u"Pellix"_s};
        QTest::newRow("stored list unchanged") << stored << stored;
    }

    void theStoredTypesAreRegistered()
    {
        QFETCH(QStringList, stored);
        QFETCH(QStringList, registered);
        PellixTestEnvironment::clearSettings();
        if (!stored.isEmpty())
            PellixSettings().setNotificationTypesArray(stored);
        QSignalSpy registrations(GrowlApplicationBridge::instance(), &GrowlApplicationBridge::registered);
        installBridgeDelegate();
        QCOMPARE(registrations.size(), 1);
        const QVariantMap expected{
            {u"TicketVersion"_s, 1}, {u"AllNotifications"_s, registered}, {u"DefaultNotifications"_s, registered}};
        QCOMPARE(registrations.constFirst().constFirst().toMap(), expected);
        QCOMPARE(PellixSettings().notificationTypesArray(), std::optional(registered));
    }

    // Empty and absent titles are shown, without a type, and never become one.
    void eachNewTitleBecomesATypeAndIsFirstPostedAsGeneric()
    {
        QSignalSpy registrations(GrowlApplicationBridge::instance(), &GrowlApplicationBridge::registered);
        const QStringList titles{u"Pellix"_s, u"Pellix"_s, QString(), u"pellix"_s, u""_s, u"pellix"_s, u"Generic"_s};
        QStringList summaries;
        QStringList postedTypes;
        for (const QString &title : titles) {
            const NotifyCall call = post(title);
            summaries.append(call.summary);
            postedTypes.append(call.hints.value(typeHint).toString());
        }
        QCOMPARE(summaries, titles);
        QCOMPARE(postedTypes, QStringList({u"Generic"_s, u"Pellix"_s, u""_s, u"Generic"_s, u""_s, u"pellix"_s,
                                           u"Generic"_s}));
        QCOMPARE(registrations.size(), 2);
        const QStringList types{u"Generic"_s, u"Pellix"_s, u"pellix"_s};
        QCOMPARE(PellixSettings().notificationTypesArray(), std::optional(types));
        QCOMPARE(registrations.constLast().constFirst().toMap().value(u"DefaultNotifications"_s).toStringList(), types);
        QVERIFY(!delegate->checkNotificationType(QString()));
        QVERIFY(!delegate->checkNotificationType(u""_s));
    }

    // A service that numbers its titles registers a new type with every
    // message: the list keeps "Generic" and the latest titles, and the file
    // is written a moment later, once for the whole burst. A title too long
    // to be a type is shown under "Generic".
    void theTypeListKeepsTheLatestTitlesAndIsWrittenOnceForABurst()
    {
        const auto onDisk = [] {
            QFile file(PellixSettings().fileName());
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QByteArray before = onDisk();
        for (int title = 0; title <= NotificationTypeList::maximumTitles; ++title)
            QVERIFY(delegate->checkNotificationType(QString::number(title)));
        QCOMPARE(onDisk(), before);
        QTRY_VERIFY_WITH_TIMEOUT(onDisk().endsWith(" 1000\n"), 5000);
        const QStringList types = PellixSettings().notificationTypesArray().value_or(QStringList());
        QCOMPARE(types.size(), 1 + NotificationTypeList::maximumTitles);
        QCOMPARE(types.mid(0, 2), QStringList({u"Generic"_s, u"1"_s}));
        QVERIFY(delegate->checkNotificationType(u"0"_s));

        const QString longest(NotificationTypeList::maximumTitleLength, u'x');
        QVERIFY(delegate->checkNotificationType(longest));
        QCOMPARE(post(longest + u'x').hints.value(typeHint).toString(), u"Generic"_s);
        QCOMPARE(post(longest + u'x').hints.value(typeHint).toString(), u"Generic"_s);
    }

    void notifyCarriesTheNotification_data()
    {
        QTest::addColumn<QStringList>("capabilities");
        QTest::addColumn<Context>("context");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QStringList>("actions");
        const QStringList all = TestNotificationService::allCapabilities;
        const QStringList open{u"default"_s, u"Open"_s};
        const QString escaped = u"Tom &amp; Jerry &lt;3 &gt; all"_s;
        const Context context = addresses(u"https://a.example/"_s, std::nullopt);
        QTest::newRow("no context") << all << Context() << escaped << QStringList();
        QTest::newRow("context") << all << context << escaped << open;
        QTest::newRow("empty context") << all << Context(ClickContext{}) << escaped << open;
        QTest::newRow("plain service") << QStringList{u"body"_s} << context << u"Tom & Jerry <3 > all"_s
                                       << QStringList();
    }

    void notifyCarriesTheNotification()
    {
        QFETCH(QStringList, capabilities);
        QFETCH(Context, context);
        rejoinWith(capabilities);
        const NotifyCall call = post(u"Title"_s, u"Tom & Jerry <3 > all"_s, context);
        QCOMPARE(call.appName, u"PellixGrowl"_s);
        QCOMPARE(call.replacesId, 0u);
        QCOMPARE(call.summary, u"Title"_s);
        QTEST(call.body, "body");
        QTEST(call.actions, "actions");
        QCOMPARE(call.expireTimeout, -1);
        QCOMPARE(call.hints.value(u"urgency"_s).toInt(), 1);
        QCOMPARE(call.hints.value(u"desktop-entry"_s).toString(), u"pellix-growl"_s);
        QVERIFY(call.image.isNull());
    }

    void iconTravelsAsImageData()
    {
        QImage icon(3, 2, QImage::Format_ARGB32);
        icon.fill(QColor(200, 40, 10, 255));
        icon.setPixelColor(2, 1, QColor(0, 0, 255, 128));
        QCOMPARE(post(u"With icon"_s, u"text"_s, {}, icon).image.convertToFormat(QImage::Format_ARGB32), icon);
    }

    void clickOpensTheAddressOrItsFallback_data()
    {
        QTest::addColumn<Context>("context");
        QTest::addColumn<QStringList>("refusedByTheDesktop");
        QTest::addColumn<QList<QUrl>>("expected");
        const QString final_uri = u"https://final.example/item?id=1"_s;
        const QString websafe = u"http://websafe.example/item"_s;
        const Context both = addresses(final_uri, websafe);
        const QList<QUrl> none;
        const QList<QUrl> toWebsafe{QUrl(websafe)};
        const QStringList nothing;
        QTest::newRow("final opens") << both << nothing << QList{QUrl(final_uri)};
        QTest::newRow("final fails, websafe tried") << both << QStringList{final_uri}
                                                    << QList{QUrl(final_uri), QUrl(websafe)};
        QTest::newRow("final fails, no websafe") << addresses(final_uri, std::nullopt) << QStringList{final_uri}
                                                 << QList{QUrl(final_uri)};
        QTest::newRow("websafe fails too") << both << QStringList{final_uri, websafe}
                                           << QList{QUrl(final_uri), QUrl(websafe)};
        QTest::newRow("only websafe") << addresses(std::nullopt, websafe) << nothing << none;
        QTest::newRow("empty context") << Context(ClickContext{}) << nothing << none;
        QTest::newRow("no context") << Context() << nothing << none;
        QTest::newRow("mail address") << addresses(u"mailto:team@pellix.example"_s, websafe) << nothing
                                      << QList{QUrl(u"mailto:team@pellix.example"_s)};
        QTest::newRow("mail with an attachment refused")
            << addresses(u"mailto:team@pellix.example?subject=Hi&attach=/home/u/.ssh/id_rsa"_s, websafe) << nothing
            << toWebsafe;
        QTest::newRow("mail with an encoded attachment refused")
            << addresses(u"MAILTO:team@pellix.example?Attachment%20=%2Fetc%2Fpasswd"_s, websafe) << nothing
            << toWebsafe;
        QTest::newRow("local file refused") << addresses(u"file:///etc/passwd"_s, websafe) << nothing << toWebsafe;
        QTest::newRow("launcher refused") << addresses(u"application://evil.desktop"_s, websafe) << nothing
                                          << toWebsafe;
        QTest::newRow("no scheme refused") << addresses(u"final.example/item"_s, websafe) << nothing << toWebsafe;
        QTest::newRow("refused fallback") << addresses(u"file:///tmp/a"_s, u"file:///tmp/b"_s) << nothing << none;
        QTest::newRow("scheme in capitals") << addresses(u"HTTPS://final.example/"_s, std::nullopt) << nothing
                                            << QList{QUrl(u"https://final.example/"_s)};
    }

    void clickOpensTheAddressOrItsFallback()
    {
        QFETCH(Context, context);
        QFETCH(QStringList, refusedByTheDesktop);
        refused = refusedByTheDesktop;
        clickAndSettle(post(u"Clickable"_s, u"text"_s, context).id);
        QTEST(opened, "expected");
    }

    void closedOrOtherwiseAnsweredNotificationsOpenNothing_data()
    {
        QTest::addColumn<uint>("closedFor");
        QTest::newRow("expired") << 1u;
        QTest::newRow("dismissed") << 2u;
        QTest::newRow("another action") << 0u;
    }

    void closedOrOtherwiseAnsweredNotificationsOpenNothing()
    {
        QFETCH(uint, closedFor);
        const NotifyCall call = post(u"Closing"_s, u"text"_s, addresses(u"https://final.example/"_s, std::nullopt));
        if (closedFor) {
            service->closeNotification(call.id, closedFor);
            clickAndSettle(call.id);
        } else {
            service->invokeAction(call.id, u"dismiss"_s);
            clickAndSettle(0);
        }
        QCOMPARE(opened, QList<QUrl>());
    }

    // A service that never reports notifications closed must not make the
    // agent remember them all: the oldest are forgotten first.
    void onlyTheLatestThousandNotificationsAreRemembered()
    {
        const NotifyCall oldest = post(u"Old"_s, u"text"_s, addresses(u"https://old.example/"_s, std::nullopt));
        for (int later = 0; later < 999; ++later)
            post(u"Later"_s);
        const NotifyCall kept = post(u"Kept"_s, u"text"_s, addresses(u"https://kept.example/"_s, std::nullopt));
        clickAndSettle(oldest.id);
        clickAndSettle(kept.id);
        QCOMPARE(opened, QList{QUrl(u"https://kept.example/"_s)});
    }

    void notificationsWaitInOrderForTheNextService_data()
    {
        QTest::addColumn<bool>("objectFirst");
        QTest::newRow("the service ends") << false;
        QTest::newRow("the service drops its object first") << true;
    }

    // A notification the service could not take because it had gone, in
    // flight when it went or sent while it was away or leaving, waits in the
    // bridge's line, in order, and goes to the next service that owns the name.
    void notificationsWaitInOrderForTheNextService()
    {
        QFETCH(bool, objectFirst);
        clickAndSettle(0); // the bridge has seen this service come and asked what it offers
        service->holdAnswers();
        post(u"In flight"_s);
        if (objectFirst)
            service->dropObject();
        delegate->doGrowlWithTitle(u"While away"_s, u"text"_s, QImage(), std::nullopt);
        QTRY_COMPARE(GrowlApplicationBridge::waitingCount(), objectFirst ? 1 : 0);
        service.reset();
        QTRY_COMPARE(GrowlApplicationBridge::waitingCount(), 2);
        service = std::make_unique<TestNotificationService>();
        QVERIFY(service->waitForCalls(2));
        QCOMPARE(service->calls().constFirst().summary, u"In flight"_s);
        QCOMPARE(service->calls().constLast().summary, u"While away"_s);
        QCOMPARE(post(u"Back"_s).summary, u"Back"_s);
    }
};

PELLIX_TEST_MAIN(NotificationPresentationTest)
#include "NotificationPresentationTest.moc"
