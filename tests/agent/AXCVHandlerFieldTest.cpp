#include "AXCVHandlerField.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QtTest>

// The field under test sits in a real window beside a plain field, a masked
// field and a checkbox; key events are sent to it while any of them has focus.
class AXCVHandlerFieldTest : public QObject
{
    Q_OBJECT

public:
    enum class Focus { Handler, Plain, Masked, Checkbox };
    Q_ENUM(Focus)

private:
    QWidget window;
    AXCVHandlerField *handler = nullptr;
    QLineEdit *plain = nullptr;
    QLineEdit *masked = nullptr;
    QCheckBox *checkbox = nullptr;

    QWidget *control(Focus focus) const
    {
        switch (focus) {
        case Focus::Handler: return handler;
        case Focus::Plain: return plain;
        case Focus::Masked: return masked;
        case Focus::Checkbox: return checkbox;
        }
        return nullptr;
    }

    QLineEdit *field(Focus focus) const { return qobject_cast<QLineEdit *>(control(focus)); }

    void focusOn(Focus focus)
    {
        control(focus)->setFocus();
        QCOMPARE(QApplication::focusWidget(), control(focus));
    }

    static void setClipboard(const QString &text) { QGuiApplication::clipboard()->setText(text); }
    static QString clipboard() { return QGuiApplication::clipboard()->text(); }

private slots:
    void initTestCase()
    {
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(handler = new AXCVHandlerField);
        layout->addWidget(plain = new QLineEdit);
        layout->addWidget(masked = new QLineEdit);
        layout->addWidget(checkbox = new QCheckBox(QStringLiteral("Box")));
        masked->setEchoMode(QLineEdit::Password);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }

    void init()
    {
        handler->setText(QStringLiteral("handler"));
        plain->clear();
        masked->clear();
        setClipboard(QString());
    }

    // Real key delivery: the event goes to the handler field, the action to
    // whichever control has the focus.
    void shortcutActsOnTheFocusedControl_data()
    {
        QTest::addColumn<Focus>("focus");
        QTest::addColumn<char>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QString>("clipboardBefore");
        QTest::addColumn<QString>("textAfter");
        QTest::addColumn<QString>("selectionAfter");
        QTest::addColumn<QString>("clipboardAfter");

        QTest::newRow("copy in the field itself")
            << Focus::Handler << 'c' << "Alice" << true << "" << "Alice" << "Alice" << "Alice";
        QTest::newRow("cut from another field")
            << Focus::Plain << 'x' << "secret" << true << "" << "" << "" << "secret";
        QTest::newRow("copy from another field")
            << Focus::Plain << 'c' << "server" << true << "" << "server" << "server" << "server";
        QTest::newRow("paste into another field")
            << Focus::Plain << 'v' << "" << false << "pasted" << "pasted" << "" << "pasted";
        QTest::newRow("paste into the masked field")
            << Focus::Masked << 'v' << "" << false << "key-123" << "key-123" << "" << "key-123";
        QTest::newRow("select all in another field")
            << Focus::Plain << 'a' << "abc" << false << "" << "abc" << "abc" << "";
        QTest::newRow("the masked field does not give its text away")
            << Focus::Masked << 'c' << "hunter2" << true << "before" << "hunter2" << "hunter2" << "before";
    }

    void shortcutActsOnTheFocusedControl()
    {
        QFETCH(Focus, focus);
        QFETCH(char, key);
        QFETCH(QString, text);
        QFETCH(bool, selected);
        QFETCH(QString, clipboardBefore);
        QLineEdit *target = field(focus);
        target->setText(text);
        if (selected)
            target->selectAll();
        else
            target->deselect();
        setClipboard(clipboardBefore);
        focusOn(focus);

        QTest::keyClick(handler, key, Qt::ControlModifier);

        QTEST(target->text(), "textAfter");
        QTEST(target->selectedText(), "selectionAfter");
        QTEST(clipboard(), "clipboardAfter");
        if (target != handler)
            QCOMPARE(handler->text(), QStringLiteral("handler"));
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

    void onlyTheExactShortcutIsHandled()
    {
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(bool, performed);
        plain->setText(QStringLiteral("keep"));
        plain->deselect();
        plain->setCursorPosition(0);
        setClipboard(QStringLiteral("pasted"));
        focusOn(Focus::Plain);

        QKeyEvent asked(QEvent::KeyPress, key, modifiers, text);
        QCOMPARE(handler->performKeyEquivalent(&asked), performed);
        QCOMPARE(plain->text(), performed ? QStringLiteral("pastedkeep") : QStringLiteral("keep"));

        plain->setText(QStringLiteral("keep"));
        plain->setCursorPosition(0);
        QKeyEvent delivered(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(handler, &delivered);
        QCOMPARE(plain->text(), performed ? QStringLiteral("pastedkeep") : QStringLiteral("keep"));
        QCOMPARE(clipboard(), QStringLiteral("pasted"));
    }

    // A focused control that has no such action answers no, and the key press
    // then falls to the field's own line-edit handling.
    void focusedControlWithoutTheActionAnswersNo()
    {
        focusOn(Focus::Checkbox);
        QKeyEvent asked(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, QStringLiteral("a"));
        QVERIFY(!handler->performKeyEquivalent(&asked));

        handler->deselect();
        QTest::keyClick(handler, 'a', Qt::ControlModifier);
        QCOMPARE(handler->selectedText(), QStringLiteral("handler"));
        QVERIFY(checkbox->hasFocus());
    }
};

QTEST_MAIN(AXCVHandlerFieldTest)
#include "AXCVHandlerFieldTest.moc"
