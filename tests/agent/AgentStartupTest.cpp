// SPDX-License-Identifier: MIT

#include "AXCVHandlerField.h"
#include "AgentFixture.h"
#include "settings/AutostartEntry.h"
#include "settings/PellixSettings.h"
#include "PellixTestEnvironment.h"
#include "PrefsWindowController.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QDBusServiceWatcher>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QScopeGuard>
#include <QTimer>

#include <linux/capability.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {
const QString colour = u"pellix_menu_icon.png"_s;
const QString monochrome = u"zarkleSMASHr.png"_s;

// Root passes every permission check, so a file made unreadable or read-only
// would not be either for it. The test process gives up that bypass for good
// (access() consults the permitted set) to see files as their owner would.
bool obeyFilePermissions()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct capabilities[2] = {};
    if (::syscall(SYS_capget, &header, capabilities) != 0)
        return false;
    const __u32 bypass = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);
    capabilities[0].effective &= ~bypass;
    capabilities[0].permitted &= ~bypass;
    return ::syscall(SYS_capset, &header, capabilities) == 0;
}

// Root may fill a disk of its own: a small file system mounted over the
// settings folder, in a mount namespace made before any thread starts.
const bool ownMounts = ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0
                       && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;

PrefsWindowController *prefs() { return AgentFixture::preferences(); }
bool preferencesShown() { return AgentFixture::preferencesShown(); }
void save() { QTest::keyClick(prefs()->apikeyField(), Qt::Key_Return); }
QList<QLineEdit *> textFields() { return {prefs()->usernameField(), prefs()->apikeyField(), prefs()->streamhostField()}; }
QStringList textsShown() { return {textFields()[0]->text(), textFields()[1]->text(), textFields()[2]->text()}; }

// What the path holds, and where a link leads: any creation, write or change
// of mode shows. The mode comes first, in octal.
QStringList stamp(const QString &path)
{
    QStringList stamp;
    for (const auto examine : {::stat, ::lstat}) {
        struct stat entry = {};
        stamp << (examine(QFile::encodeName(path).constData(), &entry) != 0 ? u"none"_s
                  : u"%1 %2 %3 %4.%5"_s.arg(entry.st_mode & 07777, 0, 8).arg(entry.st_ino).arg(entry.st_size)
                        .arg(entry.st_ctim.tv_sec).arg(entry.st_ctim.tv_nsec));
    }
    return stamp;
}

// The reads of a watched file: a parse opens, reads and closes it, and the
// kernel folds the reads between two closes into one event.
int readsSeen(int watch)
{
    inotify_event events[64];
    const ssize_t size = ::read(watch, events, sizeof events);
    return int(std::count_if(events, events + std::max<ssize_t>(size, 0) / ssize_t(sizeof(inotify_event)),
                             [](const inotify_event &event) { return event.mask & IN_ACCESS; }));
}
}

// The agent's start-up and Quit, the settings file they read and write, and
// the preferences window in which the user fills it in.
class AgentStartupTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<AgentFixture> fixture;
    pellix_growlAppDelegate &agent() { return fixture->agent(); }

    // Quit from the menu, a type added first: it is written only where the
    // file may be.
    void quitWithANewType()
    {
        agent().checkNotificationType(u"A type of this run"_s);
        agent().statusItem()->menu()->actions().constLast()->trigger();
        QCOMPARE(fixture->exits, QList<int>{0});
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(obeyFilePermissions()); }
    void init() { fixture = std::make_unique<AgentFixture>(); }
    void cleanup() { fixture.reset(); }

    void startUpUsesTheFileWhereItIs_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<bool>("throughALink");
        QTest::addColumn<QByteArray>("bwmenuicon");
        QTest::addColumn<QString>("after");
        QTest::newRow("none: no user") << -1 << false << QByteArray() << "600";
        QTest::newRow("readable by all") << 0644 << false << QByteArray("0") << "600";
        QTest::newRow("read-only for all, monochrome") << 0444 << false << QByteArray("1") << "400";
        QTest::newRow("link to the user's own file") << 0644 << true << QByteArray("2") << "600";
    }

    // Runs first: the window, built at its first showing, follows the stream
    // of the agent it was built for. Without a user the window comes up
    // during start-up, and start-up completes. The file is parsed once (it is
    // larger than Qt keeps parsed between settings objects, so that each parse
    // shows) and needs no room elsewhere: no copy of it is made; one left by
    // an interrupted rewrite goes, what only looks like one stays. Only others
    // lose their access; a link to the user's own file stays one. The picture
    // is monochrome only for exactly 1. Quit writes the settings, also when
    // no connection was ever opened, and cancels the stream.
    void startUpUsesTheFileWhereItIs()
    {
        QFETCH(int, before);
        QFETCH(bool, throughALink);
        QFETCH(QByteArray, bwmenuicon);
        const QTemporaryDir elsewhere;
        const QFileInfo file(throughALink ? elsewhere.filePath(u"own.conf"_s) : AgentFixture::settingsPath());
        QByteArray keys = AgentFixture::fileBytes(AgentFixture::settingsPath()) + "bwmenuicon=" + bwmenuicon + '\n';
        for (int key = 0; key < 2000; ++key)
            keys += "unused" + QByteArray::number(key) + "=1\n";
        fixture->clearSettings();
        QVERIFY(before < 0 || AgentFixture::placeSettingsFile(keys, before, file.filePath()));
        QVERIFY(!throughALink || QFile::link(file.filePath(), AgentFixture::settingsPath()));
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ::inotify_add_watch(watch, QFile::encodeName(file.filePath()).constData(), IN_ACCESS | IN_CLOSE_NOWRITE);
        const QTemporaryDir noRoom;
        QVERIFY(QFile::setPermissions(noRoom.path(), QFile::ReadOwner | QFile::ExeOwner));
        const QByteArray temporaryFolder = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(noRoom.path()));
        const QStringList copies{AgentFixture::settingsPath() + u".k3Xq9Z"_s, AgentFixture::settingsPath() + u".old-01"_s};
        QVERIFY(AgentFixture::placeSettingsFile("apikey=x\n", 0600, copies[0]) && AgentFixture::placeSettingsFile("", 0600, copies[1]));
        fixture->start();
        QVERIFY(!QFile::exists(copies[0]) && QFile::remove(copies[1]));
        QVERIFY(before < 0 || fixture->opens());
        QCOMPARE(preferencesShown(), before < 0);
        const StatusItem *item = agent().statusItem();
        QStringList menu;
        for (const QAction *action : item->menu()->actions())
            menu.append(action->text() + u' ' + action->shortcut().toString());
        QCOMPARE(menu, (QStringList{u"Preferences Ctrl+Shift+P"_s, u"Quit Ctrl+Shift+Q"_s}));
        item->menu()->actions().constFirst()->trigger();
        QVERIFY(preferencesShown());
        qputenv("TMPDIR", temporaryFolder);
        QCOMPARE(readsSeen(watch), int(before >= 0));
        ::close(watch);
        QCOMPARE(textsShown().constFirst(), before < 0 ? QString() : u"alice"_s);
        QVERIFY(before >= 0 || prefs()->window()->findChild<QLabel *>(u"intro"_s)->text()
                                   == u"<b>Pellix</b><br>Sign in to receive your notifications."_s);
        const QString picture = bwmenuicon == "1" ? monochrome : colour;
        QCOMPARE(item->imageName(), picture);
        QCOMPARE(prefs()->checkboxBWIcon()->isChecked(), picture == monochrome);
        quitWithANewType();
        QVERIFY(before < 0 || fixture->exchange->waitForClosedByPeer());
        QTEST(stamp(file.filePath()).constFirst().section(u' ', 0, 0), "after");
        QCOMPARE(AgentFixture::fileBytes(file.filePath()).contains("A type of this run"), bool(before & 0200));
    }

    // A service that comes up during the grace (20 s unless a test shortens
    // it), as one started at login after the agent does, lets start-up go
    // on; without one the alert follows, and the agent ends with nothing
    // started.
    void aMissingNotificationServiceGetsAGraceThenTheAlert_data()
    {
        QTest::addColumn<bool>("serviceArrives");
        QTest::newRow("never arrives") << false;
        QTest::newRow("arrives in time") << true;
    }

    void aMissingNotificationServiceGetsAGraceThenTheAlert()
    {
        QFETCH(bool, serviceArrives);
        // Once this process has seen the service go, it has also seen it come,
        // which a watcher made later would otherwise still be told.
        const QDBusServiceWatcher watcher(u"org.freedesktop.Notifications"_s, QDBusConnection::sessionBus());
        QSignalSpy gone(&watcher, &QDBusServiceWatcher::serviceUnregistered);
        fixture->notifications.leave();
        QVERIFY(gone.wait());
        pellix_growlAppDelegate::Options options = fixture->options();
        QCOMPARE(options.notificationServiceGrace, 20s);
        options.notificationServiceGrace = serviceArrives ? 10s : 300ms;
        // Accepts the alert through its own default button, as a user would.
        QStringList alert;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                alert << box->text() << QString::number(box->icon()) << QString::number(box->buttons().size());
                box->buttons().constFirst()->click();
            }
        });
        poll.start(20);
        fixture->start(options);
        QCOMPARE(agent().notification_cursor(), u"init"_s);
        if (serviceArrives) {
            QTimer::singleShot(200ms, &fixture->notifications, &TestNotificationService::join);
            QVERIFY(fixture->opens() && fixture->notifications.waitForCalls(1) && alert.isEmpty());
            return;
        }
        QTRY_COMPARE(fixture->exits, QList<int>{0});
        QCOMPARE(alert, (QStringList{u"Growl must be installed and running before using the Pellix growl agent. "
                                     "Requires Growl v1.2.1 or higher."_s,
                                     QString::number(QMessageBox::Warning), u"1"_s}));
        QVERIFY(!agent().statusItem() && !preferencesShown() && !fixture->agentStream().connection());
    }

    void aFileTheAgentMayNotWriteIsNeverWritten_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("mode");
        QTest::newRow("read-only") << u"file"_s << QByteArray() << 0400;
        QTest::newRow("unclosed section") << u"file"_s << QByteArray("[General\nbroken\n") << 0600;
        QTest::newRow("malformed key") << u"file"_s << QByteArray("[General]\n\"unterminated=1\n") << 0600;
        QTest::newRow("unreadable") << u"file"_s << QByteArray() << 0200;
        for (const QString &kind : {u"folder"_s, u"FIFO"_s, u"link to nothing"_s, u"link to a folder"_s,
                                    u"link to a file of another user"_s})
            QTest::newRow(qPrintable(kind)) << kind << QByteArray() << 0644;
    }

    // A read-only file is used; any other is taken for no settings, also when
    // it begins with a complete user. Either is left exactly as it was, and a
    // save says it could not be made, keeping the window and what was typed.
    void aFileTheAgentMayNotWriteIsNeverWritten()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, bytes);
        QFETCH(int, mode);
        const QString path = AgentFixture::settingsPath();
        const QTemporaryDir elsewhere;
        const QString target = elsewhere.filePath(u"target"_s);
        const QByteArray signedIn = AgentFixture::fileBytes(path);
        fixture->clearSettings();
        QVERIFY(kind != u"file" || AgentFixture::placeSettingsFile(signedIn + bytes, mode));
        QVERIFY(!kind.endsWith(u"folder") || QDir().mkpath((kind == u"folder" ? path : target) + u"/inside"_s));
        QVERIFY(kind != u"FIFO" || ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        if (kind.endsWith(u"another user") && (!AgentFixture::placeSettingsFile(signedIn, mode, target)
                                               || ::chown(QFile::encodeName(target).constData(), 65534, 65534) != 0))
            QSKIP("files of another user need root");
        QVERIFY(!kind.startsWith(u"link") || QFile::link(target, path));
        const QStringList before = stamp(path);

        const bool used = mode == 0400;
        fixture->start();
        QVERIFY(!used || fixture->opens(200));
        QTRY_COMPARE(fixture->agentStream().state().isConnected(), used);
        agent().prefs();
        QCOMPARE(agent().statusItem()->toolTipBody() == u"Not signed in — open Preferences"_s, !used);
        prefs()->usernameField()->setText(u"Bob"_s);
        save();
        const std::unique_ptr<QMessageBox> alert(prefs()->window()->findChild<QMessageBox *>());
        QVERIFY(alert && alert->isVisible() && preferencesShown() && prefs()->usernameField()->text() == u"Bob"_s);
        QCOMPARE(alert->text(), u"Your preferences could not be saved."_s);
        QVERIFY(alert->informativeText().startsWith(path + u" cannot be written."_s));
        // Saving reconnects only once the settings are stored.
        QCOMPARE(fixture->agentStream().state().isConnected(), used);
        quitWithANewType();
        QVERIFY(!PellixSettings().isWritable());
        QCOMPARE(stamp(path), before);
        QVERIFY(kind != u"file" || AgentFixture::placeSettingsFile(signedIn));
        QCOMPARE(PellixSettings().isWritable(), kind == u"file");
    }

    void aFailedWriteKeepsTheSettings_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::newRow("read-only folder") << u"its folder cannot be written"_s;
        QTest::newRow("full disk") << u"the disk is full"_s;
    }

    // A write that fails is no file that fails to read: the agent stays
    // signed in across reconnects, Preferences shows what is stored and says
    // why saving failed, the file stays as it was, and once it can be written
    // the next change writes what waits.
    void aFailedWriteKeepsTheSettings()
    {
        QFETCH(QString, cause);
        const QString path = AgentFixture::settingsPath();
        const QString folder = QFileInfo(path).absolutePath();
        const QByteArray signedIn = AgentFixture::fileBytes(path);
        const bool fullDisk = cause == u"the disk is full";
        if (fullDisk && !ownMounts)
            QSKIP("a disk of its own needs root");
        QFile filler(folder + u"/filler"_s);
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QVERIFY(!fullDisk || ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH) == 0);
        });
        if (fullDisk) {
            QVERIFY(::mount("pellix-full", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=16k") == 0);
            QVERIFY(AgentFixture::placeSettingsFile(signedIn) && filler.open(QIODevice::WriteOnly));
            while (filler.write(QByteArray(512, 'x')) > 0 && filler.flush()) {}
        }
        QVERIFY(fullDisk || QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        fixture->start();
        QVERIFY(fixture->opens());
        PellixSettings().setNotificationTypesArray({u"A new title"_s});
        QVERIFY(!PellixSettings().synchronize());
        agent().reconnectNotificationStream();
        QVERIFY(fixture->opens());
        agent().prefs();
        QCOMPARE(prefs()->usernameField()->text(), u"alice"_s);
        prefs()->usernameField()->setText(u"Bob"_s);
        save();
        const std::unique_ptr<QMessageBox> alert(prefs()->window()->findChild<QMessageBox *>());
        QVERIFY(alert && alert->informativeText().startsWith(path + u" cannot be written: "_s + cause + u"."_s));
        QCOMPARE(AgentFixture::fileBytes(path), signedIn);
        QVERIFY(fullDisk ? (filler.close(), filler.remove())
                         : QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        PellixSettings().setBwmenuicon(1);
        QTRY_VERIFY(AgentFixture::fileBytes(path).contains("username=Bob") && AgentFixture::fileBytes(path).contains("A new title"));
    }

    // A steady run of changes is written a second after the first of them,
    // not once the run stops.
    void aSteadyRunOfChangesIsWritten()
    {
        int change = 0;
        QTimer titles;
        connect(&titles, &QTimer::timeout, this,
                [&change] { PellixSettings().setNotificationTypesArray({u"Title %1"_s.arg(change++)}); });
        titles.start(300);
        QTRY_VERIFY_WITH_TIMEOUT(AgentFixture::fileBytes(AgentFixture::settingsPath()).contains("Title "), 1800);
    }

    void editingThenSavingStoresWhatTheFieldsHold_data()
    {
        QTest::addColumn<bool>("closeFirst");
        QTest::addColumn<QStringList>("typed"); // user name, API key, server; none: left as shown
        QTest::addColumn<bool>("tick");
        QTest::newRow("left as shown") << false << QStringList() << false;
        QTest::newRow("capitals and spaces") << true << QStringList{u" Bob "_s, u" KeY 1 "_s, u" %1 "_s} << false;
        QTest::newRow("monochrome") << false << QStringList{u"carol"_s, u"k"_s, u"%1"_s} << true;
        QTest::newRow("not a host") << true << QStringList{u"erin"_s, u"k"_s, u"host/with/path"_s} << false;
        QTest::newRow("empty user name") << true << QStringList{u""_s, u"NewKey"_s, u"%1"_s} << false;
        QTest::newRow("empty API key") << false << QStringList{u"alice"_s, u""_s, u"%1"_s} << true;
    }

    // Showing the one window again, while it is open or after closing it,
    // discards edits. A save closes the window and reconnects, also when the
    // stream cannot be opened; without a user name or an API key it closes the
    // stream instead, and the window stays, refilled from what was saved.
    void editingThenSavingStoresWhatTheFieldsHold()
    {
        QFETCH(bool, closeFirst);
        QFETCH(QStringList, typed);
        QFETCH(bool, tick);
        AgentFixture::writeSettings({{u"username"_s, u"ALICE"_s}});
        fixture->start();
        QVERIFY(fixture->opens(200));
        agent().prefs();
        QWidget *window = prefs()->window();
        for (QLineEdit *field : textFields())
            QTest::keyClicks(field, u"edited"_s);
        QTest::mouseClick(prefs()->checkboxBWIcon(), Qt::LeftButton);
        if (closeFirst)
            window->close();
        agent().prefs();
        QCOMPARE(prefs()->window(), window);
        QCOMPARE(prefs()->apikeyField()->echoMode(), QLineEdit::Password);
        QCOMPARE(prefs()->apikeyLocation()->text(), u"Stored in the settings file; no keyring is running"_s);
        QStringList stored{u"alice"_s, u"secret"_s, fixture->stream.streamhost()};
        QCOMPARE(textsShown(), stored);
        QVERIFY(!prefs()->checkboxBWIcon()->isChecked());

        typed.replaceInStrings(u"%1"_s, fixture->stream.streamhost());
        for (qsizetype field = 0; field < typed.size(); ++field) {
            textFields()[field]->clear();
            QTest::keyClicks(textFields()[field], stored[field] = typed[field]);
        }
        if (tick)
            QTest::mouseClick(prefs()->checkboxBWIcon(), Qt::LeftButton);
        save();
        QCOMPARE(agent().statusItem()->imageName(), tick ? monochrome : colour);
        const PellixSettings settings;
        QCOMPARE((QStringList{settings.username(), settings.apikey(), settings.streamhost()}), stored);
        QCOMPARE(settings.bwmenuicon(), int(tick));
        const bool complete = !stored[0].isEmpty() && !stored[1].isEmpty();
        QCOMPARE(preferencesShown(), !complete);
        QVERIFY(complete || textsShown() == stored);
        QVERIFY(fixture->exchange->waitForClosedByPeer());
        QCOMPARE(fixture->agentStream().isOpen() || fixture->agentStream().isWaitingToReopen(), complete);
    }

    // The user name field is sent a key press while the server field has the
    // focus. The server field holds "text" (all of it selected where the row
    // says so) and the clipboard "pasted"; afterwards the row gives the server
    // field's text, its selection and the clipboard. Only a changed one means
    // the event was handled.
    void onlyTheExactShortcutActsOnTheFocusedField_data()
    {
        QTest::addColumn<bool>("selected");
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<QString>("characters");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("after");
        const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
        const QString untouched = u"text||pasted"_s;
        QTest::newRow("copy") << true << Qt::Key_C << u"c"_s << ctrl << u"text|text|text"_s;
        QTest::newRow("cut") << true << Qt::Key_X << u"x"_s << ctrl << u"||text"_s;
        QTest::newRow("paste") << false << Qt::Key_V << u"v"_s << ctrl << u"pastedtext||pasted"_s;
        QTest::newRow("select all") << false << Qt::Key_A << u"a"_s << ctrl << u"text|text|pasted"_s;
        QTest::newRow("paste as U+0016") << false << Qt::Key_V << u"\x16"_s << ctrl << u"pastedtext||pasted"_s;
        QTest::newRow("Ctrl+Shift+V") << false << Qt::Key_V << u"v"_s << (ctrl | Qt::ShiftModifier) << untouched;
        QTest::newRow("Ctrl+Alt+V") << false << Qt::Key_V << u"v"_s << (ctrl | Qt::AltModifier) << untouched;
        QTest::newRow("Ctrl+Meta+V") << false << Qt::Key_V << u"v"_s << (ctrl | Qt::MetaModifier) << untouched;
        QTest::newRow("keypad Ctrl+V") << false << Qt::Key_V << u"v"_s << (ctrl | Qt::KeypadModifier) << untouched;
        QTest::newRow("v alone") << false << Qt::Key_V << u"v"_s << Qt::KeyboardModifiers() << untouched;
        QTest::newRow("upper-case characters") << false << Qt::Key_V << u"V"_s << ctrl << untouched;
        QTest::newRow("two characters") << false << Qt::Key_V << u"vv"_s << ctrl << untouched;
        QTest::newRow("Ctrl+Z") << false << Qt::Key_Z << u"z"_s << ctrl << untouched;
    }

    void onlyTheExactShortcutActsOnTheFocusedField()
    {
        QFETCH(bool, selected);
        QFETCH(Qt::Key, key);
        QFETCH(QString, characters);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, after);
        fixture->start();
        agent().prefs();
        QLineEdit *plain = prefs()->streamhostField();
        plain->setText(u"text"_s);
        selected ? plain->selectAll() : plain->setCursorPosition(0);
        QGuiApplication::clipboard()->setText(u"pasted"_s);
        plain->setFocus();
        QKeyEvent event(QEvent::KeyPress, key, modifiers, characters);
        QCoreApplication::sendEvent(prefs()->usernameField(), &event);
        const QString clipboard = QGuiApplication::clipboard()->text();
        QCOMPARE(QStringList({plain->text(), plain->selectedText(), clipboard}).join(u'|'), after);
    }

    // The entry's presence is the choice, one written by another copy of the
    // agent included. Its Exec line starts the program whatever its path
    // holds, in a valid entry.
    void theStartAtLoginBoxWritesAValidEntry()
    {
        const QString path = AutostartEntry::path();
        QCOMPARE(path, qEnvironmentVariable("XDG_CONFIG_HOME") + u"/autostart/pellix-growl.desktop"_s);
        fixture->start();
        for (const bool enable : {true, false}) {
            agent().prefs();
            QCOMPARE(prefs()->checkboxStartAtLogin()->isChecked(), !enable);
            prefs()->checkboxStartAtLogin()->click();
            save();
            QCOMPARE(QFile::exists(path), enable);
        }
        QVERIFY(AutostartEntry(u"/opt/100% o'neil/a\"$`\\b"_s).setEnabled(true));
        QVERIFY(AgentFixture::fileBytes(path).contains("\nExec=\"/opt/100%% o'neil/a\\\\\"\\\\$\\\\`\\\\\\\\b\"\n"));
        QCOMPARE(QProcess::execute(u"desktop-file-validate"_s, {path}), 0);
        QVERIFY(AgentFixture::fileBytes(path).contains("\nStartupNotify=false\n")); // a login shows no launch feedback
        agent().prefs();
        QVERIFY(prefs()->checkboxStartAtLogin()->isChecked());
    }

    // Placeholders stay readable (a contrast of 3:1 at least) in a dark
    // theme whose own placeholder colour vanishes into the field, as Breeze
    // Dark's does for a Qt 6 program.
    void placeholdersAreReadableInADarkTheme()
    {
        const QPalette before = QApplication::palette();
        QPalette breezeDark(QColor(252, 252, 252), QColor(49, 54, 59));
        breezeDark.setColor(QPalette::Base, QColor(27, 30, 32));
        breezeDark.setColor(QPalette::PlaceholderText, QColor(15, 17, 18));
        QApplication::setPalette(breezeDark);
        fixture->start().prefs();
        const QPalette shown = prefs()->streamhostField()->palette();
        QApplication::setPalette(before);
        const auto luminance = [](const QColor &colour) { // WCAG's; near grey, red stands for all three
            const float c = colour.redF();
            return (c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f)) + 0.05f;
        };
        const float contrast = luminance(shown.color(QPalette::PlaceholderText)) / luminance(shown.color(QPalette::Base));
        QVERIFY2(contrast >= 3, qPrintable(QString::number(contrast)));
    }

    // A hand edit of the running agent's file takes effect as a save would:
    // the picture follows bwmenuicon, and a new server gets the stream; also
    // when the file's folder was made after the agent started.
    void aHandEditTakesEffectAtOnce()
    {
        QDir(QFileInfo(AgentFixture::settingsPath()).absolutePath()).removeRecursively();
        fixture->start();
        fixture->signIn();
        QVERIFY(fixture->opens());
        TestHttpService elsewhere;
        AgentFixture::writeSettings({{u"bwmenuicon"_s, 1}, {u"streamhost"_s, elsewhere.streamhost()}});
        QVERIFY(elsewhere.nextExchange());
        QCOMPARE(agent().statusItem()->imageName(), u"zarkleSMASHr.png"_s);
    }
};

PELLIX_TEST_MAIN(AgentStartupTest)
#include "AgentStartupTest.moc"
