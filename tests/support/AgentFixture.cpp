// SPDX-License-Identifier: MIT

#include "AgentFixture.h"

#include "settings/PellixSettings.h"
#include "PrefsWindowController.h"

#include <QSettings>
#include <QtTest>

#include <cstdio>
#include <sys/stat.h>

using namespace std::chrono_literals;

AgentFixture::AgentFixture(const std::optional<QSslConfiguration> &tls)
    : stream(tls)
{
    clearSettings();
    signIn();
}

// The preferences window outlives the agent; the next test finds it hidden.
AgentFixture::~AgentFixture()
{
    theAgent.reset();
    if (QWidget *window = preferences()->window())
        window->hide();
}

QByteArray AgentFixture::fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

PrefsWindowController *AgentFixture::preferences()
{
    return PrefsWindowController::initWithWindowNibName(QStringLiteral("PrefsWindow"));
}

bool AgentFixture::preferencesShown() { return preferences()->window() && preferences()->window()->isVisible(); }

QString AgentFixture::settingsPath() { return PellixSettings().fileName(); }

// Changes the agent's store still waits to write go to the file first, so
// that none of them outlives the clearing. Whatever a test put in the file's
// place goes too, a folder included.
void AgentFixture::clearSettings()
{
    PellixSettings settings;
    settings.synchronize();
    if (!QFile::remove(settings.fileName()))
        QDir(settings.fileName()).removeRecursively();
}

void AgentFixture::writeSettings(const QVariantMap &values, const QString &path)
{
    PellixSettings().synchronize();
    QSettings file(path, QSettings::IniFormat);
    for (auto value = values.cbegin(); value != values.cend(); ++value)
        value->isValid() ? file.setValue(value.key(), *value) : file.remove(value.key());
}

// Written beside and moved into place, so that the store never takes it for
// the file it replaces.
bool AgentFixture::placeSettingsFile(const QByteArray &bytes, int mode, const QString &path)
{
    QFile file(path + QStringLiteral(".new"));
    const bool written = QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly)
                         && file.write(bytes) == bytes.size() && file.flush();
    return written && ::fchmod(file.handle(), mode_t(mode)) == 0
           && ::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) == 0;
}

void AgentFixture::signIn(const QString &username, const QString &apikey)
{
    writeSettings({{QStringLiteral("username"), username.isNull() ? QVariant() : QVariant(username)},
                   {QStringLiteral("apikey"), apikey.isNull() ? QVariant() : QVariant(apikey)},
                   {QStringLiteral("streamhost"), stream.streamhost()}});
}

pellix_growlAppDelegate::Options AgentFixture::options()
{
    pellix_growlAppDelegate::Options options;
    options.exitProcess = [this](int status) { exits.append(status); };
    options.urlOpener = [this](const QUrl &url) {
        opened.append(url);
        openingTokens.append(qEnvironmentVariable("XDG_ACTIVATION_TOKEN"));
        return true;
    };
    options.iconTimeLimit = 400ms;
    return options;
}

pellix_growlAppDelegate &AgentFixture::create(pellix_growlAppDelegate::Options agentOptions)
{
    theAgent.reset();
    exchange = nullptr;
    theAgent = std::make_unique<pellix_growlAppDelegate>(std::move(agentOptions));
    QObject::connect(&theAgent->notificationStream(), &NotificationStream::linesReceived,
                     [this](StreamConnection *, const QStringList &lines) { handedOn.append(lines); });
    return *theAgent;
}

pellix_growlAppDelegate &AgentFixture::start(pellix_growlAppDelegate::Options agentOptions)
{
    create(std::move(agentOptions)).applicationDidFinishLaunching();
    return *theAgent;
}

pellix_growlAppDelegate &AgentFixture::start() { return start(options()); }
pellix_growlAppDelegate &AgentFixture::agent() const { return *theAgent; }
const NotificationStream &AgentFixture::agentStream() const { return theAgent->notificationStream(); }

bool AgentFixture::opens(int status)
{
    exchange = stream.nextExchange(10000);
    if (exchange && status)
        exchange->sendHead(status);
    return exchange;
}

bool AgentFixture::waitForReopenScheduled(int timeoutMs) const
{
    return QTest::qWaitFor([this] { return agentStream().isWaitingToReopen(); }, timeoutMs);
}

int AgentFixture::waitSeconds() const { return int(agentStream().state().nextAttemptIn().count()); }

bool AgentFixture::reopenNow()
{
    if (!waitForReopenScheduled())
        return false;
    theAgent->reconnectNotificationStream();
    return true;
}

QList<int> AgentFixture::failNextOpens(int count)
{
    QList<int> waits;
    stream.setFallbackReply(TestHttpReply::dropped(TestHttpReply::Ending::Reset));
    for (int failure = 0; failure < count; ++failure) {
        failure == 0 ? theAgent->reconnectNotificationStream() : void(reopenNow());
        waitForReopenScheduled(5000);
        waits.append(waitSeconds());
    }
    stream.setFallbackReply(std::nullopt);
    return waits;
}

QByteArray AgentFixture::line(const QByteArray &description, const QByteArray &members)
{
    return "{\"title\":\"Build\",\"description\":\"" + description + "\""
           + (members.isEmpty() ? QByteArray() : "," + members) + "}\n";
}

QList<NotifyCall> AgentFixture::postedCalls() const
{
    QList<NotifyCall> calls = notifications.calls();
    calls.removeIf([](const NotifyCall &call) { return call.summary == QStringLiteral("Pellix"); });
    return calls;
}

QStringList AgentFixture::posted() const
{
    QStringList bodies;
    for (const NotifyCall &call : postedCalls())
        bodies.append(call.body);
    return bodies;
}

bool AgentFixture::waitForPosted(qsizetype count, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return posted().size() >= count; }, timeoutMs);
}

bool AgentFixture::posts(const QByteArray &description)
{
    exchange->sendPiece(line(description));
    return QTest::qWaitFor([&] { return posted().value(posted().size() - 1) == QString::fromUtf8(description); },
                           10000);
}
