#include "AXCVHandlerField.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QtTest>

using namespace Qt::StringLiterals;

// The field under test sits in a real window beside a plain field, a masked
// field and a checkbox; key events are sent to it while any of them has focus.
class AXCVHandlerFieldTest : public QObject
{
    Q_OBJECT

    QWidget window;
    AXCVHandlerField *handler = nullptr;
    QLineEdit *plain = nullptr;
    QCheckBox *checkbox = nullptr;

    void focusOn(QWidget *control)
    {
        control->setFocus();
        QCOMPARE(QApplication::focusWidget(), control);
    }

    static QClipboard *clipboard() { return QGuiApplication::clipboard(); }

private slots:
    void initTestCase()
    {
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(handler = new AXCVHandlerField);
        layout->addWidget(plain = new QLineEdit);
        auto *masked = new QLineEdit;
        layout->addWidget(masked);
        layout->addWidget(checkbox = new QCheckBox(u"Box"_s));
        handler->setObjectName(u"handler"_s);
        plain->setObjectName(u"plain"_s);
        masked->setObjectName(u"masked"_s);
        masked->setEchoMode(QLineEdit::Password);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }

    void init()
    {
        for (QLineEdit *field : window.findChildren<QLineEdit *>())
            field->clear();
        handler->setText(u"handler"_s);
        clipboard()->clear();
    }

    // Real key delivery: the event goes to the handler field, the action to
    // whichever control has the focus.
    void shortcutActsOnTheFocusedControl_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<char>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QString>("clipboardBefore");
        QTest::addColumn<QString>("textAfter");
        QTest::addColumn<QString>("selectionAfter");
        QTest::addColumn<QString>("clipboardAfter");

        QTest::newRow("copy in the field itself")
            << "handler" << 'c' << "Alice" << true << "" << "Alice" << "Alice" << "Alice";
        QTest::newRow("cut from another field") << "plain" << 'x' << "secret" << true << "" << "" << "" << "secret";
        QTest::newRow("copy from another field")
            << "plain" << 'c' << "server" << true << "" << "server" << "server" << "server";
        QTest::newRow("paste into another field")
            << "plain" << 'v' << "" << false << "pasted" << "pasted" << "" << "pasted";
        QTest::newRow("paste into the masked field")
            << "masked" << 'v' << "" << false << "key-123" << "key-123" << "" << "key-123";
        QTest::newRow("select all in another field") << "plain" << 'a' << "abc" << false << "" << "abc" << "abc" << "";
        QTest::newRow("the masked field does not give its text away")
            << "masked" << 'c' << "hunter2" << true << "before" << "hunter2" << "hunter2" << "before";
    }

    void shortcutActsOnTheFocusedControl()
    {
        QFETCH(QString, focus);
        QFETCH(char, key);
        QFETCH(QString, text);
        QFETCH(bool, selected);
        QFETCH(QString, clipboardBefore);
        QLineEdit *target = window.findChild<QLineEdit *>(focus);
        target->setText(text);
        if (selected)
            target->selectAll();
        else
            target->deselect();
        clipboard()->setText(clipboardBefore);
        focusOn(target);

        QTest::keyClick(handler, key, Qt::ControlModifier);

        QTEST(target->text(), "textAfter");
        QTEST(target->selectedText(), "selectionAfter");
        QTEST(clipboard()->text(), "clipboardAfter");
        if (target != handler)
            QCOMPARE(handler->text(), u"handler"_s);
    }

    // Every row sends Control-like "v" events to the handler field while the
    // plain field has the focus: only the exact shortcut pastes there.
    void onlyTheExactShortcutIsHandled_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<bool>("performed");

        const Qt::KeyboardModifiers control = Qt::ControlModifier;
        QTest::newRow("Ctrl+V") << int(Qt::Key_V) << "v" << control << true;
        QTest::newRow("Ctrl+V as a control character") << int(Qt::Key_V) << "\x16" << control << true;
        QTest::newRow("Ctrl+Shift+V") << int(Qt::Key_V) << "v" << (control | Qt::ShiftModifier) << false;
        QTest::newRow("Ctrl+Alt+V") << int(Qt::Key_V) << "v" << (control | Qt::AltModifier) << false;
        QTest::newRow("Ctrl+Meta+V") << int(Qt::Key_V) << "v" << (control | Qt::MetaModifier) << false;
        QTest::newRow("Ctrl+V on the keypad") << int(Qt::Key_V) << "v" << (control | Qt::KeypadModifier) << false;
        QTest::newRow("Meta+V") << int(Qt::Key_V) << "v" << Qt::KeyboardModifiers(Qt::MetaModifier) << false;
        QTest::newRow("v alone") << int(Qt::Key_V) << "v" << Qt::KeyboardModifiers() << false;
        QTest::newRow("upper-case text") << int(Qt::Key_V) << "V" << control << false;
        QTest::newRow("two characters") << int(Qt::Key_V) << "vv" << control << false;
        QTest::newRow("no text") << int(Qt::Key_V) << "" << control << false;
        QTest::newRow("Ctrl+Z") << int(Qt::Key_Z) << "z" << control << false;
    }

    // Asked directly, then delivered as a real key press.
    void onlyTheExactShortcutIsHandled()
    {
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(bool, performed);
        clipboard()->setText(u"pasted"_s);
        focusOn(plain);
        for (bool delivered : {false, true}) {
            plain->setText(u"keep"_s);
            plain->setCursorPosition(0);
            QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
            if (delivered)
                QApplication::sendEvent(handler, &event);
            else
                QCOMPARE(handler->performKeyEquivalent(&event), performed);
            QCOMPARE(plain->text(), performed ? u"pastedkeep"_s : u"keep"_s);
        }
        QCOMPARE(clipboard()->text(), u"pasted"_s);
    }

    // A focused control that has no such action answers no, and the key press
    // then falls to the field's own line-edit handling.
    void focusedControlWithoutTheActionAnswersNo()
    {
        focusOn(checkbox);
        QKeyEvent asked(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, u"a"_s);
        QVERIFY(!handler->performKeyEquivalent(&asked));

        handler->deselect();
        QTest::keyClick(handler, 'a', Qt::ControlModifier);
        QCOMPARE(handler->selectedText(), u"handler"_s);
        QVERIFY(checkbox->hasFocus());
    }
};

QTEST_MAIN(AXCVHandlerFieldTest)
#include "AXCVHandlerFieldTest.moc"
