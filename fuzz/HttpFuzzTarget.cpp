// SPDX-License-Identifier: MIT

// What the stream makes of an answer's bytes before any line is cut: the
// head, read strictly, and a chunked body, which must decode the same
// wherever the reads fall. The first byte says where the body is cut in two
// reads; the rest is both the head and the chunked body.
#include "FuzzCheck.h"

#include "stream/ChunkedBodyDecoder.h"
#include "stream/HttpResponseHead.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace {
struct Decoded
{
    QByteArray body;
    bool sound = true;
    bool finished = false;
};

Decoded decodeInTwo(QByteArrayView coded, qsizetype cut)
{
    ChunkedBodyDecoder decoder;
    Decoded decoded;
    decoded.sound = decoder.decode(coded.first(cut), decoded.body) && decoder.decode(coded.sliced(cut), decoded.body);
    decoded.finished = decoder.isFinished();
    return decoded;
}
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size) - 1);

    if (const std::optional<HttpResponseHead> head = HttpResponseHead::parse(bytes))
        fuzzCheck(head->status() >= 100 && head->status() <= 999, "a status of three digits");

    const qsizetype cut = bytes.isEmpty() ? 0 : data[0] % (bytes.size() + 1);
    const Decoded whole = decodeInTwo(bytes, 0);
    const Decoded split = decodeInTwo(bytes, cut);
    fuzzCheck(split.body == whole.body, "the same body however the reads were cut");
    fuzzCheck(split.sound == whole.sound && split.finished == whole.finished, "the same outcome however cut");
    fuzzCheck(whole.body.size() <= bytes.size(), "no more body than bytes");
    return 0;
}
