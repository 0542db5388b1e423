// SPDX-License-Identifier: MIT

#pragma once

#include "notifications/ClickContext.h"
#include "notifications/IconLoader.h"
#include "notifications/NotificationPostingQueue.h"
#include "stream/NotificationStream.h"
#include "PellixGrowlDelegate.h"
#include "tray/StatusItem.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

class PellixSettings;
class QWidget;

// The one object that carries the agent for its whole run: start-up, the
// status item and its menu, the notification stream and its back-off,
// decoding of stream lines and posting of notifications. The machinery lives
// in the classes it owns (NotificationStream, StatusItem, the bridge); this
// class holds the agent's flow. Other parts reach it through appDelegate(),
// as they would reach an application's delegate.
class pellix_growlAppDelegate : public QObject
{
    Q_OBJECT

public:
    // Ending the process: the start-up refusal and Quit.
    using ExitFunction = std::function<void(int status)>;

    struct Options
    {
        ExitFunction exitProcess;
        PellixGrowlDelegate::UrlOpener urlOpener;
        NotificationStream::Options stream;
        StatusItem::Options statusItem;
        std::chrono::milliseconds iconTimeLimit = IconLoader::defaultTimeLimit;
        // How long start-up waits for a notification service that is
        // neither running nor activatable before it gives up.
        std::chrono::milliseconds notificationServiceGrace{std::chrono::seconds(20)};
    };

    // By default Quit leaves the event loop with its status, and clicks open
    // addresses with the user's default handler.
    pellix_growlAppDelegate();
    explicit pellix_growlAppDelegate(Options options, QObject *parent = nullptr);
    ~pellix_growlAppDelegate() override;

    // The one instance of the run, or none before it has been created.
    static pellix_growlAppDelegate *appDelegate();

    void applicationDidFinishLaunching();
    void prefs();
    void quit();
    void nothing();

    QWidget *window() const;
    void setWindow(QWidget *window);
    StatusItem *statusItem() const;
    void setStatusItem(StatusItem *statusItem);
    QString notification_cursor() const;
    void setNotification_cursor(const QString &cursor);

    void reconnectNotificationStream();
    // After a resume or a network outage: a stream waiting for its re-open,
    // or still open on a connection that may have died unnoticed, is opened
    // again at once; the back-off delay stays as it is.
    void reopenStreamAfterWakeUp();
    void caclulateNewReconnectBackoff();
    // The wait after delay seconds: twice as long plus one, 61 at most.
    static qint32 nextReconnectDelay(qint32 delay);
    QString md5(const QString &text) const;

    void connectionDidReceiveResponse(StreamConnection *connection);
    void connectionDidReceiveData(StreamConnection *connection, const QStringList &lines);
    void connectionDidFinishLoading(StreamConnection *connection);
    void connectionDidFailWithError(StreamConnection *connection, const QString &error);

    void handleMessageFromStream(const QString &text);
    void handleMessageFromTornado(const QString &text);

    // A null title or description means none; a null image means no icon.
    void doGrowlWithTitle(const QString &title, const QString &description, const QImage &iconData,
                          const std::optional<ClickContext> &context);
    bool checkNotificationType(const QString &name);
    // "Listening for notifications...", once the stream is (re)opened.
    void announceListening();
    // The status item's picture, in colour or monochrome.
    static QString menuPicture(bool monochrome);

    const NotificationStream &notificationStream() const;

private:
    void startWithGrowl();
    void settingsChanged();
    QUrl streamAddressOf(const PellixSettings &settings, const QString &apikey) const;
    static QString chosenPicture();
    void refuseToStart();
    void createStatusItem();
    // Messages accepted from the stream that the service has not taken yet.
    MessageBacklog messagesWaiting() const;

    Options options;
    QPointer<QWidget> windowReference;
    StatusItem *statusItemStorage = nullptr;
    QString notificationCursor;
    qint32 reconnect_delay = 1;
    NotificationPostingQueue postingQueue;
    NotificationStream stream;
    // The address the stream was last opened at.
    QUrl streamAddress;
};
