// SPDX-License-Identifier: MIT

#include "stream/StreamMessageDecoder.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
// A message as "title|description|icon|final_uri websafe_uri|cursor", each
// field "-" when absent and the context "-" when there is none.
QStringList describe(const QList<StreamMessage> &messages)
{
    const auto text = [](const std::optional<QString> &field) { return field && !field->isNull() ? *field : u"-"_s; };
    QStringList lines;
    for (const StreamMessage &message : messages)
        lines.append(QStringList{text(message.title), text(message.description), text(message.iconpath),
                                 message.context ? text(message.context->final_uri) + ' '
                                                       + text(message.context->websafe_uri) : u"-"_s,
                                 text(message.cursor)}.join(u'|'));
    return lines;
}

const char *const hiThere = "Hi|there|-|-|-";

// JSON text written with single quotes, which keeps the table readable.
void row(const char *name, const char *text, const QStringList &expected)
{
    QTest::newRow(name) << QString::fromUtf8(text).replace(u'\'', u'"') << expected;
}
}

class StreamMessageDecoderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Rows whose name starts with "batched" are read in the batched form.
    void decodes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        row("addresses and icon, other members ignored",
            "{'title':'Hi','description':'there','final_uri':'https://a.example/1','id':7}\n"
            "{'title':'Hi','description':'there','websafe_uri':'https://w.example/1','extra':{'a':[1]}}\n"
            "{'websafe_uri':'https://w/','final_uri':'app://open','title':'Hi','description':'there','iconpath':'i'}",
            {"Hi|there|-|https://a.example/1 -|-", "Hi|there|-|- https://w.example/1|-",
             "Hi|there|i|app://open https://w/|-"});
        row("only one of title and description",
            "{'description':'there'}\n{'title':'Hi'}\n{'title':'','description':'there','iconpath':''}",
            {"-|there|-|-|-", "Hi|-|-|-|-", "|there||-|-"});
        row("keep-alive lines post nothing",
            "\n\n{}\n{'type':'ping'}\n{'keepalive':true}\n{'title':'','description':'','iconpath':'x'}\n"
            "{'title':{'a':1},'description':[1,2]}\n{'messages':[{'title':'Hi'}],'cursor':'c'}",
            {});
        row("skipped lines cost only themselves: null title or description, not one object",
            "{'title':null,'description':'x','final_uri':'https://a/'}\n{'title':'x','description':null}\n"
            "{'title':'a'} {'title':'b'}\n{'title':'Hi','descr\n'just a string'\n{nope}\n"
            "[{'title':'Hi','description':'there'}]\n{'title':'Hi','description':'there'}",
            {hiThere});
        row("members of another kind: scalars are their JSON text, the rest absent",
            "{'title':42,'description':true,'iconpath':5}\n{'title':{'a':1},'description':'there','iconpath':null}\n"
            "{'title':'Hi','description':'there','final_uri':null,'websafe_uri':17}",
            {"42|true|-|-|-", "-|there|-|-|-", "Hi|there|-|- -|-"});
        row("batched: messages in order, with cursor and icon, without addresses",
            "{'messages':[{'title':'1','description':'a','cursor':'c1','iconpath':'i','final_uri':'https://a/'},"
            "{'title':'2','cursor':'c2'}]}\n{'messages':[{'title':'3','description':'c'}]}",
            {"1|a|i|-|c1", "2|-|-|-|c2", "3|c|-|-|-"});
        row("batched: skipped messages and lines take no cursor, nor does one of another kind",
            "{'messages':[{'title':null,'cursor':'s1'},{'description':null,'cursor':'s2'},{'cursor':'s3'},'text',3,"
            "null,[1],{'title':'Hi','description':'there','cursor':12},{'title':'Hi','description':'there','cursor':null}]}\n"
            "{'title':'Hi','description':'there'}\n{'messages':null}\n{'messages':{'title':'Hi'}}\n{'messages':'Hi'}\n"
            "[{'messages':[{'title':'Hi'}]}]\n{\n{'messages':[{'title':'Hi','description':'there'}]}",
            {hiThere, hiThere, hiThere});
    }

    void decodes()
    {
        QFETCH(QString, text);
        const bool batched = QByteArray(QTest::currentDataTag()).startsWith("batched");
        QTEST(describe(batched ? StreamMessageDecoder::messagesFromTornado(text)
                               : StreamMessageDecoder::messagesFromStream(text)),
              "expected");
    }
};

QTEST_APPLESS_MAIN(StreamMessageDecoderTest)
#include "StreamMessageDecoderTest.moc"
