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

void StationThroughputBench::addVariant(const QString &name, const QStringList &watchOptions, double maxRatio,
                                        const QString &against)
{
    variants.append({name, watchOptions, maxRatio, against, {}, {}});
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
        const auto against = std::find_if(variants.cbegin(), variants.cend(),
                                          [&](const Variant &v) { return v.name == variants.at(i).against; });
        variants[i].walls << variantWalls.at(i);
        variants[i].ratios << variantWalls.at(i)
                                  / (against == variants.cend() ? full : variantWalls.at(int(against - variants.cbegin())));
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

QVector<double> StationThroughputBench::wallsOf(const QString &name) const
{
    for (const Variant &variant : variants) {
        if (variant.name == name)
            return variant.walls;
    }
    return fullWalls;
}

void StationThroughputBench::report(ResultTable &table) const
{
    const QString fullRow = QStringLiteral("Station throughput, %1 slots × %2 units × %3 commands: wall ÷ 1 slot")
                                .arg(fullSlots)
                                .arg(unitsPerSlot)
                                .arg(commands);
    const QString fullTargetText = QStringLiteral("≤ %1").arg(fullTarget, 0, 'f', 2);
    const auto variantRow = [](const Variant &variant) {
        return QStringLiteral("Station throughput, %1 slots %2: wall ÷ %3")
            .arg(fullSlots)
            .arg(variant.name, variant.against.isEmpty() ? QStringLiteral("without") : variant.against);
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
                          ratioText(ratio, median(variant.walls),
                                    variant.against.isEmpty() ? QStringLiteral("without") : variant.against,
                                    median(variant.against.isEmpty() ? fullWalls : wallsOf(variant.against))),
                          variantTarget(variant), ratio <= variant.maxRatio);
    }
}
