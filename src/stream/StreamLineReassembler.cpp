// SPDX-License-Identifier: MIT

#include "StreamLineReassembler.h"

StreamLineReassembler::StreamLineReassembler(qsizetype lineBound)
    : maximumLineLength(lineBound)
{
}

QByteArrayList StreamLineReassembler::takeLines(const QByteArray &data)
{
    QByteArrayList lines;
    QByteArrayView rest(data);
    for (qsizetype lineFeed = rest.indexOf('\n'); lineFeed >= 0; lineFeed = rest.indexOf('\n')) {
        const QByteArrayView end = rest.first(lineFeed);
        if (!skippingToLineFeed && unfinished.size() + end.size() <= maximumLineLength)
            lines.append(unfinished.append(end));
        unfinished.clear();
        skippingToLineFeed = false;
        rest = rest.sliced(lineFeed + 1);
    }
    keepUnfinished(rest);
    return lines;
}

void StreamLineReassembler::keepUnfinished(QByteArrayView rest)
{
    if (skippingToLineFeed)
        return;
    if (unfinished.size() + rest.size() > maximumLineLength) {
        unfinished.clear();
        skippingToLineFeed = true;
        return;
    }
    unfinished.append(rest);
}

std::optional<QByteArray> StreamLineReassembler::finish()
{
    std::optional<QByteArray> last;
    if (!unfinished.isEmpty())
        last = unfinished;
    reset();
    return last;
}

void StreamLineReassembler::reset()
{
    unfinished.clear();
    skippingToLineFeed = false;
}

qsizetype StreamLineReassembler::pendingSize() const { return unfinished.size(); }
