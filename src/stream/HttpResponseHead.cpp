// SPDX-License-Identifier: MIT

#include "HttpResponseHead.h"

#include <algorithm>

namespace {
// The characters of a token (RFC 9110): what a field name is made of.
bool isTokenCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
           || QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

QByteArrayView withoutCarriageReturn(QByteArrayView line)
{
    return line.endsWith('\r') ? line.chopped(1) : line;
}
}

std::optional<HttpResponseHead> HttpResponseHead::parse(QByteArrayView head)
{
    HttpResponseHead parsed;
    qsizetype lineStart = 0;
    bool statusLine = true;
    while (lineStart <= head.size()) {
        qsizetype lineEnd = head.indexOf('\n', lineStart);
        if (lineEnd < 0)
            lineEnd = head.size();
        const QByteArrayView line = withoutCarriageReturn(head.sliced(lineStart, lineEnd - lineStart));
        if (statusLine) {
            if (!parseStatusLine(line, parsed.statusCode))
                return std::nullopt;
            statusLine = false;
        } else {
            std::optional<std::pair<QByteArray, QByteArray>> field = parseField(line);
            if (!field)
                return std::nullopt;
            parsed.fields.append(std::move(*field));
        }
        lineStart = lineEnd + 1;
    }
    return parsed;
}

// "HTTP/1.1 200 OK": version 1.0 or 1.1, three digits, an optional reason.
bool HttpResponseHead::parseStatusLine(QByteArrayView line, int &status)
{
    if (!(line.startsWith("HTTP/1.1 ") || line.startsWith("HTTP/1.0 ")) || line.size() < 12)
        return false;
    const QByteArrayView code = line.sliced(9, 3);
    if (!std::all_of(code.begin(), code.end(), isDigit) || (line.size() > 12 && line.at(12) != ' '))
        return false;
    status = code.toInt();
    return status >= 100;
}

// "Name: value". Folded continuation lines are obsolete and refused.
std::optional<std::pair<QByteArray, QByteArray>> HttpResponseHead::parseField(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return std::nullopt;
    const QByteArrayView name = line.first(colon);
    if (!std::all_of(name.begin(), name.end(), isTokenCharacter))
        return std::nullopt;
    return std::pair{name.toByteArray().toLower(), line.sliced(colon + 1).trimmed().toByteArray()};
}

int HttpResponseHead::status() const { return statusCode; }

QByteArray HttpResponseHead::field(QByteArrayView name) const
{
    const QByteArray wanted = name.toByteArray().toLower();
    QByteArray value;
    bool found = false;
    for (const auto &[fieldName, fieldValue] : fields) {
        if (fieldName != wanted)
            continue;
        if (found)
            value += ", ";
        value += fieldValue;
        found = true;
    }
    return found ? (value.isNull() ? QByteArray("") : value) : QByteArray();
}
