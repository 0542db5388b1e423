// SPDX-License-Identifier: MIT

#include "WestonSession.h"

#include <QDir>
#include <QtTest>

#include <csignal>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {
// Weston is up in well under a second; this bounds one that hangs.
constexpr int startTimeoutMs = 10000;
}

WestonSession::WestonSession()
    : socketName("pellix-weston-" + QByteArray::number(::getpid()))
{
    const QByteArray socketOption = "--socket=" + socketName;
    char *arguments[] = {const_cast<char *>("weston"), const_cast<char *>("--backend=headless-backend.so"),
                         const_cast<char *>(socketOption.constData()), const_cast<char *>("--no-config"),
                         const_cast<char *>("--idle-time=0"), nullptr};
    if (posix_spawnp(&weston, "weston", nullptr, nullptr, arguments, environ) != 0) {
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
    if (ready) {
        qputenv("WAYLAND_DISPLAY", socketName);
        // The name Qt reports where a desktop asks for its EGL variant.
        qputenv("QT_QPA_PLATFORM", "wayland-egl");
    }
}

WestonSession::~WestonSession()
{
    if (weston == -1)
        return;
    ::kill(weston, SIGTERM);
    ::waitpid(weston, nullptr, 0);
}

// Connecting is what a client does first; weston answers it from its event
// loop, which runs once everything is set up.
bool WestonSession::acceptsClients() const
{
    const QByteArray path = QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(socketName).toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::copy(path.begin(), path.end(), address.sun_path);
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected = ::connect(probe, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(probe);
    return connected;
}
