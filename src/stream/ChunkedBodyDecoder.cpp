// SPDX-License-Identifier: MIT

#include "ChunkedBodyDecoder.h"

namespace {
constexpr qsizetype framingLineLimit = 1024;
constexpr qsizetype trailerLimit = 16 * 1024;
// Fifteen hex digits: no chunk size can overflow.
constexpr qsizetype sizeDigitsLimit = 15;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
}

bool ChunkedBodyDecoder::decode(QByteArrayView bytes, QByteArray &body)
{
    while (!bytes.isEmpty() && part != Part::Broken && part != Part::Finished) {
        if (part == Part::Data) {
            const qsizetype taken = qsizetype(std::min<qint64>(remaining, bytes.size()));
            body.append(bytes.first(taken));
            bytes = bytes.sliced(taken);
            remaining -= taken;
            if (remaining == 0)
                part = Part::DataEnd;
            continue;
        }
        if (!takeLine(bytes))
            continue;
        if (part == Part::SizeLine)
            sizeLineEnded();
        else if (part == Part::DataEnd)
            dataEndLineEnded();
        else
            trailerLineEnded();
        line.clear();
    }
    return part != Part::Broken;
}

bool ChunkedBodyDecoder::isFinished() const { return part == Part::Finished; }

bool ChunkedBodyDecoder::takeLine(QByteArrayView &bytes)
{
    const qsizetype lineFeed = bytes.indexOf('\n');
    const QByteArrayView piece = lineFeed < 0 ? bytes : bytes.first(lineFeed);
    line.append(piece);
    bytes = lineFeed < 0 ? QByteArrayView() : bytes.sliced(lineFeed + 1);
    if (line.size() > framingLineLimit) {
        part = Part::Broken;
        return false;
    }
    if (lineFeed < 0)
        return false;
    if (line.endsWith('\r'))
        line.chop(1);
    return true;
}

// "1a2b;extension": the size in hex, extensions ignored.
void ChunkedBodyDecoder::sizeLineEnded()
{
    const qsizetype extension = line.indexOf(';');
    const QByteArray digits = (extension < 0 ? line : line.first(extension)).trimmed();
    if (digits.isEmpty() || digits.size() > sizeDigitsLimit) {
        part = Part::Broken;
        return;
    }
    qint64 size = 0;
    for (const char c : digits) {
        const int value = hexValue(c);
        if (value < 0) {
            part = Part::Broken;
            return;
        }
        size = size * 16 + value;
    }
    remaining = size;
    part = size == 0 ? Part::Trailer : Part::Data;
}

void ChunkedBodyDecoder::dataEndLineEnded() { part = line.isEmpty() ? Part::SizeLine : Part::Broken; }

void ChunkedBodyDecoder::trailerLineEnded()
{
    trailerBytes += line.size();
    if (line.isEmpty())
        part = Part::Finished;
    else if (trailerBytes > trailerLimit)
        part = Part::Broken;
}
