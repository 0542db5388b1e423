// SPDX-License-Identifier: MIT

#include "ActivationTokenScope.h"

#include <QByteArray>

namespace {
// Wayland's xdg-activation token and the X11 startup id are interchangeable.
constexpr const char *waylandVariable = "XDG_ACTIVATION_TOKEN";
constexpr const char *x11Variable = "DESKTOP_STARTUP_ID";
}

ActivationTokenScope::ActivationTokenScope(const QString &token)
{
    clear();
    if (token.isEmpty())
        return;
    qputenv(waylandVariable, token.toUtf8());
    qputenv(x11Variable, token.toUtf8());
}

ActivationTokenScope::~ActivationTokenScope() { clear(); }

QString ActivationTokenScope::takeLaunchToken()
{
    QString token = qEnvironmentVariable(waylandVariable);
    if (token.isEmpty())
        token = qEnvironmentVariable(x11Variable);
    clear();
    return token;
}

void ActivationTokenScope::clear()
{
    qunsetenv(waylandVariable);
    qunsetenv(x11Variable);
}
