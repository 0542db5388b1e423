#include "PellixSettings.h"
#include "PellixTestEnvironment.h"
#include "PrefsWindowController.h"
#include "TestNotificationService.h"
#include "TestStreamService.h"
#include "pellix_growlAppDelegate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
constexpr QFile::Permissions ownerReadWrite = QFile::ReadOwner | QFile::WriteOwner;

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

QWidget *preferencesWindow()
{
    return PrefsWindowController::initWithWindowNibName(QStringLiteral("PrefsWindow"))->window();
}

// What the user has on disk: the bytes and the mode, or that a folder is there.
struct FileState
{
    bool isFolder = false;
    QByteArray bytes;
    QFile::Permissions permissions;

    static FileState of(const QString &path)
    {
        const QFileInfo info(path);
        FileState state{info.isDir(), {}, info.permissions()};
        QFile file(path);
        QFile::setPermissions(path, state.permissions | QFile::ReadOwner);
        if (!state.isFolder && file.open(QIODevice::ReadOnly))
            state.bytes = file.readAll();
        QFile::setPermissions(path, state.permissions);
        return state;
    }

    friend bool operator==(const FileState &, const FileState &) = default;
};

char *toString(const FileState &state)
{
    return QTest::toString(QStringLiteral("%1, mode %2: %3")
                               .arg(state.isFolder ? QStringLiteral("folder") : QStringLiteral("file"))
                               .arg(int(state.permissions), 0, 16)
                               .arg(QString::fromLatin1(state.bytes.toPercentEncoding(" =[]\n"))));
}
}

class SettingsFileFaultTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestNotificationService> notifications;
    std::unique_ptr<TestStreamService> stream;
    std::unique_ptr<pellix_growlAppDelegate> delegate;
    QList<int> exits;

    static QString settingsPath() { return PellixSettings().fileName(); }

    QByteArray completeSettings() const
    {
        return "[General]\nusername=Alice\napikey=secret\nstreamhost=" + stream->streamhost().toLatin1() + "\n";
    }

    void placeSettings(const QByteArray &bytes, QFile::Permissions permissions)
    {
        QFile file(settingsPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        QVERIFY(QFile::setPermissions(settingsPath(), permissions));
    }

    void start()
    {
        delegate->applicationDidFinishLaunching();
        QVERIFY(exits.isEmpty());
        QVERIFY(notifications->waitForCalls(1));
        QCOMPARE(notifications->calls().constFirst().body, QStringLiteral("Listening for notifications..."));
    }

    // A new type, then Quit: both would write the settings.
    void quit()
    {
        delegate->checkNotificationType(QStringLiteral("A type of this run"));
        delegate->quit();
        QCOMPARE(exits, QList<int>{0});
    }

private slots:
    void initTestCase() { QVERIFY(obeyFilePermissions()); }

    void init()
    {
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
        const QString path = settingsPath();
        QFile::setPermissions(path, ownerReadWrite | QFile::ExeOwner);
        QDir(path).removeRecursively();
        QFile::remove(path);
    }

    void unusableFileLeavesTheAgentAsWithoutSettingsAndIsKept_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("permissions");
        const int readWrite = int(ownerReadWrite);
        QTest::newRow("unclosed section") << QByteArray("[General\nbroken\n") << readWrite;
        QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe\x01 garbage\n[%%%]\n", 17) << readWrite;
        QTest::newRow("malformed key") << QByteArray("[General]\n\"unterminated=1\n") << readWrite;
        QTest::newRow("unreadable") << QByteArray() << int(QFile::WriteOwner);
    }

    // The corrupt files also name a complete user: the agent must not use a
    // part of what it could not read as a whole.
    void unusableFileLeavesTheAgentAsWithoutSettingsAndIsKept()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, permissions);
        placeSettings(completeSettings() + bytes, QFile::Permissions(permissions));
        const FileState before = FileState::of(settingsPath());

        start();
        QVERIFY(preferencesWindow() && preferencesWindow()->isVisible());
        QTest::qWait(100);
        QVERIFY(stream->requests().isEmpty());
        quit();
        QVERIFY(!PellixSettings().isWritable());
        QCOMPARE(FileState::of(settingsPath()), before);
    }

    void folderInPlaceOfTheFileIsLeftAlone()
    {
        const QString path = settingsPath();
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkpath(path));
        QVERIFY(QFile(path + QStringLiteral("/inside")).open(QIODevice::WriteOnly));
        const FileState before = FileState::of(path);

        start();
        QVERIFY(preferencesWindow() && preferencesWindow()->isVisible());
        quit();
        QCOMPARE(FileState::of(path), before);
        QVERIFY(QFileInfo::exists(path + QStringLiteral("/inside")));
    }

    void readOnlyFileIsUsedButNeverWritten()
    {
        placeSettings(completeSettings(), QFile::ReadOwner);
        const FileState before = FileState::of(settingsPath());

        start();
        QVERIFY(stream->waitForRequests(1));
        QVERIFY(!preferencesWindow() || !preferencesWindow()->isVisible());
        quit();
        QCOMPARE(FileState::of(settingsPath()), before);
    }

    // The same store works again as soon as the user mends the file.
    void mendedFileIsWrittenAgain()
    {
        placeSettings("[General\n", ownerReadWrite);
        QVERIFY(!PellixSettings().isWritable());
        placeSettings(completeSettings(), ownerReadWrite);
        PellixSettings settings;
        QCOMPARE(settings.username(), QStringLiteral("Alice"));
        settings.setBwmenuicon(1);
        settings.synchronize();
        QCOMPARE(PellixSettings().bwmenuicon(), 1);
        QCOMPARE(PellixSettings().username(), QStringLiteral("Alice"));
    }
};

PELLIX_TEST_MAIN(SettingsFileFaultTest)
#include "SettingsFileFaultTest.moc"
