#include "PrivateSessionBus.h"

#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {
[[noreturn]] void giveUp(const char *why)
{
    std::fprintf(stderr, "PrivateSessionBus: %s\n", why);
    std::abort();
}

QByteArray readLine(int descriptor)
{
    QByteArray line;
    char byte = 0;
    while (::read(descriptor, &byte, 1) == 1 && byte != '\n')
        line.append(byte);
    return line;
}
}

PrivateSessionBus::PrivateSessionBus()
{
    int output[2];
    if (::pipe(output) != 0)
        giveUp("cannot make a pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    // Its complaints (file limits and the like) are not the test's output.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char *arguments[] = {const_cast<char *>("dbus-daemon"), const_cast<char *>("--config-file=" PELLIX_TEST_BUS_CONFIG),
                         const_cast<char *>("--nofork"), const_cast<char *>("--print-address"), nullptr};
    const int spawned = posix_spawnp(&daemon, "dbus-daemon", &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    if (spawned != 0)
        giveUp("cannot start dbus-daemon");
    busAddress = readLine(output[0]);
    ::close(output[0]);
    if (busAddress.isEmpty())
        giveUp("dbus-daemon printed no address");
    ::setenv("DBUS_SESSION_BUS_ADDRESS", busAddress.constData(), 1);
}

PrivateSessionBus::~PrivateSessionBus()
{
    ::kill(daemon, SIGTERM);
    ::waitpid(daemon, nullptr, 0);
}

QByteArray PrivateSessionBus::address() const { return busAddress; }
