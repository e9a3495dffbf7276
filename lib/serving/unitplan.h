#ifndef UNITPLAN_H
#define UNITPLAN_H

#include "jobs/wallclock.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <optional>

class CommandTemplate;
class ValueSource;

// What every unit of one run gets: the configuration with its per-unit
// values, and the clock. Checked before the first unit is served.
struct UnitPlan
{
    // The configuration: its absolute path, SHA-256 (hex) and commands;
    // none for a run that only sets clocks.
    QString file;
    QString fileSha256;
    QStringList commands;
    QVector<int> lineNumbers;
    // Per-unit values, when the configuration holds placeholders: the
    // commands split once for filling, and what hands the values out. Shared
    // by every unit; both are safe to use from several threads.
    std::shared_ptr<const CommandTemplate> commandTemplate;
    std::shared_ptr<ValueSource> values;

    bool setClock = false;
    // The time and date to set; without, the computer's when the clock is set.
    std::optional<WallClock> clock;
    bool verify = false;

    QString stationName; // this computer, for the records
    // Who did what, for the records; empty is null.
    QString operatorName; // who runs the station (--operator)
    QString release;      // NAME@REV of the released configuration
    QString order;        // the work order the units count against
    QString version;     // the program's, for the records
};

#endif // UNITPLAN_H
