#ifndef STATIONLAUNCH_H
#define STATIONLAUNCH_H

#include "station/stationoptions.h"

#include <QString>
#include <QStringList>

// How morlank-station is started: the options of every station (those of
// morlank-cli watch) and --locked. The set-up pane is read through the same
// command line, so both are checked alike.
struct StationLaunch
{
    enum Outcome { Run, Help, Version, Error };

    StationOptions options;
    // The set-up stays closed and cannot be changed: start and stop only.
    bool locked = false;
    // The command line set up the station (a FILE or any station option);
    // otherwise the set-up last started from the window is used.
    bool givenOptions = false;

    // `arguments` begin with the program's name. With Help or Version,
    // `message` is the text to print; with Error, what is wrong.
    static Outcome parse(const QStringList &arguments, StationLaunch &launch, QString &message);
};

#endif // STATIONLAUNCH_H
