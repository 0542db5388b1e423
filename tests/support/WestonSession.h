// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>

#include <sys/types.h>

// A Wayland session for tests: weston with its headless backend (no screen,
// no input devices) on a socket of its own in XDG_RUNTIME_DIR, accepting
// clients once constructed, ended with this object; what it says goes to
// this process's standard error. Once it is ready, WAYLAND_DISPLAY and
// QT_QPA_PLATFORM=wayland in this process make an application object made
// afterwards, and every process started from here, its clients. A Qt client
// ends its process when its compositor goes away, so a test process makes
// this before its application object and ends it after.
class WestonSession
{
public:
    WestonSession();
    ~WestonSession();

    WestonSession(const WestonSession &) = delete;
    WestonSession &operator=(const WestonSession &) = delete;

    // False when weston could not be started or did not accept clients in time.
    bool isReady() const { return ready; }

private:
    bool acceptsClients() const;

    QByteArray socketName;
    pid_t weston = -1;
    bool ready = false;
};
