#ifndef STATIONSETUP_H
#define STATIONSETUP_H

#include "recordlog.h"
#include "stationoptions.h"
#include "stationsettings.h"

// A station made ready from its options, every check made before any port
// is opened: the configuration read, the log opened for appending and found
// to be one that can be synced to disk.
class StationSetup
{
public:
    // False, with what to do about it in `error`, when the station cannot
    // start; nothing has been sent then.
    bool prepare(const StationOptions &options, QString &error);

    const StationSettings &settings() const;
    // Null without a log.
    RecordLog *log();

private:
    StationSettings stationSettings;
    RecordLog recordLog;
};

#endif // STATIONSETUP_H
