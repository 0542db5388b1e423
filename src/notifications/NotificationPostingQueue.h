// SPDX-License-Identifier: MIT

#pragma once

#include "IconLoader.h"
#include "stream/MessageBacklog.h"
#include "stream/StreamMessage.h"

#include <QImage>

#include <deque>
#include <functional>

// Posts messages strictly in the order they arrived while their icons are
// fetched in parallel: a message is posted once its own icon has arrived (or
// failed) and every message before it has been posted. A message without icon
// still waits for those before it.
class NotificationPostingQueue
{
public:
    using Post = std::function<void(const StreamMessage &message, const QImage &icon)>;

    explicit NotificationPostingQueue(Post poster);

    void enqueue(const StreamMessage &message);

    IconLoader &iconLoader();
    // Messages accepted but not yet posted.
    MessageBacklog waiting() const;

private:
    struct Entry
    {
        StreamMessage message;
        QImage icon;
        bool ready = false;
    };

    void iconArrived(quint64 sequence, const QImage &icon);
    void postReady();

    Post post;
    // Declared after the entries it reports into, so that it is destroyed
    // first and no icon can arrive for a queue that is gone.
    std::deque<Entry> entries;
    quint64 firstSequence = 0;
    IconLoader icons;
};
