#include "GrowlApplicationBridge.h"
#include "PellixGrowlDelegate.h"
#include "PellixSettings.h"
#include "PellixTestEnvironment.h"
#include "TestNotificationService.h"
#include "pellix_growlAppDelegate.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

using Context = std::optional<ClickContext>;
Q_DECLARE_METATYPE(Context)

namespace {
const QString typeHint = QStringLiteral("x-pellix-notification-type");
const QString sentinel = QStringLiteral("https://sentinel.example/");

ClickContext addresses(std::optional<QString> final_uri, std::optional<QString> websafe_uri)
{
    return {std::move(final_uri), std::move(websafe_uri)};
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

    NotifyCall post(const QString &title, const QString &description = QStringLiteral("text"),
                    const Context &context = std::nullopt, const QImage &icon = QImage())
    {
        const qsizetype before = service->calls().size();
        delegate->doGrowlWithTitle(title, description, icon, context);
        if (!service->waitForCalls(before + 1))
            return {};
        return service->calls().constLast();
    }

    // Clicks are signals on the bus, delivered in order: once a click on a
    // later notification has opened its address, every earlier click has
    // been handled.
    void clickAndSettle(uint id)
    {
        service->invokeAction(id);
        const NotifyCall marker = post(QStringLiteral("marker"), {}, addresses(sentinel, std::nullopt));
        service->invokeAction(marker.id);
        if (!QTest::qWaitFor([this] { return opened.contains(QUrl(sentinel)); }, 5000))
            qWarning("the marker click never arrived");
        opened.removeAll(QUrl(sentinel));
    }

    // Leaves and rejoins the bus, and waits until the agent's connection has
    // seen the service come back, so the bridge asks it afresh what it offers.
    // Calls on one connection reach the bus in order, so once a later call has
    // been answered every earlier one has been delivered or refused; twice,
    // for a notification that first asks what the service offers.
    static void settleAgentCalls()
    {
        for (int round = 0; round < 2; ++round) {
            QDBusConnection::sessionBus().interface()->isServiceRegistered(QStringLiteral("org.freedesktop.DBus"));
            QCoreApplication::processEvents();
        }
    }

    void rejoinWith(const QStringList &capabilities)
    {
        QDBusServiceWatcher watcher(QStringLiteral("org.freedesktop.Notifications"), QDBusConnection::sessionBus(),
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

    void freshSettingsRegisterGeneric()
    {
        PellixTestEnvironment::clearSettings();
        QSignalSpy registrations(GrowlApplicationBridge::instance(), &GrowlApplicationBridge::registered);
        installBridgeDelegate();
        QCOMPARE(registrations.size(), 1);
        const QVariantMap expected{{QStringLiteral("TicketVersion"), 1},
                                   {QStringLiteral("AllNotifications"), QStringList{QStringLiteral("Generic")}},
                                   {QStringLiteral("DefaultNotifications"), QStringList{QStringLiteral("Generic")}}};
        QCOMPARE(registrations.constFirst().constFirst().toMap(), expected);
        QCOMPARE(PellixSettings().notificationTypesArray(), std::optional(QStringList{QStringLiteral("Generic")}));
    }

    void storedListIsRegisteredUnchanged()
    {
        const QStringList stored{QStringLiteral("News"), QStringLiteral("Pellix")};
        PellixSettings().setNotificationTypesArray(stored);
        installBridgeDelegate();
        QCOMPARE(GrowlApplicationBridge::instance()->registration().value(QStringLiteral("AllNotifications")).toStringList(),
                 stored);
        QCOMPARE(PellixSettings().notificationTypesArray(), std::optional(stored));
    }

    void eachNewTitleBecomesATypeAndIsFirstPostedAsGeneric()
    {
        QSignalSpy registrations(GrowlApplicationBridge::instance(), &GrowlApplicationBridge::registered);
        const QList<std::pair<QString, QString>> titlesAndTypes{
            {QStringLiteral("Pellix"), QStringLiteral("Generic")}, {QStringLiteral("Pellix"), QStringLiteral("Pellix")},
            {QStringLiteral("pellix"), QStringLiteral("Generic")}, {QStringLiteral("pellix"), QStringLiteral("pellix")},
            {QStringLiteral("Generic"), QStringLiteral("Generic")},
        };
        QStringList postedTypes;
        for (const auto &[title, type] : titlesAndTypes)
            postedTypes.append(post(title).hints.value(typeHint).toString());
        QStringList expectedTypes;
        for (const auto &[title, type] : titlesAndTypes)
            expectedTypes.append(type);
        QCOMPARE(postedTypes, expectedTypes);
        QCOMPARE(registrations.size(), 2);
        const QStringList types{QStringLiteral("Generic"), QStringLiteral("Pellix"), QStringLiteral("pellix")};
        QCOMPARE(PellixSettings().notificationTypesArray(), std::optional(types));
        QCOMPARE(registrations.constLast().constFirst().toMap().value(QStringLiteral("DefaultNotifications")).toStringList(),
                 types);
    }

    void emptyOrAbsentTitlesAreShownButNeverBecomeTypes_data()
    {
        QTest::addColumn<QString>("title");
        QTest::newRow("absent") << QString();
        QTest::newRow("empty") << QStringLiteral("");
    }

    void emptyOrAbsentTitlesAreShownButNeverBecomeTypes()
    {
        QFETCH(QString, title);
        QSignalSpy registrations(GrowlApplicationBridge::instance(), &GrowlApplicationBridge::registered);
        const NotifyCall call = post(title, QStringLiteral("body"));
        QCOMPARE(call.summary, QString());
        QCOMPARE(call.body, QStringLiteral("body"));
        QCOMPARE(registrations.size(), 0);
        QCOMPARE(PellixSettings().notificationTypesArray(), std::optional(QStringList{QStringLiteral("Generic")}));
        QVERIFY(!delegate->checkNotificationType(title));
    }

    void notifyCarriesTheNotification_data()
    {
        QTest::addColumn<QStringList>("capabilities");
        QTest::addColumn<Context>("context");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QStringList>("actions");
        const QStringList openAction{QStringLiteral("default"), QStringLiteral("Open")};
        const QString text = QStringLiteral("Tom & Jerry <3 > all");
        const QString escaped = QStringLiteral("Tom &amp; Jerry &lt;3 &gt; all");
        const QStringList plain{QStringLiteral("body")};
        QTest::newRow("no context") << TestNotificationService::allCapabilities << Context() << text << escaped
                                    << QStringList();
        QTest::newRow("context") << TestNotificationService::allCapabilities
                                 << Context(addresses(QStringLiteral("https://a.example/"), std::nullopt)) << text
                                 << escaped << openAction;
        QTest::newRow("empty context") << TestNotificationService::allCapabilities << Context(ClickContext{}) << text
                                       << escaped << openAction;
        QTest::newRow("plain service") << plain << Context(addresses(QStringLiteral("https://a.example/"), std::nullopt))
                                       << text << text << QStringList();
    }

    void notifyCarriesTheNotification()
    {
        QFETCH(QStringList, capabilities);
        QFETCH(Context, context);
        QFETCH(QString, description);
        QFETCH(QString, body);
        QFETCH(QStringList, actions);
        rejoinWith(capabilities);
        const NotifyCall call = post(QStringLiteral("Title"), description, context);
        QCOMPARE(call.appName, QStringLiteral("PellixGrowl"));
        QCOMPARE(call.replacesId, 0u);
        QCOMPARE(call.summary, QStringLiteral("Title"));
        QCOMPARE(call.body, body);
        QCOMPARE(call.actions, actions);
        QCOMPARE(call.expireTimeout, -1);
        QCOMPARE(call.hints.value(QStringLiteral("urgency")).toInt(), 1);
        QCOMPARE(call.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("pellix-growl"));
        QVERIFY(call.image.isNull());
    }

    void iconTravelsAsImageData()
    {
        QImage icon(3, 2, QImage::Format_ARGB32);
        icon.fill(QColor(200, 40, 10, 255));
        icon.setPixelColor(2, 1, QColor(0, 0, 255, 128));
        const NotifyCall call = post(QStringLiteral("With icon"), QStringLiteral("text"), std::nullopt, icon);
        QCOMPARE(call.image.convertToFormat(QImage::Format_ARGB32), icon);
    }

    void clickOpensTheAddressOrItsFallback_data()
    {
        QTest::addColumn<Context>("context");
        QTest::addColumn<QStringList>("refusedByTheDesktop");
        QTest::addColumn<QList<QUrl>>("expected");
        const QString final_uri = QStringLiteral("https://final.example/item?id=1");
        const QString websafe_uri = QStringLiteral("http://websafe.example/item");
        QTest::newRow("final opens") << Context(addresses(final_uri, websafe_uri)) << QStringList()
                                     << QList<QUrl>{QUrl(final_uri)};
        QTest::newRow("final fails, websafe tried") << Context(addresses(final_uri, websafe_uri)) << QStringList{final_uri}
                                                    << QList<QUrl>{QUrl(final_uri), QUrl(websafe_uri)};
        QTest::newRow("final fails, no websafe") << Context(addresses(final_uri, std::nullopt)) << QStringList{final_uri}
                                                 << QList<QUrl>{QUrl(final_uri)};
        QTest::newRow("websafe fails too") << Context(addresses(final_uri, websafe_uri))
                                           << QStringList{final_uri, websafe_uri}
                                           << QList<QUrl>{QUrl(final_uri), QUrl(websafe_uri)};
        QTest::newRow("only websafe") << Context(addresses(std::nullopt, websafe_uri)) << QStringList() << QList<QUrl>();
        QTest::newRow("empty context") << Context(ClickContext{}) << QStringList() << QList<QUrl>();
        QTest::newRow("no context") << Context() << QStringList() << QList<QUrl>();
        QTest::newRow("mail address") << Context(addresses(QStringLiteral("mailto:team@pellix.example"), websafe_uri))
                                      << QStringList() << QList<QUrl>{QUrl(QStringLiteral("mailto:team@pellix.example"))};
        QTest::newRow("local file refused") << Context(addresses(QStringLiteral("file:///etc/passwd"), websafe_uri))
                                            << QStringList() << QList<QUrl>{QUrl(websafe_uri)};
        QTest::newRow("launcher refused") << Context(addresses(QStringLiteral("application://evil.desktop"), websafe_uri))
                                          << QStringList() << QList<QUrl>{QUrl(websafe_uri)};
        QTest::newRow("no scheme refused") << Context(addresses(QStringLiteral("final.example/item"), websafe_uri))
                                           << QStringList() << QList<QUrl>{QUrl(websafe_uri)};
        QTest::newRow("refused fallback") << Context(addresses(QStringLiteral("file:///tmp/a"), QStringLiteral("file:///tmp/b")))
                                          << QStringList() << QList<QUrl>();
        QTest::newRow("scheme in capitals") << Context(addresses(QStringLiteral("HTTPS://final.example/"), std::nullopt))
                                            << QStringList() << QList<QUrl>{QUrl(QStringLiteral("https://final.example/"))};
    }

    void clickOpensTheAddressOrItsFallback()
    {
        QFETCH(Context, context);
        QFETCH(QStringList, refusedByTheDesktop);
        QFETCH(QList<QUrl>, expected);
        refused = refusedByTheDesktop;
        const NotifyCall call = post(QStringLiteral("Clickable"), QStringLiteral("text"), context);
        clickAndSettle(call.id);
        QCOMPARE(opened, expected);
    }

    void closedNotificationsAreForgotten_data()
    {
        QTest::addColumn<uint>("reason");
        QTest::newRow("expired") << 1u;
        QTest::newRow("dismissed") << 2u;
    }

    void closedNotificationsAreForgotten()
    {
        QFETCH(uint, reason);
        const QString address = QStringLiteral("https://final.example/");
        const NotifyCall call = post(QStringLiteral("Closing"), QStringLiteral("text"), addresses(address, std::nullopt));
        service->closeNotification(call.id, reason);
        clickAndSettle(call.id);
        QCOMPARE(opened, QList<QUrl>());
    }

    void otherActionsOpenNothing()
    {
        const NotifyCall call =
            post(QStringLiteral("Other"), QStringLiteral("text"), addresses(QStringLiteral("https://a.example/"), std::nullopt));
        service->invokeAction(call.id, QStringLiteral("dismiss"));
        clickAndSettle(0);
        QCOMPARE(opened, QList<QUrl>());
    }

    // A service that never reports notifications closed must not make the
    // agent remember them all: the oldest are forgotten first.
    void onlyTheLatestThousandNotificationsAreRemembered()
    {
        const NotifyCall oldest = post(QStringLiteral("Old"), QStringLiteral("text"),
                                       addresses(QStringLiteral("https://old.example/"), std::nullopt));
        for (int later = 0; later < 999; ++later)
            post(QStringLiteral("Later"));
        const NotifyCall kept = post(QStringLiteral("Kept"), QStringLiteral("text"),
                                     addresses(QStringLiteral("https://kept.example/"), std::nullopt));
        clickAndSettle(oldest.id);
        clickAndSettle(kept.id);
        QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("https://kept.example/"))});
    }

    // A slow service is never sent more than a bounded number of calls at a
    // time, and once it answers every notification arrives, in order.
    void aSlowServiceGetsBoundedCallsAndEveryNotificationInOrder()
    {
        constexpr int bound = GrowlApplicationBridge::maxCallsInFlight;
        post(QStringLiteral("Burst"));
        service->clearCalls();
        service->holdAnswers();
        QStringList posted;
        for (int sequence = 0; sequence < 3 * bound; ++sequence) {
            posted.append(QString::number(sequence));
            delegate->doGrowlWithTitle(QStringLiteral("Burst"), posted.constLast(), QImage(), std::nullopt);
        }
        QVERIFY(service->waitForCalls(bound));
        settleAgentCalls();
        QCOMPARE(service->calls().size(), bound);
        service->releaseAnswers();
        QVERIFY(service->waitForCalls(posted.size()));
        QStringList arrived;
        for (const NotifyCall &call : service->calls())
            arrived.append(call.body);
        QCOMPARE(arrived, posted);
    }

    void aServiceThatLeftDropsNotificationsUntilItReturns()
    {
        service->leave();
        delegate->doGrowlWithTitle(QStringLiteral("Lost"), QStringLiteral("text"), QImage(), std::nullopt);
        settleAgentCalls();
        rejoinWith(TestNotificationService::allCapabilities);
        const NotifyCall call = post(QStringLiteral("Back"));
        QCOMPARE(call.summary, QStringLiteral("Back"));
        QCOMPARE(service->calls().size(), 1);
    }
};

PELLIX_TEST_MAIN(NotificationPresentationTest)
#include "NotificationPresentationTest.moc"
