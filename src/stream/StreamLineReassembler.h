// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>
#include <QByteArrayList>

#include <optional>

// Cuts one connection's body into lines. The network splits the body wherever
// it likes, so the bytes after the last line feed of a read are kept and joined
// to the next read; a line is handed out only once its line feed has arrived.
// A line longer than the bound is dropped whole, wherever the reads split it,
// so a service that never ends its line cannot make the agent grow without end.
class StreamLineReassembler
{
public:
    static constexpr qsizetype defaultMaximumLineLength = 1024 * 1024;

    explicit StreamLineReassembler(qsizetype lineBound = defaultMaximumLineLength);

    // The lines completed by this read, in order, without their line feeds.
    QByteArrayList takeLines(const QByteArray &data);
    // The connection has ended: its unfinished last line, when there is one.
    // Leaves the reassembler empty, ready for the next connection.
    std::optional<QByteArray> finish();
    // Forgets everything, for a new connection.
    void reset();

    // Bytes held for the unfinished line, never more than the bound.
    qsizetype pendingSize() const;

private:
    void keepUnfinished(QByteArrayView rest);

    qsizetype maximumLineLength;
    QByteArray unfinished;
    // Set while the rest of an overlong line is being skipped.
    bool skippingToLineFeed = false;
};
