#include "AXCVHandlerField.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QtTest>

using namespace Qt::StringLiterals;

// The field sits in a real window beside a plain field; key events go to it
// while either has the focus.
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
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }

    // The event is offered to the field while the field itself or the plain
    // field has the focus: asked directly, then delivered as a key press. The
    // focused field holds "text" (all of it selected where the row says so)
    // and the clipboard "pasted"; afterwards the row gives the focused field's
    // text, its selection and the clipboard.
    void onlyTheExactShortcutActsOnTheFocusedField_data()
    {
        QTest::addColumn<bool>("inTheFieldItself");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("characters");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<bool>("performed");
        QTest::addColumn<QString>("after");
        const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
        const QString untouched = u"text||pasted"_s;
        const auto row = [](const char *name, bool inTheField, bool selected, int key, const QString &characters,
                            Qt::KeyboardModifiers modifiers, const QString &after) {
            QTest::newRow(name) << inTheField << selected << key << characters << modifiers << (after != u"text||pasted"_s)
                                << after;
        };
        row("copy in the field itself", true, true, Qt::Key_C, u"c"_s, ctrl, u"text|text|text"_s);
        row("cut", false, true, Qt::Key_X, u"x"_s, ctrl, u"||text"_s);
        row("paste", false, false, Qt::Key_V, u"v"_s, ctrl, u"pastedtext||pasted"_s);
        row("select all", false, false, Qt::Key_A, u"a"_s, ctrl, u"text|text|pasted"_s);
        row("paste as a control character", false, false, Qt::Key_V, u"\x16"_s, ctrl, u"pastedtext||pasted"_s);
        row("Ctrl+Shift+V", false, false, Qt::Key_V, u"v"_s, ctrl | Qt::ShiftModifier, untouched);
        row("Ctrl+Alt+V", false, false, Qt::Key_V, u"v"_s, ctrl | Qt::AltModifier, untouched);
        row("Ctrl+Meta+V", false, false, Qt::Key_V, u"v"_s, ctrl | Qt::MetaModifier, untouched);
        row("Ctrl+V on the keypad", false, false, Qt::Key_V, u"v"_s, ctrl | Qt::KeypadModifier, untouched);
        row("Meta+V", false, false, Qt::Key_V, u"v"_s, Qt::MetaModifier, untouched);
        row("v alone", false, false, Qt::Key_V, u"v"_s, {}, untouched);
        row("upper-case characters", false, false, Qt::Key_V, u"V"_s, ctrl, untouched);
        row("two characters", false, false, Qt::Key_V, u"vv"_s, ctrl, untouched);
        row("no characters", false, false, Qt::Key_V, QString(), ctrl, untouched);
        row("Ctrl+Z", false, false, Qt::Key_Z, u"z"_s, ctrl, untouched);
    }

    void onlyTheExactShortcutActsOnTheFocusedField()
    {
        QFETCH(bool, inTheFieldItself);
        QFETCH(bool, selected);
        QFETCH(int, key);
        QFETCH(QString, characters);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QLineEdit *focused = inTheFieldItself ? field : plain;
        for (const bool delivered : {false, true}) {
            focused->setText(u"text"_s);
            selected ? focused->selectAll() : focused->setCursorPosition(0);
            QGuiApplication::clipboard()->setText(u"pasted"_s);
            focused->setFocus();
            QKeyEvent event(QEvent::KeyPress, key, modifiers, characters);
            if (delivered)
                QApplication::sendEvent(field, &event);
            else
                QTEST(field->performKeyEquivalent(&event), "performed");
            const QString clipboard = QGuiApplication::clipboard()->text();
            QTEST(QStringList({focused->text(), focused->selectedText(), clipboard}).join(u'|'), "after");
        }
    }
};

QTEST_MAIN(AXCVHandlerFieldTest)
#include "AXCVHandlerFieldTest.moc"
