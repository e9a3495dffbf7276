#include "stationthroughputbench.h"

#include "arrivaldriver.h"
#include "measure.h"
#include "resulttable.h"
#include "stationrig.h"

#include <QDebug>

namespace {
const int fullSlots = 16;
const int unitsPerSlot = 5;
const int commands = 20;
const double fullTarget = 1.10;
// The next unit as soon as the last one's record came.
const ArrivalDriver::Plan backToBack{unitsPerSlot, false, 0, 0};

QString ratioText(double ratio, double wall, const QString &against, double againstWall)
{
    return QStringLiteral("%1 (%2 s; %3: %4 s)")
        .arg(ratio, 0, 'f', 4)
        .arg(wall, 0, 'f', 2)
        .arg(against)
        .arg(againstWall, 0, 'f', 2);
}
} // namespace

StationThroughputBench::StationThroughputBench(const QString &cliPath, const QString &devsimPath)
    : cli(cliPath)
    , devsim(devsimPath)
{
}

void StationThroughputBench::addVariant(const QString &name, const QStringList &watchOptions, double maxRatio)
{
    variants.append({name, watchOptions, maxRatio, {}, {}});
}

void StationThroughputBench::run(int runs)
{
    for (int i = 0; i < runs && failure.isEmpty(); ++i) {
        qInfo().noquote() << QStringLiteral("station throughput: run %1 of %2").arg(i + 1).arg(runs);
        runOnce();
    }
}

// Every figure of one run taken close together, so that the ratios compare
// like with like.
void StationThroughputBench::runOnce()
{
    double one = 0, full = 0;
    QVector<double> variantWalls(variants.size());
    if (!measure(1, {}, one) || !measure(fullSlots, {}, full))
        return;
    for (int i = 0; i < variants.size(); ++i) {
        if (!measure(fullSlots, variants.at(i).watchOptions, variantWalls[i]))
            return;
    }
    oneSlotWalls << one;
    fullWalls << full;
    fullRatios << full / one;
    for (int i = 0; i < variants.size(); ++i) {
        variants[i].walls << variantWalls.at(i);
        variants[i].ratios << variantWalls.at(i) / full;
    }
}

bool StationThroughputBench::measure(int slotCount, const QStringList &watchOptions, double &wall)
{
    StationRig rig(cli, devsim);
    StationRig::Setup setup;
    setup.slotCount = slotCount;
    setup.commands = commands;
    setup.watchOptions = watchOptions;
    if (!rig.start(setup)) {
        failure = rig.failure();
        return false;
    }
    ArrivalDriver driver(rig, backToBack);
    if (!driver.run(failure))
        return false;
    if (!rig.stop()) {
        failure = rig.failure();
        return false;
    }
    wall = driver.wallSeconds();
    return true;
}

void StationThroughputBench::report(ResultTable &table) const
{
    const QString fullRow = QStringLiteral("Station throughput, %1 slots × %2 units × %3 commands: wall ÷ 1 slot")
                                .arg(fullSlots)
                                .arg(unitsPerSlot)
                                .arg(commands);
    const QString fullTargetText = QStringLiteral("≤ %1").arg(fullTarget, 0, 'f', 2);
    const auto variantRow = [](const Variant &variant) {
        return QStringLiteral("Station throughput, %1 slots %2: wall ÷ without").arg(fullSlots).arg(variant.name);
    };
    const auto variantTarget = [](const Variant &variant) {
        return QStringLiteral("≤ %1").arg(variant.maxRatio, 0, 'f', 2);
    };
    if (!failure.isEmpty()) {
        table.addFailure(fullRow, fullTargetText, failure);
        for (const Variant &variant : variants)
            table.addFailure(variantRow(variant), variantTarget(variant), failure);
        return;
    }
    const double fullRatio = median(fullRatios);
    table.addMeasured(fullRow,
                      ratioText(fullRatio, median(fullWalls), QStringLiteral("1 slot"), median(oneSlotWalls)),
                      fullTargetText, fullRatio <= fullTarget);
    for (const Variant &variant : variants) {
        const double ratio = median(variant.ratios);
        table.addMeasured(variantRow(variant),
                          ratioText(ratio, median(variant.walls), QStringLiteral("without"), median(fullWalls)),
                          variantTarget(variant), ratio <= variant.maxRatio);
    }
}
