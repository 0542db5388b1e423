// SPDX-License-Identifier: MIT

#include "IconLoader.h"

#include "stream/NetworkProxies.h"

#include <QBuffer>
#include <QImageReader>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace {
// Costs are in KiB: the cache holds at most this much decoded picture data.
constexpr qsizetype cacheKibibytes = 16 * 1024;
// What a picture decoded whole may cost, at 4 bytes a pixel: the readers
// that cannot decode straight to the icon's size (BMP, GIF, ICO) hold all of
// it before it is scaled.
constexpr int decodeLimitMebibytes = 16;
// The network holds at most this much of a body the loader has not taken yet.
constexpr qint64 readAheadBytes = 64 * 1024;

qsizetype cacheCost(const QImage &icon) { return icon.sizeInBytes() / 1024 + 1; }
}

IconLoader::IconLoader(QObject *parent)
    : QObject(parent)
    , cache(cacheKibibytes)
{
    // Icons take the stream's proxy.
    network.setProxyFactory(new NetworkProxies);
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
    // Asked for uncompressed, the size bound holds for what is decoded too: a
    // compressed body sent all the same is no picture.
    request.setRawHeader("Accept-Encoding", "identity");
    QNetworkReply *reply = network.get(request);
    QTimer::singleShot(timeLimit, reply, &QNetworkReply::abort);
    refuseUnsafeRedirects(reply);
    const std::shared_ptr<QByteArray> body = takeBodyWithinBound(reply);
    connect(reply, &QNetworkReply::finished, this, [this, reply, address, body] {
        if (reply->error() == QNetworkReply::NoError)
            readWithinBound(reply, *body);
        finishFetch(reply, address, *body);
    });
}

// The body is taken as it arrives, with the network holding little of it
// ahead, and the transfer stops as soon as the announced length or what has
// arrived passes the bound: a huge or endless body is never held.
std::shared_ptr<QByteArray> IconLoader::takeBodyWithinBound(QNetworkReply *reply)
{
    reply->setReadBufferSize(readAheadBytes);
    auto body = std::make_shared<QByteArray>();
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > maximumPictureBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::readyRead, reply, [reply, body] { readWithinBound(reply, *body); });
    return body;
}

void IconLoader::readWithinBound(QNetworkReply *reply, QByteArray &body)
{
    if (body.size() > maximumPictureBytes)
        return;
    body += reply->read(maximumPictureBytes + 1 - body.size());
    if (body.size() > maximumPictureBytes)
        reply->abort();
}

// A redirect may only lead to another network address, never to a local file
// or any other scheme the agent would not fetch in the first place.
void IconLoader::refuseUnsafeRedirects(QNetworkReply *reply)
{
    connect(reply, &QNetworkReply::redirected, reply, [reply](const QUrl &target) {
        if (isNetworkAddress(target))
            Q_EMIT reply->redirectAllowed();
        else
            reply->abort();
    });
}

void IconLoader::finishFetch(QNetworkReply *reply, const QString &address, const QByteArray &body)
{
    reply->deleteLater();
    const bool whole = reply->error() == QNetworkReply::NoError && body.size() <= maximumPictureBytes;
    const QImage icon = whole ? decode(body) : QImage();
    if (!icon.isNull() && isNetworkAddress(reply->request().url()))
        cache.insert(address, new QImage(icon), cacheCost(icon));
    for (const Completion &done : waiting.take(address))
        done(icon);
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

// The size a picture claims is checked before any of it is decoded. Qt's PNG
// and JPEG readers decode straight to the size asked for, without a buffer of
// the full picture, and then without the allocation limit.
QImage IconLoader::decode(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(decodeLimitMebibytes);
    const QSize size = reader.size();
    if (qint64(size.width()) * size.height() > maximumPicturePixels)
        return {};
    if (size.width() > maximumIconSide || size.height() > maximumIconSide)
        reader.setScaledSize(iconSizeFor(size));
    return scaledDown(reader.read());
}

// For the readers that decode a picture whole. Scaling works on 32-bit
// pixels: a picture decoded as such is converted in place, so it is never
// held twice at full size.
QImage IconLoader::scaledDown(QImage picture)
{
    if (picture.width() <= maximumIconSide && picture.height() <= maximumIconSide)
        return picture;
    picture.convertTo(picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    return picture.scaled(iconSizeFor(picture.size()), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QSize IconLoader::iconSizeFor(const QSize &pictureSize)
{
    return pictureSize.scaled(maximumIconSide, maximumIconSide, Qt::KeepAspectRatio).expandedTo({1, 1});
}
