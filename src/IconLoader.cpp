#include "IconLoader.h"

#include <QBuffer>
#include <QImageReader>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace {
// Costs are in KiB: the cache holds at most this much decoded picture data.
constexpr qsizetype cacheKibibytes = 16 * 1024;
// A small file can still claim an enormous picture; refuse to allocate more.
constexpr int decodeLimitMebibytes = 32;

qsizetype cacheCost(const QImage &icon) { return icon.sizeInBytes() / 1024 + 1; }
}

IconLoader::IconLoader(QObject *parent)
    : QObject(parent)
    , cache(cacheKibibytes)
{
}

void IconLoader::setTimeLimit(std::chrono::milliseconds limit) { timeLimit = limit; }

void IconLoader::load(const QString &address, Completion done)
{
    if (const QImage *cached = cache.object(address)) {
        completeLater(*cached, std::move(done));
        return;
    }
    const QUrl url(address);
    if (!isFetchable(url)) {
        completeLater(QImage(), std::move(done));
        return;
    }
    QList<Completion> &callers = waiting[address];
    callers.append(std::move(done));
    if (callers.size() == 1)
        fetch(url, address);
}

void IconLoader::fetch(const QUrl &url, const QString &address)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    QNetworkReply *reply = network.get(request);
    QTimer::singleShot(timeLimit, reply, &QNetworkReply::abort);
    watchSize(reply);
    refuseUnsafeRedirects(reply);
    connect(reply, &QNetworkReply::finished, this, [this, reply, address] { finishFetch(reply, address); });
}

// Stops the transfer as soon as the announced length or what has arrived
// passes the bound, so that a huge or endless body is not held in memory.
void IconLoader::watchSize(QNetworkReply *reply)
{
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > maximumPictureBytes || total > maximumPictureBytes)
            reply->abort();
    });
}

// A redirect may only lead to another network address, never to a local file
// or any other scheme the agent would not fetch in the first place.
void IconLoader::refuseUnsafeRedirects(QNetworkReply *reply)
{
    connect(reply, &QNetworkReply::redirected, reply, [reply](const QUrl &target) {
        if (isNetworkAddress(target))
            emit reply->redirectAllowed();
        else
            reply->abort();
    });
}

void IconLoader::finishFetch(QNetworkReply *reply, const QString &address)
{
    reply->deleteLater();
    const QImage icon = reply->error() == QNetworkReply::NoError ? decode(bodyWithinBound(reply)) : QImage();
    if (!icon.isNull() && isNetworkAddress(reply->request().url()))
        cache.insert(address, new QImage(icon), cacheCost(icon));
    for (const Completion &done : waiting.take(address))
        done(icon);
}

// A body that was complete before the size watch could stop it is measured
// here; one over the bound counts as no picture.
QByteArray IconLoader::bodyWithinBound(QNetworkReply *reply)
{
    const QByteArray bytes = reply->read(maximumPictureBytes + 1);
    return bytes.size() <= maximumPictureBytes ? bytes : QByteArray();
}

void IconLoader::completeLater(const QImage &icon, Completion done)
{
    QTimer::singleShot(0, this, [icon, done = std::move(done)] { done(icon); });
}

bool IconLoader::isFetchable(const QUrl &url)
{
    return isNetworkAddress(url) || (url.isValid() && url.scheme() == QLatin1String("data"));
}

bool IconLoader::isNetworkAddress(const QUrl &url)
{
    const QString scheme = url.scheme();
    return url.isValid() && !url.host().isEmpty()
           && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

QImage IconLoader::decode(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(decodeLimitMebibytes);
    return reader.read();
}
