// SPDX-License-Identifier: MIT

#include "X11StartupNotification.h"

#include <QByteArray>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {
constexpr const char *launchIdVariable = "DESKTOP_STARTUP_ID";
// Startup messages travel in client messages of 20 bytes each.
constexpr qsizetype messagePiece = 20;

xcb_connection_t *x11Connection()
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// Taken, as a launch id is used once.
QByteArray takeLaunchId()
{
    QByteArray id = qgetenv(launchIdVariable);
    qunsetenv(launchIdVariable);
    return id;
}

xcb_window_t rootWindow(xcb_connection_t *connection)
{
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

xcb_atom_t atomNamed(xcb_connection_t *connection, const char *name)
{
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

QByteArray removeMessage(const QByteArray &id)
{
    QByteArray value = id;
    value.replace('\\', "\\\\").replace('"', "\\\"");
    if (value != id || id.contains(' '))
        value = '"' + value + '"';
    return "remove: ID=" + value;
}

// The message ends with a NUL; its first piece has a type of its own.
void sendStartupMessage(xcb_connection_t *connection, const QByteArray &message)
{
    const xcb_window_t root = rootWindow(connection);
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 8;
    event.window = root;
    event.type = atomNamed(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t continued = atomNamed(connection, "_NET_STARTUP_INFO");
    const QByteArray terminated = message + QByteArray(1, '\0');
    for (qsizetype sent = 0; sent < terminated.size(); sent += messagePiece) {
        std::memset(event.data.data8, 0, sizeof event.data.data8);
        std::memcpy(event.data.data8, terminated.constData() + sent,
                    static_cast<size_t>(std::min(messagePiece, terminated.size() - sent)));
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char *>(&event));
        event.type = continued;
    }
    xcb_flush(connection);
}

}

void X11StartupNotification::complete()
{
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return;
    const QByteArray id = takeLaunchId();
    if (!id.isEmpty())
        sendStartupMessage(connection, removeMessage(id));
}
