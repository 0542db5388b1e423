// SPDX-License-Identifier: MIT

#include "AXCVHandlerField.h"
#include "AgentFixture.h"
#include "PellixTestEnvironment.h"
#include "PrefsWindowController.h"

#include <QCryptographicHash>
#include <QDBusConnectionInterface>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace {
PrefsWindowController *prefs() { return AgentFixture::preferences(); }
void save() { QTest::keyClick(prefs()->apikeyField(), Qt::Key_Return); }

// What another program finds in the keyring, by the attributes the README names.
QString secretTool(const QString &command, const QString &user, const QByteArray &input = {})
{
    QProcess tool;
    const QStringList stored{u"--label=Pellix"_s, u"xdg:schema"_s, u"org.qt.keychain"_s, u"type"_s, u"plaintext"_s};
    tool.start(u"secret-tool"_s, QStringList{command} << (command == u"store"_s ? stored : QStringList())
                                     << u"server"_s << u"org.pellix.PellixGrowl"_s << u"user"_s << user);
    tool.write(input);
    tool.closeWriteChannel();
    return tool.waitForFinished(10000) ? QString::fromUtf8(tool.readAllStandardOutput()) : u"(hangs)"_s;
}

// The agent's next connection, at the address of this key's digest.
bool opensWith(AgentFixture &fixture, const QByteArray &key)
{
    return fixture.opens()
           && fixture.exchange->request().path.endsWith(QCryptographicHash::hash(key, QCryptographicHash::Md5).toHex());
}
}

// The agent with GNOME Keyring on its session bus, unlocked with a password
// on the daemon's standard input, as PAM does at login.
class KeyringTest : public QObject
{
    Q_OBJECT

    QTemporaryDir keyringHome;
    QProcess keyring; // ended with the test
    std::optional<AgentFixture> fixture;

    // Started (again) in this home, its login keyring made or unlocked, or
    // with none at all.
    void startKeyring(const QTemporaryDir &home, bool unlocked = true)
    {
        keyring.kill();
        keyring.waitForFinished();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *folder : {"HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
            environment.insert(QString::fromLatin1(folder), home.path());
        keyring.setProcessEnvironment(environment);
        QStringList arguments{u"--foreground"_s, u"--components=secrets"_s};
        if (unlocked)
            arguments << u"--unlock"_s;
        keyring.start(u"gnome-keyring-daemon"_s, arguments);
        keyring.write("test password");
        keyring.closeWriteChannel();
        QTRY_VERIFY_WITH_TIMEOUT(QDBusConnection::sessionBus().interface()->isServiceRegistered(u"org.freedesktop.secrets"_s), 10000);
    }

private Q_SLOTS:
    void initTestCase() { startKeyring(keyringHome); }
    void init() { fixture.emplace(); }
    void cleanup() { fixture.reset(); }

    // Saved, the key is in the keyring alone; it follows a new user name,
    // never kept under two.
    void aSavedKeyLivesInTheKeyringOnly()
    {
        fixture->signIn(u"Alice"_s, QString());
        fixture->start();
        QTRY_VERIFY(AgentFixture::preferencesShown());
        QCOMPARE(prefs()->apikeyLocation()->text(), u"Stored in your keyring"_s);
        QTest::keyClicks(prefs()->apikeyField(), u"s3cret"_s);
        save();
        QVERIFY(opensWith(*fixture, "s3cret") && !AgentFixture::fileBytes().contains("apikey"));
        QCOMPARE(secretTool(u"lookup"_s, u"alice"_s), u"s3cret"_s);
        QTRY_VERIFY(secretTool(u"search"_s, u"alice"_s).contains(u"label = Pellix API key for alice\n"_s));

        fixture->agent().prefs();
        prefs()->usernameField()->setText(u"Bob"_s);
        save();
        QVERIFY(fixture->opens());
        QCOMPARE(secretTool(u"lookup"_s, u"bob"_s), u"s3cret"_s);
        QTRY_COMPARE(secretTool(u"lookup"_s, u"alice"_s), QString());
    }

    // A key from an older version's file is moved into the keyring, and
    // streams all the same.
    void aKeyInTheFileMovesIntoTheKeyring()
    {
        fixture->signIn(u"Dave"_s, u"old"_s);
        fixture->start();
        QVERIFY(opensWith(*fixture, "old"));
        QTRY_VERIFY(!AgentFixture::fileBytes().contains("apikey"));
        QCOMPARE(secretTool(u"lookup"_s, u"dave"_s), u"old"_s);
    }

    // A keyring daemon never set up (no keyring in it, and no prompt to
    // make one) stores nothing: the key stays in the file, as without one.
    void aKeyringNeverSetUpLeavesTheKeyInTheFile()
    {
        const QTemporaryDir neverSetUp;
        startKeyring(neverSetUp, false);
        fixture->signIn(u"Gina"_s, QString());
        fixture->start();
        QTRY_VERIFY(AgentFixture::preferencesShown());
        QCOMPARE(prefs()->apikeyLocation()->text(), u"Stored in the settings file; no keyring is running"_s);
        QTest::keyClicks(prefs()->apikeyField(), u"filed"_s);
        save();
        QVERIFY(opensWith(*fixture, "filed") && AgentFixture::fileBytes().contains("apikey=filed"));
        startKeyring(keyringHome);
    }

    // While the keyring has not answered, and while it is locked (its unlock
    // refused, or no prompt to ask), the stream stays closed and says why:
    // never taken for a missing key, never opened with an empty one. A key
    // the locked keyring does not take keeps Preferences open with the
    // reason. Once the keyring comes back unlocked, the stream opens.
    void aLockedKeyringHoldsTheStreamBack()
    {
        QCOMPARE(secretTool(u"store"_s, u"frank"_s, "locked away"), QString());
        QDBusMessage lock = QDBusMessage::createMethodCall(u"org.freedesktop.secrets"_s, u"/org/freedesktop/secrets"_s,
                                                           u"org.freedesktop.Secret.Service"_s, u"Lock"_s);
        lock << QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath(u"/org/freedesktop/secrets/collection/login"_s)});
        QCOMPARE(QDBusConnection::sessionBus().call(lock).type(), QDBusMessage::ReplyMessage);
        fixture->signIn(u"Frank"_s, QString());
        fixture->start();
        const auto state = [this] { return fixture->agentStream().state().text(); };
        QCOMPARE(state(), u"Waiting for the keyring to be unlocked"_s);
        QTRY_COMPARE(state(), u"The keyring did not give the API key: the keyring is locked"_s);
        QVERIFY(!AgentFixture::preferencesShown());
        fixture->agent().prefs();
        QTest::keyClicks(prefs()->apikeyField(), u"typed"_s);
        save();
        QTRY_VERIFY(prefs()->window()->findChild<QMessageBox *>());
        const std::unique_ptr<QMessageBox> alert(prefs()->window()->findChild<QMessageBox *>());
        QVERIFY(alert->informativeText().startsWith(u"The keyring did not store the API key: "_s));
        QVERIFY(AgentFixture::preferencesShown() && fixture->stream.requests().isEmpty());
        QVERIFY(!AgentFixture::fileBytes().contains("apikey"));
        startKeyring(keyringHome);
        QVERIFY(opensWith(*fixture, "locked away"));
    }
};

PELLIX_TEST_MAIN(KeyringTest)
#include "KeyringTest.moc"
