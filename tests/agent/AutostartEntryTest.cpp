#include "AutostartEntry.h"
#include "PellixSettings.h"
#include "PellixTestEnvironment.h"
#include "PrefsWindowController.h"
#include "TestStreamService.h"
#include "pellix_growlAppDelegate.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryFile>

namespace {
// What desktop-file-validate says about the text as a desktop entry: empty
// when it is valid.
QString validationProblems(const QByteArray &entry)
{
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/XXXXXX.desktop"));
    if (!file.open() || file.write(entry) != entry.size() || !file.flush())
        return QStringLiteral("cannot write the entry to check it");
    QProcess validator;
    validator.setProcessChannelMode(QProcess::MergedChannels);
    validator.start(QStringLiteral("desktop-file-validate"), {file.fileName()});
    if (!validator.waitForFinished(10000))
        return QStringLiteral("desktop-file-validate did not run");
    const QString output = QString::fromUtf8(validator.readAll());
    return validator.exitCode() == 0 && output.isEmpty() ? QString() : output + QStringLiteral(" in:\n") + entry;
}

QStringList execLines(const QByteArray &entry)
{
    QStringList lines = QString::fromUtf8(entry).split(QLatin1Char('\n'));
    lines.removeIf([](const QString &line) { return !line.startsWith(QLatin1String("Exec=")); });
    return lines;
}

QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
}

class AutostartEntryTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestStreamService> stream;
    std::unique_ptr<pellix_growlAppDelegate> agent;
    PrefsWindowController *controller = nullptr;

    void showPreferences()
    {
        agent->prefs();
        QVERIFY(controller->window()->isVisible());
    }

    void save() { controller->window()->findChild<QPushButton *>(QStringLiteral("saveButton"))->click(); }

    // Autostart entries are blocked by a plain file where their folder belongs.
    static void blockTheAutostartFolder()
    {
        const QString folder = QFileInfo(AutostartEntry::path()).absolutePath();
        QDir(folder).removeRecursively();
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }

private slots:
    void initTestCase()
    {
        stream = std::make_unique<TestStreamService>();
        stream->setFallbackReply(TestStreamReply::dropped(TestStreamReply::Ending::Reset));
        agent = std::make_unique<pellix_growlAppDelegate>();
        controller = PrefsWindowController::initWithWindowNibName(QStringLiteral("PrefsWindow"));
    }

    void init()
    {
        PellixTestEnvironment::clearSettings();
        PellixSettings settings;
        settings.setUsername(QStringLiteral("alice"));
        settings.setApikey(QStringLiteral("secret"));
        settings.setStreamhost(stream->streamhost());
        settings.synchronize();
        const QString folder = QFileInfo(AutostartEntry::path()).absolutePath();
        QFile::remove(folder);
        QDir(folder).removeRecursively();
    }

    void cleanup()
    {
        if (controller->window())
            controller->window()->hide();
    }

    void entryStartsTheProgramAndIsValid_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << QStringLiteral("/usr/bin/pellix-growl")
                               << QStringLiteral("Exec=/usr/bin/pellix-growl");
        QTest::newRow("space") << QStringLiteral("/opt/my apps/pellix-growl")
                               << QStringLiteral("Exec=\"/opt/my apps/pellix-growl\"");
        QTest::newRow("percent") << QStringLiteral("/opt/100%/pellix-growl")
                                 << QStringLiteral("Exec=/opt/100%%/pellix-growl");
        QTest::newRow("double quote") << QStringLiteral("/opt/a\"b/pellix-growl")
                                      << QStringLiteral("Exec=\"/opt/a\\\\\"b/pellix-growl\"");
        QTest::newRow("dollar and backquote") << QStringLiteral("/opt/$HOME`x`/pellix-growl")
                                              << QStringLiteral("Exec=\"/opt/\\\\$HOME\\\\`x\\\\`/pellix-growl\"");
        QTest::newRow("backslash") << QStringLiteral("/opt/a\\b/pellix-growl")
                                   << QStringLiteral("Exec=\"/opt/a\\\\\\\\b/pellix-growl\"");
        QTest::newRow("single quote") << QStringLiteral("/home/o'neil/pellix-growl")
                                      << QStringLiteral("Exec=\"/home/o'neil/pellix-growl\"");
        QTest::newRow("none known") << QString() << QStringLiteral("Exec=pellix-growl");
    }

    void entryStartsTheProgramAndIsValid()
    {
        QFETCH(QString, program);
        QFETCH(QString, exec);
        const QByteArray entry = AutostartEntry(program).contents();
        QCOMPARE(execLines(entry), QStringList{exec});
        QCOMPARE(validationProblems(entry), QString());
    }

    void enablingWritesTheEntryAndDisablingRemovesIt()
    {
        const AutostartEntry entry(QStringLiteral("/usr/bin/pellix-growl"));
        QVERIFY(!AutostartEntry::isEnabled());
        QVERIFY(entry.setEnabled(true));
        QCOMPARE(AutostartEntry::path(),
                 qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart/pellix-growl.desktop"));
        QVERIFY(AutostartEntry::isEnabled());
        QCOMPARE(fileContents(AutostartEntry::path()), entry.contents());
        QVERIFY(entry.setEnabled(true));
        QVERIFY(entry.setEnabled(false));
        QVERIFY(!QFile::exists(AutostartEntry::path()));
        QVERIFY(entry.setEnabled(false));
    }

    void aBlockedFolderFailsAndLeavesItOff()
    {
        blockTheAutostartFolder();
        QVERIFY(!AutostartEntry().setEnabled(true));
        QVERIFY(!AutostartEntry::isEnabled());
    }

    void theCheckboxFollowsTheFileAndSavingWritesOrRemovesIt()
    {
        showPreferences();
        QCheckBox *box = controller->checkboxStartAtLogin();
        QCOMPARE(box->text(), QStringLiteral("Start at &login"));
        QVERIFY(!box->isChecked());

        box->click();
        save();
        QVERIFY(!controller->window()->isVisible());
        QVERIFY(AutostartEntry::isEnabled());
        const QByteArray written = fileContents(AutostartEntry::path());
        QCOMPARE(execLines(written), execLines(AutostartEntry(QCoreApplication::applicationFilePath()).contents()));
        QCOMPARE(validationProblems(written), QString());

        showPreferences();
        QVERIFY(box->isChecked());
        box->click();
        save();
        QVERIFY(!QFile::exists(AutostartEntry::path()));
        showPreferences();
        QVERIFY(!box->isChecked());
    }

    void anEntryMadeElsewhereShowsTicked()
    {
        QVERIFY(AutostartEntry(QStringLiteral("/elsewhere/pellix-growl")).setEnabled(true));
        showPreferences();
        QVERIFY(controller->checkboxStartAtLogin()->isChecked());
    }

    void aFailedWriteStillSavesTheRestAndShowsTheTruthNextTime()
    {
        blockTheAutostartFolder();
        showPreferences();
        controller->checkboxStartAtLogin()->click();
        controller->checkboxBWIcon()->click();
        save();
        QVERIFY(!controller->window()->isVisible());
        QCOMPARE(PellixSettings().bwmenuicon(), 1);
        showPreferences();
        QVERIFY(!controller->checkboxStartAtLogin()->isChecked());
    }
};

PELLIX_TEST_MAIN(AutostartEntryTest)
#include "AutostartEntryTest.moc"
