// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTimer>

#include <chrono>

class QTcpSocket;

// A stand-in for the Pellix service on 127.0.0.1: it answers the notification
// stream's address for any user with a body that never ends and writes a
// sample notification line into it every few seconds, and it serves the
// pictures those notifications name as their icons.
class DemoStreamService : public QObject
{
    Q_OBJECT

public:
    explicit DemoStreamService(std::chrono::seconds interval, QObject *parent = nullptr);

    bool listen(quint16 port);
    quint16 port() const;
    QString errorString() const;

private:
    void accept();
    void readRequest(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const QByteArray &method, const QString &path);
    void startStream(QTcpSocket *socket);
    void sendNextNotification();
    QByteArray nextLine();

    static void respond(QTcpSocket *socket, const QByteArray &status, const QByteArray &type, const QByteArray &body);
    static bool isStreamPath(const QString &path);
    static QByteArray picture(const QColor &colour);

    QTcpServer server;
    QTimer ticker;
    QList<QPointer<QTcpSocket>> streams;
    QHash<QString, QByteArray> icons;
    int sent = 0;
};
