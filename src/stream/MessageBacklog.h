// SPDX-License-Identifier: MIT

#pragma once

#include <QImage>
#include <QString>
#include <QtGlobal>

// Messages accepted from the stream and not yet shown, and the memory their
// texts and pictures hold.
struct MessageBacklog
{
    qsizetype messages = 0;
    qsizetype bytes = 0;

    static qsizetype bytesOf(const QString &title, const QString &description, const QImage &icon)
    {
        return (title.size() + description.size()) * qsizetype(sizeof(QChar)) + icon.sizeInBytes();
    }

    void add(const QString &title, const QString &description, const QImage &icon)
    {
        ++messages;
        bytes += bytesOf(title, description, icon);
    }

    void remove(const QString &title, const QString &description, const QImage &icon)
    {
        --messages;
        bytes -= bytesOf(title, description, icon);
    }

    MessageBacklog &operator+=(const MessageBacklog &other)
    {
        messages += other.messages;
        bytes += other.bytes;
        return *this;
    }
};
