#include "AXCVHandlerField.h"
#include "AutostartEntry.h"
#include "PellixSettings.h"
#include "PellixTestEnvironment.h"
#include "PrefsWindowController.h"
#include "TestNotificationService.h"
#include "TestHttpService.h"
#include "pellix_growlAppDelegate.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

using namespace Qt::StringLiterals;

namespace {
const QString colour = u"pellix_menu_icon.png"_s;
const QString monochrome = u"zarkleSMASHr.png"_s;
const QStringList listening{u"Pellix: Listening for notifications..."_s};

void store(const QVariantMap &values)
{
    PellixTestEnvironment::clearSettings();
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, u"Pellix"_s, u"PellixGrowl"_s);
    for (auto value = values.cbegin(); value != values.cend(); ++value)
        settings.setValue(value.key(), value.value());
}

QString userOf(const TestHttpRequest &request) { return QString::fromUtf8(request.path).section(u'/', 3, 3); }

void typeInto(QLineEdit *field, const QString &text)
{
    field->clear();
    field->setFocus();
    QTest::keyClicks(field, text);
    QCOMPARE(field->text(), text);
}

// What desktop-file-validate says about the text as a desktop entry: empty
// when it is valid.
QString validationProblems(const QByteArray &entry)
{
    QTemporaryFile file(QDir::tempPath() + u"/XXXXXX.desktop"_s);
    if (!file.open() || file.write(entry) != entry.size() || !file.flush())
        return u"cannot write the entry to check it"_s;
    QProcess validator;
    validator.setProcessChannelMode(QProcess::MergedChannels);
    validator.start(u"desktop-file-validate"_s, {file.fileName()});
    if (!validator.waitForFinished(10000))
        return u"desktop-file-validate did not run"_s;
    const QString output = QString::fromUtf8(validator.readAll());
    return validator.exitCode() == 0 && output.isEmpty() ? QString() : output + u" in:\n"_s + entry;
}

QStringList execLines(const QByteArray &entry)
{
    QStringList lines = QString::fromUtf8(entry).split(u'\n');
    lines.removeIf([](const QString &line) { return !line.startsWith("Exec="_L1); });
    return lines;
}

QString autostartFolder() { return QFileInfo(AutostartEntry::path()).absolutePath(); }
}

// The preferences window with the agent behind it, and the start-at-login entry.
class PrefsWindowControllerTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestNotificationService> notifications;
    std::unique_ptr<TestHttpService> stream;
    std::unique_ptr<pellix_growlAppDelegate> agent;
    PrefsWindowController *controller = nullptr;

    // Each test gets a user of its own, so that the stream requests of
    // earlier tests, which may arrive late, are not counted for it.
    int testRun = 0;
    QString user;
    qsizetype noticesBefore = 0;

    QWidget *window() const { return controller->window(); }

    QStringList notices() const
    {
        QStringList posted;
        for (const NotifyCall &call : notifications->calls().mid(noticesBefore))
            posted.append(call.summary + u": "_s + call.body);
        return posted;
    }

    qsizetype requestsForUser() const
    {
        const QList<TestHttpRequest> requests = stream->requests();
        return std::count_if(requests.cbegin(), requests.cend(),
                             [this](const TestHttpRequest &request) { return userOf(request) == user; });
    }

    // The connection of this test's user; those of earlier tests come first.
    TestHttpExchange *exchangeForUser() const
    {
        while (TestHttpExchange *exchange = stream->nextExchange()) {
            if (userOf(exchange->request()) == user)
                return exchange;
        }
        return nullptr;
    }

    QString trayPicture() const { return agent->statusItem()->imageName(); }

    void showPreferences()
    {
        agent->prefs();
        QVERIFY(window()->isVisible());
    }

    // Saving as the user does: Return in a field presses the default button.
    void pressReturn() { QTest::keyClick(controller->apikeyField(), Qt::Key_Return); }

    QPushButton *saveButton() const { return window()->findChild<QPushButton *>(u"saveButton"_s); }

private slots:
    void initTestCase()
    {
        notifications = std::make_unique<TestNotificationService>();
        stream = std::make_unique<TestHttpService>();
        agent = std::make_unique<pellix_growlAppDelegate>();
        agent->setStatusItem(new StatusItem({}));
        agent->statusItem()->setImage(colour);
        controller = PrefsWindowController::initWithWindowNibName(u"PrefsWindow"_s);
    }

    void init()
    {
        if (window())
            window()->close();
        user = u"alice%1"_s.arg(++testRun);
        store({{u"username"_s, u"Alice%1"_s.arg(testRun)},
               {u"apikey"_s, u"Key"_s},
               {u"streamhost"_s, stream->streamhost()},
               {u"bwmenuicon"_s, 0}});
        agent->statusItem()->setImage(colour);
        noticesBefore = notifications->calls().size();
        QFile::remove(autostartFolder());
        QDir(autostartFolder()).removeRecursively();
    }

    // Runs first: the window exists only from the first showing on.
    void preferencesTwiceShowTheOneWindowLoadedOnce()
    {
        QVERIFY(!window());
        showPreferences();
        QWidget *first = window();
        QCOMPARE(first->windowTitle(), u"Pellix Preferences"_s);
        QCOMPARE(controller->apikeyField()->echoMode(), QLineEdit::Password);
        QCOMPARE(controller->lblVersion()->text(), QStringLiteral("Version " PELLIX_VERSION " beta"));

        showPreferences();
        QCOMPARE(PrefsWindowController::initWithWindowNibName(u"Other"_s), controller);
        QCOMPARE(window(), first);
        QCOMPARE(first->findChildren<AXCVHandlerField *>().size(), 1);

        window()->move(0, 0);
        showPreferences();
        const QPoint offCentre = window()->frameGeometry().center() - window()->screen()->availableGeometry().center();
        QVERIFY2(offCentre.manhattanLength() <= 2,
                 qPrintable(u"off by %1, %2"_s.arg(offCentre.x()).arg(offCentre.y())));
    }

    void showsTheStoredValues_data()
    {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("apikey");
        QTest::addColumn<bool>("monochrome");
        const auto named = [](const QString &name, const QString &key) {
            return QVariantMap{{u"username"_s, name}, {u"apikey"_s, key}};
        };
        const auto icon = [](int bwmenuicon) { return QVariantMap{{u"bwmenuicon"_s, bwmenuicon}}; };
        QTest::newRow("nothing stored") << QVariantMap() << "" << "" << false;
        QTest::newRow("user name in lower case") << named(u"Alice"_s, u"KeY"_s) << "alice" << "KeY" << false;
        QTest::newRow("non-ASCII capitals") << named(u"ÄLICE"_s, u"k"_s) << "älice" << "k" << false;
        QTest::newRow("monochrome") << icon(1) << "" << "" << true;
        QTest::newRow("2 is not monochrome") << icon(2) << "" << "" << false;
        QTest::newRow("-1 is not monochrome") << icon(-1) << "" << "" << false;
    }

    void showsTheStoredValues()
    {
        QFETCH(QVariantMap, stored);
        store(stored);
        agent->prefs();
        QTEST(controller->usernameField()->text(), "username");
        QTEST(controller->apikeyField()->text(), "apikey");
        QTEST(controller->checkboxBWIcon()->isChecked(), "monochrome");
        QCOMPARE(controller->streamhostField()->text(), QString());
        QCOMPARE(controller->streamhostField()->placeholderText(), u"stream.pellix.org"_s);
    }

    // The stream is opened asynchronously: whether it will ever connect is
    // not known when the window closes, so every save closes it.
    void savingStoresExactlyWhatWasTyped_data()
    {
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("apikey");
        QTest::addColumn<QString>("streamhost");
        QTest::addColumn<bool>("tick");
        QTest::newRow("capitals kept") << "Alice" << "KeY-1" << "%1" << false;
        QTest::newRow("spaces kept") << " bob " << " spaced key " << " %1 " << false;
        QTest::newRow("server and monochrome") << "carol" << "k" << "%1" << true;
        QTest::newRow("connection refused") << "dave" << "k" << "127.0.0.1:1" << false;
        QTest::newRow("not a host") << "erin" << "k" << "host/with/path" << false;
    }

    void savingStoresExactlyWhatWasTyped()
    {
        QFETCH(QString, username);
        QFETCH(QString, apikey);
        QFETCH(QString, streamhost);
        QFETCH(bool, tick);
        streamhost.replace(u"%1"_s, stream->streamhost());
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
        QTRY_COMPARE(notices(), listening);
    }

    void savingUntouchedStoresTheLowerCaseNameAndReconnects()
    {
        agent->prefs();
        QTest::mouseClick(saveButton(), Qt::LeftButton);
        QCOMPARE(PellixSettings().username(), user);
        QVERIFY(exchangeForUser());
        QCOMPARE(requestsForUser(), 1);
        QTRY_COMPARE(notices(), listening);
    }

    // Ticking previews the picture; only saving stores the choice.
    void tickingSwitchesTheTrayPictureAtOnce()
    {
        agent->prefs();
        QCheckBox *checkbox = controller->checkboxBWIcon();
        for (const QString &picture : {monochrome, colour, monochrome}) {
            QTest::mouseClick(checkbox, Qt::LeftButton);
            QCOMPARE(trayPicture(), picture);
        }

        window()->close();
        QCOMPARE(PellixSettings().bwmenuicon(), 0);
        QCOMPARE(trayPicture(), monochrome);

        agent->prefs();
        QVERIFY(!checkbox->isChecked());
        QCOMPARE(trayPicture(), monochrome);

        pressReturn();
        QCOMPARE(PellixSettings().bwmenuicon(), 0);
        QCOMPARE(trayPicture(), colour);
        QTRY_COMPARE(notices(), listening);
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
        for (QLineEdit *field : QList<QLineEdit *>{controller->usernameField(), controller->apikeyField(),
                                                   controller->streamhostField()})
            typeInto(field, u"edited"_s);
        QTest::mouseClick(controller->checkboxBWIcon(), Qt::LeftButton);
        if (closeFirst)
            window()->close();

        showPreferences();
        QCOMPARE(controller->usernameField()->text(), user);
        QCOMPARE(controller->apikeyField()->text(), u"Key"_s);
        QCOMPARE(controller->streamhostField()->text(), stream->streamhost());
        QVERIFY(!controller->checkboxBWIcon()->isChecked());
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
        TestHttpExchange *open = exchangeForUser();
        QVERIFY(open);
        open->sendHead(200);
        agent->prefs();
        typeInto(controller->apikeyField(), u"NewKey"_s);
        (clearUsername ? controller->usernameField() : controller->apikeyField())->clear();

        pressReturn();

        QVERIFY(window()->isVisible());
        QCOMPARE(controller->usernameField()->text(), clearUsername ? QString() : user);
        QCOMPARE(controller->apikeyField()->text(), clearUsername ? u"NewKey"_s : QString());
        QVERIFY(open->waitForClosedByPeer());
        QVERIFY(!agent->notificationStream().isWaitingToReopen());
        // A connection opened all the same would have sent its request by now.
        QTest::qWait(50);
        QCOMPARE(requestsForUser(), 1);
        QCOMPARE(notices(), QStringList());
    }

    // The user-name field supplies the edit shortcuts to the whole window.
    void pasteShortcutReachesTheApiKeyField()
    {
        agent->prefs();
        controller->apikeyField()->clear();
        controller->apikeyField()->setFocus();
        QGuiApplication::clipboard()->setText(u"pasted-key"_s);
        QTest::keyClick(controller->usernameField(), 'v', Qt::ControlModifier);
        QCOMPARE(controller->apikeyField()->text(), u"pasted-key"_s);
        QCOMPARE(controller->usernameField()->text(), user);
    }

    // Saves a picture of the window (docs/preferences.png) when asked to.
    void screenshot()
    {
        const QString path = qEnvironmentVariable("PELLIX_SCREENSHOT");
        if (path.isEmpty())
            QSKIP("set PELLIX_SCREENSHOT to a file name to save a picture of the window");
        store({{u"username"_s, u"alice"_s}, {u"apikey"_s, u"0123456789abcdef"_s}, {u"bwmenuicon"_s, 0}});
        agent->prefs();
        controller->usernameField()->setFocus();
        controller->usernameField()->end(false);
        QVERIFY(window()->grab().save(path));
    }

    void autostartEntryStartsTheProgramAndIsValid_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << u"/usr/bin/pellix-growl"_s << u"Exec=/usr/bin/pellix-growl"_s;
        QTest::newRow("space") << u"/opt/my apps/pellix-growl"_s << u"Exec=\"/opt/my apps/pellix-growl\""_s;
        QTest::newRow("percent") << u"/opt/100%/pellix-growl"_s << u"Exec=/opt/100%%/pellix-growl"_s;
        QTest::newRow("double quote") << u"/opt/a\"b/pellix-growl"_s << u"Exec=\"/opt/a\\\\\"b/pellix-growl\""_s;
        QTest::newRow("dollar and backquote")
            << u"/opt/$HOME`x`/pellix-growl"_s << u"Exec=\"/opt/\\\\$HOME\\\\`x\\\\`/pellix-growl\""_s;
        QTest::newRow("backslash") << u"/opt/a\\b/pellix-growl"_s << u"Exec=\"/opt/a\\\\\\\\b/pellix-growl\""_s;
        QTest::newRow("single quote") << u"/home/o'neil/pellix-growl"_s << u"Exec=\"/home/o'neil/pellix-growl\""_s;
        QTest::newRow("none known") << QString() << u"Exec=pellix-growl"_s;
    }

    void autostartEntryStartsTheProgramAndIsValid()
    {
        QFETCH(QString, program);
        QFETCH(QString, exec);
        const QByteArray entry = AutostartEntry(program).contents();
        QCOMPARE(execLines(entry), QStringList{exec});
        QCOMPARE(validationProblems(entry), QString());
    }

    // The entry's presence is the choice: writing or removing it twice is no
    // failure, and one written by another copy of the agent counts too.
    void theStartAtLoginBoxFollowsTheEntryAndSavingWritesOrRemovesIt()
    {
        showPreferences();
        QCheckBox *box = controller->checkboxStartAtLogin();
        QCOMPARE(box->text(), u"Start at &login"_s);
        QVERIFY(!box->isChecked());

        box->click();
        saveButton()->click();
        QVERIFY(!window()->isVisible());
        const QString path = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/autostart/pellix-growl.desktop"_s;
        QCOMPARE(AutostartEntry::path(), path);
        QVERIFY(AutostartEntry::isEnabled());
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), AutostartEntry(QCoreApplication::applicationFilePath()).contents());
        QVERIFY(AutostartEntry().setEnabled(true));

        showPreferences();
        QVERIFY(box->isChecked());
        box->click();
        saveButton()->click();
        QVERIFY(!QFile::exists(AutostartEntry::path()));
        QVERIFY(AutostartEntry().setEnabled(false));
        showPreferences();
        QVERIFY(!box->isChecked());

        window()->close();
        QVERIFY(AutostartEntry(u"/elsewhere/pellix-growl"_s).setEnabled(true));
        showPreferences();
        QVERIFY(box->isChecked());
    }

    void aBlockedAutostartFolderFailsButTheRestIsSavedAndTheBoxShowsTheTruth()
    {
        // Autostart entries are blocked by a plain file where their folder belongs.
        QVERIFY(QFile(autostartFolder()).open(QIODevice::WriteOnly));
        QVERIFY(!AutostartEntry().setEnabled(true));
        QVERIFY(!AutostartEntry::isEnabled());

        showPreferences();
        controller->checkboxStartAtLogin()->click();
        controller->checkboxBWIcon()->click();
        saveButton()->click();
        QVERIFY(!window()->isVisible());
        QCOMPARE(PellixSettings().bwmenuicon(), 1);
        showPreferences();
        QVERIFY(!controller->checkboxStartAtLogin()->isChecked());
    }
};

PELLIX_TEST_MAIN(PrefsWindowControllerTest)
#include "PrefsWindowControllerTest.moc"
