// SPDX-License-Identifier: MIT

#include "pellix_growlAppDelegate.h"

#include "notifications/GrowlApplicationBridge.h"
#include "session/LoggingCategories.h"
#include "stream/NotificationStreamAddress.h"
#include "settings/ApiKeyStore.h"
#include "settings/NotificationTypeList.h"
#include "settings/PellixSettings.h"
#include "PrefsWindowController.h"
#include "settings/SettingsStore.h"
#include "stream/StreamMessageDecoder.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QMessageBox>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace {
pellix_growlAppDelegate *theDelegate = nullptr;

// A name, never translated.
const QString agentTitle = QStringLiteral("Pellix");

constexpr qint32 firstReconnectDelay = 1;
constexpr qint32 reconnectDelayCap = 60;
constexpr int normalPriority = 1;

bool isComplete(const PellixSettings &settings, const ApiKeyStore::Key &key)
{
    return !settings.username().isEmpty() && key.status == ApiKeyStore::Key::Status::Known && !key.value.isEmpty();
}

bool isComplete(const PellixSettings &settings) { return isComplete(settings, settings.apikeyEntry()); }

// Why the stream cannot open while the keyring has not given the key.
std::optional<StreamState> keyHeldBack(const ApiKeyStore::Key &key)
{
    switch (key.status) {
    case ApiKeyStore::Key::Status::BeingRead:
        return StreamState::waitingForKey();
    case ApiKeyStore::Key::Status::Unreadable:
        return StreamState::keyUnreadable({key.failure, key.failure});
    case ApiKeyStore::Key::Status::Known:
        break;
    }
    return std::nullopt;
}

pellix_growlAppDelegate::Options withDefaults(pellix_growlAppDelegate::Options options)
{
    if (!options.exitProcess)
        options.exitProcess = [](int status) { QCoreApplication::exit(status); };
    if (!options.urlOpener)
        options.urlOpener = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    return options;
}
}

pellix_growlAppDelegate::pellix_growlAppDelegate()
    : pellix_growlAppDelegate(Options())
{
}

pellix_growlAppDelegate::pellix_growlAppDelegate(Options delegateOptions, QObject *parent)
    : QObject(parent)
    , options(withDefaults(std::move(delegateOptions)))
    , postingQueue([this](const StreamMessage &message, const QImage &icon) {
        doGrowlWithTitle(message.title, message.description, icon, message.context);
    })
    , stream([this] { return messagesWaiting(); }, options.stream)
{
    theDelegate = this;
    postingQueue.iconLoader().setTimeLimit(options.iconTimeLimit);
    connect(&stream, &NotificationStream::responseReceived, this,
            &pellix_growlAppDelegate::connectionDidReceiveResponse);
    connect(&stream, &NotificationStream::linesReceived, this, &pellix_growlAppDelegate::connectionDidReceiveData);
    connect(&stream, &NotificationStream::finished, this, &pellix_growlAppDelegate::connectionDidFinishLoading);
    connect(&stream, &NotificationStream::failed, this, &pellix_growlAppDelegate::connectionDidFailWithError);
    connect(&stream, &NotificationStream::reopenDue, this, &pellix_growlAppDelegate::reconnectNotificationStream);
    connect(GrowlApplicationBridge::instance(), &GrowlApplicationBridge::waitingShrank, &stream,
            &NotificationStream::backlogShrank);
}

pellix_growlAppDelegate::~pellix_growlAppDelegate()
{
    stream.cancel();
    if (theDelegate == this)
        theDelegate = nullptr;
}

pellix_growlAppDelegate *pellix_growlAppDelegate::appDelegate() { return theDelegate; }

void pellix_growlAppDelegate::applicationDidFinishLaunching()
{
    SettingsStore::instance().removeLeftoverCopies();
    setNotification_cursor(QStringLiteral("init"));
    reconnect_delay = firstReconnectDelay;
    if (GrowlApplicationBridge::isGrowlInstalled() && GrowlApplicationBridge::isGrowlRunning()) {
        startWithGrowl();
        return;
    }
    // Without a session bus no notification service can ever come.
    if (!QDBusConnection::sessionBus().isConnected()) {
        refuseToStart();
        return;
    }
    // At login the desktop's notification service may come up after the
    // agent: it gets a while to appear before the agent gives up. Someone
    // who started it from a terminal is told why nothing shows yet.
    const auto grace = std::chrono::duration_cast<std::chrono::seconds>(options.notificationServiceGrace);
    qCInfo(lcNotify) << "waiting for a desktop notification service on the session bus";
    if (::isatty(STDERR_FILENO))
        std::fprintf(stderr, "pellix-growl: %s\n",
                     qPrintable(tr("waiting up to %1 s for a desktop notification service…").arg(grace.count())));
    GrowlApplicationBridge::waitForGrowl(options.notificationServiceGrace, this,
                                         [this](bool arrived) { arrived ? startWithGrowl() : refuseToStart(); });
}

void pellix_growlAppDelegate::startWithGrowl()
{
    GrowlApplicationBridge::setGrowlDelegate(std::make_unique<PellixGrowlDelegate>(options.urlOpener));
    connect(&SettingsStore::instance(), &SettingsStore::changedOnDisk, this,
            &pellix_growlAppDelegate::settingsChanged, Qt::UniqueConnection);
    connect(&ApiKeyStore::instance(), &ApiKeyStore::changed, this, &pellix_growlAppDelegate::settingsChanged,
            Qt::UniqueConnection);
    reconnectNotificationStream();
    createStatusItem();
    announceListening();
}

void pellix_growlAppDelegate::announceListening()
{
    doGrowlWithTitle(agentTitle, tr("Listening for notifications..."), QImage(), std::nullopt);
}

void pellix_growlAppDelegate::refuseToStart()
{
    const QString cause =
        QDBusConnection::sessionBus().isConnected()
            ? tr("No desktop notification service (org.freedesktop.Notifications) is on the session bus. "
                 "Start your desktop's, or install one (for instance dunst), and start Pellix again.")
            : tr("There is no D-Bus session bus, so no desktop notification service can be reached. "
                 "Start Pellix from within your desktop session.");
    qCWarning(lcNotify).noquote() << cause;
    //: "Growl" is the desktop's notification service (the name of the one the agent was first written for).
    const QString missing = tr("Growl must be installed and running before using the Pellix growl agent. "
                               "Requires Growl v1.2.1 or higher.");
    QMessageBox alert(QMessageBox::Warning, agentTitle, missing, QMessageBox::Ok);
    alert.setInformativeText(cause);
    alert.exec();
    options.exitProcess(0);
}

void pellix_growlAppDelegate::createStatusItem()
{
    statusItemStorage = new StatusItem(options.statusItem, this);
    statusItemStorage->setImage(chosenPicture());
    statusItemStorage->setToolTip(agentTitle);
    statusItemStorage->addMenuItem(tr("Preferences"), QKeySequence(QStringLiteral("Ctrl+Shift+P")),
                                   [this] { prefs(); });
    statusItemStorage->addMenuItem(tr("Quit"), QKeySequence(QStringLiteral("Ctrl+Shift+Q")),
                                   [this] { quit(); });
    connect(statusItemStorage, &StatusItem::windowRequested, this, &pellix_growlAppDelegate::prefs);
    statusItemStorage->showState(stream.state());
    connect(&stream, &NotificationStream::stateChanged, statusItemStorage, &StatusItem::showState);
    statusItemStorage->show();
}

void pellix_growlAppDelegate::prefs()
{
    PrefsWindowController::initWithWindowNibName(QStringLiteral("PrefsWindow"))->showWindow(this);
}

void pellix_growlAppDelegate::quit()
{
    stream.cancel();
    PellixSettings().synchronize();
    options.exitProcess(0);
}

void pellix_growlAppDelegate::nothing() {}

QWidget *pellix_growlAppDelegate::window() const { return windowReference; }
void pellix_growlAppDelegate::setWindow(QWidget *window) { windowReference = window; }

StatusItem *pellix_growlAppDelegate::statusItem() const { return statusItemStorage; }

void pellix_growlAppDelegate::setStatusItem(StatusItem *statusItem)
{
    if (statusItem == statusItemStorage)
        return;
    if (statusItem)
        statusItem->setParent(this);
    delete std::exchange(statusItemStorage, statusItem);
}

QString pellix_growlAppDelegate::notification_cursor() const { return notificationCursor; }
void pellix_growlAppDelegate::setNotification_cursor(const QString &cursor) { notificationCursor = cursor; }

// Whatever opens the stream replaces any re-open still pending, so a healthy
// new connection is never torn down by an older schedule. Without the key
// the stream never opens: an empty one would be sent as a digest.
void pellix_growlAppDelegate::reconnectNotificationStream()
{
    const PellixSettings settings;
    const ApiKeyStore::Key key = settings.apikeyEntry();
    if (const std::optional<StreamState> heldBack = keyHeldBack(key)) {
        stream.signOut(*heldBack);
        return;
    }
    if (!isComplete(settings, key)) {
        stream.signOut();
        prefs();
        return;
    }
    streamAddress = streamAddressOf(settings, key.value);
    stream.open(streamAddress, settings.username().toLower());
}

QUrl pellix_growlAppDelegate::streamAddressOf(const PellixSettings &settings, const QString &apikey) const
{
    return NotificationStreamAddress::forUser(settings.streamhost(), settings.username().toLower(), md5(apikey));
}

// A hand edit of the file, or the keyring's answer, takes effect as a save
// from Preferences would; a stream already signed out stays so.
void pellix_growlAppDelegate::settingsChanged()
{
    if (statusItemStorage)
        statusItemStorage->setImage(chosenPicture());
    const PellixSettings settings;
    const ApiKeyStore::Key key = settings.apikeyEntry();
    const StreamState::Phase phase = stream.state().phase();
    if (isComplete(settings, key)) {
        const bool opened = phase == StreamState::Phase::Connecting || phase == StreamState::Phase::Connected ||
                            phase == StreamState::Phase::Waiting;
        if (!opened || streamAddressOf(settings, key.value) != streamAddress)
            reconnectNotificationStream();
    } else if (keyHeldBack(key) || phase != StreamState::Phase::NotSignedIn) {
        reconnectNotificationStream();
    }
}

QString pellix_growlAppDelegate::menuPicture(bool monochrome)
{
    return monochrome ? QStringLiteral("zarkleSMASHr.png") : QStringLiteral("pellix_menu_icon.png");
}

// Only 1 selects the monochrome picture.
QString pellix_growlAppDelegate::chosenPicture()
{
    return menuPicture(PellixSettings().bwmenuicon() == 1);
}

void pellix_growlAppDelegate::reopenStreamAfterWakeUp()
{
    if (!stream.isWaitingToReopen() && !stream.isOpen())
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

void pellix_growlAppDelegate::caclulateNewReconnectBackoff() { reconnect_delay = nextReconnectDelay(reconnect_delay); }

qint32 pellix_growlAppDelegate::nextReconnectDelay(qint32 delay) { return std::min(2 * delay, reconnectDelayCap) + 1; }

QString pellix_growlAppDelegate::md5(const QString &text) const
{
    QByteArray bytes = text.toUtf8();
    const qsizetype end = bytes.indexOf('\0');
    if (end >= 0)
        bytes.truncate(end);
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

// The stream reports an answer once it has proved itself (a line, or ten
// seconds open): a service that answers and closes at once keeps backing off.
void pellix_growlAppDelegate::connectionDidReceiveResponse(StreamConnection *connection)
{
    if (connection != stream.connection())
        return;
    reconnect_delay = firstReconnectDelay;
}

void pellix_growlAppDelegate::connectionDidReceiveData(StreamConnection *connection, const QStringList &lines)
{
    if (connection != stream.connection())
        return;
    for (const QString &line : lines)
        handleMessageFromStream(line);
}

void pellix_growlAppDelegate::connectionDidFinishLoading(StreamConnection *connection)
{
    if (connection != stream.connection())
        return;
    stream.reopenAfter(std::chrono::seconds(reconnect_delay));
    caclulateNewReconnectBackoff();
}

void pellix_growlAppDelegate::connectionDidFailWithError(StreamConnection *connection, const QString &)
{
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
    GrowlApplicationBridge::notifyWithTitle(title, description, isGeneric ? NotificationTypeList::genericType : title, iconData,
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

const NotificationStream &pellix_growlAppDelegate::notificationStream() const { return stream; }

MessageBacklog pellix_growlAppDelegate::messagesWaiting() const
{
    MessageBacklog waiting = postingQueue.waiting();
    waiting += GrowlApplicationBridge::waiting();
    waiting += GrowlApplicationBridge::inFlight();
    return waiting;
}
