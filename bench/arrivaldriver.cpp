#include "arrivaldriver.h"

#include "measure.h"
#include "stationrig.h"

#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>

namespace {
// Generous: a unit in a fixture takes about 7 s from one arrival to the next.
const int timeoutPerUnitMs = 30000;
} // namespace

ArrivalDriver::ArrivalDriver(StationRig &r, const Plan &p)
    : rig(r)
    , plan(p)
    , slotStates(r.setup().slotCount + 1)
{
    connect(&rig, &StationRig::slotShown, this, &ArrivalDriver::shown);
    connect(&rig, &StationRig::recorded, this, &ArrivalDriver::recorded);
}

bool ArrivalDriver::run(QString &failure)
{
    // A slot already empty takes its first unit without a state shown anew.
    for (int slot = 1; slot < slotStates.size(); ++slot)
        shown(slot, rig.lastState(slot));
    const bool finished = rig.waitUntil([this] { return allDone() || !failed.isEmpty(); },
                                        (plan.unitsPerSlot + 1) * timeoutPerUnitMs);
    failure = !failed.isEmpty()          ? failed
            : !rig.failure().isEmpty()   ? rig.failure()
            : finished                   ? QString()
                                         : QStringLiteral("the units were not all served in time");
    return failure.isEmpty();
}

const QVector<ArrivalDriver::Arrival> &ArrivalDriver::arrivals() const
{
    return plugged;
}

double ArrivalDriver::wallSeconds() const
{
    return lastRecord - firstPlug;
}

void ArrivalDriver::shown(int slot, const QString &state)
{
    Slot &s = slotStates[slot];
    if (state != rig.emptyState()) {
        s.busySeen = true;
        return;
    }
    if (!s.leaving || !s.busySeen)
        return;
    s.leaving = false;
    next(slot);
}

void ArrivalDriver::recorded(int slot, const QJsonObject &record)
{
    Slot &s = slotStates[slot];
    const QString wrong = checked(slot, record);
    if (!wrong.isEmpty()) {
        if (failed.isEmpty())
            failed = wrong;
        return;
    }
    lastRecord = monotonicSeconds();
    ++s.served;
    s.plugged = false;
    rig.unplug(slot);
    if (plan.awaitDeparture)
        s.leaving = true;
    else
        next(slot);
}

void ArrivalDriver::next(int slot)
{
    Slot &s = slotStates[slot];
    if (s.served == plan.unitsPerSlot) {
        s.done = true;
        return;
    }
    const int wait = plan.maxWaitMs > plan.minWaitMs
        ? QRandomGenerator::global()->bounded(plan.minWaitMs, plan.maxWaitMs + 1)
        : plan.minWaitMs;
    if (wait == 0)
        plug(slot);
    else
        QTimer::singleShot(wait, this, [this, slot] { plug(slot); });
}

void ArrivalDriver::plug(int slot)
{
    Slot &s = slotStates[slot];
    s.plugged = true;
    s.busySeen = false;
    const qint64 at = rig.plug(slot);
    if (firstPlug < 0)
        firstPlug = monotonicSeconds();
    plugged << Arrival{slot, at};
}

// What is wrong with a record, if anything: one attempt on a unit the bench
// plugged in, arrived the way the rig makes units arrive, and served whole.
QString ArrivalDriver::checked(int slot, const QJsonObject &record) const
{
    const int commands = rig.setup().commands;
    if (!slotStates[slot].plugged)
        return QStringLiteral("slot%1 recorded a unit the bench had not plugged in").arg(slot);
    if (record.value(QStringLiteral("arrival")).toString() != rig.arrivalKind())
        return QStringLiteral("slot%1 recorded a unit arriving by its %2, not by its %3")
            .arg(slot)
            .arg(record.value(QStringLiteral("arrival")).toString(), rig.arrivalKind());
    if (record.value(QStringLiteral("result")).toString() != QLatin1String("ok")
        || record.value(QStringLiteral("attempt")).toInt() != 1
        || record.value(QStringLiteral("sent")).toInt() != commands
        || record.value(QStringLiteral("acknowledged")).toInt() != commands)
        return QStringLiteral("slot%1 recorded a unit %2 at attempt %3 with %4 of %5 commands acknowledged")
            .arg(slot)
            .arg(record.value(QStringLiteral("result")).toString())
            .arg(record.value(QStringLiteral("attempt")).toInt())
            .arg(record.value(QStringLiteral("acknowledged")).toInt())
            .arg(commands);
    return {};
}

bool ArrivalDriver::allDone() const
{
    return std::all_of(slotStates.begin() + 1, slotStates.end(), [](const Slot &s) { return s.done; });
}
