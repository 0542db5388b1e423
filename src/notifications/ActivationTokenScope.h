// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

// Hands a launcher's or a notification service's activation token to what
// runs while this scope lives: Qt's Wayland platform raising a window, or a
// program started to open an address. Both read it from the environment.
// Tokens are single-use, so the environment holds none outside such a scope:
// a launch without a token never carries a stale one.
class ActivationTokenScope
{
public:
    explicit ActivationTokenScope(const QString &token);
    ~ActivationTokenScope();

    ActivationTokenScope(const ActivationTokenScope &) = delete;
    ActivationTokenScope &operator=(const ActivationTokenScope &) = delete;

    // The token this process was launched with, taken out of the environment.
    static QString takeLaunchToken();

private:
    static void clear();
};
