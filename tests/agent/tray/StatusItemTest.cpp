// SPDX-License-Identifier: MIT

#include "PellixTestEnvironment.h"
#include "tray/StatusItem.h"
#include "TestStatusNotifierHost.h"

#include <QDeadlineTimer>
#include <QImage>
#include <QLocale>
#include <QMenu>

#include <memory>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {
const QString colour = u"pellix_menu_icon.png"_s;

// Pictures as a host compares them: each size with its centre pixel.
QString described(const QList<QImage> &images)
{
    QStringList pictures;
    for (const QImage &image : images) {
        const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
        pictures.append(u"%1x%2 %3"_s.arg(image.width()).arg(image.height()).arg(centre.name(QColor::HexArgb)));
    }
    return pictures.join(u", "_s);
}

// The picture's two drawings, at 22 and 44 px.
QString picturesOf(const QString &resource)
{
    return described({QImage(u":/"_s + resource), QImage(u":/"_s + QString(resource).replace(u".png"_s, u"@2x.png"_s))});
}
}

// The agent's tray item as a StatusNotifierItem host on the private bus sees
// and drives it: its properties, its menu over DBusMenu, the stream's state
// in its tool tip and picture, and its registration as hosts come and go.
class StatusItemTest : public QObject
{
    Q_OBJECT

    std::optional<TestStatusNotifierHost> host;
    std::unique_ptr<StatusItem> item;
    QStringList chosen;
    QStringList tokens; // the activation token each chosen entry ran with

    QString service() const { return host->items.value(0); }
    QVariant seen(const QString &property)
    {
        const QVariant value = host->itemProperties(service()).value(property);
        return property == u"IconPixmap"_s ? described(value.value<QList<QImage>>()) : value;
    }

private Q_SLOTS:
    void init()
    {
        host.emplace();
        StatusItem::Options options;
        options.dimAfter = 0ms;
        options.activationTokenLifetime = 1s;
        options.iconThemePath = u"" PELLIX_TEST_ICON_THEME ""_s;
        item = std::make_unique<StatusItem>(options);
        item->setImage(colour);
        item->setToolTip(u"Pellix"_s);
        for (const QString &label : {u"Preferences"_s, u"Quit"_s})
            item->addMenuItem(label, QKeySequence(u"Ctrl+Shift+"_s + label.front()), [this, label] {
                chosen.append(label);
                tokens.append(qEnvironmentVariable("XDG_ACTIVATION_TOKEN"));
            });
        item->show();
        QTRY_COMPARE(host->items.size(), 1);
        host->itemProperties(service()); // the signals sent on the watcher's answer have arrived
        host->itemSignals.clear();
    }

    void cleanup()
    {
        item.reset();
        host.reset();
    }

    // Pictures go as ARGB in network byte order, and by name as installed.
    void hostSeesTheAgentsItem()
    {
        const std::pair<QString, QVariant> expected[] = {
            {u"Title"_s, u"Pellix"_s}, {u"Id"_s, u"pellix-growl"_s}, {u"Category"_s, u"ApplicationStatus"_s},
            {u"Status"_s, u"Active"_s}, {u"ItemIsMenu"_s, false}, {u"Menu"_s, u"/MenuBar"_s},
            {u"IconPixmap"_s, picturesOf(colour)}, {u"IconName"_s, u"pellix-growl-pellix_menu_icon"_s},
            {u"IconThemePath"_s, u"" PELLIX_TEST_ICON_THEME ""_s},
            {u"ToolTip"_s, QStringList{u"Pellix"_s, u"Not signed in — open Preferences"_s}}};
        for (const auto &[property, value] : expected)
            QCOMPARE(seen(property), value);
    }

    // The stream's state reaches the tool tip, escaped for hosts that read
    // markup; the picture dimmed while offline reaches the host as a picture
    // of its own.
    void changesReachTheHost()
    {
        const QDateTime tenOClock(QDate(2026, 12, 8), QTime(10, 0));
        item->showState(StreamState::connected(u"a&b <i>"_s, tenOClock, std::nullopt));
        QTRY_COMPARE(host->itemSignals, QStringList{u"NewToolTip"_s});
        QCOMPARE(seen(u"ToolTip"_s), QVariant(QStringList{u"Pellix"_s, u"Connected as a&amp;b &lt;i&gt; since "_s
                                                                            + QLocale().toString(QTime(10, 0), QLocale::ShortFormat)}));

        host->itemSignals.clear();
        item->showState(StreamState::waiting(tenOClock, 3s, {u"cannot reach the server"_s, u"cannot reach the server"_s}));
        QTRY_VERIFY(host->itemSignals.contains(u"NewIcon"_s));
        for (const QImage &picture : host->itemProperties(service()).value(u"IconPixmap"_s).value<QList<QImage>>())
            QVERIFY(picture.pixelColor(picture.width() / 2, picture.height() / 2).alpha() < 128);
        QCOMPARE(seen(u"IconName"_s), u"pellix-growl-pellix_menu_icon-offline"_s);
    }

    // A host shows each entry's label (and no shortcut: none would work in a
    // host's menu). Opening and closing the menu, or hovering over an entry,
    // runs nothing; a click on an entry runs its action alone, with the
    // token the host provided just before (the first entry), if any, and
    // only once; a token not used within its time is not used later. A
    // click on the item asks for the agent's window, never for a menu beside
    // the host's; where a menu can appear at the pointer (not on Wayland), a
    // host may ask for one there.
    void menuEntriesRunTheirActions()
    {
        const QList<DBusMenuExporter::LayoutItem> entries = host->menu(service());
        QCOMPARE(entries.size(), 2);
        QVERIFY(host->menuEvent(service(), 0, u"opened"_s) && host->menuEvent(service(), 0, u"closed"_s));
        for (int index = 0; index < 2; ++index) {
            const QString label = QStringList{u"Preferences"_s, u"Quit"_s}.at(index);
            const QVariantMap &properties = entries.at(index).properties;
            QCOMPARE(properties.value(u"label"_s).toString(), label);
            QVERIFY(!properties.contains(u"shortcut"_s));
            chosen.clear();
            // Before the first click the tray hands its token over, and the pointer passes over "Quit".
            QVERIFY(index > 0 || (host->callItem(service(), u"ProvideXdgActivationToken"_s, {u"tray"_s})
                                  && host->menuEvent(service(), entries.at(1).id, u"hovered"_s)));
            QVERIFY(host->menuEvent(service(), entries.at(index).id, u"clicked"_s));
            QTRY_COMPARE(chosen, QStringList{label});
        }
        QSignalSpy windowRequests(item.get(), &StatusItem::windowRequested);
        connect(item.get(), &StatusItem::windowRequested, this,
                [this] { tokens.append(qEnvironmentVariable("XDG_ACTIVATION_TOKEN")); });
        QVERIFY(host->callItem(service(), u"ProvideXdgActivationToken"_s, {u"late"_s}));
        // Counted from the answer, so it runs out after the item's own count.
        const QDeadlineTimer lifetime(1s);
        QVERIFY(QTest::qWaitFor([&lifetime] { return lifetime.hasExpired(); }, 2000));
        QVERIFY(host->callItem(service(), u"Activate"_s, {10, 20}));
        QTRY_COMPARE(windowRequests.size(), 1);
        QCOMPARE(tokens, QStringList({u"tray"_s, QString(), QString()}));
        QVERIFY(!item->menu()->isVisible());
        QVERIFY(host->callItem(service(), u"ContextMenu"_s, {10, 20}));
        QTRY_VERIFY(item->menu()->isVisible());
        item->menu()->hide();
    }

    // A panel that restarts gets the item again, and an item started before
    // any panel registers once one appears. Until the watcher answers, the
    // item's signals wait, and then go out once each; the registrations
    // asked for meanwhile, however many, make one more; a watcher that drops
    // the item is given it again.
    void registrationFollowsTheHost()
    {
        host.emplace();
        QTRY_COMPARE(host->items.size(), 1);
        item.reset();
        host.reset();
        item = std::make_unique<StatusItem>(StatusItem::Options{});
        item->show();
        host.emplace();
        host->holdRegistrations = true;
        QTRY_COMPARE(host->registrations, 1);
        item->showState(StreamState::connecting(u"one.example"_s));
        item->showState(StreamState::connecting(u"two.example"_s));
        for (int flood = 0; flood < 100; ++flood)
            host->emitWatcherSignal(u"StatusNotifierHostRegistered"_s);
        QVERIFY(!host->itemProperties(service()).isEmpty()); // what the item sent before has arrived
        host->answerRegistrations();
        QTRY_COMPARE(host->registrations, 2);
        host->answerRegistrations();
        host->emitWatcherSignal(u"StatusNotifierItemUnregistered"_s, {service()});
        QTRY_COMPARE(host->registrations, 3);
        QCOMPARE(host->signalsBeforeAnswer, 0);
        QCOMPARE(seen(u"IconName"_s), QString()); // none installed beside this program
        QCOMPARE(host->itemSignals.count(u"NewToolTip"_s), 1);
    }
};

PELLIX_TEST_MAIN(StatusItemTest)
#include "StatusItemTest.moc"
