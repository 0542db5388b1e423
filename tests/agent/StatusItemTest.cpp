#include "PellixTestEnvironment.h"
#include "StatusItem.h"
#include "StatusNotifierItem.h"
#include "TestStatusNotifierHost.h"

#include <QImage>
#include <QLocale>
#include <QMenu>

#include <memory>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {
const QString colour = u"pellix_menu_icon.png"_s;
const QString monochrome = u"zarkleSMASHr.png"_s;

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

    TestStatusNotifierHost host;
    std::unique_ptr<StatusItem> item;
    QStringList chosen;

    QString service() const { return host.registeredItems().value(0); }
    QVariant seen(const QString &property)
    {
        const QVariant value = host.itemProperties(service()).value(property);
        return property == u"IconPixmap"_s ? described(value.value<QList<QImage>>()) : value;
    }

private slots:
    void init()
    {
        QVERIFY(host.join());
        StatusItem::Options options;
        options.dimAfter = 0ms;
        item = std::make_unique<StatusItem>(options);
        item->setImage(colour);
        item->setToolTip(u"Pellix"_s);
        item->addMenuItem(u"Preferences"_s, QKeySequence(u"Ctrl+Shift+P"_s), [this] { chosen.append(u"Preferences"_s); });
        item->addMenuItem(u"Quit"_s, QKeySequence(u"Ctrl+Shift+Q"_s), [this] { chosen.append(u"Quit"_s); });
        item->show();
        QTRY_COMPARE(host.registeredItems().size(), 1);
        host.clearItemSignals();
        chosen.clear();
    }

    void cleanup()
    {
        item.reset();
        host.leave();
    }

    void hostSeesTheAgentsItem_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("title") << u"Title"_s << QVariant(u"Pellix"_s);
        QTest::newRow("id") << u"Id"_s << QVariant(u"pellix-growl"_s);
        QTest::newRow("category") << u"Category"_s << QVariant(u"ApplicationStatus"_s);
        QTest::newRow("status") << u"Status"_s << QVariant(u"Active"_s);
        QTest::newRow("not only a menu") << u"ItemIsMenu"_s << QVariant(false);
        QTest::newRow("menu") << u"Menu"_s << QVariant(u"/MenuBar"_s);
        QTest::newRow("pictures, ARGB in network order") << u"IconPixmap"_s << QVariant(picturesOf(colour));
        QTest::newRow("tool tip") << u"ToolTip"_s
                                  << QVariant(QStringList{u"Pellix"_s, u"Not signed in — open Preferences"_s});
    }

    void hostSeesTheAgentsItem()
    {
        QFETCH(QString, property);
        QTEST(seen(property), "expected");
    }

    // The stream's state reaches the tool tip, escaped for hosts that read
    // markup; the chosen picture, and the dimmed one while offline, reach
    // the host as pictures of their own.
    void changesReachTheHost()
    {
        const QDateTime tenOClock(QDate(2026, 12, 8), QTime(10, 0));
        item->showState(StreamState::connected(u"a&b <i>"_s, tenOClock, std::nullopt));
        QTRY_COMPARE(host.itemSignals(), QStringList{u"NewToolTip"_s});
        QCOMPARE(seen(u"ToolTip"_s), QVariant(QStringList{u"Pellix"_s, u"Connected as a&amp;b &lt;i&gt; since "_s
                                                                            + QLocale().toString(QTime(10, 0), QLocale::ShortFormat)}));

        host.clearItemSignals();
        item->setImage(monochrome);
        QTRY_COMPARE(host.itemSignals(), QStringList{u"NewIcon"_s});
        QCOMPARE(seen(u"IconPixmap"_s), QVariant(picturesOf(monochrome)));

        host.clearItemSignals();
        item->showState(StreamState::waiting(tenOClock, 3s, u"cannot reach the server"_s));
        QTRY_VERIFY(host.itemSignals().contains(u"NewIcon"_s));
        for (const QImage &picture : host.itemProperties(service()).value(u"IconPixmap"_s).value<QList<QImage>>())
            QVERIFY(picture.pixelColor(picture.width() / 2, picture.height() / 2).alpha() < 128);
    }

    void menuEntriesRunTheirActions_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QList<QStringList>>("shortcut");
        QTest::newRow("Preferences") << 0 << u"Preferences"_s
                                     << QList<QStringList>{{u"Control"_s, u"Shift"_s, u"P"_s}};
        QTest::newRow("Quit") << 1 << u"Quit"_s << QList<QStringList>{{u"Control"_s, u"Shift"_s, u"Q"_s}};
    }

    void menuEntriesRunTheirActions()
    {
        QFETCH(int, index);
        QFETCH(QString, label);
        const QList<HostedMenuEntry> entries = host.menu(service());
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(index).label, label);
        QTEST(entries.at(index).shortcut, "shortcut");
        QVERIFY(host.clickMenuEntry(service(), entries.at(index).id));
        QTRY_COMPARE(chosen, QStringList{label});
    }

    // Where a menu can appear at the pointer (not on Wayland), a click or a
    // request for the context menu pops it up there; a middle click does
    // nothing. Calls arrive in order, so the last popup follows the others.
    void hostClicksPopTheMenuWhereItCan()
    {
        QSignalSpy windowRequested(item.get(), &StatusItem::windowRequested);
        QVERIFY(host.callItem(service(), u"Activate"_s, {10, 20}));
        QTRY_VERIFY(item->menu()->isVisible());
        item->menu()->hide();
        QVERIFY(host.callItem(service(), u"SecondaryActivate"_s, {10, 20}));
        QVERIFY(host.callItem(service(), u"ContextMenu"_s, {30, 40}));
        QTRY_VERIFY(item->menu()->isVisible());
        item->menu()->hide();
        QCOMPARE(windowRequested.size(), 0);
    }

    // A panel that restarts gets the item again, and an item started before
    // any panel registers once one appears.
    void registrationFollowsTheHost()
    {
        host.leave();
        QVERIFY(host.join());
        QTRY_COMPARE(host.registeredItems().size(), 1);
        item.reset();
        host.leave();
        item = std::make_unique<StatusItem>(StatusItem::Options{});
        item->show();
        QVERIFY(host.join());
        QTRY_COMPARE(host.registeredItems().size(), 1);
    }
};

PELLIX_TEST_MAIN(StatusItemTest)
#include "StatusItemTest.moc"
