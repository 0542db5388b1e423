#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>

class QColor;

// A scripted answer of the test HTTP service to one request: a status line
// and headers, the body pieces, then how the connection ends. Unless the
// length is announced, the body ends when the connection does, as a stream's.
struct TestHttpReply
{
    enum class Ending { Close, Reset, Never };

    int status = 200;
    QByteArray extraHeaders = {}; // each line ended by "\r\n"
    QList<QByteArray> pieces = {};
    Ending ending = Ending::Close;
    bool answers = true; // false: no status line, no body
    bool announceLength = false;
    // The pieces go out this many times over, each time once the network has
    // taken the last, so that a long body is never held here.
    int repeats = 1;

    // Closes or resets the connection without answering anything.
    static TestHttpReply dropped(Ending ending = Ending::Close);
    // Accepts the request and never answers it.
    static TestHttpReply silent();
    // A picture, its length announced.
    static TestHttpReply picture(const QByteArray &bytes);
    static QByteArray png(const QSize &size, const QColor &colour);
};
