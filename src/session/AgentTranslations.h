// SPDX-License-Identifier: MIT

#pragma once

#include <QProcessEnvironment>
#include <QStringList>

class QCoreApplication;

// The agent's texts in the user's language: its own translations and Qt's
// (the standard buttons), for the first of the user's languages that has
// them, else the English texts. The languages are those the C library would
// use for messages: the list in LANGUAGE, then the locale in LC_ALL,
// LC_MESSAGES or LANG, the first set; a C or POSIX locale, or none, keeps
// the English texts whatever LANGUAGE says.
class AgentTranslations
{
public:
    // Best first; empty: English.
    static QStringList languagesFrom(const QProcessEnvironment &environment);
    // The language whose translations were installed; empty when none were.
    static QString install(QCoreApplication &application,
                           const QStringList &languages = languagesFrom(QProcessEnvironment::systemEnvironment()));
};
