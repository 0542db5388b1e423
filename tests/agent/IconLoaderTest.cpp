#include "IconLoader.h"
#include "TestHttpService.h"
#include "ProcessMemory.h"

#include <QColor>
#include <QtEndian>
#include <QtTest>

#include <optional>

using namespace std::chrono_literals;

class IconLoaderTest : public QObject
{
    Q_OBJECT

    TestHttpService service;
    const QByteArray redPng = TestHttpReply::png({12, 8}, Qt::red);

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
        service.setFallbackReply(TestHttpReply{.status = 404, .announceLength = true});
        service.route("/red.png", TestHttpReply::picture(redPng));
        service.route("/page.html", {.extraHeaders = "Content-Type: text/html\r\n", .pieces = {"<html>not a picture</html>"}, .announceLength = true});
        service.route("/gone.png", {.status = 404, .pieces = {redPng}, .announceLength = true});
        service.route("/to-red", {.status = 302, .extraHeaders = "Location: /red.png\r\n", .announceLength = true});
        service.route("/to-file", {.status = 302, .extraHeaders = "Location: file:///etc/hostname\r\n", .announceLength = true});
        service.route("/to-data", {.status = 302, .extraHeaders = "Location: data:image/png;base64," + redPng.toBase64() + "\r\n", .announceLength = true});
        QByteArray padded = redPng + QByteArray(IconLoader::maximumPictureBytes, '\0');
        service.route("/announced-big.png", TestHttpReply::picture(padded));
        TestHttpReply unannounced = TestHttpReply::picture(padded);
        unannounced.announceLength = false;
        service.route("/unannounced-big.png", unannounced);
        service.route("/fitting.png", TestHttpReply::picture(padded.left(IconLoader::maximumPictureBytes)));
        service.route("/silent.png", TestHttpReply::silent());
    }

    static QString dataAddress(const QByteArray &picture) { return "data:image/png;base64," + picture.toBase64(); }

    // 64 bytes that claim a run-length coded picture of side x side pixels,
    // which Qt decodes whole before scaling it.
    static QByteArray claimedBmp(quint32 side)
    {
        const auto le = [](quint32 value, int bytes) {
            QByteArray field(4, '\0');
            qToLittleEndian(value, field.data());
            return field.left(bytes);
        };
        const QByteArray info = le(40, 4) + le(side, 4) + le(side, 4) + le(1, 2) + le(8, 2) + le(1, 4) + le(2, 4)
                                + le(0, 4) + le(0, 4) + le(2, 4) + le(0, 4);
        const QByteArray palette("\0\0\xff\0\xff\xff\xff\0", 8);
        return "BM" + le(64, 4) + le(0, 4) + le(62, 4) + info + palette + QByteArray("\0\1", 2);
    }

    // Pictures larger than a notification shows are scaled down at once,
    // keeping their aspect ratio.
    void pictureArrives_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QSize>("size");
        const QSize small(12, 8);
        QTest::newRow("http") << service.url("/red.png").toString() << small;
        QTest::newRow("data: address") << dataAddress(redPng) << small;
        QTest::newRow("followed redirect") << service.url("/to-red").toString() << small;
        QTest::newRow("trailing bytes up to the size bound") << service.url("/fitting.png").toString() << small;
        QTest::newRow("wide picture") << dataAddress(TestHttpReply::png({2800, 1400}, Qt::red))
                                      << QSize(256, 128);
        QTest::newRow("tall picture") << dataAddress(TestHttpReply::png({300, 3000}, Qt::red))
                                      << QSize(25, 256);
        QTest::newRow("picture decoded whole") << dataAddress(claimedBmp(1800)) << QSize(256, 256);
    }

    void pictureArrives()
    {
        QFETCH(QString, address);
        IconLoader loader;
        const std::optional<QImage> icon = loadAndWait(loader, address);
        QVERIFY(icon.has_value());
        QTEST(icon->size(), "size");
        QCOMPARE(icon->pixelColor(3, 3).toHsv().hue(), 0); // red, give or take the scaling
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
        QTest::newRow("more pixels than may be decoded")
            << dataAddress(TestHttpReply::png({3000, 3000}, Qt::red));
        QTest::newRow("more than may be decoded whole") << dataAddress(claimedBmp(2400));
    }

    void noIcon()
    {
        QFETCH(QString, address);
        IconLoader loader;
        const std::optional<QImage> icon = loadAndWait(loader, address);
        QVERIFY(icon.has_value());
        QVERIFY(icon->isNull());
    }

    // Bodies far over the bound, without a length, are given up while they
    // arrive, each costing little more than the bound.
    void hugeBodiesAreGivenUpWhileTheyArrive()
    {
        constexpr int fetches = 8;
        TestHttpReply huge = TestHttpReply::picture(QByteArray(64 * 1024, 'x'));
        huge.announceLength = false;
        huge.repeats = 1600;
        IconLoader loader;
        const qint64 baseline = ProcessMemory::residentKibibytes();
        qint64 peak = baseline;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&peak] { peak = std::max(peak, ProcessMemory::residentKibibytes()); });
        sampler.start(10);
        QList<QImage> icons;
        for (int fetch = 0; fetch < fetches; ++fetch) {
            const QString path = QStringLiteral("/huge-%1.png").arg(fetch);
            service.route(path, huge);
            loader.load(service.url(path).toString(), [&icons](const QImage &icon) { icons.append(icon); });
        }
        QTRY_COMPARE_WITH_TIMEOUT(icons.size(), fetches, 30000);
        QVERIFY(std::ranges::all_of(icons, &QImage::isNull));
        if (ProcessMemory::residentMemoryIsMeaningful)
            QVERIFY2(peak - baseline < fetches * 3 * 1024,
                     qPrintable(QStringLiteral("resident memory grew by %1 KiB").arg(peak - baseline)));
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
        service.route("/shared.png", TestHttpReply::picture(redPng));
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
        // Asked for uncompressed, so that the size bound holds for what is decoded.
        QVERIFY(service.requests().constLast().headers.contains("Accept-Encoding: identity\r\n"));
    }

    void failuresAreNotCached()
    {
        service.route("/later.png", {.status = 503, .announceLength = true});
        const QString address = service.url("/later.png").toString();
        IconLoader loader;
        QVERIFY(loadAndWait(loader, address)->isNull());
        service.route("/later.png", TestHttpReply::picture(redPng));
        QVERIFY(!loadAndWait(loader, address)->isNull());
    }
};

QTEST_GUILESS_MAIN(IconLoaderTest)
#include "IconLoaderTest.moc"
