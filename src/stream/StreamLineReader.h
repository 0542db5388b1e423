// SPDX-License-Identifier: MIT

#pragma once

#include "StreamLineReassembler.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// What the agent makes of one connection's reads before decoding messages:
// the texts of its finished lines, each decoded from UTF-8 on its own, so
// that a line that is not valid UTF-8 costs only itself.
class StreamLineReader
{
public:
    explicit StreamLineReader(qsizetype lineBound = StreamLineReassembler::defaultMaximumLineLength);

    // The lines this read finishes, in order, without their line feeds.
    QStringList takeLines(const QByteArray &read);
    // The connection has ended: the text of its unfinished last line, when
    // there is one. Leaves the reader empty, ready for the next connection.
    std::optional<QString> finish();
    void reset();

private:
    static std::optional<QString> textOf(const QByteArray &line);

    StreamLineReassembler lines;
};
