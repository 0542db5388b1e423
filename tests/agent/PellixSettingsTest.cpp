#include "PellixSettings.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class PellixSettingsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir config;

    static QFile::Permissions groupOrOthers(const QString &path)
    {
        return QFile::permissions(path) & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                            | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    }

private slots:
    void init()
    {
        QVERIFY(config.isValid());
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        QFile::remove(PellixSettings().fileName());
    }

    void missingValuesReadAsNone()
    {
        const PellixSettings settings;
        QVERIFY(settings.username().isNull());
        QVERIFY(settings.apikey().isNull());
        QCOMPARE(settings.bwmenuicon(), 0);
        QVERIFY(!settings.notificationTypesArray().has_value());
    }

    void valuesSurviveANewStore()
    {
        {
            PellixSettings settings;
            settings.setUsername(QStringLiteral("Alice"));
            settings.setApikey(QStringLiteral("kéy"));
            settings.setBwmenuicon(1);
            settings.setNotificationTypesArray({QStringLiteral("Generic"), QStringLiteral("Pellix")});
            settings.synchronize();
        }
        const PellixSettings settings;
        QCOMPARE(settings.username(), QStringLiteral("Alice"));
        QCOMPARE(settings.apikey(), QStringLiteral("kéy"));
        QCOMPARE(settings.bwmenuicon(), 1);
        QCOMPARE(settings.notificationTypesArray(),
                 std::optional<QStringList>({QStringLiteral("Generic"), QStringLiteral("Pellix")}));
        QCOMPARE(settings.fileName(), config.path() + QStringLiteral("/Pellix/PellixGrowl.conf"));
    }

    void fileIsCreatedOwnerOnly()
    {
        PellixSettings settings;
        settings.setApikey(QStringLiteral("secret"));
        settings.synchronize();
        QCOMPARE(groupOrOthers(settings.fileName()), QFile::Permissions());
    }

    void looserFileIsCorrected()
    {
        const QString path = PellixSettings().fileName();
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        const PellixSettings settings;
        QCOMPARE(groupOrOthers(path), QFile::Permissions());
    }

    void readOnlyFileStaysReadOnlyWhenOthersLoseAccess()
    {
        const QString path = PellixSettings().fileName();
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        const PellixSettings settings;
        QCOMPARE(QFile::permissions(path) & (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther),
                 QFile::ReadOwner);
    }
};

QTEST_GUILESS_MAIN(PellixSettingsTest)
#include "PellixSettingsTest.moc"
