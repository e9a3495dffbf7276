#include "stationreactionbench.h"

#include "arrivaldriver.h"
#include "devicecommandlog.h"
#include "measure.h"
#include "resulttable.h"
#include "stationrig.h"

#include <QDebug>

#include <algorithm>

namespace {
const int arrivals = 20;
// The fewest a configuration may have: the reaction ends at the first.
const int commands = 3;
// Ports appear in one slot, one unit after the other. The next comes once
// the station has seen the last go, at least 100 ms on, so that the slot's
// worker is gone, and then at a random moment of the 500 ms between two
// looks at the ports.
const int appearingSlots = 1;
const ArrivalDriver::Plan appearing{arrivals / appearingSlots, true, 100, 600};
// A fixture takes about 4 s to see a unit go (two missed handshakes), so
// four of its slots take turns at once; each unit comes at a random moment
// of the 1.1 s look, once its slot is empty again.
const int answeringSlots = 4;
const ArrivalDriver::Plan answering{arrivals / answeringSlots, true, 0, 1200};
const double appearingTarget = 0.7;
const double answeringTarget = 1.3;
} // namespace

StationReactionBench::StationReactionBench(const QString &cliPath, const QString &devsimPath)
    : cli(cliPath)
    , devsim(devsimPath)
{
}

void StationReactionBench::run()
{
    qInfo().noquote() << QStringLiteral("station reaction: %1 ports that appear").arg(arrivals);
    measure(true, portAppears);
    qInfo().noquote() << QStringLiteral("station reaction: %1 ports that start answering").arg(arrivals);
    measure(false, portAnswers);
}

void StationReactionBench::measure(bool ownAdapters, Row &row)
{
    StationRig rig(cli, devsim);
    StationRig::Setup setup;
    setup.slotCount = ownAdapters ? appearingSlots : answeringSlots;
    setup.ownAdapters = ownAdapters;
    setup.commands = commands;
    if (!rig.start(setup)) {
        row.failure = rig.failure();
        return;
    }
    ArrivalDriver driver(rig, ownAdapters ? appearing : answering);
    if (!driver.run(row.failure))
        return;
    if (!rig.stop()) {
        row.failure = rig.failure();
        return;
    }
    DeviceCommandLog log;
    if (!log.read(rig.commandLogPath())) {
        row.failure = QStringLiteral("cannot read morlank-devsim's log");
        return;
    }
    for (const ArrivalDriver::Arrival &arrival : driver.arrivals()) {
        const qint64 first = log.firstConfigurationCommand(rig.commandLogName(arrival.slot), arrival.pluggedAtMs);
        if (first < 0) {
            row.failure = QStringLiteral("a unit served ok has no configuration command in the device's log");
            return;
        }
        row.seconds << (first - arrival.pluggedAtMs) / 1000.0;
    }
}

void StationReactionBench::report(ResultTable &table) const
{
    reportRow(table, QStringLiteral("port appears (own adapter, 1 slot)"), portAppears, appearingTarget);
    reportRow(table, QStringLiteral("present port starts answering (fixture, 4 slots)"), portAnswers,
              answeringTarget);
}

void StationReactionBench::reportRow(ResultTable &table, const QString &what, const Row &row,
                                     double targetSeconds) const
{
    const QString name = QStringLiteral("Station reaction, %1: plug to first configuration command, median of %2")
                             .arg(what)
                             .arg(arrivals);
    const QString target = QStringLiteral("≤ %1 s").arg(targetSeconds);
    if (!row.failure.isEmpty()) {
        table.addFailure(name, target, row.failure);
        return;
    }
    const double middle = median(row.seconds);
    const auto [fastest, slowest] = std::minmax_element(row.seconds.begin(), row.seconds.end());
    table.addMeasured(name,
                      QStringLiteral("%1 s (%2–%3 s)")
                          .arg(middle, 0, 'f', 3)
                          .arg(*fastest, 0, 'f', 2)
                          .arg(*slowest, 0, 'f', 2),
                      target, middle <= targetSeconds);
}
