#include "serving/unitservice.h"

#include "device/devicelink.h"
#include "device/portlist.h"
#include "line/orderclaims.h"
#include "records/recordkeeper.h"
#include "values/commandtemplate.h"

#include <QDateTime>

namespace {
const QString arrivalByPort = QStringLiteral("port");

bool clockFailed(const ClockWriteJob::Result &clock)
{
    return !clock.timeAcknowledged || !clock.dateAcknowledged || !clock.verified.value_or(true);
}

QString resultName(UnitService::State state)
{
    switch (state) {
    case UnitService::State::Ok: return QStringLiteral("ok");
    case UnitService::State::Failed: break;
    case UnitService::State::Gone: return QStringLiteral("gone");
    case UnitService::State::Interrupted: return QStringLiteral("interrupted");
    }
    return QStringLiteral("failed");
}
} // namespace

bool UnitService::Watcher::waitForValues(const QString &)
{
    return false;
}

void UnitService::Watcher::working(const ClockWriteJob *, const DownloadJob *)
{
}

void UnitService::Watcher::finished(const Attempt &)
{
}

bool UnitService::Watcher::watchesDeparture() const
{
    return false;
}

bool UnitService::Watcher::stillThere(DeviceLink &)
{
    return true;
}

bool UnitService::Watcher::portGone(const DeviceLink &) const
{
    return false;
}

UnitService::UnitService(const UnitPlan &p, RecordKeeper &k, const Unit &u, Watcher &w)
    : plan(p)
    , keeper(k)
    , unit(u)
    , watcher(w)
    , commands(p.commands)
    , shown(ownSerial())
    , attemptId(AttemptRecord::newAttemptId())
{
}

// A station's unit that answered behind a fixture's port, or was there when
// the station started, did not bring the adapter: its serial number is no
// unit's.
QString UnitService::ownSerial() const
{
    return unit.arrival.isEmpty() || unit.arrival == arrivalByPort ? unit.usb.serialNumber : QString();
}

UnitService::Values UnitService::giveValues()
{
    if (!plan.values && !plan.claims)
        return Values::None;
    ValueSource::Reservation reservation;
    if (plan.values && ownSerial().isEmpty() && plan.values->bindsAdapter(unit.usb.serialNumber)) {
        reservation.outcome = ValueSource::Reservation::UnitRefused;
        reservation.error =
            QStringLiteral("the list binds a row to the adapter %1, but the unit was not seen to come with it "
                           "(it answered behind the port, or was there when the station started): nothing sent")
                .arg(unit.usb.serialNumber);
    } else {
        reservation = reserve();
    }
    refusal = reservation.error;
    if (reservation.outcome == ValueSource::Reservation::Assigned) {
        if (plan.claims)
            claimId = attemptId;
        if (!plan.values)
            return Values::None;
        given = reservation.assignment.toJson();
        shown = reservation.assignment.toText();
        if (plan.commandTemplate->fill(reservation.assignment, commands, refusal))
            return Values::Given;
    }
    AttemptRecord record = recordOf();
    record.error = refusal;
    keep(record, State::Failed);
    const bool unitAlone = reservation.outcome == ValueSource::Reservation::UnitRefused
                        || reservation.outcome == ValueSource::Reservation::Assigned;
    return unitAlone ? Values::Refused : Values::SourceFailed;
}

// While the database of a line cannot be reached, nothing is sent to the
// unit; the watcher says whether to ask again. An order's claim comes with
// the values, or alone when there are none, or for a retry.
ValueSource::Reservation UnitService::reserve()
{
    const ValueSource::Unit asking{ownSerial(), unit.port, unit.slot, attemptId};
    const bool first = attemptCount == 0;
    const auto once = [&] { return plan.values && first ? plan.values->reserve(asking) : plan.claims->claim(asking, first); };
    ValueSource::Reservation reservation = once();
    while (reservation.outcome == ValueSource::Reservation::DatabaseAway && watcher.waitForValues(reservation.error))
        reservation = once();
    return reservation;
}

// A failed unit gave its claim back; served again, it needs one anew.
bool UnitService::claimRetry(AttemptRecord &record)
{
    if (!plan.claims || !claimId.isEmpty() || attemptCount == 0)
        return true;
    const ValueSource::Reservation claimed = reserve();
    if (claimed.outcome == ValueSource::Reservation::Assigned) {
        claimId = attemptId;
        return true;
    }
    record.error = claimed.error;
    return false;
}

UnitService::Attempt UnitService::attempt(DeviceLink &link, const std::atomic<bool> &stop)
{
    AttemptRecord record = recordOf();
    clockJob.reset();
    downloadJob.reset();
    if (!claimRetry(record))
        return keep(record, State::Failed);
    bool gone = false;
    bool interrupted = false;
    if (plan.setClock) {
        clockJob.emplace(plan.clock, plan.verify);
        watcher.working(&*clockJob, nullptr);
        clockJob->run(link, stop);
        record.clock = &clockJob->result();
        gone = watcher.portGone(link);
        interrupted = clockJob->result().interrupted;
    }
    if (!commands.isEmpty() && !gone && !interrupted) {
        downloadJob.emplace(commands, plan.lineNumbers);
        if (watcher.watchesDeparture())
            downloadJob->watchForDeparture([this](DeviceLink &l) { return watcher.stillThere(l); });
        watcher.working(nullptr, &*downloadJob);
        downloadJob->run(link, stop);
        record.download = &downloadJob->result();
        gone = downloadJob->result().gone;
        interrupted = downloadJob->result().interrupted;
    }
    const bool failed = (clockJob && clockFailed(clockJob->result()))
                     || (downloadJob && !downloadJob->result().failures.isEmpty());
    return keep(record, interrupted ? State::Interrupted
                        : gone      ? State::Gone
                        : failed    ? State::Failed
                                    : State::Ok);
}

AttemptRecord UnitService::recordOf() const
{
    AttemptRecord record = recordFor(plan, unit);
    record.attemptId = attemptId;
    record.attempt = attemptCount + 1;
    record.values = given;
    return record;
}

// What every record of `unit` says, begun now.
AttemptRecord UnitService::recordFor(const UnitPlan &plan, const Unit &unit)
{
    AttemptRecord record;
    record.started = QDateTime::currentDateTime();
    record.stationName = plan.stationName;
    record.slot = unit.slot;
    record.port = unit.port;
    record.usb = unit.usb;
    record.arrival = unit.arrival;
    record.file = plan.file;
    record.fileSha256 = plan.fileSha256;
    record.commands = int(plan.commands.size());
    record.version = plan.version;
    record.operatorName = plan.operatorName;
    record.release = plan.release;
    record.order = plan.order;
    return record;
}

// The record is on disk before anyone hears that the attempt is over. The
// order's claim is given back after that: it waits for the order's row,
// which the unit's slot need not wait for.
UnitService::Attempt UnitService::keep(AttemptRecord &record, State state)
{
    ++attemptCount;
    attemptId = AttemptRecord::newAttemptId();
    record.ended = QDateTime::currentDateTime();
    record.result = resultName(state);
    Attempt attempt;
    attempt.state = state;
    attempt.record = record.toJson();
    attempt.kept = keeper.keep(attempt.record, attempt.keepError);
    watcher.finished(attempt);
    if (!claimId.isEmpty())
        plan.claims->finish(claimId, state == State::Ok);
    claimId.clear();
    return attempt;
}

QString UnitService::valuesError() const
{
    return refusal;
}

QJsonValue UnitService::values() const
{
    return given;
}

QString UnitService::shownAs() const
{
    return shown;
}

int UnitService::attempts() const
{
    return attemptCount;
}

const ClockWriteJob::Result *UnitService::clockResult() const
{
    return clockJob ? &clockJob->result() : nullptr;
}

const DownloadJob::Result *UnitService::downloadResult() const
{
    return downloadJob ? &downloadJob->result() : nullptr;
}

bool UnitService::keepNotFound(const UnitPlan &plan, RecordKeeper &keeper, const QString &port, QString &error)
{
    AttemptRecord record = recordFor(plan, {port, port, portInfo(port), QString()});
    record.ended = record.started;
    record.result = QStringLiteral("not found");
    return keeper.keep(record.toJson(), error);
}
