#include "pellix_growlAppDelegate.h"

#include "GrowlApplicationBridge.h"
#include "LoggingCategories.h"
#include "NotificationStreamAddress.h"
#include "NotificationTypeList.h"
#include "PellixSettings.h"
#include "PrefsWindowController.h"
#include "StreamMessageDecoder.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QCursor>
#include <QDesktopServices>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSystemTrayIcon>

#include <algorithm>

namespace {
pellix_growlAppDelegate *theDelegate = nullptr;

const QString notificationServiceMissing =
    QStringLiteral("Growl must be installed and running before using the Pellix growl agent. "
                   "Requires Growl v1.2.1 or higher.");
const QString colourPicture = QStringLiteral("pellix_menu_icon.png");
const QString monochromePicture = QStringLiteral("zarkleSMASHr.png");
const QString agentTitle = QStringLiteral("Pellix");
const QString listeningNotice = QStringLiteral("Listening for notifications...");
const QString genericType = QStringLiteral("Generic");

constexpr qint32 firstReconnectDelay = 1;
constexpr qint32 reconnectDelayCap = 60;
constexpr int normalPriority = 1;

// Reading the stream waits once this many messages are accepted but not yet
// handed to the notification service, and goes on when half of them are:
// taking the stream in large reads keeps the cost per message low. The
// connection holds at most this much unread; beyond it the network pushes
// back on the stream service.
constexpr qsizetype readAheadLimit = 256;
constexpr qsizetype resumeReadingAt = readAheadLimit / 2;
constexpr qint64 unreadDataLimit = 256 * 1024;

bool isSuccessStatus(int status) { return status >= 200 && status <= 299; }
bool isRedirectionStatus(int status) { return status >= 300 && status <= 399; }

bool isComplete(const PellixSettings &settings)
{
    return !settings.username().isEmpty() && !settings.apikey().isEmpty();
}

// Diagnostics show only the start of the key's digest: the digest alone
// opens the user's stream.
QString withShortDigest(QString text, const QNetworkReply *connection)
{
    const QString digest = connection->request().url().path().section(QLatin1Char('/'), -1);
    if (!digest.isEmpty())
        text.replace(digest, digest.left(4) + QStringLiteral("…"));
    return text;
}
}

// The pictures live in this static library; naming their initialiser keeps
// the linker from dropping them.
static void loadResources() { Q_INIT_RESOURCE(pellix); }

pellix_growlAppDelegate::pellix_growlAppDelegate(QObject *parent)
    : QObject(parent)
    , exitProcess([](int status) { QCoreApplication::exit(status); })
    , urlOpener([](const QUrl &url) { return QDesktopServices::openUrl(url); })
    , postingQueue([this](const StreamMessage &message, const QImage &icon) {
        doGrowlWithTitle(message.title, message.description, icon, message.context);
    })
{
    loadResources();
    theDelegate = this;
    pendingReconnect.setSingleShot(true);
    connect(&pendingReconnect, &QTimer::timeout, this, &pellix_growlAppDelegate::reconnectNotificationStream);
    connect(&wakeUpWatcher, &WakeUpWatcher::wokeUp, this, &pellix_growlAppDelegate::reopenStreamAfterWakeUp);
    idleConnection.setSingleShot(true);
    connect(&idleConnection, &QTimer::timeout, this, &pellix_growlAppDelegate::notificationConnectionWentIdle);
    connect(GrowlApplicationBridge::instance(), &GrowlApplicationBridge::waitingShrank, this,
            &pellix_growlAppDelegate::resumeReadingAfterBacklog);
}

pellix_growlAppDelegate::~pellix_growlAppDelegate()
{
    cancelNotificationConnection();
    if (theDelegate == this)
        theDelegate = nullptr;
}

pellix_growlAppDelegate *pellix_growlAppDelegate::appDelegate() { return theDelegate; }

void pellix_growlAppDelegate::applicationDidFinishLaunching()
{
    setNotification_cursor(QStringLiteral("init"));
    reconnect_delay = firstReconnectDelay;
    if (!GrowlApplicationBridge::isGrowlInstalled() || !GrowlApplicationBridge::isGrowlRunning()) {
        refuseToStart();
        return;
    }
    GrowlApplicationBridge::setGrowlDelegate(std::make_unique<PellixGrowlDelegate>(urlOpener));
    reconnectNotificationStream();
    createStatusItem();
    doGrowlWithTitle(agentTitle, listeningNotice, QImage(), std::nullopt);
}

void pellix_growlAppDelegate::refuseToStart()
{
    qCWarning(lcNotify) << "no desktop notification service (org.freedesktop.Notifications) on the session bus";
    QMessageBox alert(QMessageBox::Warning, agentTitle, notificationServiceMissing, QMessageBox::Ok);
    alert.setInformativeText(
        QStringLiteral("No desktop notification service (org.freedesktop.Notifications) is on the session bus."));
    alert.exec();
    exitProcess(0);
}

void pellix_growlAppDelegate::createStatusItem()
{
    statusItemPicture = PellixSettings().bwmenuicon() == 1 ? monochromePicture : colourPicture;
    statusItemStorage = new QSystemTrayIcon(QIcon(QStringLiteral(":/") + statusItemPicture), this);
    statusItemStorage->setToolTip(agentTitle);

    statusMenu = std::make_unique<QMenu>();
    QAction *preferences = statusMenu->addAction(QStringLiteral("Preferences"), this, &pellix_growlAppDelegate::prefs);
    preferences->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+P")));
    QAction *quitAction = statusMenu->addAction(QStringLiteral("Quit"), this, &pellix_growlAppDelegate::quit);
    quitAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+Q")));
    statusItemStorage->setContextMenu(statusMenu.get());

    // A menu-bar agent shows its menu on a plain click as well.
    connect(statusItemStorage, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            showStatusMenu();
    });
    // Shown all the same: on X11 a tray that appears later, as a panel
    // started after the agent, picks the icon up.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qCInfo(lcDesktop) << "no system tray: starting pellix-growl again opens the preferences";
    statusItemStorage->show();
}

void pellix_growlAppDelegate::showStatusMenu() { statusMenu->popup(QCursor::pos()); }

void pellix_growlAppDelegate::prefs()
{
    PrefsWindowController::initWithWindowNibName(QStringLiteral("PrefsWindow"))->showWindow(this);
}

void pellix_growlAppDelegate::quit()
{
    cancelNotificationConnection();
    PellixSettings().synchronize();
    exitProcess(0);
}

void pellix_growlAppDelegate::nothing() {}

QWidget *pellix_growlAppDelegate::window() const { return windowReference; }
void pellix_growlAppDelegate::setWindow(QWidget *window) { windowReference = window; }

QSystemTrayIcon *pellix_growlAppDelegate::statusItem() const { return statusItemStorage; }

void pellix_growlAppDelegate::setStatusItem(QSystemTrayIcon *statusItem)
{
    if (statusItem == statusItemStorage)
        return;
    if (statusItem)
        statusItem->setParent(this);
    delete std::exchange(statusItemStorage, statusItem);
}

QString pellix_growlAppDelegate::notification_cursor() const { return notificationCursor; }
void pellix_growlAppDelegate::setNotification_cursor(const QString &cursor) { notificationCursor = cursor; }

void pellix_growlAppDelegate::reconnectNotificationStream()
{
    // Whatever opens the stream replaces any re-open still pending, so a
    // healthy new connection is never torn down by an older schedule.
    pendingReconnect.stop();
    cancelNotificationConnection();
    const PellixSettings settings;
    if (!isComplete(settings)) {
        qCInfo(lcStream) << "not connected: the user name or the API key is not set";
        prefs();
        return;
    }
    const QString username = settings.username().toLower();
    const QUrl address = NotificationStreamAddress::forUser(settings.streamhost(), username, md5(settings.apikey()));
    qCInfo(lcStream).noquote() << "opening the stream of" << username << "at"
                               << (address.isValid() ? address.authority() : QStringLiteral("an invalid address"));
    openNotificationConnection(address);
}

void pellix_growlAppDelegate::reopenStreamAfterWakeUp()
{
    const bool waiting = pendingReconnect.isActive();
    const bool open = notificationConnection && notificationConnection->isRunning();
    if (!waiting && !open)
        return;
    // Incomplete settings are the user's to complete; a resume is no moment
    // to put the preferences window in front of them.
    if (!isComplete(PellixSettings())) {
        qCInfo(lcStream) << "not re-opened after the wake-up: the user name or the API key is not set";
        return;
    }
    qCInfo(lcStream) << "re-opening the stream at once after a wake-up";
    reconnectNotificationStream();
}

void pellix_growlAppDelegate::openNotificationConnection(const QUrl &address)
{
    QNetworkReply *connection = network.get(QNetworkRequest(address));
    connection->setReadBufferSize(unreadDataLimit);
    notificationConnection = connection;
    readingPaused = false;
    idleConnection.start(streamIdleLimit);
    connect(connection, &QNetworkReply::metaDataChanged, this, [this, connection] {
        idleConnection.start();
        connectionDidReceiveResponse(connection);
    });
    connect(connection, &QNetworkReply::readyRead, this, [this, connection] { readNotificationConnection(connection); });
    connect(connection, &QNetworkReply::finished, this, [this, connection] {
        // Whatever the connection still holds was sent before its end.
        if (connection->bytesAvailable() > 0)
            connectionDidReceiveData(connection, connection->readAll());
        if (connection->error() == QNetworkReply::NoError)
            connectionDidFinishLoading(connection);
        else
            connectionDidFailWithError(connection);
    });
}

// A cancelled connection delivers nothing more: its signals are cut before it
// is aborted.
void pellix_growlAppDelegate::cancelNotificationConnection()
{
    QNetworkReply *connection = notificationConnection;
    notificationConnection.clear();
    idleConnection.stop();
    if (!connection)
        return;
    disconnect(connection, nullptr, this, nullptr);
    connection->abort();
    connection->deleteLater();
}

// Messages are taken from the stream only as fast as the notification service
// shows them, so a burst costs unread data held by the network, not memory.
void pellix_growlAppDelegate::readNotificationConnection(QNetworkReply *connection)
{
    if (!connection || connection != notificationConnection)
        return;
    readingPaused = messagesWaiting() >= readAheadLimit;
    if (readingPaused) {
        idleConnection.stop();
        return;
    }
    idleConnection.start();
    connectionDidReceiveData(connection, connection->readAll());
}

qsizetype pellix_growlAppDelegate::messagesWaiting() const
{
    return postingQueue.waitingCount() + GrowlApplicationBridge::waitingCount();
}

// Reading is paused only between reads, never while one is being handed on,
// so resuming here cannot hand a later read on before an earlier one.
void pellix_growlAppDelegate::resumeReadingAfterBacklog()
{
    if (readingPaused && messagesWaiting() <= resumeReadingAt)
        readNotificationConnection(notificationConnection);
}

void pellix_growlAppDelegate::notificationConnectionWentIdle()
{
    if (!notificationConnection)
        return;
    qCInfo(lcStream) << "nothing arrived for" << streamIdleLimit.count() << "ms";
    notificationConnection->abort();
}

void pellix_growlAppDelegate::caclulateNewReconnectBackoff()
{
    reconnect_delay = std::min(2 * reconnect_delay, reconnectDelayCap) + 1;
}

QString pellix_growlAppDelegate::md5(const QString &text) const
{
    QByteArray bytes = text.toUtf8();
    const qsizetype end = bytes.indexOf('\0');
    if (end >= 0)
        bytes.truncate(end);
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

// Only a successful answer proves the service is healthy. An error status
// (401, 404, 503 ...) ends the connection as a failure, before its body
// reaches the decoder, so the back-off keeps growing against a service that
// keeps refusing.
void pellix_growlAppDelegate::connectionDidReceiveResponse(QNetworkReply *connection)
{
    if (connection != notificationConnection)
        return;
    const int status = connection->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // The connection follows a redirection itself and its target answers;
    // one it refuses to follow ends as a failure.
    if (isRedirectionStatus(status) && connection->hasRawHeader("Location"))
        return;
    if (isSuccessStatus(status)) {
        qCInfo(lcStream) << "connected: HTTP status" << status;
        reconnect_delay = firstReconnectDelay;
        return;
    }
    qCInfo(lcStream) << "not connected: HTTP status" << status;
    // Cut off now so nothing of the body is handed on; abort once the reply
    // has finished its own signal, which must not be re-entered.
    disconnect(connection, nullptr, this, nullptr);
    QMetaObject::invokeMethod(connection, &QNetworkReply::abort, Qt::QueuedConnection);
    connectionDidFailWithError(connection);
}

// The network splits the body wherever it likes: lines are cut out of the
// connection's data across reads, and each is decoded on its own, so a line
// that is not valid UTF-8 costs only itself.
void pellix_growlAppDelegate::connectionDidReceiveData(QNetworkReply *connection, const QByteArray &data)
{
    if (connection != notificationConnection)
        return;
    if (connection != streamLinesConnection) {
        streamLines.reset();
        streamLinesConnection = connection;
    }
    for (const QString &line : streamLines.takeLines(data))
        handleMessageFromStream(line);
}

// A service may end its last line with the connection instead of a line feed.
void pellix_growlAppDelegate::decodeTailOf(QNetworkReply *connection)
{
    if (connection != streamLinesConnection)
        return;
    streamLinesConnection.clear();
    if (const std::optional<QString> tail = streamLines.finish())
        handleMessageFromStream(*tail);
}

void pellix_growlAppDelegate::connectionDidFinishLoading(QNetworkReply *connection)
{
    if (connection != notificationConnection)
        return;
    idleConnection.stop();
    readingPaused = false;
    decodeTailOf(connection);
    qCInfo(lcStream) << "the stream has ended; re-opening in" << reconnect_delay << "s";
    pendingReconnect.start(std::chrono::seconds(reconnect_delay));
    caclulateNewReconnectBackoff();
}

void pellix_growlAppDelegate::connectionDidFailWithError(QNetworkReply *connection)
{
    if (connection == notificationConnection && connection->error() != QNetworkReply::NoError)
        qCInfo(lcStream).noquote() << "not connected: network error:"
                                   << withShortDigest(connection->errorString(), connection);
    connectionDidFinishLoading(connection);
}

void pellix_growlAppDelegate::handleMessageFromStream(const QString &text)
{
    for (const StreamMessage &message : StreamMessageDecoder::messagesFromStream(text))
        postingQueue.enqueue(message);
}

// The cursor is taken when its message is decoded, so it is always stored
// before that message is posted.
void pellix_growlAppDelegate::handleMessageFromTornado(const QString &text)
{
    for (const StreamMessage &message : StreamMessageDecoder::messagesFromTornado(text)) {
        if (message.cursor)
            setNotification_cursor(*message.cursor);
        postingQueue.enqueue(message);
    }
}

void pellix_growlAppDelegate::doGrowlWithTitle(const QString &title, const QString &description,
                                               const QImage &iconData, const std::optional<ClickContext> &context)
{
    const bool isNewType = checkNotificationType(title);
    // A title too long to be a type is shown under the type every title starts with.
    const bool isGeneric = isNewType || title.size() > NotificationTypeList::maximumTitleLength;
    GrowlApplicationBridge::notifyWithTitle(title, description, isGeneric ? genericType : title, iconData,
                                            normalPriority, false, context);
}

bool pellix_growlAppDelegate::checkNotificationType(const QString &name)
{
    if (!NotificationTypeList::admits(name))
        return false;
    PellixSettings settings;
    const QStringList types = settings.notificationTypesArray().value_or(QStringList());
    if (types.contains(name))
        return false;
    settings.setNotificationTypesArray(NotificationTypeList::withTitle(types, name));
    GrowlApplicationBridge::reregisterGrowlNotifications();
    return true;
}

void pellix_growlAppDelegate::setExitFunction(ExitFunction exitFunction) { exitProcess = std::move(exitFunction); }

void pellix_growlAppDelegate::setUrlOpener(PellixGrowlDelegate::UrlOpener opener) { urlOpener = std::move(opener); }

void pellix_growlAppDelegate::setIdleLimit(std::chrono::milliseconds idleLimit) { streamIdleLimit = idleLimit; }

QTimer *pellix_growlAppDelegate::reconnectTimer() { return &pendingReconnect; }

void pellix_growlAppDelegate::setIconTimeLimit(std::chrono::milliseconds limit)
{
    postingQueue.iconLoader().setTimeLimit(limit);
}

QString pellix_growlAppDelegate::statusItemPictureName() const { return statusItemPicture; }

WakeUpWatcher *pellix_growlAppDelegate::wakeUps() { return &wakeUpWatcher; }
