#include "StreamLineReassembler.h"

#include <QtTest>

class StreamLineReassemblerTest : public QObject
{
    Q_OBJECT

private slots:
    // Bound 8 for the rows about overlong lines, the default for the others.
    void readsBecomeLines_data()
    {
        QTest::addColumn<QByteArrayList>("reads");
        QTest::addColumn<qsizetype>("bound");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::addColumn<QByteArray>("tail");
        const qsizetype normal = StreamLineReassembler::defaultMaximumLineLength;
        const auto row = [](const char *name, const QByteArrayList &reads, qsizetype bound, const QByteArrayList &lines,
                            const QByteArray &tail = {}) { QTest::newRow(name) << reads << bound << lines << tail; };
        row("one line", {"{\"a\":1}\n"}, normal, {"{\"a\":1}"});
        row("three lines in one read", {"one\ntwo\nthree\n"}, normal, {"one", "two", "three"});
        row("empty lines are kept", {"\n\nx\n"}, normal, {"", "", "x"});
        row("carriage return stays with its line", {"one\r\ntwo\r\n"}, normal, {"one\r", "two\r"});
        row("line in three reads", {"ab", "cd", "ef\n"}, normal, {"abcdef"});
        row("read with only a line feed ends the line", {"one", "\n", "two"}, normal, {"one"}, "two");
        row("empty reads change nothing", {"", "one", "", "\n", ""}, normal, {"one"});
        row("unfinished last line is the tail", {"one\ntw", "o"}, normal, {"one"}, "two");
        row("exactly the bound passes", {"12345678\n"}, 8, {"12345678"});
        row("split line of exactly the bound passes", {"1234", "5678\n"}, 8, {"12345678"});
        row("overlong complete line", {"123456789\nok\n"}, 8, {"ok"});
        row("overlong in one unfinished read", {"123456789", "more", "\nok\n"}, 8, {"ok"});
        row("grows past the bound over reads", {"12345", "6789", "abc\nok\n"}, 8, {"ok"});
        row("only the bound's last byte arrives with the line feed", {"12345678", "9\nok\n"}, 8, {"ok"});
        row("line before the overlong one survives", {"ok\n123456789", "\nfine\n"}, 8, {"ok", "fine"});
    }

    void readsBecomeLines()
    {
        QFETCH(QByteArrayList, reads);
        QFETCH(qsizetype, bound);
        StreamLineReassembler reassembler(bound);
        QByteArrayList received;
        for (const QByteArray &read : reads) {
            received += reassembler.takeLines(read);
            QVERIFY(reassembler.pendingSize() <= bound);
        }
        QTEST(received, "lines");
        QTEST(reassembler.finish().value_or(QByteArray()), "tail");
    }

    // Every cut, inside the two-, three- and four-byte characters and just
    // after the line feed included.
    void lineSplitAtEveryPosition()
    {
        const QByteArray line = "{\"title\":\"Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac \xf0\x9f\x98\x80\"}";
        const QByteArray stream = line + "\nnext\n";
        for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
            StreamLineReassembler reassembler;
            QByteArrayList received = reassembler.takeLines(stream.first(cut));
            received += reassembler.takeLines(stream.sliced(cut));
            QCOMPARE(received, (QByteArrayList{line, "next"}));
            QVERIFY(!reassembler.finish().has_value());
        }
    }

    // Each connection starts empty, after finish() and after reset().
    void finishAndResetLeaveAnEmptyStart()
    {
        StreamLineReassembler reassembler;
        reassembler.takeLines("partial");
        QCOMPARE(reassembler.finish(), std::optional<QByteArray>("partial"));
        QVERIFY(!reassembler.finish().has_value());
        QCOMPARE(reassembler.takeLines("fresh\n"), QByteArrayList{"fresh"});
        reassembler.takeLines("old connection's half line");
        reassembler.reset();
        QCOMPARE(reassembler.takeLines("new\n"), QByteArrayList{"new"});
    }

    void endlessLineStaysWithinTheDefaultBound()
    {
        StreamLineReassembler reassembler;
        const QByteArray piece(64 * 1024, 'x');
        for (int read = 0; read < 40; ++read) {
            QVERIFY(reassembler.takeLines(piece).isEmpty());
            QVERIFY(reassembler.pendingSize() <= StreamLineReassembler::defaultMaximumLineLength);
        }
        QVERIFY(!reassembler.finish().has_value());
    }
};

QTEST_APPLESS_MAIN(StreamLineReassemblerTest)
#include "StreamLineReassemblerTest.moc"
