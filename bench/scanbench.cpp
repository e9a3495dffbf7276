#include "scanbench.h"

#include "device/devicelink.h"
#include "measure.h"
#include "resulttable.h"
#include "simulator/chosenportlist.h"
#include "simulator/simulateddevice.h"

#include <QDebug>
#include <QSerialPort>

#include <memory>
#include <vector>

namespace {
const int silentPorts = 5;
// The 100 ms quiet wait and the 1000 ms reply wait.
const double silentPortSeconds = 1.1;
const int unopenablePorts = 20;

const QString silentTarget = QStringLiteral("≤ 1.02");
const QString unopenableTarget = QStringLiteral("< 1 ms");

using Devices = std::vector<std::unique_ptr<SimulatedDevice>>;

// Scans `names` with a fresh link; the seconds it took, or negative when a
// device was found after all.
double scanSeconds(const QStringList &names)
{
    setChosenPortNames(names);
    DeviceLink link;
    QString found;
    const double start = monotonicSeconds();
    const bool answered = link.findDevice(found);
    const double seconds = monotonicSeconds() - start;
    return answered ? -1 : seconds;
}

bool openDevices(Devices &devices, int count, QStringList &names)
{
    for (int i = 0; i < count; ++i) {
        devices.push_back(std::make_unique<SimulatedDevice>());
        if (!devices.back()->isOpen())
            return false;
        names << devices.back()->portName();
    }
    return true;
}

bool everyDeviceReceived(const Devices &devices, const QByteArray &bytes)
{
    for (const auto &device : devices) {
        if (device->received() != bytes)
            return false;
    }
    return true;
}

// Runs `scan` up to `runs` times; stops at the first failure.
template<typename Scan>
void repeat(int runs, QVector<double> &values, QString &failure, Scan scan)
{
    for (int i = 0; i < runs && failure.isEmpty(); ++i) {
        double value = 0;
        if (scan(value, failure))
            values << value;
    }
}
} // namespace

void ScanBench::run(int silentRuns, int unopenableRuns)
{
    qInfo().noquote() << QStringLiteral("scan of silent ports: %1 runs").arg(silentRuns);
    repeat(silentRuns, silent.values, silent.failure,
           [this](double &v, QString &f) { return scanSilentPorts(v, f); });
    qInfo().noquote() << QStringLiteral("scan of unopenable ports: %1 runs").arg(unopenableRuns);
    repeat(unopenableRuns, held.values, held.failure,
           [this](double &v, QString &f) { return scanHeldPorts(v, f); });
    repeat(unopenableRuns, missing.values, missing.failure,
           [this](double &v, QString &f) { return scanMissingPorts(v, f); });
}

bool ScanBench::scanSilentPorts(double &ratio, QString &failure)
{
    Devices devices;
    QStringList names;
    if (!openDevices(devices, silentPorts, names)) {
        failure = QStringLiteral("no pseudo-terminal");
        return false;
    }
    const double seconds = scanSeconds(names);
    // Each port must have been opened and sent the handshake.
    if (seconds < 0 || !everyDeviceReceived(devices, "ZEL#\r")) {
        failure = QStringLiteral("the scan did not try every port once");
        return false;
    }
    ratio = seconds / (silentPorts * silentPortSeconds);
    return true;
}

// Ports that another program holds: the link's open fails on the lock.
bool ScanBench::scanHeldPorts(double &msPerPort, QString &failure)
{
    Devices devices;
    QStringList names;
    std::vector<std::unique_ptr<QSerialPort>> holders;
    if (!openDevices(devices, unopenablePorts, names)) {
        failure = QStringLiteral("no pseudo-terminal");
        return false;
    }
    for (const QString &name : names) {
        holders.push_back(std::make_unique<QSerialPort>(name));
        if (!holders.back()->open(QIODevice::ReadWrite)) {
            failure = QStringLiteral("cannot hold a port open");
            return false;
        }
    }
    const double seconds = scanSeconds(names);
    if (seconds < 0 || !everyDeviceReceived(devices, QByteArray())) {
        failure = QStringLiteral("a port held elsewhere was used");
        return false;
    }
    msPerPort = seconds * 1000 / unopenablePorts;
    return true;
}

// Names with no device behind them, as when an adapter is pulled after the
// ports were listed. The open fails as it does for a port the user may not
// open: after the lock file has been written.
bool ScanBench::scanMissingPorts(double &msPerPort, QString &failure)
{
    QStringList names;
    for (int i = 0; i < unopenablePorts; ++i)
        names << QStringLiteral("/dev/morlank-bench-missing-%1").arg(i);
    const double seconds = scanSeconds(names);
    if (seconds < 0) {
        failure = QStringLiteral("a missing port answered");
        return false;
    }
    msPerPort = seconds * 1000 / unopenablePorts;
    return true;
}

void ScanBench::report(ResultTable &table) const
{
    const QString silentRow = QStringLiteral("Scan, %1 ports that never answer: wall ÷ %1 × 1.1 s")
                                  .arg(silentPorts);
    if (silent.failure.isEmpty()) {
        const double ratio = median(silent.values);
        table.addMeasured(silentRow, QString::number(ratio, 'f', 4), silentTarget, ratio <= 1.02);
    } else {
        table.addFailure(silentRow, silentTarget, silent.failure);
    }
    reportMsPerPort(table,
                    QStringLiteral("Scan, %1 ports held by another program: time per port")
                        .arg(unopenablePorts),
                    held);
    reportMsPerPort(table,
                    QStringLiteral("Scan, %1 ports whose device is gone: time per port")
                        .arg(unopenablePorts),
                    missing);
}

void ScanBench::reportMsPerPort(ResultTable &table, const QString &row,
                                const Figures &figures) const
{
    if (!figures.failure.isEmpty()) {
        table.addFailure(row, unopenableTarget, figures.failure);
        return;
    }
    const double ms = median(figures.values);
    table.addMeasured(row, QStringLiteral("%1 ms").arg(ms, 0, 'f', 3), unopenableTarget, ms < 1);
}
