// SPDX-License-Identifier: MIT

#pragma once

#include "PrivateSessionBus.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

// Everything an agent test process gets before its application object: its
// own session bus, its own settings folder (XDG_CONFIG_HOME) and, unless the
// caller chose a platform, Qt's offscreen platform.
class PellixTestEnvironment
{
public:
    PellixTestEnvironment()
    {
        if (!config.isValid())
            qFatal("PellixTestEnvironment: no temporary settings folder");
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }

private:
    PrivateSessionBus bus;
    QTemporaryDir config;
};

// main() of an agent test: the environment above, a QApplication that stays
// up when windows close, then the Qt Test run of TestClass.
#define PELLIX_TEST_MAIN(TestClass)                                                                                 \
    int main(int argc, char *argv[])                                                                                \
    {                                                                                                               \
        PellixTestEnvironment environment;                                                                          \
        QApplication application(argc, argv);                                                                       \
        QApplication::setQuitOnLastWindowClosed(false);                                                             \
        TestClass test;                                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                  \
        return QTest::qExec(&test, argc, argv);                                                                     \
    }
