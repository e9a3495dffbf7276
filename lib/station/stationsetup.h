#ifndef STATIONSETUP_H
#define STATIONSETUP_H

#include "line/recordsender.h"
#include "records/recordlog.h"
#include "station/stationoptions.h"
#include "station/stationsettings.h"

// A station made ready from its options, every check made before any port
// is opened: the configuration read, the log opened for appending and found
// to be one that can be synced to disk.
class CommandTemplate;

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
    bool prepareValues(const StationOptions &options, const CommandTemplate &commands, QString &error);
    bool prepareRecords(const StationOptions &options, QString &error);

    std::shared_ptr<ValueSource> values;
    std::unique_ptr<RecordSender> recordSender;
    QString noticeText;
    StationSettings stationSettings;
    RecordLog recordLog;
};

#endif // STATIONSETUP_H
