#include "GrowlApplicationBridge.h"
#include "PellixSettings.h"
#include "PellixTestEnvironment.h"
#include "PrefsWindowController.h"
#include "StatusItemPicture.h"
#include "TestNotificationService.h"
#include "TestStreamService.h"
#include "pellix_growlAppDelegate.h"

#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>

namespace {
const QString refusal = QStringLiteral("Growl must be installed and running before using the Pellix growl agent. "
                                       "Requires Growl v1.2.1 or higher.");
const QString listening = QStringLiteral("Listening for notifications...");

QWidget *preferencesWindow()
{
    return PrefsWindowController::initWithWindowNibName(QStringLiteral("PrefsWindow"))->window();
}

// Notes whether the status item existed when the preferences window was shown.
class PreferencesShowing : public QObject
{
public:
    explicit PreferencesShowing(const pellix_growlAppDelegate &agent)
        : delegate(agent)
    {
        qApp->installEventFilter(this);
    }

    std::optional<bool> statusItemExisted;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->windowTitle() == QStringLiteral("Pellix Preferences")
            && !statusItemExisted)
            statusItemExisted = delegate.statusItem() != nullptr;
        return false;
    }

private:
    const pellix_growlAppDelegate &delegate;
};

// Accepts the next modal dialog through its own default button, as a user
// would, and keeps what it said.
class ModalDialogAnswerer : public QObject
{
public:
    ModalDialogAnswerer()
    {
        connect(&poll, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            text = box->text();
            icon = box->icon();
            buttons = box->buttons().size();
            poll.stop();
            box->buttons().constFirst()->click();
        });
        poll.start(20);
    }

    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    qsizetype buttons = 0;

private:
    QTimer poll;
};
}

class AgentStartupTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestNotificationService> notifications;
    std::unique_ptr<TestStreamService> stream;
    std::unique_ptr<pellix_growlAppDelegate> delegate;
    QList<int> exits;

    void configure()
    {
        PellixSettings settings;
        settings.setUsername(QStringLiteral("Alice"));
        settings.setApikey(QStringLiteral("secret"));
        settings.setStreamhost(stream->streamhost());
    }

    QString settingsFileText() const
    {
        QFile file(PellixSettings().fileName());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private slots:
    void init()
    {
        PellixTestEnvironment::clearSettings();
        notifications = std::make_unique<TestNotificationService>();
        stream = std::make_unique<TestStreamService>();
        delegate = std::make_unique<pellix_growlAppDelegate>();
        exits.clear();
        delegate->setExitFunction([this](int status) { exits.append(status); });
    }

    void cleanup()
    {
        delegate.reset();
        stream.reset();
        notifications.reset();
        if (QWidget *window = preferencesWindow())
            window->hide();
    }

    void withoutANotificationServiceItAlertsAndExitsWithNothingStarted()
    {
        notifications->leave();
        configure();
        ModalDialogAnswerer answerer;
        delegate->applicationDidFinishLaunching();
        QCOMPARE(answerer.text, refusal);
        QCOMPARE(answerer.icon, QMessageBox::Warning);
        QCOMPARE(answerer.buttons, 1);
        QCOMPARE(exits, QList<int>{0});
        QCOMPARE(delegate->notification_cursor(), QStringLiteral("init"));
        QVERIFY(!delegate->statusItem());
        QVERIFY(!preferencesWindow() || !preferencesWindow()->isVisible());
        QTest::qWait(200);
        QVERIFY(stream->requests().isEmpty());
        QVERIFY(notifications->calls().isEmpty());
        QVERIFY(!PellixSettings().notificationTypesArray());
    }

    void completeSettingsOpenTheStreamAndPostTheNotice()
    {
        configure();
        delegate->applicationDidFinishLaunching();
        QVERIFY(exits.isEmpty());
        QVERIFY(stream->waitForRequests(1));
        QVERIFY(notifications->waitForCalls(1));
        QCOMPARE(notifications->calls().constFirst().summary, QStringLiteral("Pellix"));
        QCOMPARE(notifications->calls().constFirst().body, listening);
        QCOMPARE(notifications->calls().constFirst().hints.value(QStringLiteral("x-pellix-notification-type")).toString(),
                 QStringLiteral("Generic"));
        QCOMPARE(PellixSettings().notificationTypesArray(),
                 std::optional(QStringList{QStringLiteral("Generic"), QStringLiteral("Pellix")}));
        QVERIFY(!preferencesWindow() || !preferencesWindow()->isVisible());
    }

    void emptySettingsShowThePreferencesBeforeTheStatusItemAndStartUpCompletes()
    {
        PreferencesShowing showing(*delegate);
        delegate->applicationDidFinishLaunching();
        QCOMPARE(showing.statusItemExisted, std::optional(false));
        QVERIFY(preferencesWindow()->isVisible());
        QVERIFY(delegate->statusItem());
        QVERIFY(notifications->waitForCalls(1));
        QCOMPARE(notifications->calls().constFirst().body, listening);
        QVERIFY(stream->requests().isEmpty());
    }

    void statusItemHasTheMenuAndToolTip()
    {
        configure();
        delegate->applicationDidFinishLaunching();
        QSystemTrayIcon *item = delegate->statusItem();
        QVERIFY(item);
        QCOMPARE(item->toolTip(), QStringLiteral("Pellix"));
        QVERIFY(item->isVisible());
        QMenu *menu = item->contextMenu();
        QVERIFY(menu);
        QStringList titles;
        QList<QKeySequence> shortcuts;
        for (const QAction *action : menu->actions()) {
            titles.append(action->text());
            shortcuts.append(action->shortcut());
        }
        QCOMPARE(titles, QStringList({QStringLiteral("Preferences"), QStringLiteral("Quit")}));
        QCOMPARE(shortcuts, QList<QKeySequence>({QKeySequence(QStringLiteral("Ctrl+Shift+P")),
                                                 QKeySequence(QStringLiteral("Ctrl+Shift+Q"))}));
        menu->actions().constFirst()->trigger();
        QVERIFY(preferencesWindow()->isVisible());
        QCOMPARE(preferencesWindow()->windowTitle(), QStringLiteral("Pellix Preferences"));
        QVERIFY(exits.isEmpty());
        menu->actions().constLast()->trigger();
        QCOMPARE(exits, QList<int>{0});
    }

    void monochromeIconOnlyForExactlyOne_data()
    {
        QTest::addColumn<QVariant>("bwmenuicon");
        QTest::addColumn<QString>("picture");
        const QString colour = QStringLiteral("pellix_menu_icon.png");
        const QString monochrome = QStringLiteral("zarkleSMASHr.png");
        QTest::newRow("missing") << QVariant() << colour;
        QTest::newRow("0") << QVariant(0) << colour;
        QTest::newRow("1") << QVariant(1) << monochrome;
        QTest::newRow("2") << QVariant(2) << colour;
        QTest::newRow("-1") << QVariant(-1) << colour;
        QTest::newRow("not a number") << QVariant(QStringLiteral("yes")) << colour;
    }

    void monochromeIconOnlyForExactlyOne()
    {
        QFETCH(QVariant, bwmenuicon);
        QFETCH(QString, picture);
        configure();
        if (bwmenuicon.isValid())
            QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Pellix"), QStringLiteral("PellixGrowl"))
                .setValue(QStringLiteral("bwmenuicon"), bwmenuicon);
        delegate->applicationDidFinishLaunching();
        QCOMPARE(delegate->statusItemPictureName(), picture);
        QCOMPARE(StatusItemPicture::nameOf(delegate->statusItem()->icon()), picture);
    }

    void quitCancelsTheStreamWritesTheSettingsAndExitsWithZero()
    {
        configure();
        delegate->applicationDidFinishLaunching();
        TestStreamExchange *exchange = stream->nextExchange();
        QVERIFY(exchange);
        delegate->checkNotificationType(QStringLiteral("Type of this run"));
        delegate->quit();
        QCOMPARE(exits, QList<int>{0});
        QVERIFY(settingsFileText().contains(QStringLiteral("Type of this run")));
        QVERIFY(exchange->waitForClosedByPeer());
        QVERIFY(!delegate->reconnectTimer()->isActive());
    }

    void quitWithoutAStreamStillWritesAndExits()
    {
        delegate->checkNotificationType(QStringLiteral("Another"));
        delegate->quit();
        QCOMPARE(exits, QList<int>{0});
        QVERIFY(settingsFileText().contains(QStringLiteral("Another")));
    }
};

PELLIX_TEST_MAIN(AgentStartupTest)
#include "AgentStartupTest.moc"
