#include "PellixTestEnvironment.h"
#include "StatusNotifierItem.h"
#include "TestStatusNotifierHost.h"

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QPixmap>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
const QColor agentColour(0x12, 0x34, 0x56);

QIcon solidIcon(const QColor &colour)
{
    QPixmap pixmap(64, 64);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

// What a test compares: pictures as "WxH #AARRGGBB" of their centre pixel.
QVariant hostView(const QVariantMap &properties, const QString &name)
{
    const QVariant value = properties.value(name);
    if (name != u"IconPixmap"_s)
        return value;
    QStringList pictures;
    for (const QImage &image : value.value<QList<QImage>>()) {
        const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
        pictures.append(u"%1x%2 %3"_s.arg(image.width()).arg(image.height()).arg(centre.name(QColor::HexArgb)));
    }
    return pictures.join(u", "_s);
}

QVariant pictures(const QColor &colour) { return u"22x22 %1, 44x44 %1"_s.arg(colour.name(QColor::HexArgb)); }
}

// The agent's StatusNotifierItem and its DBusMenu as a tray host on the
// private bus sees and drives them.
class StatusNotifierItemTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        host.join();
        host.setHostRegistered(true);
        menu = std::make_unique<QMenu>();
        preferences = menu->addAction(u"Preferences"_s);
        preferences->setShortcut(QKeySequence(u"Ctrl+Shift+P"_s));
        quit = menu->addAction(u"Quit"_s);
        quit->setShortcut(QKeySequence(u"Ctrl+Shift+Q"_s));
        item = newItem();
        QSignalSpy registered(item.get(), &StatusNotifierItem::registeredChanged);
        QVERIFY(registered.wait());
        QVERIFY(host.registeredItems().contains(item->serviceName()));
        host.clearItemSignals();
    }

    void cleanup()
    {
        item.reset();
        menu.reset();
    }

    void hostReadsTheItem_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("title") << u"Title"_s << QVariant(u"Pellix"_s);
        QTest::newRow("id") << u"Id"_s << QVariant(u"pellix-growl"_s);
        QTest::newRow("category") << u"Category"_s << QVariant(u"Communications"_s);
        QTest::newRow("status") << u"Status"_s << QVariant(u"Active"_s);
        QTest::newRow("window") << u"WindowId"_s << QVariant(0);
        QTest::newRow("not only a menu") << u"ItemIsMenu"_s << QVariant(false);
        QTest::newRow("menu") << u"Menu"_s << QVariant(u"/MenuBar"_s);
        QTest::newRow("pictures, ARGB in network order") << u"IconPixmap"_s << pictures(agentColour);
        QTest::newRow("tool tip, the body as markup")
            << u"ToolTip"_s << QVariant(QStringList{u"Pellix"_s, u"Connected as a&amp;b &lt;i&gt;"_s});
    }

    void hostReadsTheItem()
    {
        QFETCH(QString, property);
        QFETCH(QVariant, expected);
        QCOMPARE(hostView(host.itemProperties(item->serviceName()), property), expected);
    }

    void changesAreAnnounced_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("expected");
        QTest::addColumn<QString>("announcement");
        QTest::newRow("title") << u"Title"_s << QVariant(u"Pellix 2"_s) << u"NewTitle"_s;
        QTest::newRow("picture") << u"IconPixmap"_s << pictures(Qt::red) << u"NewIcon"_s;
        QTest::newRow("tool tip") << u"ToolTip"_s << QVariant(QStringList{u"Pellix"_s, u"Offline since 10:00"_s})
                                  << u"NewToolTip"_s;
    }

    void changesAreAnnounced()
    {
        QFETCH(QString, property);
        QFETCH(QVariant, expected);
        QFETCH(QString, announcement);
        if (property == u"Title"_s)
            item->setTitle(expected.toString());
        else if (property == u"IconPixmap"_s)
            item->setIcon(solidIcon(Qt::red));
        else
            item->setToolTip(expected.toStringList().at(0), expected.toStringList().at(1));
        QTRY_COMPARE(host.itemSignals(), QStringList{announcement});
        QCOMPARE(hostView(host.itemProperties(item->serviceName()), property), expected);
    }

    void menuEntriesTriggerTheirActions_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QList<QStringList>>("shortcut");
        QTest::newRow("Preferences") << 0 << u"Preferences"_s
                                     << QList<QStringList>{{u"Control"_s, u"Shift"_s, u"P"_s}};
        QTest::newRow("Quit") << 1 << u"Quit"_s << QList<QStringList>{{u"Control"_s, u"Shift"_s, u"Q"_s}};
    }

    void menuEntriesTriggerTheirActions()
    {
        QFETCH(int, index);
        QFETCH(QString, label);
        QFETCH(QList<QStringList>, shortcut);
        const QList<HostedMenuEntry> entries = host.menu(item->serviceName());
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(index).label, label);
        QCOMPARE(entries.at(index).shortcut, shortcut);
        QSignalSpy chosen(menu->actions().at(index), &QAction::triggered);
        QSignalSpy other(menu->actions().at(1 - index), &QAction::triggered);
        QVERIFY(host.clickMenuEntry(item->serviceName(), entries.at(index).id));
        QTRY_COMPARE(chosen.size(), 1);
        QCOMPARE(other.size(), 0);
    }

    // Added, changed and removed actions reach the host; a disabled entry
    // does nothing when clicked.
    void menuFollowsItsActions()
    {
        QAction *added = menu->addAction(u"Save && &quit_now"_s);
        QTRY_COMPARE(host.itemSignals(), QStringList{u"LayoutUpdated"_s});
        QList<HostedMenuEntry> entries = host.menu(item->serviceName());
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries.at(2).label, u"Save & _quit__now"_s);
        QVERIFY(entries.at(2).shortcut.isEmpty());

        preferences->setEnabled(false);
        QTRY_COMPARE(host.itemSignals().count(u"ItemsPropertiesUpdated"_s), 1);
        entries = host.menu(item->serviceName());
        QCOMPARE(entries.at(0).enabled, false);
        QSignalSpy preferencesChosen(preferences, &QAction::triggered);
        QSignalSpy quitChosen(quit, &QAction::triggered);
        QVERIFY(host.clickMenuEntry(item->serviceName(), entries.at(0).id));
        QVERIFY(host.clickMenuEntry(item->serviceName(), entries.at(1).id));
        QTRY_COMPARE(quitChosen.size(), 1);
        QCOMPARE(preferencesChosen.size(), 0);

        delete added;
        QTRY_COMPARE(host.itemSignals().count(u"LayoutUpdated"_s), 2);
        QCOMPARE(host.menu(item->serviceName()).size(), 2);
        QVERIFY(!host.clickMenuEntry(item->serviceName(), entries.at(2).id));
    }

    void hostCallsReachTheOwner_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QByteArray>("ownerSignal");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("Activate") << u"Activate"_s << QVariantList{10, 20}
                                  << QByteArray(SIGNAL(activateRequested(QPoint))) << QVariant(QPoint(10, 20));
        QTest::newRow("SecondaryActivate") << u"SecondaryActivate"_s << QVariantList{-3, 7}
                                           << QByteArray(SIGNAL(secondaryActivateRequested(QPoint)))
                                           << QVariant(QPoint(-3, 7));
        QTest::newRow("ContextMenu") << u"ContextMenu"_s << QVariantList{1920, 0}
                                     << QByteArray(SIGNAL(contextMenuRequested(QPoint))) << QVariant(QPoint(1920, 0));
        QTest::newRow("ProvideXdgActivationToken")
            << u"ProvideXdgActivationToken"_s << QVariantList{u"kwin-42_TIME123"_s}
            << QByteArray(SIGNAL(activationTokenProvided(QString))) << QVariant(u"kwin-42_TIME123"_s);
    }

    void hostCallsReachTheOwner()
    {
        QFETCH(QString, method);
        QFETCH(QVariantList, arguments);
        QFETCH(QByteArray, ownerSignal);
        QFETCH(QVariant, expected);
        QSignalSpy received(item.get(), ownerSignal.constData());
        QVERIFY(host.callItem(item->serviceName(), method, arguments));
        QTRY_COMPARE(received.size(), 1);
        QCOMPARE(received.at(0).at(0), expected);
    }

    // An item started before any watcher, and a watcher and host that come and go.
    void registrationFollowsTheWatcher()
    {
        item.reset();
        host.leave();
        item = newItem();
        QSignalSpy registered(item.get(), &StatusNotifierItem::registeredChanged);
        QVERIFY(!item->isRegistered());

        host.join();
        QVERIFY(host.waitForItem(item->serviceName()));
        QTRY_VERIFY(item->isRegistered());
        host.leave();
        QTRY_VERIFY(!item->isRegistered());
        host.join();
        QVERIFY(host.waitForItem(item->serviceName()));
        QTRY_VERIFY(item->isRegistered());
        host.setHostRegistered(false);
        QTRY_VERIFY(!item->isRegistered());
        host.setHostRegistered(true);
        QTRY_VERIFY(item->isRegistered());

        QList<bool> states;
        for (const QList<QVariant> &emission : registered)
            states.append(emission.at(0).toBool());
        QCOMPARE(states, (QList<bool>{true, false, true, false, true}));
    }

private:
    std::unique_ptr<StatusNotifierItem> newItem()
    {
        auto newItem = std::make_unique<StatusNotifierItem>(u"pellix-growl"_s);
        newItem->setTitle(u"Pellix"_s);
        newItem->setCategory(u"Communications"_s);
        newItem->setIcon(solidIcon(agentColour));
        newItem->setToolTip(u"Pellix"_s, u"Connected as a&b <i>"_s);
        newItem->setMenu(menu.get());
        return newItem;
    }

    TestStatusNotifierHost host;
    std::unique_ptr<QMenu> menu;
    QAction *preferences = nullptr;
    QAction *quit = nullptr;
    std::unique_ptr<StatusNotifierItem> item;
};

PELLIX_TEST_MAIN(StatusNotifierItemTest)
#include "StatusNotifierItemTest.moc"
