#include "AXCVHandlerField.h"
#include "PellixSettings.h"
#include "PrefsWindowController.h"
#include "pellix_growlAppDelegate.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDBusConnection>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

namespace {

// The desktop's notification service, on the test's private session bus:
// records the summary and body of every notification posted.
class RecordingNotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList posted;

public slots:
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }

    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int)
    {
        posted.append(summary + QLatin1Char('|') + body);
        return uint(posted.size());
    }
};

// The stream service on 127.0.0.1: answers every request with a body that
// stays open, and keeps the connection of each request so that its closing
// can be seen. Requests are told apart by the user segment of their path.
class StreamService : public QObject
{
    Q_OBJECT

public:
    QTcpServer server;
    QList<std::pair<QString, QPointer<QTcpSocket>>> requests;

    StreamService()
    {
        connect(&server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                const QList<QByteArray> requestLine = socket->readAll().split(' ');
                if (requestLine.size() < 2)
                    return;
                requests.append({QString::fromUtf8(requestLine.at(1)), socket});
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n");
            });
        });
    }

    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(server.serverPort()); }

    qsizetype requestsFor(const QString &user) const
    {
        return std::count_if(requests.cbegin(), requests.cend(), [&](const auto &request) {
            return request.first.section(QLatin1Char('/'), 3, 3) == user;
        });
    }

    bool isOpenFor(const QString &user) const
    {
        for (auto request = requests.crbegin(); request != requests.crend(); ++request) {
            if (request->first.section(QLatin1Char('/'), 3, 3) == user)
                return request->second && request->second->state() == QAbstractSocket::ConnectedState;
        }
        return false;
    }
};

const QString listeningNotice = QStringLiteral("Pellix|Listening for notifications...");
const QString colourPicture = QStringLiteral(":/pellix_menu_icon.png");
const QString monochromePicture = QStringLiteral(":/zarkleSMASHr.png");

struct StoredValues
{
    QString username;
    QString apikey;
    QString streamhost;
    std::optional<int> bwmenuicon;
};

}

Q_DECLARE_METATYPE(StoredValues)

class PrefsWindowControllerTest : public QObject
{
    Q_OBJECT

    RecordingNotificationService notifications;
    StreamService stream;
    std::unique_ptr<pellix_growlAppDelegate> agent;
    PrefsWindowController *controller = nullptr;

    QWidget *window() const { return controller->window(); }

    static void store(const StoredValues &values)
    {
        QFile::remove(PellixSettings().fileName());
        PellixSettings settings;
        if (!values.username.isNull())
            settings.setUsername(values.username);
        if (!values.apikey.isNull())
            settings.setApikey(values.apikey);
        if (!values.streamhost.isNull())
            settings.setStreamhost(values.streamhost);
        if (values.bwmenuicon)
            settings.setBwmenuicon(*values.bwmenuicon);
        settings.synchronize();
    }

    // Each test gets a user of its own, so that the stream requests of
    // earlier tests, which may arrive late, are not counted for it.
    int testRun = 0;
    QString storedUsername;

    void storeCompleteSettings()
    {
        storedUsername = QStringLiteral("Alice%1").arg(++testRun);
        store({storedUsername, QStringLiteral("Key"), stream.host(), 0});
    }

    QString user() const { return storedUsername.toLower(); }

    bool trayShows(const QString &picture) const
    {
        const QSize size(22, 22);
        return agent->statusItem()->icon().pixmap(size).toImage() == QIcon(picture).pixmap(size).toImage();
    }

    static void typeInto(QLineEdit *field, const QString &text)
    {
        field->clear();
        field->setFocus();
        QTest::keyClicks(field, text);
        QCOMPARE(field->text(), text);
    }

    // Saving as the user does: Return in a field presses the default button.
    void pressReturn() { QTest::keyClick(controller->apikeyField(), Qt::Key_Return); }

    QPushButton *saveButton() const { return window()->findChild<QPushButton *>(QStringLiteral("saveButton")); }

private slots:
    void initTestCase()
    {
        QApplication::setQuitOnLastWindowClosed(false);
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY2(bus.isConnected(), "needs a session bus (run inside dbus-run-session)");
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(stream.server.listen(QHostAddress::LocalHost));
        agent = std::make_unique<pellix_growlAppDelegate>();
        agent->setStatusItem(new QSystemTrayIcon(QIcon(colourPicture)));
        controller = PrefsWindowController::initWithWindowNibName(QStringLiteral("PrefsWindow"));
    }

    void init()
    {
        if (window())
            window()->close();
        storeCompleteSettings();
        agent->statusItem()->setIcon(QIcon(colourPicture));
        notifications.posted.clear();
    }

    // Runs first: the window exists only from the first showing on.
    void preferencesTwiceShowTheOneWindowLoadedOnce()
    {
        QVERIFY(!window());
        store({QStringLiteral("ALICE"), QStringLiteral("Key"), stream.host(), 1});

        agent->prefs();
        QWidget *first = window();
        QVERIFY(first);
        QVERIFY(first->isVisible());
        QCOMPARE(first->windowTitle(), QStringLiteral("Pellix Preferences"));
        QCOMPARE(controller->usernameField()->text(), QStringLiteral("alice"));
        QCOMPARE(controller->apikeyField()->echoMode(), QLineEdit::Password);
        QVERIFY(controller->checkboxBWIcon()->isChecked());
        QCOMPARE(controller->lblVersion()->text(), QStringLiteral("Version " PELLIX_VERSION " beta"));
        QVERIFY(saveButton()->isDefault());

        agent->prefs();
        QCOMPARE(PrefsWindowController::initWithWindowNibName(QStringLiteral("Other")), controller);
        QCOMPARE(controller->windowNibName(), QStringLiteral("PrefsWindow"));
        QCOMPARE(window(), first);
        QCOMPARE(first->findChildren<AXCVHandlerField *>().size(), 1);
        QVERIFY(first->isVisible());
    }

    void showingCentresTheWindow()
    {
        agent->prefs();
        window()->move(0, 0);
        agent->prefs();
        const QPoint offCentre = window()->frameGeometry().center() - window()->screen()->availableGeometry().center();
        QVERIFY2(offCentre.manhattanLength() <= 2, qPrintable(QStringLiteral("off by %1, %2").arg(offCentre.x()).arg(offCentre.y())));
    }

    void showsTheStoredValues_data()
    {
        QTest::addColumn<StoredValues>("stored");
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("apikey");
        QTest::addColumn<bool>("monochrome");

        QTest::newRow("nothing stored") << StoredValues{} << "" << "" << false;
        QTest::newRow("user name in lower case")
            << StoredValues{QStringLiteral("Alice"), QStringLiteral("KeY"), {}, 0} << "alice" << "KeY" << false;
        QTest::newRow("non-ASCII capitals")
            << StoredValues{QStringLiteral("ÄLICE"), QStringLiteral("k"), {}, 0} << "älice" << "k" << false;
        QTest::newRow("monochrome") << StoredValues{{}, {}, {}, 1} << "" << "" << true;
        QTest::newRow("2 is not monochrome") << StoredValues{{}, {}, {}, 2} << "" << "" << false;
        QTest::newRow("-1 is not monochrome") << StoredValues{{}, {}, {}, -1} << "" << "" << false;
    }

    void showsTheStoredValues()
    {
        QFETCH(StoredValues, stored);
        store(stored);
        agent->prefs();
        QTEST(controller->usernameField()->text(), "username");
        QTEST(controller->apikeyField()->text(), "apikey");
        QTEST(controller->checkboxBWIcon()->isChecked(), "monochrome");
        QCOMPARE(controller->streamhostField()->text(), QString());
        QCOMPARE(controller->streamhostField()->placeholderText(), QStringLiteral("stream.pellix.org"));
    }

    void savingStoresExactlyWhatWasTyped_data()
    {
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("apikey");
        QTest::addColumn<QString>("streamhost");
        QTest::addColumn<bool>("tick");

        QTest::newRow("capitals kept") << "Alice" << "KeY-1" << "%1" << false;
        QTest::newRow("spaces kept") << " bob " << " spaced key " << " %1 " << false;
        QTest::newRow("server and monochrome") << "carol" << "k" << "%1" << true;
    }

    void savingStoresExactlyWhatWasTyped()
    {
        QFETCH(QString, username);
        QFETCH(QString, apikey);
        QFETCH(QString, streamhost);
        QFETCH(bool, tick);
        streamhost.replace(QStringLiteral("%1"), stream.host());
        agent->prefs();
        typeInto(controller->usernameField(), username);
        typeInto(controller->apikeyField(), apikey);
        typeInto(controller->streamhostField(), streamhost);
        if (tick)
            QTest::mouseClick(controller->checkboxBWIcon(), Qt::LeftButton);

        pressReturn();

        const PellixSettings settings;
        QCOMPARE(settings.username(), username);
        QCOMPARE(settings.apikey(), apikey);
        QCOMPARE(settings.streamhost(), streamhost);
        QCOMPARE(settings.bwmenuicon(), tick ? 1 : 0);
        QVERIFY(!window()->isVisible());
        QTRY_COMPARE(notifications.posted, QStringList{listeningNotice});
    }

    void savingUntouchedStoresTheLowerCaseName()
    {
        agent->prefs();
        QTest::mouseClick(saveButton(), Qt::LeftButton);
        QCOMPARE(PellixSettings().username(), user());
    }

    void savingReconnectsTheStream()
    {
        agent->prefs();
        pressReturn();
        QTRY_VERIFY(stream.isOpenFor(user()));
        QCOMPARE(stream.requestsFor(user()), 1);
    }

    // Ticking previews the picture; only saving stores the choice.
    void tickingSwitchesTheTrayPictureAtOnce()
    {
        agent->prefs();
        QCheckBox *checkbox = controller->checkboxBWIcon();
        QTest::mouseClick(checkbox, Qt::LeftButton);
        QVERIFY(trayShows(monochromePicture));
        QTest::mouseClick(checkbox, Qt::LeftButton);
        QVERIFY(trayShows(colourPicture));
        QTest::mouseClick(checkbox, Qt::LeftButton);
        QVERIFY(trayShows(monochromePicture));

        window()->close();
        QCOMPARE(PellixSettings().bwmenuicon(), 0);
        QVERIFY(trayShows(monochromePicture));

        agent->prefs();
        QVERIFY(!checkbox->isChecked());
        QVERIFY(trayShows(monochromePicture));

        pressReturn();
        QCOMPARE(PellixSettings().bwmenuicon(), 0);
        QVERIFY(trayShows(colourPicture));
    }

    void onlyTheCheckboxSwitchesThePicture()
    {
        agent->prefs();
        controller->checkboxBWIcon()->setChecked(true);
        controller->menuIconCheck(controller->usernameField());
        QVERIFY(trayShows(colourPicture));
        controller->menuIconCheck(controller->checkboxBWIcon());
        QVERIFY(trayShows(monochromePicture));
    }

    void reopeningDiscardsUnsavedEdits_data()
    {
        QTest::addColumn<bool>("closeFirst");
        QTest::newRow("while it is open") << false;
        QTest::newRow("after closing it") << true;
    }

    void reopeningDiscardsUnsavedEdits()
    {
        QFETCH(bool, closeFirst);
        agent->prefs();
        typeInto(controller->usernameField(), QStringLiteral("edited"));
        typeInto(controller->apikeyField(), QStringLiteral("edited"));
        typeInto(controller->streamhostField(), QStringLiteral("edited"));
        QTest::mouseClick(controller->checkboxBWIcon(), Qt::LeftButton);
        if (closeFirst)
            window()->close();

        agent->prefs();

        QVERIFY(window()->isVisible());
        QCOMPARE(controller->usernameField()->text(), user());
        QCOMPARE(controller->apikeyField()->text(), QStringLiteral("Key"));
        QCOMPARE(controller->streamhostField()->text(), stream.host());
        QVERIFY(!controller->checkboxBWIcon()->isChecked());
    }

    // The stream is opened asynchronously: whether it will ever connect is
    // not known when the window closes.
    void everySaveClosesTheWindow_data()
    {
        QTest::addColumn<QString>("streamhost");
        QTest::newRow("service answers") << "%1";
        QTest::newRow("connection refused") << "127.0.0.1:1";
        QTest::newRow("not a host") << "host/with/path";
    }

    void everySaveClosesTheWindow()
    {
        QFETCH(QString, streamhost);
        agent->prefs();
        typeInto(controller->streamhostField(), streamhost.replace(QStringLiteral("%1"), stream.host()));
        pressReturn();
        QVERIFY(!window()->isVisible());
        QTRY_COMPARE(notifications.posted, QStringList{listeningNotice});
    }

    void incompleteSettingsLeaveTheStreamIdleAndTheWindowOpen_data()
    {
        QTest::addColumn<bool>("clearUsername");
        QTest::newRow("empty user name") << true;
        QTest::newRow("empty API key") << false;
    }

    void incompleteSettingsLeaveTheStreamIdleAndTheWindowOpen()
    {
        QFETCH(bool, clearUsername);
        agent->reconnectNotificationStream();
        QTRY_VERIFY(stream.isOpenFor(user()));
        agent->prefs();
        typeInto(controller->apikeyField(), QStringLiteral("NewKey"));
        (clearUsername ? controller->usernameField() : controller->apikeyField())->clear();

        pressReturn();

        QVERIFY(window()->isVisible());
        QCOMPARE(controller->usernameField()->text(), clearUsername ? QString() : user());
        QCOMPARE(controller->apikeyField()->text(), clearUsername ? QStringLiteral("NewKey") : QString());
        QTRY_VERIFY(!stream.isOpenFor(user()));
        QVERIFY(!agent->reconnectTimer()->isActive());
        // A connection opened all the same would have sent its request by now.
        QTest::qWait(50);
        QCOMPARE(stream.requestsFor(user()), 1);
        QCOMPARE(notifications.posted, QStringList());
    }

    // The user-name field supplies the edit shortcuts to the whole window.
    void pasteShortcutReachesTheApiKeyField()
    {
        agent->prefs();
        controller->apikeyField()->clear();
        controller->apikeyField()->setFocus();
        QGuiApplication::clipboard()->setText(QStringLiteral("pasted-key"));
        QTest::keyClick(controller->usernameField(), 'v', Qt::ControlModifier);
        QCOMPARE(controller->apikeyField()->text(), QStringLiteral("pasted-key"));
        QCOMPARE(controller->usernameField()->text(), user());
    }

    // Saves a picture of the window for the documentation when asked to.
    void screenshot()
    {
        const QString path = qEnvironmentVariable("PELLIX_SCREENSHOT");
        if (path.isEmpty())
            QSKIP("set PELLIX_SCREENSHOT to a file name to save a picture of the window");
        store({QStringLiteral("alice"), QStringLiteral("0123456789abcdef"), {}, 0});
        agent->prefs();
        controller->usernameField()->setFocus();
        controller->usernameField()->end(false);
        QVERIFY(window()->grab().save(path));
    }
};

QTEST_MAIN(PrefsWindowControllerTest)
#include "PrefsWindowControllerTest.moc"
