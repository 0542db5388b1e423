// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>
#include <utility>

// The status line and header fields of an HTTP/1.x answer. Read strictly:
// a head that does not follow the grammar is no head at all, so a broken or
// hostile answer never reaches the stream as a half-understood one.
class HttpResponseHead
{
public:
    // head: the bytes before the empty line that ends it. Lines may end in
    // CR LF or in a bare LF.
    static std::optional<HttpResponseHead> parse(QByteArrayView head);

    int status() const;
    // The field's value with surrounding white space removed, repeated fields
    // joined by ", "; a null array when the answer has no such field. Names
    // compare without regard to case.
    QByteArray field(QByteArrayView name) const;

private:
    static bool parseStatusLine(QByteArrayView line, int &status);
    static std::optional<std::pair<QByteArray, QByteArray>> parseField(QByteArrayView line);

    int statusCode = 0;
    QList<std::pair<QByteArray, QByteArray>> fields;
};
