// SPDX-License-Identifier: MIT

#include "StreamMessageDecoder.h"

#include "JsonValueConversion.h"
#include "KzJSON.h"
#include "session/LoggingCategories.h"

#include <QStringTokenizer>

namespace {
bool isNull(const KzJsonValue *member) { return member && member->isNull(); }

QString reasonSkipped(const KzJSON &json, const std::optional<KzJsonValue> &value)
{
    if (value)
        return QStringLiteral("not an object");
    const KzJsonErrorTrace trace = json.errorTrace();
    if (!trace || trace->empty())
        return QStringLiteral("not JSON");
    return QString::fromStdString(trace->front()->description());
}
}

QList<StreamMessage> StreamMessageDecoder::messagesFromStream(const QString &text)
{
    QList<StreamMessage> messages;
    if (text.isNull())
        return messages;
    KzJSON json;
    for (const QStringView line : QStringTokenizer(text, u'\n')) {
        const std::optional<KzJsonValue> object = objectOfLine(json, line);
        if (!object)
            continue;
        if (std::optional<StreamMessage> message = messageFrom(*object)) {
            message->context = contextFrom(*object);
            messages.append(*message);
        }
    }
    return messages;
}

QList<StreamMessage> StreamMessageDecoder::messagesFromTornado(const QString &text)
{
    QList<StreamMessage> messages;
    if (text.isNull())
        return messages;
    KzJSON json;
    for (const QStringView line : QStringTokenizer(text, u'\n')) {
        if (const std::optional<KzJsonValue> object = objectOfLine(json, line))
            appendBatch(messages, *object);
    }
    return messages;
}

// The facade also accepts an array at the top level; a line is a message
// only when it holds an object.
std::optional<KzJsonValue> StreamMessageDecoder::objectOfLine(KzJSON &json, QStringView line)
{
    std::optional<KzJsonValue> value = json.objectWithString(JsonValueConversion::input(line));
    if (value && value->isDictionary())
        return value;
    // A blank line keeps a quiet stream alive and is no fault.
    if (!line.trimmed().isEmpty())
        qCInfo(lcDecode).noquote() << "skipped a line of" << line.size() << "characters:" << reasonSkipped(json, value);
    return std::nullopt;
}

std::optional<StreamMessage> StreamMessageDecoder::messageFrom(const KzJsonValue &object)
{
    const KzJsonValue *title = object.member(u"title");
    const KzJsonValue *description = object.member(u"description");
    if (isNull(title) || isNull(description))
        return std::nullopt;
    StreamMessage message;
    message.title = JsonValueConversion::displayText(title);
    message.description = JsonValueConversion::displayText(description);
    // A keep-alive ({}, {"type":"ping"}) has nothing to show.
    if (message.title.isEmpty() && message.description.isEmpty())
        return std::nullopt;
    message.iconpath = JsonValueConversion::stringText(object.member(u"iconpath"));
    return message;
}

// Present whenever the line names either address, so that a click is still
// reported; an address that is not a string cannot be opened and is left out.
std::optional<ClickContext> StreamMessageDecoder::contextFrom(const KzJsonValue &object)
{
    const KzJsonValue *finalUri = object.member(u"final_uri");
    const KzJsonValue *websafeUri = object.member(u"websafe_uri");
    if (!finalUri && !websafeUri)
        return std::nullopt;
    ClickContext context;
    if (finalUri && finalUri->isString())
        context.final_uri = JsonValueConversion::stringText(finalUri);
    if (websafeUri && websafeUri->isString())
        context.websafe_uri = JsonValueConversion::stringText(websafeUri);
    return context;
}

void StreamMessageDecoder::appendBatch(QList<StreamMessage> &messages, const KzJsonValue &object)
{
    const KzJsonValue *batch = object.member(u"messages");
    if (!batch || !batch->isArray())
        return;
    for (const KzJsonValue &element : *batch->asArray()) {
        if (!element.isDictionary())
            continue;
        std::optional<StreamMessage> message = messageFrom(element);
        if (!message)
            continue;
        const KzJsonValue *cursor = element.member(u"cursor");
        if (cursor && cursor->isString())
            message->cursor = JsonValueConversion::stringText(cursor);
        messages.append(*message);
    }
}
