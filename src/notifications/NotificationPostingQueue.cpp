// SPDX-License-Identifier: MIT

#include "NotificationPostingQueue.h"

NotificationPostingQueue::NotificationPostingQueue(Post poster)
    : post(std::move(poster))
{
}

void NotificationPostingQueue::enqueue(const StreamMessage &message)
{
    const bool needsIcon = !message.iconpath.isNull();
    const quint64 sequence = firstSequence + entries.size();
    entries.push_back({message, QImage(), !needsIcon});
    if (needsIcon)
        icons.load(message.iconpath, [this, sequence](const QImage &icon) { iconArrived(sequence, icon); });
    else
        postReady();
}

void NotificationPostingQueue::iconArrived(quint64 sequence, const QImage &icon)
{
    Entry &entry = entries.at(sequence - firstSequence);
    entry.icon = icon;
    entry.ready = true;
    postReady();
}

// The entry leaves the queue before it is posted, so that posting may safely
// enqueue further messages.
void NotificationPostingQueue::postReady()
{
    while (!entries.empty() && entries.front().ready) {
        const Entry entry = std::move(entries.front());
        entries.pop_front();
        ++firstSequence;
        post(entry.message, entry.icon);
    }
}

IconLoader &NotificationPostingQueue::iconLoader() { return icons; }

MessageBacklog NotificationPostingQueue::waiting() const
{
    MessageBacklog backlog;
    for (const Entry &entry : entries)
        backlog.add(entry.message.title, entry.message.description, entry.icon);
    return backlog;
}
