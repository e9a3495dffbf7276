#include "station/station.h"

#include "base/naturalorder.h"
#include "line/livepublisher.h"
#include "records/recordkeys.h"
#include "station/candidateports.h"
#include "station/linewatch.h"
#include "station/slotworker.h"

#include <QJsonArray>
#include <QSet>

#include <algorithm>

namespace {
// How often the slots' states are taken over: a tile follows within this.
const int collectIntervalMs = 40;

// A failed unit's first failing line, with its command.
QString failingLine(const SlotView &view)
{
    if (view.state != SlotView::Failed)
        return {};
    const QJsonArray failures = view.record.value(RecordKeys::failures).toArray();
    if (failures.isEmpty())
        return {};
    const QJsonObject first = failures.first().toObject();
    return QStringLiteral("line %1: %2")
        .arg(first.value(RecordKeys::Failure::line).toInt())
        .arg(first.value(RecordKeys::Failure::command).toString());
}

// A slot as the line's watchers see it. A unit held back while the database
// is away says so in its note.
LiveSlot liveOf(const SlotView &view, const StationSettings &settings)
{
    LiveSlot slot;
    slot.slot = view.slot;
    slot.state = view.state == SlotView::Probing && view.attached && !view.note.isEmpty()
                     ? view.note
                     : SlotView::stateName(view.state);
    slot.unit = view.unit;
    slot.progress = view.done;
    slot.total = view.total;
    slot.line = failingLine(view);
    slot.release = settings.release;
    slot.order = settings.order;
    return slot;
}
} // namespace

Station::Station(const StationSettings &settings, RecordLog *log, QObject *parent)
    : QObject(parent)
    , control(settings, log)
    , poller(settings.ports + [&] {
        QStringList named;
        for (const auto &slot : settings.slotNames)
            named << slot.second;
        return named;
    }(), settings.vidPids)
{
    for (const auto &slot : settings.slotNames) {
        SlotView view;
        view.slot = slot.first;
        view.portState = QStringLiteral("absent");
        slotList.push_back(Slot{slot.first, view, nullptr});
    }
    if ((!settings.release.isEmpty() || settings.claims) && !settings.db.isEmpty())
        lineWatch = std::make_unique<LineWatch>(settings.db, settings.release, settings.claims, control);
    connect(&collectTimer, &QTimer::timeout, this, qOverload<>(&Station::collect));
    if (settings.live)
        connect(this, &Station::slotChanged, this, [this](const SlotView &view) {
            control.settings().live->post(liveOf(view, control.settings()));
        });
}

Station::~Station()
{
    control.stop();
    if (control.settings().live)
        control.settings().live->end();
    for (Slot &slot : slotList) {
        if (slot.worker)
            slot.worker->end();
    }
}

void Station::start()
{
    running = true;
    for (const Slot &slot : slotList)
        emit slotChanged(slot.shown);
    poller.start();
    if (lineWatch)
        lineWatch->start();
    if (control.settings().live)
        control.settings().live->start();
    collectTimer.start(collectIntervalMs);
}

void Station::stop()
{
    control.stop();
    endWhenDone();
}

void Station::retry(const QString &slotName)
{
    for (Slot &slot : slotList) {
        if (slot.name == slotName && slot.worker)
            slot.worker->retry();
    }
}

bool Station::isRunning() const
{
    return running;
}

int Station::unitsInFlight() const
{
    return control.unitsInFlight();
}

QVector<SlotView> Station::slotViews() const
{
    QVector<SlotView> views;
    for (const Slot &slot : slotList)
        views << slot.shown;
    return views;
}

// Devices that appeared get a worker of their own; workers whose device went
// away are told to end. A device is served by the worker that has it, under
// whichever of its names it is listed now: names come and go around it.
void Station::adopt(const QStringList &ports)
{
    QSet<QString> devices;
    for (const QString &port : ports)
        devices.insert(deviceOf(port));
    QSet<QString> served;
    for (Slot &slot : slotList) {
        if (!slot.worker)
            continue;
        if (devices.contains(slot.worker->device()))
            served.insert(slot.worker->device());
        else
            slot.worker->portLeft();
    }
    // Whoever answers a port there at the first look may have been there
    // before the station started.
    const QString arrival = firstLook ? QStringLiteral("start") : QStringLiteral("port");
    firstLook = false;
    for (const QString &port : ports) {
        const QString device = deviceOf(port);
        if (served.contains(device))
            continue;
        Slot &slot = slotFor(port);
        if (slot.worker || control.takesNoMore())
            continue;
        served.insert(device);
        slot.worker = std::make_unique<SlotWorker>(slot.name, port, arrival, control);
        slot.worker->start();
    }
}

void Station::collect()
{
    QStringList ports;
    if (!ending && poller.takeLatest(ports))
        adopt(ports);
    const QString notice = control.takeLogNotice();
    if (!notice.isEmpty())
        emit noticed(notice);
    for (Slot &slot : slotList)
        collect(slot);
    const QString reason = control.haltReason();
    if (!reason.isEmpty() && !haltShown) {
        haltShown = true;
        emit halted(reason);
    }
    if (control.takesNoMore() && control.unitsInFlight() == 0)
        endWhenDone();
}

void Station::collect(Slot &slot)
{
    if (!slot.worker)
        return;
    // Read before the view: a worker that has ended has published all.
    const bool ended = slot.worker->hasEnded();
    const SlotView view = slot.worker->view();
    QVector<QJsonObject> lost;
    for (const QJsonObject &record : slot.worker->takeRecords(lost))
        emit attemptRecorded(record);
    for (const QJsonObject &record : lost)
        emit attemptNotRecorded(record);
    if (view != slot.shown) {
        slot.shown = view;
        emit slotChanged(view);
    }
    if (ended)
        slot.worker.reset();
}

// Every worker is told to end; finished() once all have.
void Station::endWhenDone()
{
    ending = true;
    poller.stop();
    bool allEnded = true;
    for (Slot &slot : slotList) {
        if (!slot.worker)
            continue;
        slot.worker->end();
        collect(slot);
        allEnded = allEnded && !slot.worker;
    }
    if (allEnded && running) {
        running = false;
        collectTimer.stop();
        emit finished();
    }
}

Station::Slot &Station::slotFor(const QString &port)
{
    const QString name = slotName(port);
    auto found = std::find_if(slotList.begin(), slotList.end(), [&](const Slot &slot) { return slot.name == name; });
    if (found != slotList.end())
        return *found;
    SlotView view;
    view.slot = name;
    // Named slots first, in their order; the others by name as a person
    // counts (ttyUSB2 before ttyUSB10).
    auto place = std::find_if(slotList.begin() + control.settings().slotNames.size(), slotList.end(),
                              [&](const Slot &slot) { return naturalLess(name, slot.name); });
    return *slotList.insert(place, Slot{name, view, nullptr});
}

// A slot named for one of a device's names owns the device, whichever name
// it is listed by.
QString Station::slotName(const QString &port) const
{
    const QString device = deviceOf(port);
    for (const auto &slot : control.settings().slotNames) {
        if (slot.second == port || (!device.isEmpty() && deviceOf(slot.second) == device))
            return slot.first;
    }
    return port;
}
