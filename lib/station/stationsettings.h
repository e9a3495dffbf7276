#ifndef STATIONSETTINGS_H
#define STATIONSETTINGS_H

#include <QPair>
#include <memory>

#include <QString>
#include <QStringList>
#include <QVector>

class CommandTemplate;
class ValueSource;

// What a station watches and what every unit that arrives gets. Checked by
// the program before the station starts.
struct StationSettings
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

    // The configuration: its absolute path, SHA-256 (hex) and commands.
    QString file;
    QString fileSha256;
    QStringList commands;
    QVector<int> lineNumbers;
    // Per-unit values, when the configuration holds placeholders: the
    // commands split once for filling, and what hands the values out. Shared
    // by every slot; both are safe to use from several threads.
    std::shared_ptr<const CommandTemplate> commandTemplate;
    std::shared_ptr<ValueSource> values;

    bool setClock = false;
    bool verify = false;
    int retries = 0; // further attempts for a unit that failed
    int units = 0;   // finish after this many units; 0 for none

    QString stationName; // this computer, for the records
    QString version;     // the program's, for the records
};

#endif // STATIONSETTINGS_H
