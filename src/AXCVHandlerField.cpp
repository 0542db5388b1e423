// SPDX-License-Identifier: MIT

#include "AXCVHandlerField.h"

#include <QKeyEvent>
#include <QMetaObject>

#include <array>
#include <utility>

namespace {

// Control folds a letter into a control character (Ctrl+C arrives with the
// text U+0003 on X11 and Wayland); unfold it so the letter itself is compared.
QString charactersIgnoringModifiers(const QKeyEvent *event)
{
    const QString text = event->text();
    if (text.size() == 1) {
        const char16_t code = text.at(0).unicode();
        if (code >= 0x01 && code <= 0x1a)
            return QString(QChar(char16_t(u'a' + code - 1)));
    }
    return text;
}

// The slot of the edit action the event stands for, or none. Any modifier
// besides Control, the keypad flag included, rules the event out.
const char *editActionFor(const QKeyEvent *event)
{
    static constexpr std::array<std::pair<char16_t, const char *>, 4> actions{{
        {u'x', "cut"},
        {u'c', "copy"},
        {u'v', "paste"},
        {u'a', "selectAll"},
    }};
    if (event->modifiers() != Qt::ControlModifier)
        return nullptr;
    const QString characters = charactersIgnoringModifiers(event);
    if (characters.size() != 1)
        return nullptr;
    for (const auto &[character, action] : actions) {
        if (characters.at(0) == QChar(character))
            return action;
    }
    return nullptr;
}

}

AXCVHandlerField::AXCVHandlerField(QWidget *parent)
    : QLineEdit(parent)
{
}

bool AXCVHandlerField::performKeyEquivalent(QKeyEvent *event)
{
    const char *action = editActionFor(event);
    if (!action)
        return false;
    QWidget *target = window()->focusWidget();
    const QByteArray slot = QByteArray(action) + "()";
    if (!target || target->metaObject()->indexOfMethod(slot) < 0)
        return false;
    return QMetaObject::invokeMethod(target, action, Qt::DirectConnection);
}

// Claiming the four shortcuts before the shortcut map sees them makes sure
// the key press reaches keyPressEvent, whatever else the window binds to them.
bool AXCVHandlerField::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride && editActionFor(static_cast<QKeyEvent *>(event))) {
        event->accept();
        return true;
    }
    return QLineEdit::event(event);
}

void AXCVHandlerField::keyPressEvent(QKeyEvent *event)
{
    if (performKeyEquivalent(event)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
