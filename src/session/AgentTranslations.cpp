// SPDX-License-Identifier: MIT

#include "AgentTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QStringList AgentTranslations::languagesFrom(const QProcessEnvironment &environment)
{
    QString messages;
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        messages = environment.value(QString::fromLatin1(variable));
        if (!messages.isEmpty())
            break;
    }
    // "de_DE.UTF-8@euro": the language and country.
    const QString locale = messages.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    if (locale.isEmpty() || locale == QLatin1String("C") || locale == QLatin1String("POSIX"))
        return {};
    QStringList languages = environment.value(QStringLiteral("LANGUAGE")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    languages.append(locale);
    return languages;
}

// The file for "de_DE" is looked for as pellix_de_DE, then pellix_de.
QString AgentTranslations::install(QCoreApplication &application, const QStringList &languages)
{
    for (const QString &language : languages) {
        auto *own = new QTranslator(&application);
        if (!own->load(QStringLiteral("pellix_") + language, QStringLiteral(":/i18n"))) {
            delete own;
            continue;
        }
        QCoreApplication::installTranslator(own);
        auto *qt = new QTranslator(&application);
        if (qt->load(QStringLiteral("qtbase_") + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(qt);
        else
            delete qt;
        return language;
    }
    return {};
}
