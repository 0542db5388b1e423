// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

// A network of this process's own, made by root before any thread starts: a
// network namespace whose lo is up and holds 127.0.0.1, an IPv6 address whose
// packets vanish, and an IPv4 address of its own (without one the resolver
// hides IPv4 names); a mount namespace whose /etc/hosts names hostName for
// the dead IPv6 address first and for 127.0.0.1 second.
class TestNetwork
{
public:
    static constexpr char hostName[] = "stream.test";
    static constexpr char deadAddress[] = "2001:db8::1";

    // Empty once entered, else why not.
    static QString enter();
    // Every packet from the port vanishes, as from a peer gone in silence;
    // until the packets flow again.
    static bool dropPacketsFrom(quint16 port);
    static bool letPacketsFlow();
};
