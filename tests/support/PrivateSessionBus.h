// SPDX-License-Identifier: MIT

#pragma once

#include <QtGlobal>

#include <cstdio>
#include <sys/types.h>

// A session bus of this test process alone: a dbus-daemon started before the
// application object, its address put into DBUS_SESSION_BUS_ADDRESS, ended
// with this object. Tests can then decide whether a notification service
// exists, and test processes can run side by side.
class PrivateSessionBus
{
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    Q_DISABLE_COPY(PrivateSessionBus)

private:
    FILE *output; // the daemon's standard output
    pid_t daemon = -1;
};
