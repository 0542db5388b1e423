#pragma once

#include "ClickContext.h"
#include "NotificationPostingQueue.h"
#include "PellixGrowlDelegate.h"
#include "StreamLineReader.h"
#include "WakeUpWatcher.h"

#include <QImage>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QMenu;
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
    // After a resume or a network outage: a stream waiting for its re-open,
    // or still open on a connection that may have died unnoticed, is opened
    // again at once; the back-off delay stays as it is.
    void reopenStreamAfterWakeUp();
    void caclulateNewReconnectBackoff();
    QString md5(const QString &text) const;

    void connectionDidReceiveResponse(QNetworkReply *connection);
    void connectionDidReceiveData(QNetworkReply *connection, const QByteArray &data);
    void connectionDidFinishLoading(QNetworkReply *connection);
    void connectionDidFailWithError(QNetworkReply *connection);

    // Virtual so that tests can watch what the stream hands on.
    virtual void handleMessageFromStream(const QString &text);
    void handleMessageFromTornado(const QString &text);

    // A null title or description means none; a null image means no icon.
    void doGrowlWithTitle(const QString &title, const QString &description, const QImage &iconData,
                          const std::optional<ClickContext> &context);
    bool checkNotificationType(const QString &name);

    // Seams, set before applicationDidFinishLaunching. Ending the process
    // (start-up refusal, quit) defaults to leaving the event loop with the status.
    using ExitFunction = std::function<void(int status)>;
    void setExitFunction(ExitFunction exitFunction);
    void setUrlOpener(PellixGrowlDelegate::UrlOpener urlOpener);
    // A connection on which nothing arrives for this long while the agent is
    // ready for its data fails (default 300 s).
    void setIdleLimit(std::chrono::milliseconds idleLimit);
    // The one pending re-open of the stream: its interval is the wait in ms.
    QTimer *reconnectTimer();
    // The longest a notification's icon may take to arrive (default 10 s).
    void setIconTimeLimit(std::chrono::milliseconds limit);
    // The resource name of the picture start-up chose for the status item.
    QString statusItemPictureName() const;
    // Reports resumes and network changes to reopenStreamAfterWakeUp.
    WakeUpWatcher *wakeUps();

private:
    void refuseToStart();
    void createStatusItem();
    void showStatusMenu();
    void openNotificationConnection(const QUrl &address);
    void cancelNotificationConnection();
    void readNotificationConnection(QNetworkReply *connection);
    // Messages accepted from the stream and not yet handed to the service.
    qsizetype messagesWaiting() const;
    void resumeReadingAfterBacklog();
    void notificationConnectionWentIdle();
    void decodeTailOf(QNetworkReply *connection);

    QPointer<QWidget> windowReference;
    QSystemTrayIcon *statusItemStorage = nullptr;
    std::unique_ptr<QMenu> statusMenu;
    QString statusItemPicture;
    QString notificationCursor;
    QNetworkAccessManager network;
    QPointer<QNetworkReply> notificationConnection;
    qint32 reconnect_delay = 1;
    QTimer pendingReconnect;
    std::chrono::milliseconds streamIdleLimit = std::chrono::seconds(300);
    // Runs while the connection is open and the agent is ready for its data;
    // stopped while reading waits for the notification service to catch up,
    // so that a slow service never makes a healthy stream look dead.
    QTimer idleConnection;
    // The connection has data the agent has left unread until the backlog
    // of notifications shrinks.
    bool readingPaused = false;
    ExitFunction exitProcess;
    PellixGrowlDelegate::UrlOpener urlOpener;
    // The unfinished line of streamLinesConnection, the connection whose data
    // it holds; any other connection starts with an empty tail.
    StreamLineReader streamLines;
    QPointer<QNetworkReply> streamLinesConnection;
    NotificationPostingQueue postingQueue;
    WakeUpWatcher wakeUpWatcher;
};
