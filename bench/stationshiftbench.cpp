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
// Finished units sitting in their fixture, each asked without pause whether
// it is still there.
const int sittingSlots = 8;
const double sittingTargetPercent = 0.5; // a slot's
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
    idleCpuShare = cpuShare(idleSlots, false, idleFailure);
    qInfo().noquote() << QStringLiteral("station sitting: %1 finished units for %2 s").arg(sittingSlots).arg(idleSeconds);
    sittingCpuShare = cpuShare(sittingSlots, true, sittingFailure) / sittingSlots;
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

// A fixture of `slotCount` ports, silent (the station asks each about once a
// second) or with a finished unit in each (asked without pause): the share
// of one processor the station takes, in %.
double StationShiftBench::cpuShare(int slotCount, bool sitting, QString &failure)
{
    StationRig rig(cli, devsim);
    StationRig::Setup setup;
    setup.slotCount = slotCount;
    setup.ownAdapters = false;
    // Every slot has been looked at once (the threads are up), or every unit
    // is done.
    const QString settled = sitting ? QStringLiteral("ok") : rig.emptyState();
    const auto allSettled = [&] {
        for (int slot = 1; slot <= slotCount; ++slot) {
            if (!rig.lastState(slot).startsWith(settled))
                return false;
        }
        return true;
    };
    bool started = rig.start(setup);
    for (int slot = 1; started && sitting && slot <= slotCount; ++slot)
        rig.plug(slot);
    if (!started || !rig.waitUntil(allSettled, firstLookTimeoutMs)) {
        failure = rig.failure().isEmpty() ? QStringLiteral("the station did not settle in every slot") : rig.failure();
        return 0;
    }
    const double wallStart = monotonicSeconds();
    const ProcessFigures start = ProcessFigures::of(rig.stationProcessId());
    rig.idle(idleSeconds * 1000);
    const ProcessFigures end = ProcessFigures::of(rig.stationProcessId());
    const double wall = monotonicSeconds() - wallStart;
    if (!rig.stop()) {
        failure = rig.failure();
        return 0;
    }
    if (!start.isComplete() || !end.isComplete()) {
        failure = QStringLiteral("cannot read the station's figures in /proc");
        return 0;
    }
    return (end.cpuSeconds - start.cpuSeconds) / wall * 100;
}

void StationShiftBench::report(ResultTable &table) const
{
    reportShift(table);
    reportIdle(table);
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
    const QString sittingRow =
        QStringLiteral("Station, %1 finished units sitting for %2 s: morlank-cli watch CPU time ÷ wall, per slot")
            .arg(sittingSlots)
            .arg(idleSeconds);
    const QString sittingTarget = QStringLiteral("< %1 %").arg(sittingTargetPercent);
    if (!sittingFailure.isEmpty())
        table.addFailure(sittingRow, sittingTarget, sittingFailure);
    else
        table.addMeasured(sittingRow, QStringLiteral("%1 %").arg(sittingCpuShare, 0, 'f', 3), sittingTarget,
                          sittingCpuShare < sittingTargetPercent);
}
