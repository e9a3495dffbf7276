#include "stationwindowbench.h"

#include "childrun.h"
#include "measure.h"
#include "resulttable.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

namespace {
const int slotCount = 32;
const int commandCount = 60;
const int startTimeoutMs = 10000;
const int serveTimeoutMs = 180000;
// Lets the window settle after its log appears, before the units come.
const int settleMs = 500;
// Every unit has been probed and has started its download by then: the CPU
// of the arrivals (looking the adapters up) is left out of the busy share.
const int arrivalsMs = 3000;

const QString latencyTarget = QStringLiteral("≤ 20 ms");
const QString cpuTarget = QStringLiteral("< 5 %");
const QString startupTarget = QStringLiteral("≤ 2");

const QStringList offscreen{QStringLiteral("QT_QPA_PLATFORM=offscreen")};

// User and system time of every thread of the process so far.
double processCpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The fields after the command's name, which is in parentheses: utime
    // and stime are the 12th and 13th.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

QList<QByteArray> logLines(const QString &path)
{
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = log.readAll().split('\n');
    lines.removeAll(QByteArray());
    return lines;
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > timeoutMs)
            return false;
        QThread::msleep(50);
    }
    return true;
}

void stop(QProcess &process)
{
    process.terminate();
    if (!process.waitForFinished(startTimeoutMs * 3))
        process.kill();
    process.waitForFinished();
}
} // namespace

StationWindowBench::StationWindowBench(const QString &probePath, const QString &stationPath,
                                       const QString &cliPath, const QString &devsimPath)
    : probe(probePath)
    , station(stationPath)
    , cli(cliPath)
    , devsim(devsimPath)
    , file(commandCount)
{
}

// The two busy measures alternate, so both see the same machine; the
// start-ups alternate with their reference, after one unrecorded pair.
void StationWindowBench::run(int busyRuns, int startupRuns)
{
    if (!file.isValid())
        busyFailure = QStringLiteral("cannot write the configuration file");
    for (int i = 0; i < busyRuns && busyFailure.isEmpty(); ++i) {
        qInfo().noquote() << QStringLiteral("station window, %1 slots busy: run %2 of %3").arg(slotCount).arg(i + 1).arg(busyRuns);
        latencyOnce();
        if (busyFailure.isEmpty() && cpuOnce({station}, stationCpu))
            cpuOnce({cli, QStringLiteral("watch"), QStringLiteral("--quiet")}, cliCpu);
    }
    qInfo().noquote() << QStringLiteral("station window start-up: %1 runs").arg(startupRuns);
    QVector<double> warmUp;
    if (!startOnce(false, warmUp) || !startOnce(true, warmUp))
        return;
    for (int i = 0; i < startupRuns; ++i) {
        if (!startOnce(false, startupMs) || !startOnce(true, bareStartupMs))
            return;
    }
}

void StationWindowBench::latencyOnce()
{
    QByteArray printed;
    if (!serveBusyBench({probe}, {}, {}, printed))
        return;
    const QList<QByteArray> fields = printed.trimmed().split(' ');
    if (fields.size() != 5 || fields[0] != "lateness") {
        busyFailure = QStringLiteral("the window probe printed no lateness");
        return;
    }
    latencyMedians << fields[1].toDouble();
    latencyP99s << fields[2].toDouble();
    latencyMaxima << fields[3].toDouble();
}

// The share of one program, from the plug on and once the units are busy.
bool StationWindowBench::cpuOnce(const QStringList &command, CpuShares &shares)
{
    double cpuAtPlug = 0, wallAtPlug = 0, cpuBusy = 0, wallBusy = 0, cpuEnd = 0, wallEnd = 0;
    QByteArray printed;
    const bool served = serveBusyBench(
        command,
        [&](qint64 pid) {
            cpuAtPlug = processCpuSeconds(pid);
            wallAtPlug = monotonicSeconds();
            QThread::msleep(arrivalsMs);
            cpuBusy = processCpuSeconds(pid);
            wallBusy = monotonicSeconds();
        },
        [&](qint64 pid) {
            cpuEnd = processCpuSeconds(pid);
            wallEnd = monotonicSeconds();
        },
        printed);
    if (!served)
        return false;
    shares.busy << (cpuEnd - cpuBusy) / (wallEnd - wallBusy);
    shares.withArrivals << (cpuEnd - cpuAtPlug) / (wallEnd - wallAtPlug);
    return true;
}

// Starts `command` on the bench of unplugged units, plugs them all in once
// its log is there, and closes it with SIGTERM once every unit is recorded
// ok; `printed` is its standard output.
bool StationWindowBench::serveBusyBench(const QStringList &command, const Moment &unitsPlugged,
                                        const Moment &allRecorded, QByteArray &printed)
{
    QTemporaryDir dir;
    const QString links = dir.filePath(QStringLiteral("links"));
    if (!dir.isValid() || !QDir().mkpath(links)) {
        busyFailure = QStringLiteral("no scratch folder");
        return false;
    }
    QProcess units;
    units.setStandardErrorFile(QProcess::nullDevice());
    units.start(devsim, {QStringLiteral("--count"), QString::number(slotCount), QStringLiteral("--links"), links,
                         QStringLiteral("--unplugged")});
    while (units.waitForReadyRead(startTimeoutMs) && !units.readAll().contains("Serving")) {
    }
    const QString log = dir.filePath(QStringLiteral("station.jsonl"));
    QProcess window;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    window.setProcessEnvironment(environment);
    window.setStandardErrorFile(QProcess::nullDevice());
    window.start(command.first(), command.mid(1) + QStringList{file.crLfPath(), QStringLiteral("--port"),
                                                               links + QStringLiteral("/slot*"), QStringLiteral("--log"),
                                                               log});
    if (units.state() != QProcess::Running || !window.waitForStarted(startTimeoutMs)
        || !waitFor([&] { return QFile::exists(log); }, startTimeoutMs)) {
        busyFailure = QStringLiteral("the units or the window did not start");
        stop(window);
        stop(units);
        return false;
    }
    QThread::msleep(settleMs);
    units.write("plug all\n");
    units.waitForBytesWritten(startTimeoutMs);
    if (unitsPlugged)
        unitsPlugged(window.processId());
    const bool allServed = waitFor([&] { return logLines(log).size() >= slotCount; }, serveTimeoutMs);
    if (allServed && allRecorded)
        allRecorded(window.processId());
    stop(window);
    printed = window.readAllStandardOutput();
    stop(units);
    const QList<QByteArray> records = logLines(log);
    const bool allOk = allServed && records.size() == slotCount
                    && std::all_of(records.begin(), records.end(), [](const QByteArray &line) {
                           return QJsonDocument::fromJson(line).object()[QStringLiteral("result")].toString()
                               == QLatin1String("ok");
                       });
    if (!allOk)
        busyFailure = QStringLiteral("not every unit was recorded ok");
    return allOk;
}

bool StationWindowBench::startOnce(bool bareWindow, QVector<double> &milliseconds)
{
    QStringList arguments{probe};
    if (bareWindow) {
        arguments << QStringLiteral("--bare");
    } else {
        arguments << QStringLiteral("--quit-when-shown") << file.crLfPath();
        for (int slot = 1; slot <= slotCount; ++slot)
            arguments << QStringLiteral("--slot") << QStringLiteral("Slot %1=/nonexistent/slot%1").arg(slot);
    }
    const ChildRun run = runChild(arguments, offscreen);
    if (!run.succeeded) {
        startupFailure = QStringLiteral("the start-up probe failed");
        return false;
    }
    milliseconds << run.wallSeconds * 1000;
    return true;
}

void StationWindowBench::report(ResultTable &table) const
{
    reportBusy(table);
    reportStartup(table);
}

void StationWindowBench::reportBusy(ResultTable &table) const
{
    const QString latencyRow =
        QStringLiteral("Station window, %1 slots busy: lateness of a 10 ms timer, 99th percentile").arg(slotCount);
    const QString cpuRow = QStringLiteral("Station window, %1 slots busy: morlank-station CPU time ÷ wall").arg(slotCount);
    const QString cliRow = QStringLiteral("Station, %1 slots busy: morlank-cli watch CPU time ÷ wall (no window)").arg(slotCount);
    if (!busyFailure.isEmpty()) {
        table.addFailure(latencyRow, latencyTarget, busyFailure);
        table.addFailure(cpuRow, cpuTarget, busyFailure);
        return;
    }
    const double p99 = median(latencyP99s);
    const double cpuShare = median(stationCpu.busy) * 100;
    table.addMeasured(latencyRow,
                      QStringLiteral("%1 ms (median %2 ms, worst %3 ms)")
                          .arg(p99, 0, 'f', 2)
                          .arg(median(latencyMedians), 0, 'f', 2)
                          .arg(median(latencyMaxima), 0, 'f', 1),
                      latencyTarget, p99 <= 20);
    const auto withArrivals = [](const CpuShares &shares) {
        return QStringLiteral("from the plug on, the %1 arrivals included: %2 %")
            .arg(slotCount)
            .arg(median(shares.withArrivals) * 100, 0, 'f', 2);
    };
    table.addMeasured(cpuRow, QStringLiteral("%1 % (%2)").arg(cpuShare, 0, 'f', 2).arg(withArrivals(stationCpu)),
                      cpuTarget, cpuShare < 5);
    table.addInfo(cliRow, QStringLiteral("%1 % (%2)").arg(median(cliCpu.busy) * 100, 0, 'f', 2).arg(withArrivals(cliCpu)));
}

void StationWindowBench::reportStartup(ResultTable &table) const
{
    const QString row = QStringLiteral("Start-up to the bench shown, %1 slots: ÷ QMainWindow with %1 labels").arg(slotCount);
    if (!startupFailure.isEmpty()) {
        table.addFailure(row, startupTarget, startupFailure);
        return;
    }
    const double ms = median(startupMs);
    const double bareMs = median(bareStartupMs);
    table.addMeasured(row,
                      QStringLiteral("%1 (%2 ms; QMainWindow: %3 ms)")
                          .arg(ms / bareMs, 0, 'f', 2)
                          .arg(ms, 0, 'f', 1)
                          .arg(bareMs, 0, 'f', 1),
                      startupTarget, ms / bareMs <= 2);
}
