#ifndef STATIONCONTROL_H
#define STATIONCONTROL_H

#include "records/recordkeeper.h"
#include "station/stationsettings.h"

#include <QJsonObject>
#include <QString>

#include <atomic>
#include <mutex>

class RecordLog;

// What every slot of a station shares and asks from its own thread: whether
// it may take a new unit, whether to stop, and where records go.
class StationControl : public RecordKeeper
{
public:
    StationControl(const StationSettings &settings, RecordLog *log);

    const StationSettings &settings() const;

    // A unit has arrived: false when the station takes no new unit (it is
    // stopping, halted, or has taken all it was asked to).
    bool takeUnit();
    // A unit taken has had its last attempt.
    void finishUnit();
    // Units taken and not yet finished.
    int unitsInFlight() const;
    // Whether no unit will be taken any more.
    bool takesNoMore() const;
    // Whether a unit taken may have a further attempt: the station is
    // neither stopping nor halted.
    bool mayRetry() const;

    // Units in flight finish the command in flight and send nothing more.
    void stop();
    bool isStopping() const;
    const std::atomic<bool> &stopFlag() const;
    // No new unit; those in flight finish their jobs. The first reason holds.
    void halt(const QString &reason);
    QString haltReason() const;

    // Writes the record to the log, if there is one; a record that cannot be
    // written halts the station. False when it is not in the log.
    bool keep(const QJsonObject &record, QString &error) override;
    // The log's notice since the last call, if any (see RecordLog).
    QString takeLogNotice();

private:
    const StationSettings stationSettings;
    RecordLog *const log;
    std::atomic<bool> stopping{false};
    mutable std::mutex mutex;
    QString halted;
    int taken = 0;
    int finished = 0;
};

#endif // STATIONCONTROL_H
