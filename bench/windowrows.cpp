// The windows, each in a process of its own. Start-up to the shown Morlank
// window with no port to scan, timed from spawning the probe to its exit,
// against an empty QMainWindow started the same way. The station window with
// 32 simulated units at work (morlank-devsim, each unit with an adapter of
// its own, all plugged in at once): how late a 10 ms timer fires in its
// event loop (a probe build of the window), and the CPU the real
// morlank-station uses while they are served, beside morlank-cli watch on the
// same bench (what the engine costs without a window). And the start-up to
// the bench shown with 32 slots, against an empty QMainWindow with 32 labels.
#include "benchgroups.h"
#include "childrun.h"
#include "configuration.h"
#include "processfigures.h"
#include "resulttable.h"
#include "samples.h"
#include "simulatedfleet.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <functional>

namespace {
// Each busy run serves 32 units of 60 commands three times, about 15 s each.
const int busyRuns = 3;
const int startupRuns = 10;
const int slotCount = 32;
const int commandCount = 60;
const int startTimeoutMs = 10000;
const int serveTimeoutMs = 180000;
// Lets the window settle after its log appears, before the units come.
const int settleMs = 500;
// Every unit has been probed and has started its download by then: the CPU
// of the arrivals (looking the adapters up) is left out of the busy share.
const int arrivalsMs = 3000;

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

// Starts `command` on the bench of unplugged units, plugs them all in once
// its log is there, and closes it with SIGTERM once every unit is recorded
// ok; `printed` is its standard output. Its share of one processor in %,
// from the plug on ("NAME plug") and once the arrivals are over ("NAME busy").
QString serveBusyBench(const QString &name, const QStringList &command, Samples &samples, QByteArray &printed)
{
    QTemporaryDir dir;
    const QString links = dir.filePath(QStringLiteral("links"));
    const QString file = dir.filePath(QStringLiteral("commands.conf"));
    if (!dir.isValid() || !writeConfiguration(file, commandCount) || !QDir().mkpath(links))
        return QStringLiteral("no scratch folder");
    SimulatedFleet units(slotCount, {QStringLiteral("--links"), links, QStringLiteral("--unplugged")});
    const QString log = dir.filePath(QStringLiteral("station.jsonl"));
    QProcess window;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    window.setProcessEnvironment(environment);
    window.setStandardErrorFile(QProcess::nullDevice());
    window.start(command.first(), command.mid(1) + QStringList{file, QStringLiteral("--port"),
                                                               links + QStringLiteral("/slot*"), QStringLiteral("--log"), log});
    if (!units.isRunning() || !window.waitForStarted(startTimeoutMs)
        || !waitFor([&] { return QFile::exists(log); }, startTimeoutMs)) {
        stop(window);
        return QStringLiteral("the units or the window did not start");
    }
    QThread::msleep(settleMs);
    double cpu[3] = {}, wall[3] = {}; // at the plug, once busy, once all recorded
    const auto take = [&](int moment) {
        cpu[moment] = ProcessFigures::of(window.processId()).cpuSeconds;
        wall[moment] = monotonicSeconds();
    };
    units.send("plug all");
    take(0);
    QThread::msleep(arrivalsMs);
    take(1);
    const bool allServed = waitFor([&] { return logLines(log).size() >= slotCount; }, serveTimeoutMs);
    take(2);
    stop(window);
    printed = window.readAllStandardOutput();
    const QList<QByteArray> records = logLines(log);
    const auto ok = [](const QByteArray &line) {
        return QJsonDocument::fromJson(line).object()[QStringLiteral("result")].toString() == QLatin1String("ok");
    };
    if (!allServed || records.size() != slotCount || !std::all_of(records.begin(), records.end(), ok))
        return QStringLiteral("not every unit was recorded ok");
    samples.add(name + QStringLiteral(" busy"), (cpu[2] - cpu[1]) / (wall[2] - wall[1]) * 100);
    samples.add(name + QStringLiteral(" plug"), (cpu[2] - cpu[0]) / (wall[2] - wall[0]) * 100);
    return {};
}

// "lateness MEDIAN P99 MAX COUNT", from the probe build of the window.
QString latencyOnce(Samples &samples)
{
    QByteArray printed;
    const QString failure = serveBusyBench(QStringLiteral("probe"), {QStringLiteral(MORLANK_BENCH_STATION_WINDOW_PROBE)},
                                           samples, printed);
    const QList<QByteArray> fields = printed.trimmed().split(' ');
    if (!failure.isEmpty() || fields.size() != 5 || fields[0] != "lateness")
        return failure.isEmpty() ? QStringLiteral("the window probe printed no lateness") : failure;
    samples.add("median", fields[1].toDouble());
    samples.add("p99", fields[2].toDouble());
    samples.add("max", fields[3].toDouble());
    return {};
}

// The two busy measures alternate, so both see the same machine.
QString busyOnce(Samples &samples)
{
    QByteArray printed;
    QString failure = latencyOnce(samples);
    if (failure.isEmpty())
        failure = serveBusyBench(QStringLiteral("station"), {QStringLiteral(MORLANK_STATION)}, samples, printed);
    if (failure.isEmpty())
        failure = serveBusyBench(QStringLiteral("cli"),
                                 {QStringLiteral(MORLANK_CLI), QStringLiteral("watch"), QStringLiteral("--quiet")}, samples,
                                 printed);
    return failure;
}

QString cpuText(const Samples &s, const QString &name)
{
    return QStringLiteral("%1 % (from the plug on, the %2 arrivals included: %3 %)")
        .arg(s.median(name + QStringLiteral(" busy")), 0, 'f', 2)
        .arg(slotCount)
        .arg(s.median(name + QStringLiteral(" plug")), 0, 'f', 2);
}

QString startOnce(const QStringList &command, const QString &figure, Samples &samples)
{
    const ChildRun run = runChild(command);
    if (!run.succeeded)
        return QStringLiteral("the start-up probe failed");
    samples.add(figure + QStringLiteral("ms"), run.wallSeconds * 1000);
    samples.add(figure + QStringLiteral("MiB"), run.peakMiB);
    return {};
}

// Start-ups of `probe` against `bare`, each a program with its arguments,
// alternating so that both see the same machine, after one unrecorded start
// of each that warms the file cache. The figures: "ms" and "MiB" (its peak),
// "bare ms" and "bare MiB".
Samples startups(const QString &what, const QStringList &probe, const QStringList &bare, int runs)
{
    Samples s, warmUp;
    s.fail(startOnce(probe, {}, warmUp));
    s.fail(startOnce(bare, {}, warmUp));
    s.repeat(what, runs, [&](Samples &samples) {
        const QString failure = startOnce(probe, {}, samples);
        return failure.isEmpty() ? startOnce(bare, QStringLiteral("bare "), samples) : failure;
    });
    return s;
}
} // namespace

void startupRows(ResultTable &table)
{
    const QString probe = QStringLiteral(MORLANK_BENCH_STARTUP_PROBE);
    const Samples s = startups(QStringLiteral("start-up"), {probe}, {probe, QStringLiteral("--bare")}, startupRuns);
    table.add(s, QStringLiteral("Start-up to window shown, empty port list (offscreen)"), QStringLiteral("none"), 0,
              QStringLiteral("%1 ms (empty QMainWindow: %2 ms; ratio %3)")
                  .arg(s.median("ms"), 0, 'f', 1)
                  .arg(s.median("bare ms"), 0, 'f', 1)
                  .arg(s.median("ms") / s.median("bare ms"), 0, 'f', 2));
    table.add(s, QStringLiteral("Start-up peak memory"), QStringLiteral("none"), 0,
              QStringLiteral("%1 MiB (empty QMainWindow: %2 MiB)")
                  .arg(s.median("MiB"), 0, 'f', 1)
                  .arg(s.median("bare MiB"), 0, 'f', 1));
}

void windowRows(ResultTable &table)
{
    const Samples busy = Samples::taken(QStringLiteral("station window, %1 slots busy").arg(slotCount), busyRuns, busyOnce);
    table.add(busy, QStringLiteral("Station window, %1 slots busy: lateness of a 10 ms timer, 99th percentile").arg(slotCount),
              QStringLiteral("≤ 20 ms"), busy.median("p99"),
              QStringLiteral("%1 ms (median %2 ms, worst %3 ms)")
                  .arg(busy.median("p99"), 0, 'f', 2)
                  .arg(busy.median("median"), 0, 'f', 2)
                  .arg(busy.median("max"), 0, 'f', 1));
    table.add(busy, QStringLiteral("Station window, %1 slots busy: morlank-station CPU time ÷ wall").arg(slotCount),
              QStringLiteral("< 5 %"), busy.median("station busy"), cpuText(busy, QStringLiteral("station")));
    table.add(busy, QStringLiteral("Station, %1 slots busy: morlank-cli watch CPU time ÷ wall (no window)").arg(slotCount),
              QStringLiteral("none"), 0, cpuText(busy, QStringLiteral("cli")));

    const QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("commands.conf"));
    writeConfiguration(file, commandCount);
    const QString probe = QStringLiteral(MORLANK_BENCH_STATION_WINDOW_PROBE);
    QStringList window{probe, QStringLiteral("--quit-when-shown"), file};
    for (int slot = 1; slot <= slotCount; ++slot)
        window << QStringLiteral("--slot") << QStringLiteral("Slot %1=/nonexistent/slot%1").arg(slot);
    const Samples s =
        startups(QStringLiteral("station window start-up"), window, {probe, QStringLiteral("--bare")}, startupRuns);
    const double ratio = s.median("ms") / s.median("bare ms");
    table.add(s, QStringLiteral("Start-up to the bench shown, %1 slots: ÷ QMainWindow with %1 labels").arg(slotCount),
              QStringLiteral("≤ 2"), ratio,
              QStringLiteral("%1 (%2 ms; QMainWindow: %3 ms)")
                  .arg(ratio, 0, 'f', 2)
                  .arg(s.median("ms"), 0, 'f', 1)
                  .arg(s.median("bare ms"), 0, 'f', 1));
}
