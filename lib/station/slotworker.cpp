#include "station/slotworker.h"

#include "device/devicelink.h"
#include "device/portlist.h"
#include "device/probename.h"
#include "jobs/clockwritejob.h"
#include "jobs/downloadjob.h"
#include "records/recordkeys.h"
#include "station/candidateports.h"
#include "station/stationcontrol.h"

#include <QElapsedTimer>
#include <QFileInfo>


namespace {
// A port with nothing behind it is asked again this often.
const qint64 lookIntervalMs = 1000;
// Misses in a row before a unit that stopped answering in the middle of its
// job counts as gone: one slow answer there is not a departure.
const int departureMisses = 2;

const QString arrivalByAnswer = QStringLiteral("answer");
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
        // A halted station sends no further byte, not even a handshake: the
        // slot says why until the station ends.
        const QString halt = control.haltReason();
        if (!halt.isEmpty()) {
            showHalted(halt);
            sleepFor(lookIntervalMs);
            continue;
        }
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
    // Asked once a unit, once it has answered: udev makes a new adapter's
    // links before it has written what it knows of it, and a socket may hold
    // another adapter under the same device name since the last unit.
    UnitService unit(control.settings(), control, {slotName, port, portInfo(port), arrival}, *this);
    serving = &unit;
    valuesPauseMs = 250;
    const UnitService::Values values = unit.giveValues();
    // A unit refused is the unit's own matter; a source that fails stops the
    // station taking units.
    if (values == UnitService::Values::SourceFailed)
        control.halt(unit.valuesError());
    if (values == UnitService::Values::Refused || values == UnitService::Values::SourceFailed) {
        control.finishUnit();
        serving = nullptr;
        watchUntilGone(link, nullptr);
        return;
    }
    do
        unit.attempt(link, control.stopFlag());
    while (last == SlotView::Failed && unit.attempts() <= control.settings().retries && control.mayRetry()
           && stillThere(link));
    control.finishUnit();
    if (last != SlotView::Gone && last != SlotView::Interrupted)
        watchUntilGone(link, &unit);
    serving = nullptr;
}

// The unit sits in its slot until it leaves; a retry asked for serves it
// again meanwhile. A unit not served (`unit` null) is only watched. It is
// asked back to back (an answer takes milliseconds), and the first check it
// leaves unanswered ends its stay: a unit swapped at hand speed is a new one.
void SlotWorker::watchUntilGone(DeviceLink &link, UnitService *unit)
{
    while (!endAsked()) {
        if (takeRetry()) {
            if (unit && last == SlotView::Failed && control.mayRetry()) {
                unit->attempt(link, control.stopFlag());
                if (last == SlotView::Gone || last == SlotView::Interrupted)
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

bool SlotWorker::watchesDeparture() const
{
    return true;
}

// While the database of a line cannot be reached, nothing is sent to the
// unit: the slot says so and asks again, later each time.
bool SlotWorker::waitForValues(const QString &why)
{
    if (endAsked())
        return false;
    show(SlotView::Probing, why);
    sleepFor(valuesPauseMs);
    valuesPauseMs = std::min<qint64>(valuesPauseMs * 2, 4000);
    return true;
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

void SlotWorker::showHalted(const QString &reason)
{
    std::lock_guard<std::mutex> lock(mutex);
    current.state = SlotView::NotServed;
    current.attached = false;
    current.note = reason;
}

// The station let go of the port: what the slot showed stays in view, but
// for a slot that has nothing to show, or a unit done, after a halt: that
// says why the station takes no more.
void SlotWorker::showDetached()
{
    const QString halt = control.haltReason();
    std::lock_guard<std::mutex> lock(mutex);
    current.attached = false;
    if (current.state == SlotView::Probing)
        current.state = SlotView::Empty;
    if (!halt.isEmpty() && (current.state == SlotView::Empty || current.state == SlotView::Ok)) {
        current.state = SlotView::NotServed;
        current.note = halt;
    }
}

void SlotWorker::working(const ClockWriteJob *clock, const DownloadJob *download)
{
    std::lock_guard<std::mutex> lock(mutex);
    current.state = clock ? SlotView::SettingClock : SlotView::Programming;
    current.attached = true;
    current.attempt = serving->attempts() + 1;
    current.unit = serving->shownAs();
    current.done = 0;
    current.failures = 0;
    current.seconds = 0;
    current.note.clear();
    clockJob = clock;
    downloadJob = download;
}

void SlotWorker::finished(const UnitService::Attempt &attempt)
{
    static const SlotView::State states[] = {SlotView::Ok, SlotView::Failed, SlotView::Gone, SlotView::Interrupted};
    last = states[int(attempt.state)];
    std::lock_guard<std::mutex> lock(mutex);
    if (downloadJob) {
        current.done = downloadJob->commandsDone();
        current.failures = downloadJob->failuresSoFar();
    }
    clockJob = nullptr;
    downloadJob = nullptr;
    // What is not in the log is never shown done.
    current.state = attempt.kept ? last : SlotView::NotRecorded;
    current.attached = last != SlotView::Gone;
    current.attempt = serving->attempts();
    current.unit = serving->shownAs();
    current.seconds = attempt.record.value(RecordKeys::seconds).toDouble();
    current.record = attempt.record;
    current.note = attempt.kept ? QString() : QStringLiteral("not recorded: ") + attempt.keepError;
    if (attempt.kept) {
        records << attempt.record;
    } else {
        QJsonObject lost = attempt.record;
        lost.insert(RecordKeys::result, SlotView::stateName(SlotView::NotRecorded));
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
