// SPDX-License-Identifier: MIT

#include "AgentFixture.h"
#include "session/AgentInstance.h"
#include "PellixTestEnvironment.h"
#include "TestStatusNotifierHost.h"
#include "WestonSession.h"

#include <QProcess>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {
// The agent's windows a user would see: every top-level widget shown.
QStringList shownWindows()
{
    QStringList shown;
    for (const QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible())
            shown.append(widget->objectName().isEmpty() ? widget->metaObject()->className() : widget->objectName());
    }
    return shown;
}

// The activation token in the environment when the preferences window shows.
struct TokenAtShowing : QObject
{
    TokenAtShowing() { qApp->installEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->objectName() == u"PrefsWindow"_s)
            tokens.append(qEnvironmentVariable("XDG_ACTIVATION_TOKEN"));
        return false;
    }
    QStringList tokens;
};
}

// The agent on a real Wayland compositor (weston, headless) with a
// StatusNotifierItem host on the session bus: a click on its item, which
// cannot pop a menu up at the pointer there, opens its one window and
// nothing else; so does a second start.
class WaylandSessionTest : public QObject
{
    Q_OBJECT

    TestStatusNotifierHost host;
    AgentFixture fixture;

private Q_SLOTS:
    // Plasma hands the item an activation token just before the click; the
    // window is raised with it. A second start, answered by this process's
    // event loop, shows the window as well, raised with the launcher's token.
    void clicksAndASecondStartOpenOnlyThePreferences()
    {
        AgentInstance instance(fixture.create(fixture.options()));
        QCOMPARE(instance.claim(), AgentInstance::Claim::Owned);
        fixture.agent().applicationDidFinishLaunching();
        QTRY_COMPARE(host.items.size(), 1);
        QVERIFY(shownWindows().isEmpty());
        const TokenAtShowing showing;
        const QString item = host.items.constFirst();
        for (const QString &method : {u"Activate"_s, u"ContextMenu"_s}) {
            QVERIFY(host.callItem(item, u"ProvideXdgActivationToken"_s, {QString(method + u"-token"_s)}));
            QVERIFY(host.callItem(item, method, {100, 0}));
            QTRY_COMPARE(shownWindows(), QStringList{u"PrefsWindow"_s});
            for (QWidget *widget : QApplication::topLevelWidgets())
                widget->hide();
        }
        QCOMPARE(showing.tokens, (QStringList{u"Activate-token"_s, u"ContextMenu-token"_s}));
        QVERIFY(!qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN"));

        QProcess second;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_ACTIVATION_TOKEN"_s, u"launcher-token"_s);
        second.setProcessEnvironment(environment);
        second.start(QStringLiteral(PELLIX_GROWL_EXECUTABLE));
        QVERIFY(QTest::qWaitFor([&second] { return second.state() == QProcess::NotRunning; }, 20000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(shownWindows(), QStringList{u"PrefsWindow"_s});
        QCOMPARE(showing.tokens.constLast(), u"launcher-token"_s);
    }
};

// The compositor comes before the application object and ends after it: a
// Wayland client ends its process when its compositor goes away.
int main(int argc, char *argv[])
{
    PellixTestEnvironment environment;
    const WestonSession weston;
    if (!weston.isReady()) {
        std::fputs("weston did not start\n", stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    WaylandSessionTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WaylandSessionTest.moc"
