#include "PellixTestEnvironment.h"

#include "PellixSettings.h"

#include <QFile>

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

// Changes the store still waits to write go to the file first, so that none
// of them outlives the clearing.
void PellixTestEnvironment::clearSettings()
{
    PellixSettings settings;
    settings.synchronize();
    QFile::remove(settings.fileName());
}
