#include "AgentFixture.h"
#include "PellixTestEnvironment.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>

namespace {
const QString certificates = QStringLiteral(PELLIX_TEST_CERTIFICATES "/");

// Every certificate made for the test is for the same key.
QSslConfiguration serving(const QString &certificate)
{
    QFile key(certificates + QStringLiteral("server-key.pem"));
    key.open(QIODevice::ReadOnly);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate::fromPath(certificates + certificate).value(0));
    tls.setPrivateKey(QSslKey(&key, QSsl::Ec));
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    return tls;
}
}

// The stream over https, against a loopback service under certificates made
// for the test: one signed by a CA this process trusts streams as usual; one
// nobody trusts, or one made out for another host, fails before the request
// (and with it the key digest) is sent.
class TlsStreamTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
        QVERIFY(trusting.addCaCertificates(certificates + QStringLiteral("ca.pem")));
        QSslConfiguration::setDefaultConfiguration(trusting);
    }

    void streamsOnlyFromAServiceItCanTrust_data()
    {
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<QStringList>("posted");
        QTest::newRow("trusted") << "server.pem" << QStringList{QStringLiteral("over tls")};
        QTest::newRow("untrusted") << "untrusted.pem" << QStringList();
        QTest::newRow("another host") << "elsewhere.pem" << QStringList();
    }

    // The connection is answered with one line when the handshake succeeds.
    void streamsOnlyFromAServiceItCanTrust()
    {
        QFETCH(QString, certificate);
        QFETCH(QStringList, posted);
        AgentFixture fixture(serving(certificate));
        fixture.stream.enqueueReply({200, {}, {AgentFixture::line("over tls")}});
        fixture.start();
        QVERIFY(fixture.waitForReopenScheduled());
        QCOMPARE(fixture.stream.requests().size(), posted.size());
        QCOMPARE(fixture.agentStream().state().text().endsWith(QStringLiteral("securely")), posted.isEmpty());
        QVERIFY(fixture.waitForPosted(posted.size()));
        QCOMPARE(fixture.posted(), posted);
    }

    // Plain http would hand the key's digest to anyone on the way.
    void aRedirectionToPlainHttpIsNotFollowed()
    {
        AgentFixture fixture(serving(QStringLiteral("server.pem")));
        fixture.stream.enqueueReply({302, "Location: http://127.0.0.1:1/\r\n"});
        fixture.start();
        QVERIFY(fixture.waitForReopenScheduled());
        QVERIFY(fixture.agentStream().state().text().endsWith(QStringLiteral("the server answered HTTP 302")));
    }
};

PELLIX_TEST_MAIN(TlsStreamTest)
#include "TlsStreamTest.moc"
