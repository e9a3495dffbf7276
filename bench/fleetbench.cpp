#include "fleetbench.h"

#include "childrun.h"
#include "measure.h"
#include "resulttable.h"
#include "simulatedfleet.h"

#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <functional>

namespace {
const int commandCount = 100;
const int smallFleet = 8;
const int largeFleet = 32;
const int silentPorts = 20;
// The quiet wait and the reply wait of one probe.
const double silentPortSeconds = 1.1;

const QString smallFleetTarget = QStringLiteral("≤ 1.05");
const QString largeFleetTarget = QStringLiteral("≤ 1.10");
const QString cpuTarget = QStringLiteral("< 5 %");
const QString probeTarget = QStringLiteral("≤ 1.2");

// Whether `list` holds one entry for each of `ports`, in their order, each
// passing `check`.
bool eachPortInOrder(const QJsonArray &list, const QStringList &ports,
                     const std::function<bool(const QJsonObject &)> &check)
{
    if (list.size() != ports.size())
        return false;
    for (int i = 0; i < ports.size(); ++i) {
        const QJsonObject entry = list.at(i).toObject();
        if (entry[QStringLiteral("port")].toString() != ports.at(i) || !check(entry))
            return false;
    }
    return true;
}

bool acknowledgedEveryCommand(const QJsonObject &device)
{
    return device[QStringLiteral("result")].toString() == QLatin1String("ok")
        && device[QStringLiteral("sent")].toInt() == commandCount
        && device[QStringLiteral("acknowledged")].toInt() == commandCount;
}

bool silent(const QJsonObject &port)
{
    return port[QStringLiteral("answer")].toString() == QLatin1String("silent");
}

QString secondsText(const QVector<double> &walls)
{
    return QStringLiteral("%1 s").arg(median(walls), 0, 'f', 2);
}
} // namespace

FleetBench::FleetBench(const QString &cliPath, const QString &devsimPath)
    : cli(cliPath)
    , devsim(devsimPath)
    , file(commandCount)
{
}

void FleetBench::run(int downloadRuns, int probeRuns)
{
    if (!file.isValid())
        downloadFailure = QStringLiteral("cannot write the configuration file");
    for (int i = 0; i < downloadRuns && downloadFailure.isEmpty(); ++i) {
        qInfo().noquote() << QStringLiteral("fleet download: run %1 of %2").arg(i + 1).arg(downloadRuns);
        downloadOnce();
    }
    qInfo().noquote() << QStringLiteral("fleet probe of silent ports: %1 runs").arg(probeRuns);
    for (int i = 0; i < probeRuns && probeFailure.isEmpty(); ++i)
        probeOnce();
}

// The three sizes in one run, so that each ratio compares downloads made
// close together.
void FleetBench::downloadOnce()
{
    ChildRun one, eight, fleet;
    if (!download(1, one) || !download(smallFleet, eight) || !download(largeFleet, fleet))
        return;
    downloads.oneDeviceWalls << one.wallSeconds;
    downloads.eightDeviceWalls << eight.wallSeconds;
    downloads.eightDeviceRatios << eight.wallSeconds / one.wallSeconds;
    downloads.fleetWalls << fleet.wallSeconds;
    downloads.fleetRatios << fleet.wallSeconds / one.wallSeconds;
    downloads.fleetCpuShares << fleet.cpuSeconds / fleet.wallSeconds;
}

bool FleetBench::download(int deviceCount, ChildRun &run)
{
    const SimulatedFleet devices(devsim, deviceCount);
    if (devices.portNames().isEmpty()) {
        downloadFailure = QStringLiteral("morlank-devsim did not start %1 devices").arg(deviceCount);
        return false;
    }
    QJsonObject output;
    const QStringList arguments = QStringList{QStringLiteral("download"), file.crLfPath()}
                                + devices.portOptions()
                                + QStringList{QStringLiteral("--json"), QStringLiteral("--quiet")};
    if (!runCli(arguments, 0, run, output, downloadFailure))
        return false;
    if (output[QStringLiteral("commands")].toInt() != commandCount
        || !eachPortInOrder(output[QStringLiteral("devices")].toArray(), devices.portNames(),
                            acknowledgedEveryCommand)) {
        downloadFailure = QStringLiteral("not every device acknowledged every command");
        return false;
    }
    return true;
}

void FleetBench::probeOnce()
{
    const SimulatedFleet devices(devsim, silentPorts, {QStringLiteral("--silent")});
    if (devices.portNames().isEmpty()) {
        probeFailure = QStringLiteral("morlank-devsim did not start %1 devices").arg(silentPorts);
        return;
    }
    ChildRun run;
    QJsonObject output;
    // No device answered: exit status 3.
    if (!runCli(QStringList{QStringLiteral("ports")} + devices.portOptions() + QStringList{QStringLiteral("--json")},
                3, run, output, probeFailure))
        return;
    if (!eachPortInOrder(output[QStringLiteral("ports")].toArray(), devices.portNames(), silent)) {
        probeFailure = QStringLiteral("not every port was found silent");
        return;
    }
    probeWalls << run.wallSeconds;
}

bool FleetBench::runCli(const QStringList &arguments, int expectedStatus, ChildRun &run, QJsonObject &output,
                        QString &failure) const
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        failure = QStringLiteral("no scratch folder for what morlank-cli prints");
        return false;
    }
    const QString outputPath = dir.filePath(QStringLiteral("output.json"));
    run = runChild(QStringList{cli} + arguments, {}, outputPath);
    if (run.exitStatus != expectedStatus) {
        failure = QStringLiteral("morlank-cli %1 exited with status %2, not %3")
                      .arg(arguments.first())
                      .arg(run.exitStatus)
                      .arg(expectedStatus);
        return false;
    }
    QFile printed(outputPath);
    if (!printed.open(QIODevice::ReadOnly)) {
        failure = QStringLiteral("cannot read what morlank-cli printed");
        return false;
    }
    output = QJsonDocument::fromJson(printed.readAll()).object();
    return true;
}

void FleetBench::report(ResultTable &table) const
{
    reportDownloads(table);
    reportProbe(table);
}

void FleetBench::reportDownloads(ResultTable &table) const
{
    const auto ratioRow = [](int devices) {
        return QStringLiteral("Fleet download, %1 devices × %2 commands: wall ÷ 1 device")
            .arg(devices)
            .arg(commandCount);
    };
    const QString cpuRow = QStringLiteral("Fleet download, %1 devices: morlank-cli CPU time ÷ wall").arg(largeFleet);
    if (!downloadFailure.isEmpty()) {
        table.addFailure(ratioRow(smallFleet), smallFleetTarget, downloadFailure);
        table.addFailure(ratioRow(largeFleet), largeFleetTarget, downloadFailure);
        table.addFailure(cpuRow, cpuTarget, downloadFailure);
        return;
    }
    const QString oneDevice = QStringLiteral("1 device: ") + secondsText(downloads.oneDeviceWalls);
    const double eightRatio = median(downloads.eightDeviceRatios);
    const double fleetRatio = median(downloads.fleetRatios);
    const double cpuShare = median(downloads.fleetCpuShares) * 100;
    table.addMeasured(ratioRow(smallFleet),
                      QStringLiteral("%1 (%2; %3)")
                          .arg(eightRatio, 0, 'f', 4)
                          .arg(secondsText(downloads.eightDeviceWalls), oneDevice),
                      smallFleetTarget, eightRatio <= 1.05);
    table.addMeasured(ratioRow(largeFleet),
                      QStringLiteral("%1 (%2; %3)")
                          .arg(fleetRatio, 0, 'f', 4)
                          .arg(secondsText(downloads.fleetWalls), oneDevice),
                      largeFleetTarget, fleetRatio <= 1.10);
    table.addMeasured(cpuRow, QStringLiteral("%1 %").arg(cpuShare, 0, 'f', 3), cpuTarget, cpuShare < 5);
}

void FleetBench::reportProbe(ResultTable &table) const
{
    const QString row = QStringLiteral("Probe, %1 ports that never answer (morlank-cli ports): wall ÷ 1.1 s")
                            .arg(silentPorts);
    if (!probeFailure.isEmpty()) {
        table.addFailure(row, probeTarget, probeFailure);
        return;
    }
    const double wall = median(probeWalls);
    const double ratio = wall / silentPortSeconds;
    table.addMeasured(row, QStringLiteral("%1 (%2 s)").arg(ratio, 0, 'f', 4).arg(wall, 0, 'f', 3), probeTarget,
                      ratio <= 1.2);
}
