#include "stationwindow/stationlaunch.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {
const QString lockedOption = QStringLiteral("locked");
} // namespace

StationLaunch::Outcome StationLaunch::parse(const QStringList &arguments, StationLaunch &launch, QString &message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The window of a production station: every unit attached gets the configuration FILE (and the computer's "
        "clock, with --set-clock), each slot shown as a tile readable from across the bench.\n"
        "Given FILE it starts watching at once; without it, it opens with the set-up shown."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    StationOptions::addTo(parser);
    parser.addOption({lockedOption, QStringLiteral("Keep the set-up closed and unchangeable: the operator can start "
                                                   "and stop, nothing more.")});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The configuration to send to every unit."),
                                 QStringLiteral("[FILE]"));
    if (!parser.parse(arguments)) {
        message = parser.errorText();
        return Error;
    }
    if (parser.isSet(help)) {
        message = parser.helpText();
        return Help;
    }
    if (parser.isSet(version)) {
        message = QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion();
        return Version;
    }
    if (parser.positionalArguments().size() > 1) {
        message = QStringLiteral("name one configuration file, not %1.").arg(parser.positionalArguments().size());
        return Error;
    }
    if (!launch.options.read(parser, message))
        return Error;
    launch.locked = parser.isSet(lockedOption);
    QStringList stationOptions = parser.optionNames();
    stationOptions.removeAll(lockedOption);
    launch.givenOptions = !parser.positionalArguments().isEmpty() || !stationOptions.isEmpty();
    return Run;
}
