#pragma once

#include "ClickContext.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class QNetworkReply;
class QSystemTrayIcon;
class QWidget;

// The one object that carries the agent for its whole run: start-up, the tray
// icon and its menu, the notification stream and its reconnection, decoding of
// stream lines and posting of notifications. Other parts reach it through
// appDelegate(), as they would reach an application's delegate.
class pellix_growlAppDelegate : public QObject
{
    Q_OBJECT

public:
    explicit pellix_growlAppDelegate(QObject *parent = nullptr);
    ~pellix_growlAppDelegate() override;

    // The one instance of the run, or none before it has been created.
    static pellix_growlAppDelegate *appDelegate();

    void applicationDidFinishLaunching();
    void prefs();
    void quit();
    void nothing();

    QWidget *window() const;
    void setWindow(QWidget *window);
    QSystemTrayIcon *statusItem() const;
    void setStatusItem(QSystemTrayIcon *statusItem);
    QString notification_cursor() const;
    void setNotification_cursor(const QString &cursor);

    void reconnectNotificationStream();
    void caclulateNewReconnectBackoff();
    QString md5(const QString &text) const;

    void connectionDidReceiveResponse(QNetworkReply *connection);
    void connectionDidReceiveData(QNetworkReply *connection, const QByteArray &data);
    void connectionDidFinishLoading(QNetworkReply *connection);
    void connectionDidFailWithError(QNetworkReply *connection);

    void handleMessageFromStream(const QString &text);
    void handleMessageFromTornado(const QString &text);

    // A null title or description means none; a null image means no icon.
    void doGrowlWithTitle(const QString &title, const QString &description, const QImage &iconData,
                          const std::optional<ClickContext> &context);
    bool checkNotificationType(const QString &name);
};
