#pragma once

#include <QObject>
#include <QString>

class QWidget;

// Runs the one preferences window of the run. Until the window has its
// controls it is a plain titled window.
class PrefsWindowController : public QObject
{
    Q_OBJECT

public:
    // The one shared controller; created on first use, kept for the whole run.
    static PrefsWindowController *initWithWindowNibName(const QString &windowNibName);

    void showWindow(QObject *sender);
    // The loaded window, or none before the first showing.
    QWidget *window() const;

private:
    explicit PrefsWindowController(const QString &windowNibName);

    QString windowNibName;
    QWidget *loadedWindow = nullptr;
};
