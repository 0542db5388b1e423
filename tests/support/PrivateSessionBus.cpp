// SPDX-License-Identifier: MIT

#include "PrivateSessionBus.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

// The daemon prints its address, then its process id. Its complaints (file
// limits and the like) are not the test's output. It ends with the test
// process, also when that crashes or is killed.
PrivateSessionBus::PrivateSessionBus()
    : output(::popen("exec setpriv --pdeathsig TERM dbus-daemon --config-file=" PELLIX_TEST_BUS_CONFIG
                     " --nofork --print-address=1 --print-pid=1 2>/dev/null",
                     "re"))
{
    char address[4096];
    if (!output || !std::fgets(address, sizeof address, output) || std::fscanf(output, "%d", &daemon) != 1)
        qFatal("PrivateSessionBus: dbus-daemon did not start");
    address[std::strcspn(address, "\n")] = '\0';
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address, 1);
}

PrivateSessionBus::~PrivateSessionBus()
{
    ::kill(daemon, SIGTERM);
    ::pclose(output);
}
