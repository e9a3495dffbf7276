#include "stationshiftbench.h"

#include "arrivaldriver.h"
#include "measure.h"
#include "resulttable.h"
#include "stationrig.h"

#include <QDebug>

#include <cmath>

namespace {
// 500 units in 25 slots: the first 50, then 450 more, every one leaving
// before the next comes into its slot.
const int shiftSlots = 25;
const int firstUnitsPerSlot = 2;
const int laterUnitsPerSlot = 18;
const int shiftUnits = shiftSlots * (firstUnitsPerSlot + laterUnitsPerSlot);
const int shiftCommands = 3;
// Two looks at the ports after the last unit left: every slot's worker is gone.
const int settleMs = 1000;
const double memoryDriftTargetMiB = 2;

const int idleSlots = 32;
const int idleSeconds = 20;
const int firstLookTimeoutMs = 10000;
const double idleTargetPercent = 1;

const int finishedSlots = 8;
const int finishedSeconds = 20;
const int finishedTimeoutMs = 20000;
const double finishedTargetPercentPerSlot = 0.5;

// The station's processor time over `seconds`, in percent of the wall time;
// the station is stopped after. -1, with the reason in `failure`, when it
// did not stop cleanly or its figures could not be read.
double cpuShareOver(StationRig &rig, int seconds, QString &failure)
{
    const double wallStart = monotonicSeconds();
    const ProcessFigures start = ProcessFigures::of(rig.stationProcessId());
    rig.idle(seconds * 1000);
    const ProcessFigures end = ProcessFigures::of(rig.stationProcessId());
    const double wall = monotonicSeconds() - wallStart;
    if (!rig.stop()) {
        failure = rig.failure();
        return -1;
    }
    if (!start.isComplete() || !end.isComplete()) {
        failure = QStringLiteral("cannot read the station's figures in /proc");
        return -1;
    }
    return (end.cpuSeconds - start.cpuSeconds) / wall * 100;
}
} // namespace

StationShiftBench::StationShiftBench(const QString &cliPath, const QString &devsimPath)
    : cli(cliPath)
    , devsim(devsimPath)
{
}

void StationShiftBench::run()
{
    qInfo().noquote() << QStringLiteral("station shift: %1 units in %2 slots").arg(shiftUnits).arg(shiftSlots);
    shift();
    qInfo().noquote() << QStringLiteral("station idle: %1 empty slots for %2 s").arg(idleSlots).arg(idleSeconds);
    idle();
    qInfo().noquote() << QStringLiteral("station finished: %1 finished units for %2 s")
                             .arg(finishedSlots)
                             .arg(finishedSeconds);
    finishedUnits();
}

// Figures taken while the station is idle, every slot empty: at the start,
// after the first units and at the end.
void StationShiftBench::shift()
{
    StationRig rig(cli, devsim);
    StationRig::Setup setup;
    setup.slotCount = shiftSlots;
    setup.commands = shiftCommands;
    // As at a real station, every record is synced to a log.
    setup.watchOptions = QStringList{QStringLiteral("--log"), QStringLiteral("records.jsonl")};
    if (!rig.start(setup)) {
        shiftFailure = rig.failure();
        return;
    }
    rig.idle(settleMs);
    atStart = ProcessFigures::of(rig.stationProcessId());
    for (const int units : {firstUnitsPerSlot, laterUnitsPerSlot}) {
        ArrivalDriver driver(rig, {units, true, 0, 0});
        if (!driver.run(shiftFailure))
            return;
        rig.idle(settleMs);
        (units == firstUnitsPerSlot ? afterFirstUnits : atEnd) = ProcessFigures::of(rig.stationProcessId());
    }
    if (!rig.stop())
        shiftFailure = rig.failure();
    else if (!atStart.isComplete() || !afterFirstUnits.isComplete() || !atEnd.isComplete())
        shiftFailure = QStringLiteral("cannot read the station's figures in /proc");
}

// A fixture of silent ports: the station asks each about once a second.
void StationShiftBench::idle()
{
    StationRig rig(cli, devsim);
    StationRig::Setup setup;
    setup.slotCount = idleSlots;
    setup.ownAdapters = false;
    // Every slot has been looked at once: the threads are up.
    const auto allLookedAt = [&] {
        for (int slot = 1; slot <= idleSlots; ++slot) {
            if (rig.lastState(slot) != rig.emptyState())
                return false;
        }
        return true;
    };
    if (!rig.start(setup) || !rig.waitUntil(allLookedAt, firstLookTimeoutMs)) {
        idleFailure = rig.failure().isEmpty() ? QStringLiteral("the station did not look at every port")
                                              : rig.failure();
        return;
    }
    idleCpuShare = cpuShareOver(rig, idleSeconds, idleFailure);
}

// A fixture with a finished unit in every slot: the station keeps asking
// each whether it is still there, and serves none of them again.
void StationShiftBench::finishedUnits()
{
    StationRig rig(cli, devsim);
    StationRig::Setup setup;
    setup.slotCount = finishedSlots;
    setup.ownAdapters = false;
    int records = 0;
    QObject::connect(&rig, &StationRig::recorded, [&](int slot, const QJsonObject &record) {
        ++records;
        const QString result = record.value(QStringLiteral("result")).toString();
        if (result != QLatin1String("ok") && finishedFailure.isEmpty())
            finishedFailure = QStringLiteral("slot%1 recorded a unit %2").arg(slot).arg(result);
    });
    const auto allFinished = [&] {
        for (int slot = 1; slot <= finishedSlots; ++slot) {
            if (!rig.lastState(slot).startsWith(QLatin1String("ok ")))
                return false;
        }
        return records == finishedSlots;
    };
    if (!rig.start(setup)) {
        finishedFailure = rig.failure();
        return;
    }
    for (int slot = 1; slot <= finishedSlots; ++slot)
        rig.plug(slot);
    if (!rig.waitUntil(allFinished, finishedTimeoutMs)) {
        if (finishedFailure.isEmpty())
            finishedFailure = rig.failure().isEmpty() ? QStringLiteral("the station did not finish every unit")
                                                      : rig.failure();
        return;
    }
    rig.idle(settleMs);
    finishedCpuShare = cpuShareOver(rig, finishedSeconds, finishedFailure);
    if (records != finishedSlots && finishedFailure.isEmpty())
        finishedFailure = QStringLiteral("%1 records of %2 units that stayed in their slots")
                              .arg(records)
                              .arg(finishedSlots);
}

void StationShiftBench::report(ResultTable &table) const
{
    reportShift(table);
    reportIdle(table);
    reportFinished(table);
}

void StationShiftBench::reportShift(ResultTable &table) const
{
    const QString heldRow =
        QStringLiteral("Station shift, %1 units in one process: descriptors and threads once idle, against the start")
            .arg(shiftUnits);
    const QString memoryRow =
        QStringLiteral("Station shift, %1 units: VmRSS once idle, against after the first %2")
            .arg(shiftUnits)
            .arg(shiftSlots * firstUnitsPerSlot);
    const QString heldTarget = QStringLiteral("the same");
    const QString memoryTarget = QStringLiteral("within %1 MiB").arg(memoryDriftTargetMiB);
    if (!shiftFailure.isEmpty()) {
        table.addFailure(heldRow, heldTarget, shiftFailure);
        table.addFailure(memoryRow, memoryTarget, shiftFailure);
        return;
    }
    table.addMeasured(heldRow,
                      QStringLiteral("descriptors %1 (start %2), threads %3 (start %4)")
                          .arg(atEnd.descriptors)
                          .arg(atStart.descriptors)
                          .arg(atEnd.threads)
                          .arg(atStart.threads),
                      heldTarget, atEnd.descriptors == atStart.descriptors && atEnd.threads == atStart.threads);
    const double drift = atEnd.residentMiB - afterFirstUnits.residentMiB;
    table.addMeasured(memoryRow,
                      QStringLiteral("%1 MiB (%2 MiB; after %3: %4 MiB; start %5 MiB)")
                          .arg(drift, 0, 'f', 2)
                          .arg(atEnd.residentMiB, 0, 'f', 1)
                          .arg(shiftSlots * firstUnitsPerSlot)
                          .arg(afterFirstUnits.residentMiB, 0, 'f', 1)
                          .arg(atStart.residentMiB, 0, 'f', 1),
                      memoryTarget, std::abs(drift) <= memoryDriftTargetMiB);
    table.addInfo(QStringLiteral("Station shift: morlank-cli watch CPU time per unit"),
                  QStringLiteral("%1 ms").arg((atEnd.cpuSeconds - atStart.cpuSeconds) / shiftUnits * 1000, 0, 'f', 1));
}

void StationShiftBench::reportIdle(ResultTable &table) const
{
    const QString row = QStringLiteral("Station idle, %1 silent ports for %2 s: morlank-cli watch CPU time ÷ wall")
                            .arg(idleSlots)
                            .arg(idleSeconds);
    const QString target = QStringLiteral("< %1 %").arg(idleTargetPercent);
    if (!idleFailure.isEmpty()) {
        table.addFailure(row, target, idleFailure);
        return;
    }
    table.addMeasured(row, QStringLiteral("%1 %").arg(idleCpuShare, 0, 'f', 3), target,
                      idleCpuShare < idleTargetPercent);
}

void StationShiftBench::reportFinished(ResultTable &table) const
{
    const QString row = QStringLiteral("Station, %1 finished units sitting in their slots: morlank-cli watch CPU time "
                                       "per slot")
                            .arg(finishedSlots);
    const QString target = QStringLiteral("< %1 % per slot").arg(finishedTargetPercentPerSlot);
    if (!finishedFailure.isEmpty()) {
        table.addFailure(row, target, finishedFailure);
        return;
    }
    const double perSlot = finishedCpuShare / finishedSlots;
    table.addMeasured(row,
                      QStringLiteral("%1 % per slot (%2 % for %3, %4 s)")
                          .arg(perSlot, 0, 'f', 3)
                          .arg(finishedCpuShare, 0, 'f', 3)
                          .arg(finishedSlots)
                          .arg(finishedSeconds),
                      target, perSlot < finishedTargetPercentPerSlot);
}
