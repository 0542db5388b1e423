// SPDX-License-Identifier: MIT

#pragma once

#include <QLineEdit>

class QKeyEvent;

// A line edit that supplies its whole window with the edit shortcuts Ctrl+X,
// Ctrl+C, Ctrl+V and Ctrl+A: the action goes to whichever control of the
// window has the keyboard focus, which need not be this field. The agent has
// no menu bar that could carry these shortcuts instead.
class AXCVHandlerField : public QLineEdit
{
    Q_OBJECT

public:
    explicit AXCVHandlerField(QWidget *parent = nullptr);

    // Sends cut, copy, paste or select-all to the focused control of the
    // window when the event is exactly Control with "x", "c", "v" or "a", and
    // answers whether that control performed it. Any other event is left to
    // the inherited handling (false).
    bool performKeyEquivalent(QKeyEvent *event);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};
