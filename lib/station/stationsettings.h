#ifndef STATIONSETTINGS_H
#define STATIONSETTINGS_H

#include "serving/unitplan.h"

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class LivePublisher;

// What a station watches, and what every unit that arrives gets. Checked by
// the program before the station starts.
struct StationSettings : UnitPlan
{
    // Where units arrive: names, paths or shell patterns matched against
    // paths (/dev/serial/by-path/*usb*); empty for every port the system
    // lists. Only ports whose adapter has one of `vidPids` ("0403:6001"),
    // when any are given.
    QStringList ports;
    QStringList vidPids;
    // Slot names by port, in the order an operator wants to see them; a port
    // named here is watched as if given in `ports`.
    QVector<QPair<QString, QString>> slotNames;

    // The line's database, where a revision run (`release`) may be revoked.
    QString db;
    // With a database: where the slots' states go for whoever watches the
    // line; the station starts and ends it.
    std::shared_ptr<LivePublisher> live;

    int retries = 0; // further attempts for a unit that failed
    int units = 0;   // finish after this many units; 0 for none
};

#endif // STATIONSETTINGS_H
