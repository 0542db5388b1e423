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
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("languages");
        QTest::newRow("LANGUAGE, then the locale") << u"LANGUAGE=fr:de LANG=es_ES.UTF-8"_s << u"fr de es_ES"_s;
        QTest::newRow("LC_ALL first") << u"LC_ALL=de_DE.UTF-8@euro LC_MESSAGES=fr_FR LANG=es"_s << u"de_DE"_s;
        QTest::newRow("LC_MESSAGES before LANG") << u"LC_MESSAGES=fr_FR LANG=es_ES"_s << u"fr_FR"_s;
        QTest::newRow("C, whatever LANGUAGE says") << u"LANGUAGE=de LC_ALL=C"_s << QString();
        QTest::newRow("C.UTF-8") << u"LANGUAGE=de LANG=C.UTF-8"_s << QString();
        QTest::newRow("POSIX") << u"LANG=POSIX"_s << QString();
        QTest::newRow("nothing set") << QString() << QString();
    }

    void theLanguageIsTheOneMessagesAreIn()
    {
        QFETCH(QString, environment);
        QFETCH(QString, languages);
        QProcessEnvironment variables;
        for (const QString &variable : environment.split(u' ', Qt::SkipEmptyParts))
            variables.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
        QCOMPARE(AgentTranslations::languagesFrom(variables), languages.split(u' ', Qt::SkipEmptyParts));
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
        const QList<DBusMenuExporter::LayoutItem> menu = host.menu(host.items.constFirst());
        QCOMPARE(menu.value(0).properties.value(u"label"_s), QVariant(u"Einstellungen"_s));
        QCOMPARE(menu.value(1).properties.value(u"label"_s), QVariant(u"Beenden"_s));
        QCOMPARE(fixture.agent().statusItem()->toolTipBody(), u"Nicht angemeldet — Einstellungen öffnen"_s);
        QTRY_VERIFY(AgentFixture::preferencesShown());
        QCOMPARE(AgentFixture::preferences()->window()->findChild<QLabel *>(u"apikeyLabel"_s)->text(), u"API-&Schlüssel:"_s);
        QCOMPARE(fixture.agentStream().state().text(StreamState::Language::English), u"Not signed in — open Preferences"_s);
    }
};

PELLIX_TEST_MAIN(AgentLanguageTest)
#include "AgentLanguageTest.moc"
