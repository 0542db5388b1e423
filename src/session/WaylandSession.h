// SPDX-License-Identifier: MIT

#pragma once

// Whether the agent's windows are on a Wayland compositor, whichever of Qt's
// Wayland platforms ("wayland", "wayland-egl", …) drives them: there a client
// neither places its windows nor pops a menu up at the pointer.
class WaylandSession
{
public:
    static bool isActive();
};
