#include "AXCVHandlerField.h"
#include "PellixSettings.h"
#include "PellixTestEnvironment.h"
#include "PrefsWindowController.h"
#include "TestNotificationService.h"
#include "TestStreamService.h"
#include "pellix_growlAppDelegate.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>

#include <memory>
#include <optional>

namespace {

const QString listeningNotice = QStringLiteral("Pellix: Listening for notifications...");
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

    std::unique_ptr<TestNotificationService> notifications;
    std::unique_ptr<TestStreamService> stream;
    std::unique_ptr<pellix_growlAppDelegate> agent;
    PrefsWindowController *controller = nullptr;

    QWidget *window() const { return controller->window(); }

    static void store(const StoredValues &values)
    {
        PellixTestEnvironment::clearSettings();
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
        store({storedUsername, QStringLiteral("Key"), stream->streamhost(), 0});
    }

    QString user() const { return storedUsername.toLower(); }

    qsizetype noticesBefore = 0;

    QStringList notices() const
    {
        QStringList posted;
        for (const NotifyCall &call : notifications->calls().mid(noticesBefore))
            posted.append(call.summary + QStringLiteral(": ") + call.body);
        return posted;
    }

    qsizetype requestsFor(const QString &user) const
    {
        const QList<TestStreamRequest> requests = stream->requests();
        return std::count_if(requests.cbegin(), requests.cend(),
                             [&](const TestStreamRequest &request) { return userOf(request) == user; });
    }

    static QString userOf(const TestStreamRequest &request)
    {
        return QString::fromUtf8(request.path).section(QLatin1Char('/'), 3, 3);
    }

    // The connection of this test's user; those of earlier tests come first.
    TestStreamExchange *exchangeFor(const QString &user) const
    {
        while (TestStreamExchange *exchange = stream->nextExchange()) {
            if (userOf(exchange->request()) == user)
                return exchange;
        }
        return nullptr;
    }

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
        notifications = std::make_unique<TestNotificationService>();
        stream = std::make_unique<TestStreamService>();
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
        noticesBefore = notifications->calls().size();
    }

    // Runs first: the window exists only from the first showing on.
    void preferencesTwiceShowTheOneWindowLoadedOnce()
    {
        QVERIFY(!window());
        store({QStringLiteral("ALICE"), QStringLiteral("Key"), stream->streamhost(), 1});

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
        const QPoint offCentre =
            window()->frameGeometry().center() - window()->screen()->availableGeometry().center();
        QVERIFY2(offCentre.manhattanLength() <= 2,
                 qPrintable(QStringLiteral("off by %1, %2").arg(offCentre.x()).arg(offCentre.y())));
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
        streamhost.replace(QStringLiteral("%1"), stream->streamhost());
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
        QTRY_COMPARE(notices(), QStringList{listeningNotice});
    }

    void savingUntouchedStoresTheLowerCaseName()
    {
        agent->prefs();
        QTest::mouseClick(saveButton(), Qt::LeftButton);
        QCOMPARE(PellixSettings().username(), user());
        QTRY_COMPARE(notices(), QStringList{listeningNotice});
    }

    void savingReconnectsTheStream()
    {
        agent->prefs();
        pressReturn();
        QVERIFY(exchangeFor(user()));
        QCOMPARE(requestsFor(user()), 1);
        QTRY_COMPARE(notices(), QStringList{listeningNotice});
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
        QTRY_COMPARE(notices(), QStringList{listeningNotice});
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
        QCOMPARE(controller->streamhostField()->text(), stream->streamhost());
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
        typeInto(controller->streamhostField(), streamhost.replace(QStringLiteral("%1"), stream->streamhost()));
        pressReturn();
        QVERIFY(!window()->isVisible());
        QTRY_COMPARE(notices(), QStringList{listeningNotice});
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
        TestStreamExchange *open = exchangeFor(user());
        QVERIFY(open);
        open->sendHead(200);
        agent->prefs();
        typeInto(controller->apikeyField(), QStringLiteral("NewKey"));
        (clearUsername ? controller->usernameField() : controller->apikeyField())->clear();

        pressReturn();

        QVERIFY(window()->isVisible());
        QCOMPARE(controller->usernameField()->text(), clearUsername ? QString() : user());
        QCOMPARE(controller->apikeyField()->text(), clearUsername ? QStringLiteral("NewKey") : QString());
        QVERIFY(open->waitForClosedByPeer());
        QVERIFY(!agent->reconnectTimer()->isActive());
        // A connection opened all the same would have sent its request by now.
        QTest::qWait(50);
        QCOMPARE(requestsFor(user()), 1);
        QCOMPARE(notices(), QStringList());
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

PELLIX_TEST_MAIN(PrefsWindowControllerTest)
#include "PrefsWindowControllerTest.moc"
