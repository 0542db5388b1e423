// SPDX-License-Identifier: MIT

#include "AgentFixture.h"
#include "notifications/GrowlApplicationBridge.h"
#include "settings/NotificationTypeList.h"
#include "settings/PellixSettings.h"
#include "PellixTestEnvironment.h"

#include <QScopeGuard>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using Context = std::optional<ClickContext>;

namespace {
const QString typeHint = u"x-pellix-notification-type"_s;
const QString sentinel = u"https://sentinel.example/"_s;
constexpr std::size_t remembered = 4;

Context addresses(std::optional<QString> final_uri, std::optional<QString> websafe_uri = std::nullopt)
{
    return ClickContext{std::move(final_uri), std::move(websafe_uri)};
}

QVariantMap registration(const QStringList &types)
{
    return {{u"TicketVersion"_s, 1}, {u"AllNotifications"_s, types}, {u"DefaultNotifications"_s, types}};
}
}

// What the running agent posts to the desktop's notification service, under
// which type, and what a click on a notification opens.
class NotificationPresentationTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<AgentFixture> fixture;

    TestNotificationService &service() { return fixture->notifications; }

    // A new agent, launched; its start-up notice is the service's first call.
    // The desktop cannot open addresses on the host "refused.example".
    void start()
    {
        pellix_growlAppDelegate::Options options = fixture->options();
        options.urlOpener = [record = options.urlOpener](const QUrl &url) {
            return record(url) && url.host() != u"refused.example"_s;
        };
        service().clearCalls();
        fixture->start(options);
        QVERIFY(service().waitForCalls(1));
    }

    NotifyCall post(const QString &title, const Context &context = {}, const QImage &icon = {})
    {
        const qsizetype before = service().calls().size();
        fixture->agent().doGrowlWithTitle(title, u"Tom & Jerry <3 > all"_s, icon, context);
        return service().waitForCalls(before + 1) ? service().calls().constLast() : NotifyCall();
    }

    // Clicks are signals on the bus, delivered in order: once a click on a
    // later notification has opened its address, every earlier click has
    // been handled.
    void clickAndSettle(uint id)
    {
        service().invokeAction(id);
        service().invokeAction(post(u"marker"_s, addresses(sentinel)).id);
        QVERIFY(QTest::qWaitFor([this] { return fixture->opened.contains(QUrl(sentinel)); }, 5000));
        fixture->opened.removeAll(QUrl(sentinel));
    }

private Q_SLOTS:
    void initTestCase() { GrowlApplicationBridge::setRememberedNotifications(remembered); }

    void init() { fixture = std::make_unique<AgentFixture>(); start(); }

    void cleanup() { fixture.reset(); }

    // From fresh settings the list starts as "Generic", and the start-up
    // notice "Pellix" is the first new title. Empty and absent titles are
    // shown, without a type, and never become one. A service that numbers its
    // titles registers a new type with every message: the list keeps
    // "Generic" and the latest titles, and the file is written a moment
    // later, once for the whole burst. A title too long to be a type is shown
    // under "Generic". A stored list is registered as it is, "Generic" or not.
    void eachNewTitleBecomesATypeAndIsFirstPostedAsGeneric()
    {
        for (const QString &title : {u"News"_s, u"News"_s, QString(), u"news"_s, u""_s, u"news"_s, u"Generic"_s})
            post(title);
        QStringList posted;
        for (const NotifyCall &call : service().calls())
            posted.append(call.summary + u':' + call.hints.value(typeHint).toString());
        QCOMPARE(posted, QStringList({u"Pellix:Generic"_s, u"News:Generic"_s, u"News:News"_s, u":"_s,
                                      u"news:Generic"_s, u":"_s, u"news:news"_s, u"Generic:Generic"_s}));
        const QStringList types{u"Generic"_s, u"Pellix"_s, u"News"_s, u"news"_s};
        QCOMPARE(PellixSettings().notificationTypesArray(), std::optional(types));
        QCOMPARE(GrowlApplicationBridge::instance()->registration(), registration(types));

        PellixSettings().synchronize();
        const QByteArray before = AgentFixture::fileBytes();
        for (int title = 0; title < NotificationTypeList::maximumTitles; ++title)
            QVERIFY(fixture->agent().checkNotificationType(QString::number(title)));
        QCOMPARE(AgentFixture::fileBytes(), before);
        QTRY_VERIFY_WITH_TIMEOUT(AgentFixture::fileBytes().contains(", 999\n"), 5000);
        const QStringList latest = PellixSettings().notificationTypesArray().value_or(QStringList());
        QCOMPARE(latest.size(), 1 + NotificationTypeList::maximumTitles);
        QCOMPARE(latest.mid(0, 2), QStringList({u"Generic"_s, u"0"_s}));
        const QString longest(NotificationTypeList::maximumTitleLength, u'x');
        QVERIFY(fixture->agent().checkNotificationType(longest));
        QCOMPARE(post(longest + u'x').hints.value(typeHint).toString(), u"Generic"_s);
        QCOMPARE(PellixSettings().notificationTypesArray()->constLast(), longest);

        const QStringList stored{u"News"_s, u"Pellix"_s};
        AgentFixture::writeSettings({{u"notificationTypesArray"_s, stored}});
        start();
        QCOMPARE(GrowlApplicationBridge::instance()->registration(), registration(stored));
        QCOMPARE(service().calls().constFirst().hints.value(typeHint).toString(), u"Pellix"_s);
    }

    // A notification with a click context offers the default action; one
    // without a picture (the start-up notice is one) shows the agent's icon.
    void notifyCarriesTheNotification()
    {
        const QImage icon = QImage(u":/pellix_menu_icon.png"_s).convertToFormat(QImage::Format_ARGB32);
        const NotifyCall call = post(u"Title"_s, addresses(u"https://a.example/"_s), icon);
        QCOMPARE(call.appName, u"PellixGrowl"_s);
        QCOMPARE(call.appIcon + u'|' + service().calls().constFirst().appIcon, u"|pellix-growl"_s);
        QCOMPARE(call.body, u"Tom &amp; Jerry &lt;3 &gt; all"_s);
        QCOMPARE(call.actions, (QStringList{u"default"_s, u"Open"_s}));
        QCOMPARE(call.image.convertToFormat(QImage::Format_ARGB32), icon);
        QCOMPARE(service().calls().constFirst().actions, QStringList());
    }

    void clickOpensTheAddressOrItsFallback_data()
    {
        QTest::addColumn<Context>("context");
        QTest::addColumn<QStringList>("opened");
        const QString final_uri = u"https://final.example/item?id=1"_s;
        const QString refused = u"https://refused.example/item"_s;
        const QString websafe = u"http://websafe.example/item"_s;
        const QString mail = u"mailto:team@pellix.example"_s;
        QTest::newRow("final opens") << addresses(final_uri, websafe) << QStringList{final_uri};
        QTest::newRow("final fails, websafe tried") << addresses(refused, websafe) << QStringList{refused, websafe};
        QTest::newRow("final fails, no websafe") << addresses(refused) << QStringList{refused};
        QTest::newRow("only websafe") << addresses(std::nullopt, websafe) << QStringList();
        QTest::newRow("no context") << Context() << QStringList();
        QTest::newRow("mail address") << addresses(mail, websafe) << QStringList{mail};
        QTest::newRow("mail with an attachment refused")
            << addresses(mail + u"?subject=Hi&attach=/home/u/.ssh/id_rsa"_s, websafe) << QStringList{websafe};
        QTest::newRow("mail with an encoded attachment refused")
            << addresses(u"MAILTO:team@pellix.example?Attachment%20=%2Fetc%2Fpasswd"_s, websafe) << QStringList{websafe};
        QTest::newRow("local file refused") << addresses(u"file:///etc/passwd"_s, websafe) << QStringList{websafe};
        QTest::newRow("refused fallback") << addresses(u"file:///tmp/a"_s, u"application://b.desktop"_s)
                                          << QStringList();
    }

    void clickOpensTheAddressOrItsFallback()
    {
        QFETCH(Context, context);
        clickAndSettle(post(u"Clickable"_s, context).id);
        QTEST(QUrl::toStringList(fixture->opened), "opened");
    }

    // Only the "default" action opens, and only once. A notification that
    // expired is still offered by the service (as in Plasma's history) and
    // opens from there with the token the service hands out for that click,
    // which reaches the program that opens the address; a later click without
    // one carries none, not even a token left in the agent's own environment.
    // One dismissed or closed by a call is forgotten, and so are those beyond
    // the latest few, in case the service never reports them closed.
    void clicksOpenOnlyWhatTheServiceStillOffers()
    {
        const Context link = addresses(u"https://final.example/"_s);
        const uint expired = post(u"Expired"_s, link).id, dismissed = post(u"Dismissed"_s, link).id,
                   closed = post(u"Closed"_s, link).id, oldest = post(u"Oldest"_s, link).id;
        for (const auto &[id, reason] : {std::pair(expired, 1u), std::pair(dismissed, 2u), std::pair(closed, 3u)})
            service().closeNotification(id, reason);
        service().invokeAction(expired, u"default"_s, u"history"_s);
        QTRY_COMPARE(fixture->openingTokens, QStringList{u"history"_s});
        for (const uint id : {expired, dismissed, closed})
            service().invokeAction(id);
        service().invokeAction(oldest, u"dismiss"_s);
        for (std::size_t later = 0; later < remembered; ++later)
            post(u"Later"_s);
        qputenv("XDG_ACTIVATION_TOKEN", "stale");
        clickAndSettle(oldest);
        QCOMPARE(fixture->opened, QList<QUrl>{QUrl(u"https://final.example/"_s)});
        QCOMPARE(fixture->openingTokens, QStringList({u"history"_s, QString()}));
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
        service().leave();
        auto going = std::make_unique<TestNotificationService>();
        going->holdAnswers();
        fixture->agent().doGrowlWithTitle(u"Build"_s, u"In flight"_s, QImage(), std::nullopt);
        QVERIFY(going->waitForCalls(1));
        if (objectFirst)
            going->dropObject();
        fixture->agent().doGrowlWithTitle(u"Build"_s, u"While away"_s, QImage(), std::nullopt);
        QTRY_COMPARE(GrowlApplicationBridge::waiting().messages, objectFirst ? 1 : 0);
        going.reset();
        QTRY_COMPARE(GrowlApplicationBridge::waiting().messages, 2);
        QVERIFY(service().join());
        QVERIFY(fixture->waitForPosted(2));
        QCOMPARE(fixture->posted(), (QStringList{u"In flight"_s, u"While away"_s}));
    }

    // A notification the service takes and never answers goes once more,
    // then counts as shown, and the next one goes on.
    void anUnansweredNotificationGoesOnceMore()
    {
        GrowlApplicationBridge::setAnswerTimeLimit(200ms);
        const auto restore = qScopeGuard([] { GrowlApplicationBridge::setAnswerTimeLimit(GrowlApplicationBridge::defaultAnswerTimeLimit); });
        service().holdAnswers();
        fixture->agent().doGrowlWithTitle(u"Build"_s, u"Unanswered"_s, QImage(), std::nullopt);
        QVERIFY(fixture->waitForPosted(2));
        QTRY_COMPARE(GrowlApplicationBridge::inFlight().messages + GrowlApplicationBridge::waiting().messages, 0);
        service().releaseAnswers();
        fixture->agent().doGrowlWithTitle(u"Build"_s, u"Next"_s, QImage(), std::nullopt);
        QVERIFY(fixture->waitForPosted(3));
        QCOMPARE(fixture->posted(), (QStringList{u"Unanswered"_s, u"Unanswered"_s, u"Next"_s}));
    }
};

PELLIX_TEST_MAIN(NotificationPresentationTest)
#include "NotificationPresentationTest.moc"
