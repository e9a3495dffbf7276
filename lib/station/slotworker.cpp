#include "station/slotworker.h"

#include "device/devicelink.h"
#include "device/portlist.h"
#include "device/probename.h"
#include "jobs/clockwritejob.h"
#include "jobs/downloadjob.h"
#include "station/candidateports.h"
#include "station/stationcontrol.h"
#include "values/commandtemplate.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <optional>

namespace {
// A port with nothing behind it is asked again this often.
const qint64 lookIntervalMs = 1000;
// Misses in a row before a unit that stopped answering in the middle of its
// job counts as gone: one slow answer there is not a departure.
const int departureMisses = 2;

const QString arrivalByPort = QStringLiteral("port");
const QString arrivalByAnswer = QStringLiteral("answer");

bool clockFailed(const ClockWriteJob::Result &clock)
{
    return !clock.timeAcknowledged || !clock.dateAcknowledged || !clock.verified.value_or(true);
}
} // namespace

SlotWorker::SlotWorker(const QString &slot, const QString &p, const QString &arrival, StationControl &c)
    : slotName(slot)
    , port(p)
    , control(c)
    , firstArrival(arrival)
    , opened(deviceOf(p).isEmpty() ? p : deviceOf(p))
{
    current.slot = slot;
    current.port = port;
    current.state = SlotView::Probing;
    current.total = int(control.settings().commands.size());
}

SlotWorker::~SlotWorker()
{
    end();
    wait();
    // wait() orders memory by Qt's own locks; this load does it by the C++
    // rules as well, which ThreadSanitizer can follow.
    ended.load(std::memory_order_acquire);
}

QString SlotWorker::portName() const
{
    return port;
}

QString SlotWorker::device() const
{
    return opened;
}

void SlotWorker::end()
{
    std::lock_guard<std::mutex> lock(mutex);
    ending = true;
    wake.notify_all();
}

void SlotWorker::portLeft()
{
    std::lock_guard<std::mutex> lock(mutex);
    ending = true;
    left = true;
    wake.notify_all();
}

// Asked for a unit that is not (or not yet) a failure, a retry would
// follow whatever its attempt comes to: it is not taken.
void SlotWorker::retry()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (current.state != SlotView::Failed || !current.attached)
        return;
    retryAsked = true;
    wake.notify_all();
}

bool SlotWorker::hasEnded() const
{
    return ended.load(std::memory_order_acquire);
}

SlotView SlotWorker::view() const
{
    std::lock_guard<std::mutex> lock(mutex);
    SlotView shown = current;
    if (downloadJob) {
        shown.done = downloadJob->commandsDone();
        shown.failures = downloadJob->failuresSoFar();
    }
    if (clockJob && clockJob->isVerifying())
        shown.state = SlotView::Verifying;
    return shown;
}

QVector<QJsonObject> SlotWorker::takeRecords(QVector<QJsonObject> &lost)
{
    std::lock_guard<std::mutex> lock(mutex);
    QVector<QJsonObject> taken;
    taken.swap(records);
    lost.clear();
    lost.swap(notRecorded);
    return taken;
}

void SlotWorker::run()
{
    DeviceLink link;
    // Each command is reported on its own, so a late answer must not be
    // credited to the next one.
    link.keepAnswersApart();
    // Whoever answers at the first look came with the port (or was there
    // before the station started); after a look that found the port open and
    // nothing answering, a unit came behind it.
    QString arrival = firstArrival;
    while (!endAsked()) {
        QElapsedTimer look;
        look.start();
        const DeviceLink::Probe probe = link.lookAt(opened);
        if (portGone(link))
            break;
        if (probe == DeviceLink::Probe::Device) {
            serveUnit(link, arrival);
            arrival = arrivalByAnswer;
            continue;
        }
        if (probe == DeviceLink::Probe::Silent || probe == DeviceLink::Probe::NoDevice)
            arrival = arrivalByAnswer;
        showEmpty(probeName(probe, port));
        sleepFor(lookIntervalMs - look.elapsed());
    }
    link.closePort();
    if (portGone(link) || hasLeft())
        showEmpty(QStringLiteral("absent"));
    else
        showDetached();
    ended.store(true, std::memory_order_release);
}

void SlotWorker::serveUnit(DeviceLink &link, const QString &arrival)
{
    if (!control.takeUnit()) {
        const QString reason = control.haltReason();
        show(SlotView::NotServed, reason.isEmpty() ? QStringLiteral("the station takes no more units") : reason);
        watchUntilGone(link, nullptr);
        return;
    }
    Unit unit;
    unit.arrival = arrival;
    // Asked once a unit, once it has answered: udev makes a new adapter's
    // links before it has written what it knows of it, and a socket may hold
    // another adapter under the same device name since the last unit.
    unit.usb = portInfo(port);
    if (!giveCommands(unit)) {
        control.finishUnit();
        watchUntilGone(link, nullptr);
        return;
    }
    do
        attempt(link, unit);
    while (unit.last == SlotView::Failed && unit.attempts <= control.settings().retries && control.mayRetry()
           && stillThere(link));
    control.finishUnit();
    if (unit.last != SlotView::Gone && unit.last != SlotView::Interrupted)
        watchUntilGone(link, &unit);
}

// The unit's own commands: with per-unit values, filled with values reserved
// for it before anything is sent. A unit that gets none is recorded as failed,
// with nothing sent; a list that is used up stops the station taking units.
bool SlotWorker::giveCommands(Unit &unit)
{
    const StationSettings &settings = control.settings();
    // Only an adapter that came with the unit says which unit it is: a
    // fixture's serial number, or one found there at start, is no unit's.
    const QString ownSerial = unit.arrival == arrivalByPort ? unit.usb.serialNumber : QString();
    unit.commands = settings.commands;
    unit.shownAs = ownSerial;
    if (!settings.values)
        return true;
    QString error;
    ValueSource::Reservation reservation;
    if (ownSerial.isEmpty() && settings.values->bindsAdapter(unit.usb.serialNumber)) {
        reservation.outcome = ValueSource::Reservation::UnitRefused;
        error = QStringLiteral("the list binds a row to the adapter %1, but the unit was not seen to come with it "
                               "(it answered behind the port, or was there when the station started): nothing sent")
                    .arg(unit.usb.serialNumber);
    } else {
        reservation = reserveValues(unit, ownSerial);
        error = reservation.error;
    }
    if (reservation.outcome == ValueSource::Reservation::Assigned) {
        unit.values = reservation.assignment.toJson();
        unit.shownAs = reservation.assignment.toText();
        if (settings.commandTemplate->fill(reservation.assignment, unit.commands, error))
            return true;
    } else if (reservation.outcome != ValueSource::Reservation::UnitRefused) {
        control.halt(error);
    }
    AttemptRecord record = recordOf(unit);
    record.error = error;
    record.result = SlotView::stateName(SlotView::Failed);
    unit.last = SlotView::Failed;
    keep(record, unit);
    return false;
}

// While the database of a line cannot be reached, nothing is sent to the
// unit: the slot says so and asks again, later each time.
ValueSource::Reservation SlotWorker::reserveValues(const Unit &unit, const QString &usbSerial)
{
    const ValueSource::Unit asking{usbSerial, port, slotName, unit.attemptId};
    ValueSource::Reservation reservation = control.settings().values->reserve(asking);
    for (qint64 pauseMs = 250; reservation.outcome == ValueSource::Reservation::DatabaseAway && !endAsked();
         pauseMs = std::min<qint64>(pauseMs * 2, 4000)) {
        show(SlotView::Probing, reservation.error);
        sleepFor(pauseMs);
        reservation = control.settings().values->reserve(asking);
    }
    return reservation;
}

AttemptRecord SlotWorker::recordOf(const Unit &unit) const
{
    const StationSettings &settings = control.settings();
    AttemptRecord record;
    record.attemptId = unit.attemptId;
    record.started = QDateTime::currentDateTime();
    record.stationName = settings.stationName;
    record.slot = slotName;
    record.port = port;
    record.usb = unit.usb;
    record.arrival = unit.arrival;
    record.file = settings.file;
    record.fileSha256 = settings.fileSha256;
    record.commands = int(unit.commands.size());
    record.attempt = unit.attempts + 1;
    record.values = unit.values;
    record.version = settings.version;
    return record;
}

// Written to the log before the attempt is shown as finished.
void SlotWorker::keep(AttemptRecord &record, Unit &unit)
{
    ++unit.attempts;
    unit.attemptId = AttemptRecord::newAttemptId();
    record.ended = QDateTime::currentDateTime();
    const QJsonObject json = record.toJson();
    QString error;
    const bool kept = control.keep(json, error);
    showFinished(unit, json, kept, kept ? QString() : QStringLiteral("not recorded: ") + error);
}

// One attempt: the clock when asked for, then the configuration.
void SlotWorker::attempt(DeviceLink &link, Unit &unit)
{
    const StationSettings &settings = control.settings();
    AttemptRecord record = recordOf(unit);
    std::optional<ClockWriteJob> clock;
    std::optional<DownloadJob> download;
    bool gone = false;
    bool interrupted = false;
    if (settings.setClock) {
        clock.emplace(std::nullopt, settings.verify);
        showWorking(SlotView::SettingClock, unit, &*clock, nullptr);
        clock->run(link, control.stopFlag());
        record.clock = &clock->result();
        gone = portGone(link);
        interrupted = clock->result().interrupted;
    }
    if (!gone && !interrupted) {
        download.emplace(unit.commands, settings.lineNumbers);
        download->watchForDeparture([this](DeviceLink &l) { return stillThere(l); });
        showWorking(SlotView::Programming, unit, nullptr, &*download);
        download->run(link, control.stopFlag());
        record.download = &download->result();
        gone = download->result().gone;
        interrupted = download->result().interrupted;
    }
    const bool failed = (clock && clockFailed(clock->result())) || (download && !download->result().failures.isEmpty());
    unit.last = interrupted ? SlotView::Interrupted
              : gone        ? SlotView::Gone
              : failed      ? SlotView::Failed
                            : SlotView::Ok;
    record.result = SlotView::stateName(unit.last);
    keep(record, unit);
}

// The unit sits in its slot until it leaves; a retry asked for serves it
// again meanwhile. A unit not served (`unit` null) is only watched. It is
// asked back to back (an answer takes milliseconds), and the first check it
// leaves unanswered ends its stay: a unit swapped at hand speed is a new one.
void SlotWorker::watchUntilGone(DeviceLink &link, Unit *unit)
{
    while (!endAsked()) {
        if (takeRetry()) {
            if (unit && unit->last == SlotView::Failed && control.mayRetry()) {
                attempt(link, *unit);
                if (unit->last == SlotView::Gone || unit->last == SlotView::Interrupted)
                    return;
            }
            continue;
        }
        if (portGone(link) || link.lookAt(opened) != DeviceLink::Probe::Device) {
            showEmpty(portGone(link) ? QStringLiteral("absent") : QStringLiteral("silent"));
            return;
        }
    }
}

bool SlotWorker::stillThere(DeviceLink &link)
{
    for (int check = 0; check < departureMisses; ++check) {
        if (link.lookAt(opened) == DeviceLink::Probe::Device)
            return true;
        if (portGone(link))
            return false;
    }
    return false;
}

// Gone, or its name now leads to another device (an adapter swapped between
// two looks). A name that went while the device stays is not a departure:
// the device has other names.
bool SlotWorker::portGone(const DeviceLink &link) const
{
    if (link.portLost())
        return true;
    const QString now = deviceOf(port);
    return now.isEmpty() ? !QFileInfo::exists(opened) : now != opened;
}

bool SlotWorker::endAsked() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return ending;
}

bool SlotWorker::hasLeft() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return left;
}

bool SlotWorker::takeRetry()
{
    std::lock_guard<std::mutex> lock(mutex);
    const bool asked = retryAsked;
    retryAsked = false;
    return asked;
}

void SlotWorker::sleepFor(qint64 ms)
{
    std::unique_lock<std::mutex> lock(mutex);
    wake.wait_for(lock, std::chrono::milliseconds(std::max<qint64>(ms, 0)), [this] { return ending || retryAsked; });
}

void SlotWorker::showEmpty(const QString &portState)
{
    std::lock_guard<std::mutex> lock(mutex);
    current.attached = false;
    current.portState = portState;
    // A unit that leaves empties its slot, but one taken away in the middle
    // of its job, or not recorded, stays marked so until the next one comes.
    if (!current.isFinished() || current.state == SlotView::Ok || current.state == SlotView::Failed)
        current.state = SlotView::Empty;
}

// The station let go of the port: what the slot showed stays in view.
void SlotWorker::showDetached()
{
    std::lock_guard<std::mutex> lock(mutex);
    current.attached = false;
    if (current.state == SlotView::Probing)
        current.state = SlotView::Empty;
}

void SlotWorker::showWorking(SlotView::State state, const Unit &unit, const ClockWriteJob *clock,
                             const DownloadJob *download)
{
    std::lock_guard<std::mutex> lock(mutex);
    current.state = state;
    current.attached = true;
    current.attempt = unit.attempts + 1;
    current.unit = unit.shownAs;
    current.done = 0;
    current.failures = 0;
    current.seconds = 0;
    current.note.clear();
    clockJob = clock;
    downloadJob = download;
}

void SlotWorker::showFinished(const Unit &unit, const QJsonObject &record, bool kept, const QString &note)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (downloadJob) {
        current.done = downloadJob->commandsDone();
        current.failures = downloadJob->failuresSoFar();
    }
    clockJob = nullptr;
    downloadJob = nullptr;
    // What is not in the log is never shown done.
    current.state = kept ? unit.last : SlotView::NotRecorded;
    current.attached = unit.last != SlotView::Gone;
    current.attempt = unit.attempts;
    current.unit = unit.shownAs;
    current.seconds = record.value(QStringLiteral("seconds")).toDouble();
    current.record = record;
    current.note = note;
    if (kept) {
        records << record;
    } else {
        QJsonObject lost = record;
        lost.insert(QStringLiteral("result"), SlotView::stateName(SlotView::NotRecorded));
        notRecorded << lost;
    }
}

void SlotWorker::show(SlotView::State state, const QString &note)
{
    std::lock_guard<std::mutex> lock(mutex);
    current.state = state;
    current.attached = true;
    current.note = note;
}
