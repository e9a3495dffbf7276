#include "slotworker.h"

#include "clockwritejob.h"
#include "commandtemplate.h"
#include "devicelink.h"
#include "downloadjob.h"
#include "portlist.h"
#include "portlocation.h"
#include "probename.h"
#include "stationcontrol.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <optional>

namespace {
// A port with nothing behind it is asked again this often, and so is a unit
// sitting in its slot, whether it is still there.
const qint64 lookIntervalMs = 1000;
// Misses in a row before a unit counts as gone: one slow answer is not a
// departure.
const int departureMisses = 2;

const QString arrivalByPort = QStringLiteral("port");
const QString arrivalByAnswer = QStringLiteral("answer");

bool clockFailed(const ClockWriteJob::Result &clock)
{
    return !clock.timeAcknowledged || !clock.dateAcknowledged || !clock.verified.value_or(true);
}
} // namespace

SlotWorker::SlotWorker(const QString &slot, const QString &p, StationControl &c)
    : slotName(slot)
    , port(p)
    , control(c)
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

void SlotWorker::end()
{
    std::lock_guard<std::mutex> lock(mutex);
    ending = true;
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

QVector<QJsonObject> SlotWorker::takeRecords()
{
    std::lock_guard<std::mutex> lock(mutex);
    QVector<QJsonObject> taken;
    taken.swap(records);
    return taken;
}

void SlotWorker::run()
{
    DeviceLink link;
    // Each command is reported on its own, so a late answer must not be
    // credited to the next one.
    link.keepAnswersApart();
    // Whoever answers at the first look came with the port; after a look that
    // found the port open and nothing answering, a unit came behind it.
    QString arrival = arrivalByPort;
    opened = devicePath();
    // Asked once: the system's port list costs tens of milliseconds.
    adapter = portInfo(port);
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
    if (portGone(link))
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
    unit.usb = adapter;
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
    unit.commands = settings.commands;
    unit.shownAs = unit.usb.serialNumber;
    if (!settings.values)
        return true;
    const ValueSource::Reservation reservation = reserveValues(unit);
    QString error = reservation.error;
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
ValueSource::Reservation SlotWorker::reserveValues(const Unit &unit)
{
    const ValueSource::Unit asking{unit.usb.serialNumber, port, slotName, unit.attemptId};
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
    showFinished(unit, json, kept ? QString() : QStringLiteral("not recorded: ") + error);
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
// again meanwhile. A unit not served (`unit` null) is only watched.
void SlotWorker::watchUntilGone(DeviceLink &link, Unit *unit)
{
    int misses = 0;
    while (!endAsked()) {
        if (takeRetry()) {
            if (unit && unit->last == SlotView::Failed && control.mayRetry()) {
                attempt(link, *unit);
                if (unit->last == SlotView::Gone || unit->last == SlotView::Interrupted)
                    return;
            }
            continue;
        }
        sleepWhilePortStays(link, lookIntervalMs);
        if (endAsked() || retryPending())
            continue;
        if (!portGone(link) && link.lookAt(opened) == DeviceLink::Probe::Device) {
            misses = 0;
            continue;
        }
        const bool gone = portGone(link);
        if (gone || ++misses >= departureMisses) {
            showEmpty(gone ? QStringLiteral("absent") : QStringLiteral("silent"));
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

// Opened by the device's own path, not by a link to it: the lock that keeps
// two programs off one port is taken by that name.
QString SlotWorker::devicePath() const
{
    const QString path = QFileInfo(portLocation(port)).canonicalFilePath();
    return path.isEmpty() ? port : path;
}

// Gone, or its name now leads to another device (an adapter swapped between
// two looks).
bool SlotWorker::portGone(const DeviceLink &link) const
{
    return link.portLost() || devicePath() != opened;
}

bool SlotWorker::endAsked() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return ending;
}

bool SlotWorker::retryPending() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return retryAsked;
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

// A port pulled is noticed within a tenth of a second, not at the next look.
void SlotWorker::sleepWhilePortStays(const DeviceLink &link, qint64 ms)
{
    const qint64 step = 100;
    for (; ms > 0 && !portGone(link); ms -= step) {
        sleepFor(std::min(step, ms));
        if (endAsked() || retryPending())
            return;
    }
}

void SlotWorker::showEmpty(const QString &portState)
{
    std::lock_guard<std::mutex> lock(mutex);
    current.attached = false;
    current.portState = portState;
    // A unit that leaves empties its slot, but one taken away in the middle
    // of its job stays marked gone until the next one comes.
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

void SlotWorker::showFinished(const Unit &unit, const QJsonObject &record, const QString &note)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (downloadJob) {
        current.done = downloadJob->commandsDone();
        current.failures = downloadJob->failuresSoFar();
    }
    clockJob = nullptr;
    downloadJob = nullptr;
    current.state = unit.last;
    current.attached = unit.last != SlotView::Gone;
    current.attempt = unit.attempts;
    current.unit = unit.shownAs;
    current.seconds = record.value(QStringLiteral("seconds")).toDouble();
    current.record = record;
    current.note = note;
    if (note.isEmpty())
        records << record;
}

void SlotWorker::show(SlotView::State state, const QString &note)
{
    std::lock_guard<std::mutex> lock(mutex);
    current.state = state;
    current.attached = true;
    current.note = note;
}
