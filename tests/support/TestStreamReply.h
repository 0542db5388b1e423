#pragma once

#include <QByteArray>
#include <QList>

// A scripted answer of the test stream service to one request: a status line
// with streaming headers (no length, the body ends when the connection does),
// the body pieces, then how the connection ends.
struct TestStreamReply
{
    enum class Ending { Close, Reset };

    int status = 200;
    QByteArray extraHeaders; // each line ended by "\r\n"
    QList<QByteArray> pieces;
    Ending ending = Ending::Close;
    bool answers = true; // false: no status line, no body

    // Closes or resets the connection without answering anything.
    static TestStreamReply dropped(Ending ending = Ending::Close);
};
