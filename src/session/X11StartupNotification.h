// SPDX-License-Identifier: MIT

#pragma once

// Ends the launch a launcher announced on X11 with DESKTOP_STARTUP_ID, so
// that it stops showing a busy cursor. Qt does so only when its first window
// maps: a tray agent has none at start, and a second start that raises an
// open window maps none. Outside X11 it does nothing.
class X11StartupNotification
{
public:
    static void complete();
};
