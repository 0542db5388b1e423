#include "PellixTestEnvironment.h"

#include <QSettings>

#include <cstdlib>

PellixTestEnvironment::PellixTestEnvironment()
{
    if (!config.isValid()) {
        std::fprintf(stderr, "PellixTestEnvironment: no temporary settings folder\n");
        std::abort();
    }
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void PellixTestEnvironment::clearSettings()
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Pellix"),
                       QStringLiteral("PellixGrowl"));
    settings.clear();
    settings.sync();
}
