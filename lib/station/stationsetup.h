#ifndef STATIONSETUP_H
#define STATIONSETUP_H

#include "serving/unitstores.h"
#include "station/stationoptions.h"
#include "station/stationsettings.h"

#include <memory>

struct Configuration;

// A station made ready from its options, every check made before any port
// is opened: the configuration read, the values and the records opened.
class StationSetup
{
public:
    // False, with what to do about it in `error`, when the station cannot
    // start; nothing has been sent then.
    bool prepare(const StationOptions &options, QString &error);

    const StationSettings &settings() const;
    // Null without a log.
    RecordLog *log();
    // With --db: what sends the records to the line's database, not yet
    // started; null otherwise.
    RecordSender *sender();
    // What the operator should know before the first unit, or empty.
    QString notice() const;

private:
    bool findOrder(const StationOptions &options, QString &release, QString &error);

    std::unique_ptr<UnitStores> stores;
    StationSettings stationSettings;
};

#endif // STATIONSETUP_H
