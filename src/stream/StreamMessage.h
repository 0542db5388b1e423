// SPDX-License-Identifier: MIT

#pragma once

#include "notifications/ClickContext.h"

#include <QString>

#include <optional>

// One message decoded from a stream line, ready to be shown. A null title or
// description means the line carried none; a null icon address means no icon.
struct StreamMessage
{
    QString title;
    QString description;
    QString iconpath;
    std::optional<ClickContext> context;
    // The position marker of a batched message, when it carried one.
    std::optional<QString> cursor;

    friend bool operator==(const StreamMessage &, const StreamMessage &) = default;
};
