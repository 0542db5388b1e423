// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Undoes HTTP's chunked transfer coding as the bytes arrive, in reads cut
// anywhere. Size and trailer lines are bounded, so a service cannot make the
// decoder hold more than a few kilobytes of framing.
class ChunkedBodyDecoder
{
public:
    // Appends the data these bytes carry to body. False once the coding is
    // broken; the decoder then takes nothing more.
    bool decode(QByteArrayView bytes, QByteArray &body);
    // The last chunk and its trailer have arrived.
    bool isFinished() const;

private:
    enum class Part { SizeLine, Data, DataEnd, Trailer, Finished, Broken };

    // Collects one framing line; true once it is whole (without CR LF).
    bool takeLine(QByteArrayView &bytes);
    void sizeLineEnded();
    void dataEndLineEnded();
    void trailerLineEnded();

    Part part = Part::SizeLine;
    qint64 remaining = 0;
    QByteArray line;
    qsizetype trailerBytes = 0;
};
