// SPDX-License-Identifier: MIT

#include "DemoStreamService.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <chrono>
#include <optional>

namespace {
std::optional<uint> numberOption(const QCommandLineParser &parser, const QString &name, uint lowest, uint highest)
{
    bool valid = false;
    const uint value = parser.value(name).toUInt(&valid);
    if (!valid || value < lowest || value > highest)
        return std::nullopt;
    return value;
}

int refuse(const QString &message)
{
    QTextStream(stderr) << "pellix-demo-stream: " << message << Qt::endl;
    return 2;
}
}

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pellix-demo-stream"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Serves a demo Pellix notification stream on 127.0.0.1 for any user, with a sample notification every few "
        "seconds. Point the agent's streamhost setting at 127.0.0.1:PORT."));
    parser.addHelpOption();
    parser.addOption({{QStringLiteral("p"), QStringLiteral("port")}, QStringLiteral("Port to listen on (0: any)."),
                      QStringLiteral("port"), QStringLiteral("8765")});
    parser.addOption({{QStringLiteral("i"), QStringLiteral("interval")},
                      QStringLiteral("Seconds between notifications (1 to 3600)."), QStringLiteral("seconds"),
                      QStringLiteral("4")});
    parser.process(application);
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    const std::optional<uint> port = numberOption(parser, QStringLiteral("port"), 0, 65535);
    if (!port)
        return refuse(QStringLiteral("the port must be a number from 0 to 65535"));
    const std::optional<uint> interval = numberOption(parser, QStringLiteral("interval"), 1, 3600);
    if (!interval)
        return refuse(QStringLiteral("the interval must be a number of seconds from 1 to 3600"));

    DemoStreamService service{std::chrono::seconds(*interval)};
    if (!service.listen(quint16(*port))) {
        QTextStream(stderr) << "pellix-demo-stream: cannot listen on 127.0.0.1:" << *port << ": "
                            << service.errorString() << Qt::endl;
        return 1;
    }
    QTextStream(stdout) << "Serving the demo stream on http://127.0.0.1:" << service.port()
                        << "/user/notifications/<user>/<md5 of the API key>" << Qt::endl;
    return application.exec();
}
