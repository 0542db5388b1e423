#include "IconLoader.h"
#include "LoopbackPictureService.h"

#include <QColor>
#include <QtTest>

#include <optional>

using namespace std::chrono_literals;

class IconLoaderTest : public QObject
{
    Q_OBJECT

    LoopbackPictureService service;
    const QByteArray redPng = LoopbackPictureService::png({12, 8}, Qt::red);

    static std::optional<QImage> loadAndWait(IconLoader &loader, const QString &address)
    {
        std::optional<QImage> icon;
        loader.load(address, [&icon](const QImage &result) { icon = result; });
        if (icon)
            qFatal("completion ran inside load()");
        if (!QTest::qWaitFor([&icon] { return icon.has_value(); }, 5000))
            return std::nullopt;
        return icon;
    }

private slots:
    void initTestCase()
    {
        service.route("/red.png", LoopbackPictureService::picture(redPng));
        service.route("/page.html", {"200 OK", "Content-Type: text/html\r\n", "<html>not a picture</html>"});
        service.route("/gone.png", {"404 Not Found", {}, redPng});
        service.route("/to-red", {"302 Found", "Location: /red.png\r\n", {}});
        service.route("/to-file", {"302 Found", "Location: file:///etc/hostname\r\n", {}});
        service.route("/to-data", {"302 Found", "Location: data:image/png;base64," + redPng.toBase64() + "\r\n", {}});
        QByteArray padded = redPng + QByteArray(IconLoader::maximumPictureBytes, '\0');
        service.route("/announced-big.png", LoopbackPictureService::picture(padded));
        LoopbackPictureService::Response unannounced = LoopbackPictureService::picture(padded);
        unannounced.announceLength = false;
        service.route("/unannounced-big.png", unannounced);
        service.route("/fitting.png", LoopbackPictureService::picture(padded.left(IconLoader::maximumPictureBytes)));
        service.route("/silent.png", {"200 OK", {}, {}, true, {}, /*silent*/ true});
    }

    void pictureArrives_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("http") << service.url("/red.png").toString();
        QTest::newRow("data: address") << QString("data:image/png;base64," + redPng.toBase64());
        QTest::newRow("followed redirect") << service.url("/to-red").toString();
        QTest::newRow("trailing bytes up to the size bound") << service.url("/fitting.png").toString();
    }

    void pictureArrives()
    {
        QFETCH(QString, address);
        IconLoader loader;
        const std::optional<QImage> icon = loadAndWait(loader, address);
        QVERIFY(icon.has_value());
        QCOMPARE(icon->size(), QSize(12, 8));
        QCOMPARE(icon->pixelColor(3, 3), QColor(Qt::red));
    }

    void noIcon_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("not a picture") << service.url("/page.html").toString();
        QTest::newRow("error status with a picture body") << service.url("/gone.png").toString();
        QTest::newRow("unknown path") << service.url("/nothing-here").toString();
        QTest::newRow("redirect to a local file") << service.url("/to-file").toString();
        QTest::newRow("redirect to a data: address") << service.url("/to-data").toString();
        QTest::newRow("announced body over the bound") << service.url("/announced-big.png").toString();
        QTest::newRow("unannounced body over the bound") << service.url("/unannounced-big.png").toString();
        QTest::newRow("refused connection") << QStringLiteral("http://127.0.0.1:1/icon.png");
        QTest::newRow("file scheme") << QStringLiteral("file:///usr/share/pixmaps/debian-logo.png");
        QTest::newRow("ftp scheme") << QStringLiteral("ftp://127.0.0.1/icon.png");
        QTest::newRow("no scheme") << QStringLiteral("/usr/share/pixmaps/debian-logo.png");
        QTest::newRow("empty") << QString();
        QTest::newRow("http without host") << QStringLiteral("http:///icon.png");
        QTest::newRow("data: that is not a picture") << QStringLiteral("data:text/plain,hello");
    }

    void noIcon()
    {
        QFETCH(QString, address);
        IconLoader loader;
        const std::optional<QImage> icon = loadAndWait(loader, address);
        QVERIFY(icon.has_value());
        QVERIFY(icon->isNull());
    }

    void hostThatNeverAnswersIsGivenUp()
    {
        IconLoader loader;
        loader.setTimeLimit(200ms);
        const std::optional<QImage> icon = loadAndWait(loader, service.url("/silent.png").toString());
        QVERIFY(icon.has_value());
        QVERIFY(icon->isNull());
    }

    // Callers waiting at once share one fetch; a later one is answered from it.
    void anAddressIsFetchedOnce()
    {
        LoopbackPictureService::Response slow = LoopbackPictureService::picture(redPng);
        slow.delay = 100ms;
        service.route("/shared.png", slow);
        const QString address = service.url("/shared.png").toString();
        IconLoader loader;
        QList<QImage> icons;
        for (int caller = 0; caller < 3; ++caller)
            loader.load(address, [&icons](const QImage &icon) { icons.append(icon); });
        QTRY_COMPARE(icons.size(), 3);
        icons.append(*loadAndWait(loader, address));
        for (const QImage &icon : icons)
            QCOMPARE(icon.size(), QSize(12, 8));
        QCOMPARE(service.requestCount("/shared.png"), 1);
    }

    void failuresAreNotCached()
    {
        service.route("/later.png", {"503 Service Unavailable", {}, {}});
        const QString address = service.url("/later.png").toString();
        IconLoader loader;
        QVERIFY(loadAndWait(loader, address)->isNull());
        service.route("/later.png", LoopbackPictureService::picture(redPng));
        QVERIFY(!loadAndWait(loader, address)->isNull());
    }
};

QTEST_GUILESS_MAIN(IconLoaderTest)
#include "IconLoaderTest.moc"
