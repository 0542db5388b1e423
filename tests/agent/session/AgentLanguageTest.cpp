// SPDX-License-Identifier: MIT

#include "AgentFixture.h"
#include "PellixTestEnvironment.h"
#include "PrefsWindowController.h"
#include "TestStatusNotifierHost.h"
#include "session/AgentTranslations.h"

#include <QLabel>

using namespace Qt::StringLiterals;

// The agent in the user's language: the one the C library would choose for
// messages, and the agent's texts in it.
class AgentLanguageTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theLanguageIsTheOneMessagesAreIn_data()
    {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QStringList>("languages");
        QTest::newRow("LANGUAGE, then the locale") << QStringList{u"LANGUAGE=fr:de"_s, u"LANG=es_ES.UTF-8"_s}
                                                   << QStringList{u"fr"_s, u"de"_s, u"es_ES"_s};
        QTest::newRow("LC_ALL first") << QStringList{u"LC_ALL=de_DE.UTF-8@euro"_s, u"LC_MESSAGES=fr_FR"_s, u"LANG=es"_s}
                                      << QStringList{u"de_DE"_s};
        QTest::newRow("LC_MESSAGES before LANG") << QStringList{u"LC_MESSAGES=fr_FR"_s, u"LANG=es_ES"_s}
                                                 << QStringList{u"fr_FR"_s};
        QTest::newRow("C, whatever LANGUAGE says") << QStringList{u"LANGUAGE=de"_s, u"LC_ALL=C"_s} << QStringList();
        QTest::newRow("C.UTF-8") << QStringList{u"LANGUAGE=de"_s, u"LANG=C.UTF-8"_s} << QStringList();
        QTest::newRow("POSIX") << QStringList{u"LANG=POSIX"_s} << QStringList();
        QTest::newRow("nothing set") << QStringList() << QStringList();
    }

    void theLanguageIsTheOneMessagesAreIn()
    {
        QFETCH(QStringList, environment);
        QFETCH(QStringList, languages);
        QProcessEnvironment variables(QProcessEnvironment::InheritFromParent);
        variables.clear();
        for (const QString &variable : environment)
            variables.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
        QCOMPARE(AgentTranslations::languagesFrom(variables), languages);
    }

    // A language without a translation gives way to the next one. In German
    // the tray's menu (as a panel reads it), the state it tells and
    // Preferences are German; the state for the session bus stays English.
    void theAgentSpeaksTheFirstLanguageItHas()
    {
        QCOMPARE(AgentTranslations::install(*qApp, {u"pt_BR"_s, u"de_DE"_s}), u"de_DE"_s);
        TestStatusNotifierHost host;
        AgentFixture fixture;
        fixture.signIn(u"alice"_s, QString());
        fixture.start();
        QTRY_COMPARE(host.items.size(), 1);
        QStringList labels;
        for (const DBusMenuExporter::LayoutItem &entry : host.menu(host.items.constFirst()))
            labels << entry.properties.value(u"label"_s).toString();
        QCOMPARE(labels, (QStringList{u"Einstellungen"_s, u"Beenden"_s}));
        QCOMPARE(fixture.agent().statusItem()->toolTipBody(), u"Nicht angemeldet — Einstellungen öffnen"_s);
        QTRY_VERIFY(AgentFixture::preferencesShown());
        QCOMPARE(AgentFixture::preferences()->window()->findChild<QLabel *>(u"apikeyLabel"_s)->text(), u"API-&Schlüssel:"_s);
        QCOMPARE(fixture.agentStream().state().text(StreamState::Language::English), u"Not signed in — open Preferences"_s);
    }
};

PELLIX_TEST_MAIN(AgentLanguageTest)
#include "AgentLanguageTest.moc"
