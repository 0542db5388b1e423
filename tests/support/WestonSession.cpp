#include "WestonSession.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {
// Weston is up in well under a second; this bounds one that hangs.
constexpr int startTimeoutMs = 10000;

QString logPath(const QTemporaryDir &scratch) { return scratch.filePath(QStringLiteral("weston.log")); }
}

WestonSession::WestonSession()
    : socketName(QStringLiteral("pellix-weston-%1").arg(::getpid()))
{
    if (!scratch.isValid())
        return;
    // Wayland sockets live in XDG_RUNTIME_DIR, which must be the user's
    // own; without one the session brings its own, for its clients too.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        QFile::setPermissions(scratch.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", scratch.path().toUtf8());
    }
    socketPath = QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(socketName).toLocal8Bit();
    const QByteArray log = logPath(scratch).toLocal8Bit();
    const QByteArray socketOption = "--socket=" + socketName.toLocal8Bit();
    char *arguments[] = {const_cast<char *>("weston"), const_cast<char *>("--backend=headless-backend.so"),
                         const_cast<char *>(socketOption.constData()), const_cast<char *>("--no-config"),
                         const_cast<char *>("--idle-time=0"), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const int spawned = posix_spawnp(&weston, "weston", &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        weston = -1;
        return;
    }
    const auto ended = [this] {
        if (::waitpid(weston, nullptr, WNOHANG) != weston)
            return false;
        weston = -1; // reaped, not to be ended again
        return true;
    };
    ready = QTest::qWaitFor([&] { return ended() || acceptsClients(); }, startTimeoutMs) && weston != -1;
}

WestonSession::~WestonSession()
{
    if (weston == -1)
        return;
    ::kill(weston, SIGTERM);
    ::waitpid(weston, nullptr, 0);
}

void WestonSession::exportClientEnvironment() const
{
    qputenv("WAYLAND_DISPLAY", socketName.toUtf8());
    qputenv("QT_QPA_PLATFORM", "wayland");
}

QByteArray WestonSession::log() const
{
    QFile file(logPath(scratch));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("weston wrote no log");
}

// Connecting is what a client does first; weston answers it from its event
// loop, which runs once everything is set up.
bool WestonSession::acceptsClients() const
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected = ::connect(probe, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(probe);
    return connected;
}
