// SPDX-License-Identifier: MIT

#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

// Turns SIGTERM, SIGINT and SIGHUP (logout, Ctrl-C, a service manager
// stopping the agent) into a Qt signal delivered on the event loop, where
// ending the agent properly is safe. One instance per process.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    void received();

private:
    void drain();

    std::unique_ptr<QSocketNotifier> notifier;
};
