#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QUrl>

#include <chrono>

class QTcpSocket;

// A small HTTP service on 127.0.0.1 for icon fetches: each path answers with a
// scripted response, after an optional delay, or never at all.
class LoopbackPictureService : public QObject
{
    Q_OBJECT

public:
    struct Response
    {
        QByteArray status = "200 OK";
        QByteArray headers;
        QByteArray body;
        // Announce the body's length; without it the body ends with the connection.
        bool announceLength = true;
        std::chrono::milliseconds delay{0};
        // Accept the request and never answer it.
        bool silent = false;
        // The body is sent this many times over, each once the last has gone
        // out, so that a long body is never held here.
        int bodyRepeats = 1;
    };

    explicit LoopbackPictureService(QObject *parent = nullptr);

    void route(const QString &path, const Response &response);
    QUrl url(const QString &path) const;
    int requestCount(const QString &path) const;

    static QByteArray png(const QSize &size, const QColor &colour);
    static Response picture(const QByteArray &bytes);

private:
    void accept();
    void answer(QTcpSocket *socket);
    static void respond(QTcpSocket *socket, const Response &response);

    QTcpServer server;
    QHash<QString, Response> routes;
    QHash<QString, int> requests;
};
