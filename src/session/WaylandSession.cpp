// SPDX-License-Identifier: MIT

#include "WaylandSession.h"

#include <QGuiApplication>

bool WaylandSession::isActive() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }
