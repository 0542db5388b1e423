// SPDX-License-Identifier: MIT

// The agent's path from raw network reads to the messages it posts, without
// the network or the bus: the body is cut into reads at arbitrary points, and
// what comes out must not depend on where the cuts fell. The first byte says
// how many of the following bytes give read lengths (each 1 to 256, used in
// turn); the rest is the body.
#include "FuzzCheck.h"

#include "stream/StreamLineReader.h"
#include "stream/StreamMessageDecoder.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace {
struct Outcome
{
    QStringList lines;
    std::optional<QString> tail;
    QList<StreamMessage> messages;
};

Outcome readInPieces(const QByteArray &body, const QByteArray &lengths)
{
    Outcome outcome;
    StreamLineReader reader;
    qsizetype at = 0;
    for (qsizetype piece = 0; at < body.size(); ++piece) {
        const qsizetype length = lengths.isEmpty() ? body.size() : 1 + static_cast<unsigned char>(lengths[piece % lengths.size()]);
        outcome.lines += reader.takeLines(body.mid(at, length));
        at += length;
    }
    outcome.tail = reader.finish();
    for (const QString &line : outcome.lines)
        outcome.messages += StreamMessageDecoder::messagesFromStream(line);
    if (outcome.tail)
        outcome.messages += StreamMessageDecoder::messagesFromStream(*outcome.tail);
    return outcome;
}

void checkMessages(const QList<StreamMessage> &messages, qsizetype lineCount)
{
    fuzzCheck(messages.size() <= lineCount, "at most one message per line");
    for (const StreamMessage &message : messages) {
        fuzzCheck(!message.cursor, "stream lines carry no cursor");
        if (message.context) {
            fuzzCheck(!message.context->final_uri || !message.context->final_uri->isNull(), "addresses are texts");
            fuzzCheck(!message.context->websafe_uri || !message.context->websafe_uri->isNull(), "addresses are texts");
        }
    }
}
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype lengthCount = std::min<qsizetype>(data[0], qsizetype(size) - 1);
    const QByteArray lengths(reinterpret_cast<const char *>(data + 1), lengthCount);
    const QByteArray body(reinterpret_cast<const char *>(data + 1 + lengthCount), qsizetype(size) - 1 - lengthCount);

    const Outcome split = readInPieces(body, lengths);
    const Outcome whole = readInPieces(body, {});
    fuzzCheck(split.lines == whole.lines, "the same lines however the reads were cut");
    fuzzCheck(split.tail == whole.tail, "the same unfinished line however the reads were cut");
    fuzzCheck(split.messages == whole.messages, "the same messages however the reads were cut");
    fuzzCheck(split.lines.size() <= body.count('\n'), "a line only once its line feed has arrived");
    for (const QString &line : split.lines)
        fuzzCheck(!line.contains(QLatin1Char('\n')), "lines hold no line feed");
    checkMessages(split.messages, split.lines.size() + (split.tail ? 1 : 0));
    return 0;
}
