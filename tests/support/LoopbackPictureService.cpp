#include "LoopbackPictureService.h"

#include <QBuffer>
#include <QColor>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

LoopbackPictureService::LoopbackPictureService(QObject *parent)
    : QObject(parent)
{
    server.listen(QHostAddress::LocalHost, 0);
    connect(&server, &QTcpServer::newConnection, this, &LoopbackPictureService::accept);
}

void LoopbackPictureService::route(const QString &path, const Response &response) { routes.insert(path, response); }

QUrl LoopbackPictureService::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server.serverPort()).arg(path));
}

int LoopbackPictureService::requestCount(const QString &path) const { return requests.value(path); }

QByteArray LoopbackPictureService::png(const QSize &size, const QColor &colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

LoopbackPictureService::Response LoopbackPictureService::picture(const QByteArray &bytes)
{
    Response response;
    response.headers = "Content-Type: image/png\r\n";
    response.body = bytes;
    return response;
}

void LoopbackPictureService::accept()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
    }
}

void LoopbackPictureService::answer(QTcpSocket *socket)
{
    if (!socket->canReadLine() || socket->property("answered").toBool())
        return;
    socket->setProperty("answered", true);
    const QString path = QString::fromLatin1(socket->readLine().split(' ').value(1));
    ++requests[path];
    const Response response = routes.value(path, Response{"404 Not Found", {}, "missing", true, {}, false});
    if (!response.silent)
        respond(socket, response);
}

void LoopbackPictureService::respond(QTcpSocket *socket, const Response &response)
{
    QByteArray head = "HTTP/1.1 " + response.status + "\r\nConnection: close\r\n" + response.headers;
    if (response.announceLength)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    QTimer::singleShot(response.delay, socket, [socket, response, head] {
        socket->write(head + "\r\n" + response.body);
        const auto sendMore = [socket, body = response.body, left = std::make_shared<int>(response.bodyRepeats - 1)] {
            if (*left == 0)
                socket->disconnectFromHost();
            else if (socket->bytesToWrite() == 0 && --*left >= 0)
                socket->write(body);
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, sendMore);
        sendMore();
    });
}
