// SPDX-License-Identifier: MIT

#include "DemoStreamService.h"

#include "KzJsonDictionary.h"
#include "internal/KzJsonUtf8.h"
#include "KzJsonValue.h"

#include <QBuffer>
#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QPainter>
#include <QTcpSocket>
#include <QTextStream>

#include <array>

namespace {
// More than any real request needs; a client that sends more is not a browser
// or the agent and is turned away.
constexpr qsizetype maximumRequestHead = 16 * 1024;

struct Sample
{
    const char *title;
    const char *description;
    const char *icon;
    const char *page;
};

const std::array samples{
    Sample{"Pellix demo", "A notification with an icon; click it to open its page", "pellix", "welcome"},
    Sample{"Build finished", "pellix #%1 passed all its tests", "green", "builds"},
    Sample{"Calendar", "Stand-up in 5 minutes", nullptr, "calendar"},
    Sample{"Pellix demo", "Grüße aus dem Stream ✓ (message %1)", "orange", "unicode"},
};

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

KzJsonValue text(const QString &value) { return KzJsonValue::string(value.toStdU16String()); }
}

DemoStreamService::DemoStreamService(std::chrono::seconds interval, QObject *parent)
    : QObject(parent)
{
    icons.insert(QStringLiteral("/icons/pellix.png"), picture(QColor(0x2b, 0x6c, 0xd4)));
    icons.insert(QStringLiteral("/icons/green.png"), picture(QColor(0x2e, 0x9e, 0x4f)));
    icons.insert(QStringLiteral("/icons/orange.png"), picture(QColor(0xe8, 0x7a, 0x1c)));
    connect(&server, &QTcpServer::newConnection, this, &DemoStreamService::accept);
    connect(&ticker, &QTimer::timeout, this, &DemoStreamService::sendNextNotification);
    ticker.setInterval(interval);
}

bool DemoStreamService::listen(quint16 port)
{
    if (!server.listen(QHostAddress::LocalHost, port))
        return false;
    ticker.start();
    return true;
}

quint16 DemoStreamService::port() const { return server.serverPort(); }

QString DemoStreamService::errorString() const { return server.errorString(); }

void DemoStreamService::accept()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
    }
}

void DemoStreamService::readRequest(QTcpSocket *socket)
{
    if (socket->property("answered").toBool()) {
        socket->readAll();
        return;
    }
    const QByteArray head = socket->peek(maximumRequestHead);
    if (!head.contains("\r\n\r\n")) {
        if (head.size() >= maximumRequestHead)
            respond(socket, "431 Request Header Fields Too Large", "text/plain", "request too large\n");
        return;
    }
    socket->setProperty("answered", true);
    const QList<QByteArray> requestLine = socket->readLine().trimmed().split(' ');
    socket->readAll();
    if (requestLine.size() != 3) {
        respond(socket, "400 Bad Request", "text/plain", "bad request\n");
        return;
    }
    answer(socket, requestLine[0], QString::fromUtf8(requestLine[1]));
}

void DemoStreamService::answer(QTcpSocket *socket, const QByteArray &method, const QString &path)
{
    out() << method << ' ' << path << Qt::endl;
    if (method != "GET")
        respond(socket, "405 Method Not Allowed", "text/plain", "only GET\n");
    else if (isStreamPath(path))
        startStream(socket);
    else if (icons.contains(path))
        respond(socket, "200 OK", "image/png", icons.value(path));
    else
        respond(socket, "404 Not Found", "text/plain", "not found\n");
}

// The body has no length and no end: the agent reads it line by line for as
// long as the connection lasts. The first line follows at once, so that a
// newcomer sees a notification within a second.
void DemoStreamService::startStream(QTcpSocket *socket)
{
    socket->write("HTTP/1.1 200 OK\r\n"
                  "Content-Type: application/json\r\n"
                  "Cache-Control: no-cache\r\n"
                  "Connection: close\r\n\r\n");
    streams.append(socket);
    socket->write(nextLine());
}

void DemoStreamService::sendNextNotification()
{
    streams.removeAll(nullptr);
    if (streams.isEmpty())
        return;
    const QByteArray line = nextLine();
    for (const QPointer<QTcpSocket> &socket : std::as_const(streams))
        socket->write(line);
}

QByteArray DemoStreamService::nextLine()
{
    const Sample &sample = samples[std::size_t(sent) % samples.size()];
    ++sent;
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port());
    const QString page = QStringLiteral("https://example.org/pellix/%1/%2").arg(QLatin1String(sample.page)).arg(sent);

    KzJsonDictionary message;
    message.insertOrAssign(u"title", text(QString::fromUtf8(sample.title)));
    message.insertOrAssign(u"description", text(QString::fromUtf8(sample.description).replace("%1", QString::number(sent))));
    if (sample.icon)
        message.insertOrAssign(u"iconpath", text(base + QStringLiteral("/icons/%1.png").arg(QLatin1String(sample.icon))));
    message.insertOrAssign(u"final_uri", text(page));
    message.insertOrAssign(u"websafe_uri", text(page + QStringLiteral("?view=web")));

    const std::u16string json = KzJsonValue::dictionary(std::move(message)).JSONRepresentation().value_or(u"{}");
    const std::string line = KzJsonUtf8::fromUtf16Lossy(json) + '\n';
    out() << QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss")) << " sent "
          << QString::fromStdString(line) << Qt::flush;
    return QByteArray::fromStdString(line);
}

void DemoStreamService::respond(QTcpSocket *socket, const QByteArray &status, const QByteArray &type,
                                const QByteArray &body)
{
    socket->write("HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: "
                  + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    socket->disconnectFromHost();
}

bool DemoStreamService::isStreamPath(const QString &path)
{
    const QStringList segments = path.split(u'/');
    // "", "user", "notifications", the user, the digest
    return segments.size() == 5 && segments[1] == QLatin1String("user")
           && segments[2] == QLatin1String("notifications") && !segments[3].isEmpty() && !segments[4].isEmpty();
}

// A round badge with a bell-like mark, drawn here so that the demo needs no
// picture files.
QByteArray DemoStreamService::picture(const QColor &colour)
{
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(2, 2, 60, 60);
    painter.setBrush(Qt::white);
    painter.drawChord(QRectF(18, 14, 28, 34), 0, 180 * 16);
    painter.drawRect(QRectF(18, 30, 28, 10));
    painter.drawEllipse(QRectF(28, 40, 8, 8));
    painter.end();

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
