// SPDX-License-Identifier: MIT

#include "notifications/IconLoader.h"
#include "TestHttpService.h"

#include <QColor>
#include <QtTest>

using namespace std::chrono_literals;

namespace {
QString dataAddress(const QByteArray &picture) { return QString::fromLatin1("data:image/png;base64," + picture.toBase64()); }

}

class IconLoaderTest : public QObject
{
    Q_OBJECT

    TestHttpService service;
    IconLoader loader;
    const QByteArray redPng = TestHttpReply::png({12, 8}, Qt::red);

    std::optional<QImage> loaded(const QString &address)
    {
        std::optional<QImage> icon;
        loader.load(address, [&icon](const QImage &result) { icon = result; });
        // Completion never runs inside load(): that gives no icon here.
        return !icon && QTest::qWaitFor([&icon] { return icon.has_value(); }, 5000) ? icon : std::nullopt;
    }

private Q_SLOTS:
    void initTestCase()
    {
        loader.setTimeLimit(1500ms);
        service.route("/red.png", TestHttpReply::picture(redPng));
        service.route("/gone.png", {.status = 404, .pieces = {redPng}, .announceLength = true});
        service.route("/to-red", {.status = 302, .extraHeaders = "Location: /red.png\r\n", .announceLength = true});
        service.route("/fitting.png", TestHttpReply::picture(redPng.leftJustified(IconLoader::maximumPictureBytes, '\0')));
        service.route("/silent.png", TestHttpReply::silent());
    }

    // Pictures larger than a notification shows are scaled down at once,
    // keeping their aspect ratio; anything else gives no icon (0x0).
    void iconArrives_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QSize>("size");
        const QSize none(0, 0);
        QTest::newRow("http") << service.url("/red.png").toString() << QSize(12, 8);
        QTest::newRow("followed redirect") << service.url("/to-red").toString() << QSize(12, 8);
        QTest::newRow("trailing bytes up to the size bound") << service.url("/fitting.png").toString() << QSize(12, 8);
        QTest::newRow("wide") << dataAddress(TestHttpReply::png({2800, 1400}, Qt::red)) << QSize(256, 128);
        QTest::newRow("tall") << dataAddress(TestHttpReply::png({300, 3000}, Qt::red)) << QSize(25, 256);
        QTest::newRow("not a picture") << QStringLiteral("data:text/html,<p>not a picture</p>") << none;
        QTest::newRow("error status with a picture body") << service.url("/gone.png").toString() << none;
        QTest::newRow("host that never answers") << service.url("/silent.png").toString() << none;
        QTest::newRow("refused connection") << QStringLiteral("http://127.0.0.1:1/icon.png") << none;
        QTest::newRow("file scheme") << QUrl::fromLocalFile(QFINDTESTDATA("../../resources/pellix_menu_icon.png")).toString()
                                     << none;
        QTest::newRow("more pixels than may be decoded") << dataAddress(TestHttpReply::png({3000, 3000}, Qt::red))
                                                         << none;
    }

    void iconArrives()
    {
        QFETCH(QString, address);
        const std::optional<QImage> icon = loaded(address);
        QVERIFY(icon);
        QTEST(icon->size(), "size");
        QVERIFY(icon->isNull() || icon->pixelColor(3, 3).toHsv().hue() == 0); // red, give or take the scaling
    }

    // A failure is not kept; a success is, and answers later callers. Icons
    // are asked for uncompressed, so that the size bound holds for what is
    // decoded.
    void anAddressIsFetchedOnceItHasArrived()
    {
        service.route("/later.png", {.status = 503, .announceLength = true});
        const QString address = service.url("/later.png").toString();
        QCOMPARE(loaded(address), std::optional(QImage()));
        service.route("/later.png", TestHttpReply::picture(redPng));
        for (int caller = 0; caller < 2; ++caller)
            QCOMPARE(loaded(address).value_or(QImage()).size(), QSize(12, 8));
        QCOMPARE(std::ranges::count(service.requests(), "/later.png", &TestHttpRequest::path), 2);
        QVERIFY(service.requests().constLast().headers.contains("Accept-Encoding: identity\r\n"));
    }

    // Bodies far over the bound, without a length, are given up while they
    // arrive, long before the time limit would end them.
    void hugeBodiesAreGivenUpWhileTheyArrive()
    {
        constexpr int fetches = 8;
        loader.setTimeLimit(IconLoader::defaultTimeLimit);
        QList<QImage> icons;
        service.setFallbackReply(TestHttpReply{.pieces = {QByteArray(64 * 1024, 'x')}, .repeats = 1600});
        for (int fetch = 0; fetch < fetches; ++fetch)
            loader.load(service.url(QStringLiteral("/huge-%1.png").arg(fetch)).toString(),
                        [&icons](const QImage &icon) { icons.append(icon); });
        QTRY_COMPARE_WITH_TIMEOUT(icons.size(), fetches, 8000);
        QVERIFY(std::ranges::all_of(icons, &QImage::isNull));
    }
};

QTEST_GUILESS_MAIN(IconLoaderTest)
#include "IconLoaderTest.moc"
