// SPDX-License-Identifier: MIT

#pragma once

#include "StreamMessage.h"

#include <QList>
#include <QString>
#include <QStringView>

class KzJSON;
class KzJsonValue;

// Turns the text of stream lines into messages. Each line holds one JSON
// object; a line that does not decode as one is skipped, and so is a message
// whose title or description is JSON null, and one with neither a title nor a
// description (absent or empty), which a service sends to keep a quiet
// stream alive. Values of an unexpected kind are
// read leniently where a sensible reading exists (a number as a title is shown
// as its JSON text) and are otherwise treated as absent.
class StreamMessageDecoder
{
public:
    // One message per line, with "title", "description", "iconpath" and the
    // click context built from "final_uri" and "websafe_uri".
    static QList<StreamMessage> messagesFromStream(const QString &text);
    // The batched form: per line an object whose "messages" array holds the
    // messages, each possibly with a "cursor"; these carry no click context.
    static QList<StreamMessage> messagesFromTornado(const QString &text);

private:
    static std::optional<KzJsonValue> objectOfLine(KzJSON &json, QStringView line);
    static std::optional<StreamMessage> messageFrom(const KzJsonValue &object);
    static std::optional<ClickContext> contextFrom(const KzJsonValue &object);
    static void appendBatch(QList<StreamMessage> &messages, const KzJsonValue &object);
};
