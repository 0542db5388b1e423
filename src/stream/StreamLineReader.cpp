// SPDX-License-Identifier: MIT

#include "StreamLineReader.h"

#include "session/LoggingCategories.h"

#include <QStringDecoder>

StreamLineReader::StreamLineReader(qsizetype lineBound)
    : lines(lineBound)
{
}

QStringList StreamLineReader::takeLines(const QByteArray &read)
{
    QStringList texts;
    for (const QByteArray &line : lines.takeLines(read)) {
        if (std::optional<QString> text = textOf(line))
            texts.append(*text);
    }
    return texts;
}

std::optional<QString> StreamLineReader::finish()
{
    const std::optional<QByteArray> tail = lines.finish();
    return tail ? textOf(*tail) : std::nullopt;
}

void StreamLineReader::reset() { lines.reset(); }

std::optional<QString> StreamLineReader::textOf(const QByteArray &line)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(line);
    if (utf8.hasError()) {
        qCInfo(lcDecode) << "skipped a line of" << line.size() << "bytes that are not UTF-8";
        return std::nullopt;
    }
    return text;
}
