#ifndef UNITSERVICE_H
#define UNITSERVICE_H

#include "device/portinfo.h"
#include "jobs/clockwritejob.h"
#include "jobs/downloadjob.h"
#include "records/attemptrecord.h"
#include "serving/unitplan.h"
#include "values/valuesource.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>

class DeviceLink;
class RecordKeeper;

// Serves one unit on its open link, the same for a station's slot and for
// morlank-cli: its values reserved before anything that carries one is sent,
// the clock set (and read back when asked), the commands downloaded, and
// each attempt's record made durable before the attempt is said to be over.
// Lives in one thread at a time; what it reports crosses threads as copies.
class UnitService
{
public:
    struct Unit
    {
        QString slot;
        QString port;
        PortInfo usb;
        // How the unit came to a station: "port" (with its adapter),
        // "answer" or "start". Empty outside a station, where the adapter is
        // the unit's own.
        QString arrival;
    };
    enum class State { Ok, Failed, Gone, Interrupted };
    // How one attempt ended.
    struct Attempt
    {
        State state = State::Failed;
        QJsonObject record; // as it was kept
        bool kept = false;
        QString keepError;
    };
    // What the caller sees of the service and answers to it, each called in
    // the serving thread.
    class Watcher
    {
    public:
        virtual ~Watcher() = default;
        // The values' database is away (`why`): true to ask again, once the
        // watcher has waited.
        virtual bool waitForValues(const QString &why);
        // A job begins on the unit: the clock's, then the download's.
        virtual void working(const ClockWriteJob *clock, const DownloadJob *download);
        // The attempt is over and its record kept, or not (`attempt.kept`).
        virtual void finished(const Attempt &attempt);
        // Whether a unit may be taken away mid-download, and if so whether
        // one that stopped answering is still in its place.
        virtual bool watchesDeparture() const;
        virtual bool stillThere(DeviceLink &link);
        // Whether the unit's port went away.
        virtual bool portGone(const DeviceLink &link) const;
    };
    enum class Values { None, Given, Refused, SourceFailed };

    UnitService(const UnitPlan &plan, RecordKeeper &keeper, const Unit &unit, Watcher &watcher);

    // The unit's own commands: with per-unit values, filled with values
    // reserved for it. Refused, or when the source itself fails (a list used
    // up, a state file that cannot be written), the unit's attempt is over:
    // its record kept as failed with the reason, nothing sent.
    Values giveValues();
    // One attempt: the clock when asked, then the commands.
    Attempt attempt(DeviceLink &link, const std::atomic<bool> &stop);

    // Why giveValues() gave none.
    QString valuesError() const;
    // The values given as JSON, null for none.
    QJsonValue values() const;
    // The unit as an operator knows it: its values, or its adapter's serial
    // number when that is its own.
    QString shownAs() const;
    int attempts() const;
    // The last attempt's jobs, null where none ran; valid until the next.
    const ClockWriteJob::Result *clockResult() const;
    const DownloadJob::Result *downloadResult() const;

    // The record of a port named where no unit answered, kept.
    static bool keepNotFound(const UnitPlan &plan, RecordKeeper &keeper, const QString &port, QString &error);

private:
    QString ownSerial() const;
    ValueSource::Reservation reserve();
    bool claimRetry(AttemptRecord &record);
    AttemptRecord recordOf() const;
    static AttemptRecord recordFor(const UnitPlan &plan, const Unit &unit);
    Attempt keep(AttemptRecord &record, State state);

    const UnitPlan &plan;
    RecordKeeper &keeper;
    const Unit unit;
    Watcher &watcher;
    QStringList commands;
    QJsonValue given;
    QString shown;
    QString refusal;
    QString attemptId;
    QString claimId; // the attempt whose order claim is held, or empty
    int attemptCount = 0;
    std::optional<ClockWriteJob> clockJob;
    std::optional<DownloadJob> downloadJob;
};

#endif // UNITSERVICE_H
