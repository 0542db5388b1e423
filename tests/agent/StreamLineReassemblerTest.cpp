#include "StreamLineReassembler.h"

#include <QtTest>

class StreamLineReassemblerTest : public QObject
{
    Q_OBJECT

private slots:
    void readsBecomeLines_data()
    {
        QTest::addColumn<QByteArrayList>("reads");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::addColumn<QByteArray>("tail");

        QTest::newRow("one line") << QByteArrayList{"{\"a\":1}\n"} << QByteArrayList{"{\"a\":1}"} << QByteArray();
        QTest::newRow("three lines in one read")
            << QByteArrayList{"one\ntwo\nthree\n"} << QByteArrayList{"one", "two", "three"} << QByteArray();
        QTest::newRow("empty lines are kept")
            << QByteArrayList{"\n\nx\n"} << QByteArrayList{"", "", "x"} << QByteArray();
        QTest::newRow("carriage return stays with its line")
            << QByteArrayList{"one\r\ntwo\r\n"} << QByteArrayList{"one\r", "two\r"} << QByteArray();
        QTest::newRow("line in three reads")
            << QByteArrayList{"ab", "cd", "ef\n"} << QByteArrayList{"abcdef"} << QByteArray();
        QTest::newRow("read ends after line feed, next starts a line")
            << QByteArrayList{"one\n", "two\n"} << QByteArrayList{"one", "two"} << QByteArray();
        QTest::newRow("read with only a line feed ends the line")
            << QByteArrayList{"one", "\n", "two"} << QByteArrayList{"one"} << QByteArray("two");
        QTest::newRow("empty reads change nothing")
            << QByteArrayList{"", "one", "", "\n", ""} << QByteArrayList{"one"} << QByteArray();
        QTest::newRow("split inside a multi-byte character")
            << QByteArrayList{"caf\xc3", "\xa9\n"} << QByteArrayList{"caf\xc3\xa9"} << QByteArray();
        QTest::newRow("unfinished last line is the tail")
            << QByteArrayList{"one\ntw", "o"} << QByteArrayList{"one"} << QByteArray("two");
    }

    void readsBecomeLines()
    {
        QFETCH(QByteArrayList, reads);
        QFETCH(QByteArrayList, lines);
        QFETCH(QByteArray, tail);

        StreamLineReassembler reassembler;
        QByteArrayList received;
        for (const QByteArray &read : reads)
            received += reassembler.takeLines(read);
        QCOMPARE(received, lines);
        QCOMPARE(reassembler.finish().value_or(QByteArray()), tail);
    }

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

    void finishLeavesAnEmptyStart()
    {
        StreamLineReassembler reassembler;
        reassembler.takeLines("partial");
        QCOMPARE(reassembler.finish(), std::optional<QByteArray>("partial"));
        QVERIFY(!reassembler.finish().has_value());
        QCOMPARE(reassembler.takeLines("fresh\n"), QByteArrayList{"fresh"});
    }

    void resetForgetsTheTail()
    {
        StreamLineReassembler reassembler;
        reassembler.takeLines("old connection's half line");
        reassembler.reset();
        QCOMPARE(reassembler.takeLines("new\n"), QByteArrayList{"new"});
    }

    void overlongLinesAreDropped_data()
    {
        QTest::addColumn<QByteArrayList>("reads");
        QTest::addColumn<QByteArrayList>("lines");

        QTest::newRow("exactly the bound passes") << QByteArrayList{"12345678\n"} << QByteArrayList{"12345678"};
        QTest::newRow("split line of exactly the bound passes")
            << QByteArrayList{"1234", "5678\n"} << QByteArrayList{"12345678"};
        QTest::newRow("overlong complete line") << QByteArrayList{"123456789\nok\n"} << QByteArrayList{"ok"};
        QTest::newRow("overlong in one unfinished read")
            << QByteArrayList{"123456789", "more", "\nok\n"} << QByteArrayList{"ok"};
        QTest::newRow("grows past the bound over reads")
            << QByteArrayList{"12345", "6789", "abc\nok\n"} << QByteArrayList{"ok"};
        QTest::newRow("only the bound's last byte arrives with the line feed")
            << QByteArrayList{"12345678", "9\nok\n"} << QByteArrayList{"ok"};
        QTest::newRow("line before the overlong one survives")
            << QByteArrayList{"ok\n123456789", "\nfine\n"} << QByteArrayList{"ok", "fine"};
    }

    void overlongLinesAreDropped()
    {
        QFETCH(QByteArrayList, reads);
        QFETCH(QByteArrayList, lines);

        StreamLineReassembler reassembler(8);
        QByteArrayList received;
        for (const QByteArray &read : reads) {
            received += reassembler.takeLines(read);
            QVERIFY(reassembler.pendingSize() <= 8);
        }
        QCOMPARE(received, lines);
    }

    void endlessLineStaysWithinTheBound()
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
