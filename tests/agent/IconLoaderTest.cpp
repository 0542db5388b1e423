#include "IconLoader.h"
#include "ProcessMemory.h"
#include "TestHttpService.h"

#include <QColor>
#include <QtEndian>
#include <QtTest>

using namespace std::chrono_literals;

namespace {
QString dataAddress(const QByteArray &picture) { return "data:image/png;base64," + picture.toBase64(); }

// 64 bytes that claim a run-length coded picture of side x side pixels,
// which Qt decodes whole before scaling it.
QByteArray claimedBmp(quint32 side)
{
    QByteArray bmp("BM\x40\0\0\0\0\0\0\0\x3e\0\0\0\x28\0\0\0", 18);
    for (const quint32 field : {side, side, 0x80001u, 1u, 2u, 0u, 0u, 2u, 0u}) {
        const quint32 little = qToLittleEndian(field);
        bmp += QByteArray(reinterpret_cast<const char *>(&little), 4);
    }
    return bmp + QByteArray("\0\0\xff\0\xff\xff\xff\0\0\1", 10);
}
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

private slots:
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
        QTest::newRow("picture decoded whole") << dataAddress(claimedBmp(1800)) << QSize(256, 256);
        QTest::newRow("not a picture") << QStringLiteral("data:text/html,<p>not a picture</p>") << none;
        QTest::newRow("error status with a picture body") << service.url("/gone.png").toString() << none;
        QTest::newRow("host that never answers") << service.url("/silent.png").toString() << none;
        QTest::newRow("refused connection") << QStringLiteral("http://127.0.0.1:1/icon.png") << none;
        QTest::newRow("file scheme") << QUrl::fromLocalFile(QFINDTESTDATA("../../resources/pellix_menu_icon.png")).toString()
                                     << none;
        QTest::newRow("more pixels than may be decoded") << dataAddress(TestHttpReply::png({3000, 3000}, Qt::red))
                                                         << none;
        QTest::newRow("more than may be decoded whole") << dataAddress(claimedBmp(2400)) << none;
    }

    void iconArrives()
    {
        QFETCH(QString, address);
        const std::optional<QImage> icon = loaded(address);
        QVERIFY(icon);
        QTEST(icon->size(), "size");
        QVERIFY(icon->isNull() || icon->pixelColor(3, 3).toHsv().hue() == 0); // red, give or take the scaling
    }

    // A failure is not kept; callers waiting at once share one fetch, and a
    // later one is answered from it. Icons are asked for uncompressed, so
    // that the size bound holds for what is decoded.
    void anAddressIsFetchedOnceItHasArrived()
    {
        service.route("/later.png", {.status = 503, .announceLength = true});
        const QString address = service.url("/later.png").toString();
        QCOMPARE(loaded(address), std::optional(QImage()));
        service.route("/later.png", TestHttpReply::picture(redPng));
        QList<QImage> icons;
        for (int caller = 0; caller < 3; ++caller)
            loader.load(address, [&icons](const QImage &icon) { icons.append(icon); });
        QTRY_COMPARE(icons.size(), 3);
        icons.append(loaded(address).value_or(QImage()));
        QVERIFY(std::ranges::all_of(icons, [](const QImage &icon) { return icon.size() == QSize(12, 8); }));
        QCOMPARE(service.requestCount("/later.png"), 2);
        QVERIFY(service.requests().constLast().headers.contains("Accept-Encoding: identity\r\n"));
    }

    // Bodies far over the bound, without a length, are given up while they
    // arrive, each costing little more than the bound, long before the time
    // limit would end them.
    void hugeBodiesAreGivenUpWhileTheyArrive()
    {
        constexpr int fetches = 8;
        loader.setTimeLimit(IconLoader::defaultTimeLimit);
        const qint64 baseline = ProcessMemory::residentKibibytes();
        qint64 peak = baseline;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&peak] { peak = std::max(peak, ProcessMemory::residentKibibytes()); });
        sampler.start(10);
        QList<QImage> icons;
        service.setFallbackReply(TestHttpReply{.pieces = {QByteArray(64 * 1024, 'x')}, .repeats = 1600});
        for (int fetch = 0; fetch < fetches; ++fetch)
            loader.load(service.url(QStringLiteral("/huge-%1.png").arg(fetch)).toString(),
                        [&icons](const QImage &icon) { icons.append(icon); });
        QTRY_COMPARE_WITH_TIMEOUT(icons.size(), fetches, 8000);
        QVERIFY(std::ranges::all_of(icons, &QImage::isNull));
        if (ProcessMemory::residentMemoryIsMeaningful)
            QVERIFY2(peak - baseline < fetches * 3 * 1024, qPrintable(QStringLiteral("grew by %1 KiB").arg(peak - baseline)));
    }
};

QTEST_GUILESS_MAIN(IconLoaderTest)
#include "IconLoaderTest.moc"
