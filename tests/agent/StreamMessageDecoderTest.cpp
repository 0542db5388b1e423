#include "StreamMessageDecoder.h"

#include <QtTest>

namespace {
QString shown(const std::optional<QString> &text)
{
    return text && !text->isNull() ? '"' + *text + '"' : QStringLiteral("(none)");
}

// One readable line per message, so that a failing comparison shows the field.
QStringList describe(const QList<StreamMessage> &messages)
{
    QStringList lines;
    for (const StreamMessage &message : messages) {
        const QString context = message.context ? QStringLiteral("final %1 websafe %2")
                                                      .arg(shown(message.context->final_uri),
                                                           shown(message.context->websafe_uri))
                                                : QStringLiteral("(none)");
        lines.append(QStringLiteral("title %1 | description %2 | icon %3 | context %4 | cursor %5")
                         .arg(shown(message.title), shown(message.description), shown(message.iconpath), context,
                              shown(message.cursor)));
    }
    return lines;
}

const QString none;

StreamMessage message(const QString &title, const QString &description, const QString &iconpath = none,
                      std::optional<ClickContext> context = std::nullopt, std::optional<QString> cursor = std::nullopt)
{
    return {title, description, iconpath, std::move(context), std::move(cursor)};
}

ClickContext addresses(std::optional<QString> finalUri, std::optional<QString> websafeUri)
{
    return {std::move(finalUri), std::move(websafeUri)};
}

// JSON text written with single quotes, which keeps the tables readable.
QString j(const char *text) { return QString::fromUtf8(text).replace(u'\'', u'"'); }

const StreamMessage hiThere = message("Hi", "there");

void addColumns()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
}

void row(const char *name, const QString &text, const QList<StreamMessage> &expected)
{
    QTest::newRow(name) << text << describe(expected);
}
}

class StreamMessageDecoderTest : public QObject
{
    Q_OBJECT

private slots:
    void streamLines_data()
    {
        addColumns();
        row("no text", QString(), {});
        row("title and description only", j("{'title':'Hi','description':'there'}"), {hiThere});
        row("final_uri only", j("{'title':'Hi','description':'there','final_uri':'https://a.example/1'}"),
            {message("Hi", "there", none, addresses("https://a.example/1", std::nullopt))});
        row("websafe_uri only", j("{'title':'Hi','description':'there','websafe_uri':'https://w.example/1'}"),
            {message("Hi", "there", none, addresses(std::nullopt, "https://w.example/1"))});
        row("both addresses",
            j("{'websafe_uri':'https://w.example/','final_uri':'app://open','title':'Hi','description':'there'}"),
            {message("Hi", "there", none, addresses("app://open", "https://w.example/"))});
        row("icon address", j("{'title':'Hi','description':'there','iconpath':'http://i.example/a.png'}"),
            {message("Hi", "there", "http://i.example/a.png")});
        row("title missing", j("{'description':'there'}"), {message(none, "there")});
        row("description missing", j("{'title':'Hi'}"), {message("Hi", none)});
        row("keep-alive lines post nothing",
            j("{}\n{'type':'ping'}\n{'keepalive':true}\n{'title':'','description':'','iconpath':'x'}\n"
              "{'title':{'a':1},'description':[1,2]}"),
            {});
        row("empty strings are texts", j("{'title':'','description':'there','iconpath':''}"),
            {message("", "there", "")});
        row("escapes and characters beyond the basic plane",
            QString::fromUtf8("{\"title\":\"caf\\u00e9 \\ud83d\\ude00\",\"description\":\"Gr\xc3\xbc\xc3\x9f" "e\"}"),
            {message(QString::fromUtf8("caf\xc3\xa9 \xf0\x9f\x98\x80"), QString::fromUtf8("Gr\xc3\xbc\xc3\x9f" "e"))});
        row("other members are ignored", j("{'title':'Hi','description':'there','id':7,'extra':{'a':[1]}}"),
            {hiThere});
        row("null title skips only its line",
            "{\"title\":null,\"description\":\"x\"}\n{\"title\":\"Hi\",\"description\":\"there\"}", {hiThere});
        row("null description skips only its line",
            "{\"title\":\"x\",\"description\":null}\n{\"title\":\"Hi\",\"description\":\"there\"}", {hiThere});
        row("null title with addresses is still skipped", j("{'title':null,'final_uri':'https://a.example/'}"), {});
        row("text after the object", j("{'title':'a'} x"), {});
        row("half a line", "{\"title\":\"Hi\",\"descr", {});
        row("bare scalar", j("'just a string'"), {});
        row("invalid line costs only itself", "{nope}\n{\"title\":\"Hi\",\"description\":\"there\"}", {hiThere});
        row("array line is skipped", j("[{'title':'Hi','description':'there'}]"), {});
        row("number title is its JSON text", j("{'title':42,'description':-0.5}"), {message("42", "-0.5")});
        row("boolean title is its JSON text", j("{'title':true,'description':false}"), {message("true", "false")});
        row("object or array title is absent", j("{'title':{'a':1},'description':'there'}"), {message(none, "there")});
        row("icon address that is not a string means no icon", j("{'title':'Hi','description':'there','iconpath':5}"),
            {hiThere});
        row("null icon address means no icon", j("{'title':'Hi','description':'there','iconpath':null}"), {hiThere});
        row("null address keeps a context without it", j("{'title':'Hi','description':'there','final_uri':null}"),
            {message("Hi", "there", none, addresses(std::nullopt, std::nullopt))});
        row("address that is not a string is left out",
            j("{'title':'Hi','description':'there','final_uri':17,'websafe_uri':'https://w.example/'}"),
            {message("Hi", "there", none, addresses(std::nullopt, "https://w.example/"))});
        row("batched line in the stream form has nothing to show", j("{'messages':[{'title':'Hi'}],'cursor':'c'}"),
            {});
    }

    void streamLines()
    {
        QFETCH(QString, text);
        QTEST(describe(StreamMessageDecoder::messagesFromStream(text)), "expected");
    }

    void batchedLines_data()
    {
        addColumns();
        row("no text", QString(), {});
        row("messages in order with their cursors",
            j("{'messages':[{'title':'1','description':'a','cursor':'c1'},{'title':'2','cursor':'c2'}]}"),
            {message("1", "a", none, std::nullopt, "c1"), message("2", none, none, std::nullopt, "c2")});
        row("message without cursor", j("{'messages':[{'title':'Hi','description':'there'}]}"), {hiThere});
        row("icon address", j("{'messages':[{'title':'Hi','description':'there','iconpath':'data:x'}]}"),
            {message("Hi", "there", "data:x")});
        row("addresses are not read",
            j("{'messages':[{'title':'Hi','description':'there','final_uri':'https://a.example/'}]}"), {hiThere});
        row("null title skips the message and its cursor",
            j("{'messages':[{'title':null,'cursor':'skipped'},{'title':'Hi','description':'there','cursor':'kept'}]}"),
            {message("Hi", "there", none, std::nullopt, "kept")});
        row("null description skips the message", j("{'messages':[{'description':null,'cursor':'skipped'}]}"), {});
        row("keep-alive message posts nothing and leaves the cursor",
            j("{'messages':[{'cursor':'skipped'},{'title':'','description':''}]}"), {});
        row("cursor that is not a string is not taken",
            j("{'messages':[{'title':'Hi','description':'there','cursor':12}]}"), {hiThere});
        row("null cursor is not taken", j("{'messages':[{'title':'Hi','description':'there','cursor':null}]}"),
            {hiThere});
        row("element that is not an object is skipped",
            j("{'messages':['text',3,null,[1],{'title':'Hi','description':'there'}]}"), {hiThere});
        row("several lines", "{\"messages\":[{\"title\":\"1\"}]}\n{\"messages\":[{\"title\":\"2\"}]}",
            {message("1", none), message("2", none)});
        row("messages absent", j("{'title':'Hi','description':'there'}"), {});
        row("messages null", j("{'messages':null}"), {});
        row("messages an object", j("{'messages':{'title':'Hi'}}"), {});
        row("messages a string", j("{'messages':'Hi'}"), {});
        row("array line", j("[{'messages':[{'title':'Hi'}]}]"), {});
        row("invalid line costs only itself", "{\n{\"messages\":[{\"title\":\"Hi\",\"description\":\"there\"}]}",
            {hiThere});
    }

    void batchedLines()
    {
        QFETCH(QString, text);
        QTEST(describe(StreamMessageDecoder::messagesFromTornado(text)), "expected");
    }
};

QTEST_APPLESS_MAIN(StreamMessageDecoderTest)
#include "StreamMessageDecoderTest.moc"
