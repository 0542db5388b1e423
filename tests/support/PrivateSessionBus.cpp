#include "PrivateSessionBus.h"

#include <QByteArray>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

PrivateSessionBus::PrivateSessionBus()
{
    int output[2];
    if (::pipe(output) != 0)
        qFatal("PrivateSessionBus: cannot make a pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    // Its complaints (file limits and the like) are not the test's output.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char *arguments[] = {const_cast<char *>("dbus-daemon"), const_cast<char *>("--config-file=" PELLIX_TEST_BUS_CONFIG),
                         const_cast<char *>("--nofork"), const_cast<char *>("--print-address"), nullptr};
    const bool spawned = posix_spawnp(&daemon, "dbus-daemon", &actions, nullptr, arguments, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    QByteArray address;
    for (char byte = 0; spawned && ::read(output[0], &byte, 1) == 1 && byte != '\n';)
        address.append(byte);
    ::close(output[0]);
    if (address.isEmpty())
        qFatal("PrivateSessionBus: dbus-daemon did not start");
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address.constData(), 1);
}

PrivateSessionBus::~PrivateSessionBus()
{
    ::kill(daemon, SIGTERM);
    ::waitpid(daemon, nullptr, 0);
}
