#include "AXCVHandlerField.h"
#include "PellixSettings.h"
#include "PellixTestEnvironment.h"
#include "PrefsWindowController.h"
#include "TestNotificationService.h"
#include "TestHttpExchange.h"
#include "TestHttpService.h"
#include "pellix_growlAppDelegate.h"

#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {
constexpr QFile::Permissions ownerReadWrite = QFile::ReadOwner | QFile::WriteOwner;
// QFile's owner, group and others bits, without those of the current user.
constexpr int ownerGroupOthers = 0x7077;

// Root passes every permission check, so a file made unreadable or read-only
// would not be either for it. The test process gives up that bypass to see
// the file as its owner would: for good, as access() consults the permitted set.
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

QWidget *preferencesWindow() { return PrefsWindowController::initWithWindowNibName(u"PrefsWindow"_s)->window(); }
bool preferencesShown() { return preferencesWindow() && preferencesWindow()->isVisible(); }
QString settingsPath() { return PellixSettings().fileName(); }

// What the user has at a path: a link and what it leads to, a FIFO, a
// folder and its entries, or a file's mode and bytes.
QString fileState(const QString &path)
{
    struct stat entry = {};
    if (::lstat(QFile::encodeName(path).constData(), &entry) != 0)
        return u"nothing"_s;
    if (S_ISLNK(entry.st_mode))
        return u"link to "_s + QFile::symLinkTarget(path) + u", "_s + fileState(QFile::symLinkTarget(path));
    if (S_ISFIFO(entry.st_mode))
        return u"FIFO"_s;
    if (S_ISDIR(entry.st_mode))
        return u"folder of "_s + QDir(path).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).join(u' ');
    const QFile::Permissions permissions = QFile::permissions(path);
    QFile file(path);
    QFile::setPermissions(path, permissions | QFile::ReadOwner);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : "unreadable";
    QFile::setPermissions(path, permissions);
    return u"mode %1: "_s.arg(int(permissions), 0, 16) + QString::fromLatin1(bytes.toPercentEncoding(" =[]\n"));
}

// Notes whether the status item existed when the preferences window was shown.
struct PreferencesShowing : QObject
{
    explicit PreferencesShowing(const pellix_growlAppDelegate &delegate) : agent(delegate)
    {
        qApp->installEventFilter(this);
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && !statusItemExisted && watched == preferencesWindow())
            statusItemExisted = agent.statusItem() != nullptr;
        return false;
    }
    const pellix_growlAppDelegate &agent;
    std::optional<bool> statusItemExisted;
};
}

// The agent's start-up and Quit, in this process, and how it treats the
// settings file: owner-only, and never written while unusable or read-only.
class AgentStartupTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestNotificationService> notifications;
    std::unique_ptr<TestHttpService> stream;
    std::unique_ptr<pellix_growlAppDelegate> delegate;
    std::unique_ptr<QTemporaryDir> elsewhere;
    QList<int> exits;

    QByteArray completeSettings() const
    {
        return "[General]\nusername=Alice\napikey=secret\nstreamhost=" + stream->streamhost().toLatin1() + "\n";
    }

    void placeSettings(const QByteArray &bytes, QFile::Permissions permissions = ownerReadWrite,
                       const QString &path = settingsPath())
    {
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        QVERIFY(QFile::setPermissions(path, permissions));
    }

    // Puts what the row names in the settings file's place; a link's target
    // lives in another folder.
    void placeInstead(const QString &kind, const QByteArray &bytes, int permissions)
    {
        const QString path = settingsPath();
        const QString target = elsewhere->filePath(u"target"_s);
        QFile::remove(path);
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        if (kind == u"file") {
            placeSettings(completeSettings() + bytes, QFile::Permissions(permissions));
        } else if (kind == u"folder") {
            QVERIFY(QDir().mkpath(path) && QFile(path + u"/inside"_s).open(QIODevice::WriteOnly));
        } else if (kind == u"FIFO") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else {
            if (kind == u"link to a folder")
                QVERIFY(QDir().mkpath(target));
            if (kind == u"link to a file of another user") {
                placeSettings(completeSettings(), QFile::Permissions(permissions), target);
                if (::chown(QFile::encodeName(target).constData(), 65534, 65534) != 0)
                    QSKIP("files of another user need root");
            }
            QVERIFY(QFile::link(target, path));
        }
    }

    // A save that cannot reach the file keeps the window and what was typed,
    // and says so instead of claiming to listen.
    void saveIsRefusedWithAWarning()
    {
        PrefsWindowController *const controller = PrefsWindowController::initWithWindowNibName(u"PrefsWindow"_s);
        const qsizetype noticesBefore = notifications->calls().size();
        controller->usernameField()->setText(u"Bob"_s);
        QTest::keyClick(controller->apikeyField(), Qt::Key_Return);
        auto *alert = preferencesWindow()->findChild<QMessageBox *>();
        QVERIFY(alert && alert->isVisible());
        QCOMPARE(alert->text(), u"Your preferences could not be saved."_s);
        QVERIFY(alert->informativeText().startsWith(settingsPath() + u" cannot be written."_s));
        QVERIFY(preferencesShown());
        QCOMPARE(controller->usernameField()->text(), u"Bob"_s);
        alert->close();
        QTRY_VERIFY(!preferencesWindow()->findChild<QMessageBox *>());
        QCOMPARE(notifications->calls().size(), noticesBefore);
    }

    void start()
    {
        delegate->applicationDidFinishLaunching();
        QVERIFY(exits.isEmpty());
        QVERIFY(notifications->waitForCalls(1));
        QCOMPARE(notifications->calls().constFirst().summary, u"Pellix"_s);
        QCOMPARE(notifications->calls().constFirst().body, u"Listening for notifications..."_s);
    }

    // A new type, then Quit: both would write the settings.
    void quit()
    {
        delegate->checkNotificationType(u"A type of this run"_s);
        delegate->quit();
        QCOMPARE(exits, QList<int>{0});
    }

private slots:
    void initTestCase() { QVERIFY(obeyFilePermissions()); }

    void init()
    {
        notifications = std::make_unique<TestNotificationService>();
        stream = std::make_unique<TestHttpService>();
        elsewhere = std::make_unique<QTemporaryDir>();
        exits.clear();
        pellix_growlAppDelegate::Options options;
        options.exitProcess = [this](int status) { exits.append(status); };
        delegate = std::make_unique<pellix_growlAppDelegate>(options);
    }

    void cleanup()
    {
        delegate.reset();
        stream.reset();
        notifications.reset();
        if (QWidget *window = preferencesWindow())
            window->hide();
        PellixSettings().synchronize();
        const QString path = settingsPath();
        QFile::setPermissions(path, ownerReadWrite | QFile::ExeOwner);
        if (!QFile::remove(path))
            QDir(path).removeRecursively();
        elsewhere.reset();
    }

    // A service that comes up during the grace, as one started at login
    // after the agent does, lets start-up go on; without one the alert
    // follows, and the agent ends with nothing started.
    void aMissingNotificationServiceGetsAGraceThenTheAlert_data()
    {
        QTest::addColumn<bool>("serviceArrives");
        QTest::newRow("never arrives") << false;
        QTest::newRow("arrives in time") << true;
    }

    void aMissingNotificationServiceGetsAGraceThenTheAlert()
    {
        QFETCH(bool, serviceArrives);
        notifications->leave();
        placeSettings(completeSettings());
        pellix_growlAppDelegate::Options options;
        options.exitProcess = [this](int status) { exits.append(status); };
        options.notificationServiceGrace = serviceArrives ? 10s : 300ms;
        delegate = std::make_unique<pellix_growlAppDelegate>(options);
        // Accepts the alert through its own default button, as a user would.
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        qsizetype buttons = 0;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                std::tie(text, icon, buttons) = std::tuple(box->text(), box->icon(), box->buttons().size());
                poll.stop();
                box->buttons().constFirst()->click();
            }
        });
        poll.start(20);
        delegate->applicationDidFinishLaunching();
        QCOMPARE(delegate->notification_cursor(), u"init"_s);
        if (serviceArrives) {
            QVERIFY(notifications->join());
            QVERIFY(notifications->waitForCalls(1));
            QVERIFY(stream->nextExchange());
            QVERIFY(delegate->statusItem());
            QVERIFY(text.isEmpty());
            return;
        }
        QTRY_COMPARE(exits, QList<int>{0});
        QCOMPARE(text, u"Growl must be installed and running before using the Pellix growl agent. "
                       "Requires Growl v1.2.1 or higher."_s);
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(buttons, 1);
        QVERIFY(!delegate->statusItem());
        QVERIFY(!preferencesShown());
        QVERIFY(stream->requests().isEmpty());
        QVERIFY(!PellixSettings().notificationTypesArray());
    }

    // Quit is the menu's: it writes the settings and cancels the stream.
    void completeSettingsOpenTheStreamAndShowTheMenu()
    {
        placeSettings(completeSettings());
        start();
        TestHttpExchange *exchange = stream->nextExchange();
        QVERIFY(exchange);
        QCOMPARE(notifications->calls().constFirst().hints.value(u"x-pellix-notification-type"_s).toString(),
                 u"Generic"_s);
        QCOMPARE(PellixSettings().notificationTypesArray(), std::optional(QStringList{u"Generic"_s, u"Pellix"_s}));
        QVERIFY(!preferencesShown());

        StatusItem *item = delegate->statusItem();
        QVERIFY(item);
        QCOMPARE(item->toolTipTitle(), u"Pellix"_s);
        QStringList titles;
        QList<QKeySequence> shortcuts;
        for (const QAction *action : item->menu()->actions()) {
            titles.append(action->text());
            shortcuts.append(action->shortcut());
        }
        QCOMPARE(titles, QStringList({u"Preferences"_s, u"Quit"_s}));
        QCOMPARE(shortcuts, QList<QKeySequence>({QKeySequence(u"Ctrl+Shift+P"_s), QKeySequence(u"Ctrl+Shift+Q"_s)}));
        item->menu()->actions().constFirst()->trigger();
        QVERIFY(preferencesShown());
        QCOMPARE(preferencesWindow()->windowTitle(), u"Pellix Preferences"_s);
        QVERIFY(exits.isEmpty());

        delegate->checkNotificationType(u"A type of this run"_s);
        item->menu()->actions().constLast()->trigger();
        QCOMPARE(exits, QList<int>{0});
        QVERIFY(fileState(settingsPath()).contains(u"A type of this run"_s));
        QVERIFY(exchange->waitForClosedByPeer());
        QVERIFY(!delegate->notificationStream().isWaitingToReopen());
    }

    void emptySettingsShowThePreferencesBeforeTheStatusItemAndStartUpCompletes()
    {
        PreferencesShowing showing(*delegate);
        start();
        QCOMPARE(showing.statusItemExisted, std::optional(false));
        QVERIFY(preferencesShown());
        QVERIFY(delegate->statusItem());
        QVERIFY(stream->requests().isEmpty());
    }

    void monochromeIconOnlyForExactlyOne_data()
    {
        QTest::addColumn<QByteArray>("bwmenuicon");
        QTest::addColumn<QString>("picture");
        const QString colour = u"pellix_menu_icon.png"_s;
        QTest::newRow("missing") << QByteArray() << colour;
        QTest::newRow("0") << QByteArray("bwmenuicon=0\n") << colour;
        QTest::newRow("1") << QByteArray("bwmenuicon=1\n") << u"zarkleSMASHr.png"_s;
        QTest::newRow("2") << QByteArray("bwmenuicon=2\n") << colour;
        QTest::newRow("-1") << QByteArray("bwmenuicon=-1\n") << colour;
        QTest::newRow("not a number") << QByteArray("bwmenuicon=yes\n") << colour;
    }

    void monochromeIconOnlyForExactlyOne()
    {
        QFETCH(QByteArray, bwmenuicon);
        QFETCH(QString, picture);
        placeSettings(completeSettings() + bwmenuicon);
        delegate->applicationDidFinishLaunching();
        QCOMPARE(delegate->statusItem()->imageName(), picture);
    }

    void quitWithoutAStreamStillWritesTheSettings()
    {
        quit();
        QVERIFY(fileState(settingsPath()).contains(u"A type of this run"_s));
    }

    // Only others lose their access; the owner keeps what they had. A link to
    // the user's own file is followed, and stays a link.
    void theFileIsKeptOwnerOnly_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<bool>("throughALink");
        QTest::addColumn<QFile::Permissions>("after");
        const int readableByAll = int(ownerReadWrite | QFile::ReadGroup | QFile::ReadOther);
        QTest::newRow("created") << -1 << false << ownerReadWrite;
        QTest::newRow("readable by all") << readableByAll << false << ownerReadWrite;
        QTest::newRow("read-only for all") << int(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther) << false
                                           << QFile::Permissions(QFile::ReadOwner);
        QTest::newRow("link to the user's own file") << readableByAll << true << ownerReadWrite;
    }

    void theFileIsKeptOwnerOnly()
    {
        QFETCH(int, before);
        QFETCH(bool, throughALink);
        const QString file = throughALink ? elsewhere->filePath(u"own.conf"_s) : settingsPath();
        if (before >= 0)
            placeSettings("[General]\n", QFile::Permissions(before), file);
        if (throughALink)
            QVERIFY(!QFile::exists(settingsPath()) && QFile::link(file, settingsPath()));
        PellixSettings settings;
        settings.setApikey(u"secret"_s);
        settings.synchronize();
        QTEST(QFile::permissions(file) & QFile::Permissions(ownerGroupOthers), "after");
        QCOMPARE(QFileInfo(settingsPath()).isSymLink(), throughALink);
        QCOMPARE(fileState(file).contains(u"apikey=secret"_s), bool(before & QFile::WriteOwner));
    }

    // Reading the file needs no room anywhere else: no copy of it is made.
    void theFileIsReadWhereItIs()
    {
        QTemporaryDir noRoom;
        QVERIFY(QFile::setPermissions(noRoom.path(), QFile::ReadOwner | QFile::ExeOwner));
        const QByteArray temporaryFolder = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(noRoom.path()));
        placeSettings(completeSettings());
        const QString username = PellixSettings().username();
        qputenv("TMPDIR", temporaryFolder);
        QFile::setPermissions(noRoom.path(), ownerReadWrite | QFile::ExeOwner);
        QCOMPARE(username, u"Alice"_s);
    }

    void unusableFileLeavesTheAgentAsWithoutSettingsAndIsKept_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("permissions");
        const int readWrite = int(ownerReadWrite);
        const QString file = u"file"_s;
        QTest::newRow("unclosed section") << file << QByteArray("[General\nbroken\n") << readWrite;
        QTest::newRow("binary garbage") << file << QByteArray("\x00\xff\xfe\x01 garbage\n[%%%]\n", 17) << readWrite;
        QTest::newRow("malformed key") << file << QByteArray("[General]\n\"unterminated=1\n") << readWrite;
        QTest::newRow("unreadable") << file << QByteArray() << int(QFile::WriteOwner);
        for (const QString &kind : {u"folder"_s, u"FIFO"_s, u"link to nothing"_s, u"link to a folder"_s})
            QTest::newRow(qPrintable(kind)) << kind << QByteArray() << 0;
        QTest::newRow("link to a file of another user")
            << u"link to a file of another user"_s << QByteArray() << int(ownerReadWrite | QFile::ReadOther);
    }

    // The corrupt files also name a complete user: the agent must not use a
    // part of what it could not read as a whole.
    void unusableFileLeavesTheAgentAsWithoutSettingsAndIsKept()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, bytes);
        QFETCH(int, permissions);
        placeInstead(kind, bytes, permissions);
        const QString before = fileState(settingsPath());

        start();
        QVERIFY(preferencesShown());
        QTest::qWait(100);
        QVERIFY(stream->requests().isEmpty());
        saveIsRefusedWithAWarning();
        QVERIFY(stream->requests().isEmpty());
        quit();
        QVERIFY(!PellixSettings().isWritable());
        QCOMPARE(fileState(settingsPath()), before);
    }

    void readOnlyFileIsUsedButNeverWritten()
    {
        placeSettings(completeSettings(), QFile::ReadOwner);
        const QString before = fileState(settingsPath());
        start();
        QVERIFY(stream->waitForRequests(1));
        QVERIFY(!preferencesShown());
        TestHttpExchange *open = stream->nextExchange();
        QVERIFY(open);
        open->sendHead(200);
        delegate->prefs();
        saveIsRefusedWithAWarning();
        // Saving reconnects first thing; a refused save leaves the stream be.
        QVERIFY(!open->waitForClosedByPeer(200));
        quit();
        QCOMPARE(fileState(settingsPath()), before);
    }

    // The same store works again as soon as the user mends the file.
    void mendedFileIsWrittenAgain()
    {
        placeSettings("[General\n");
        QVERIFY(!PellixSettings().isWritable());
        placeSettings(completeSettings());
        PellixSettings settings;
        settings.setBwmenuicon(1);
        settings.synchronize();
        QCOMPARE(PellixSettings().bwmenuicon(), 1);
        QCOMPARE(PellixSettings().username(), u"Alice"_s);
    }
};

PELLIX_TEST_MAIN(AgentStartupTest)
#include "AgentStartupTest.moc"
