// SPDX-License-Identifier: MIT

#pragma once

#include <QCache>
#include <QHash>
#include <QImage>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class QNetworkReply;
class QUrl;

// Fetches notification icons without ever blocking the event loop. Only http,
// https and data: addresses are fetched; each fetch is bounded in time and in
// size, and what arrives must decode as a picture of a bounded size. Anything
// else gives no icon (a null image). A picture is decoded at, or scaled down
// to, at most maximumIconSide square, keeping its aspect ratio: no
// notification service shows more. Icons fetched over the network are kept
// in a small cache, and concurrent requests for one address share one fetch.
class IconLoader : public QObject
{
    Q_OBJECT

public:
    using Completion = std::function<void(const QImage &icon)>;

    static constexpr std::chrono::milliseconds defaultTimeLimit{10'000};
    static constexpr qint64 maximumPictureBytes = 2 * 1024 * 1024;
    static constexpr int maximumIconSide = 256;
    // The most pixels a picture may claim (about 2900 square): decoding one
    // takes time in proportion to them, whatever size it is decoded at.
    static constexpr qint64 maximumPicturePixels = 8 * 1024 * 1024;

    explicit IconLoader(QObject *parent = nullptr);

    void setTimeLimit(std::chrono::milliseconds limit);

    // Calls done exactly once, always later from the event loop (never from
    // within this call), with the picture or a null image.
    void load(const QString &address, Completion done);

private:
    void fetch(const QUrl &url, const QString &address);
    void refuseUnsafeRedirects(QNetworkReply *reply);
    std::shared_ptr<QByteArray> takeBodyWithinBound(QNetworkReply *reply);
    void finishFetch(QNetworkReply *reply, const QString &address, const QByteArray &body);
    void completeLater(const QImage &icon, Completion done);

    static bool isFetchable(const QUrl &url);
    static bool isNetworkAddress(const QUrl &url);
    static void readWithinBound(QNetworkReply *reply, QByteArray &body);
    static QImage decode(const QByteArray &bytes);
    static QImage scaledDown(QImage picture);
    static QSize iconSizeFor(const QSize &pictureSize);

    QNetworkAccessManager network;
    std::chrono::milliseconds timeLimit = defaultTimeLimit;
    QCache<QString, QImage> cache;
    QHash<QString, QList<Completion>> waiting;
};
