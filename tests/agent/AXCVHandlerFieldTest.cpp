#include "AXCVHandlerField.h"

#include <QClipboard>
#include <QtTest>

using namespace Qt::StringLiterals;

// The field sits in a real window beside a plain field; key events go to the
// field while the plain field has the focus.
class AXCVHandlerFieldTest : public QObject
{
    Q_OBJECT

    QWidget window;
    AXCVHandlerField *field = new AXCVHandlerField(&window);
    QLineEdit *plain = new QLineEdit(&window);

private slots:
    void initTestCase()
    {
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }

    // The event is offered to the field while the plain field has the focus:
    // asked directly, then delivered as a key press. The plain field holds
    // "text" (all of it selected where the row says so) and the clipboard
    // "pasted"; afterwards the row gives the plain field's text, its selection
    // and the clipboard. Only a changed one means the event was handled.
    void onlyTheExactShortcutActsOnTheFocusedField_data()
    {
        QTest::addColumn<bool>("selected");
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<QString>("characters");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("after");
        const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
        const QString untouched = u"text||pasted"_s;
        QTest::newRow("copy") << true << Qt::Key_C << u"c"_s << ctrl << u"text|text|text"_s;
        QTest::newRow("cut") << true << Qt::Key_X << u"x"_s << ctrl << u"||text"_s;
        QTest::newRow("paste") << false << Qt::Key_V << u"v"_s << ctrl << u"pastedtext||pasted"_s;
        QTest::newRow("select all") << false << Qt::Key_A << u"a"_s << ctrl << u"text|text|pasted"_s;
        QTest::newRow("paste as U+0016") << false << Qt::Key_V << u"\x16"_s << ctrl << u"pastedtext||pasted"_s;
        QTest::newRow("Ctrl+Shift+V") << false << Qt::Key_V << u"v"_s << (ctrl | Qt::ShiftModifier) << untouched;
        QTest::newRow("Ctrl+Alt+V") << false << Qt::Key_V << u"v"_s << (ctrl | Qt::AltModifier) << untouched;
        QTest::newRow("Ctrl+Meta+V") << false << Qt::Key_V << u"v"_s << (ctrl | Qt::MetaModifier) << untouched;
        QTest::newRow("keypad Ctrl+V") << false << Qt::Key_V << u"v"_s << (ctrl | Qt::KeypadModifier) << untouched;
        QTest::newRow("Meta+V") << false << Qt::Key_V << u"v"_s << Qt::KeyboardModifiers(Qt::MetaModifier) << untouched;
        QTest::newRow("v alone") << false << Qt::Key_V << u"v"_s << Qt::KeyboardModifiers() << untouched;
        QTest::newRow("upper-case characters") << false << Qt::Key_V << u"V"_s << ctrl << untouched;
        QTest::newRow("two characters") << false << Qt::Key_V << u"vv"_s << ctrl << untouched;
        QTest::newRow("no characters") << false << Qt::Key_V << QString() << ctrl << untouched;
        QTest::newRow("Ctrl+Z") << false << Qt::Key_Z << u"z"_s << ctrl << untouched;
    }

    void onlyTheExactShortcutActsOnTheFocusedField()
    {
        QFETCH(bool, selected);
        QFETCH(Qt::Key, key);
        QFETCH(QString, characters);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, after);
        for (const bool delivered : {false, true}) {
            plain->setText(u"text"_s);
            selected ? plain->selectAll() : plain->setCursorPosition(0);
            QGuiApplication::clipboard()->setText(u"pasted"_s);
            plain->setFocus();
            QKeyEvent event(QEvent::KeyPress, key, modifiers, characters);
            if (delivered)
                QCoreApplication::sendEvent(field, &event);
            else
                QCOMPARE(field->performKeyEquivalent(&event), after != u"text||pasted"_s);
            const QString clipboard = QGuiApplication::clipboard()->text();
            QCOMPARE(QStringList({plain->text(), plain->selectedText(), clipboard}).join(u'|'), after);
        }
    }
};

QTEST_MAIN(AXCVHandlerFieldTest)
#include "AXCVHandlerFieldTest.moc"
