// morlank-cli against morlank-devsim, each in a process of its own: the same
// download to 1, 8 and 32 simulated devices, compared within each run, and
// the probe of ports that never answer, which should cost one port's time
// however many there are.
#include "benchgroups.h"
#include "childrun.h"
#include "configuration.h"
#include "resulttable.h"
#include "samples.h"
#include "simulatedfleet.h"

#include <QJsonArray>
#include <QTemporaryDir>


namespace {
// Each download run downloads to 1, 8 and 32 devices, about 20 s each.
const int downloadRuns = 3;
const int probeRuns = 5;
const int commandCount = 100;
const int fleetSizes[] = {1, 8, 32};
const int silentPorts = 20;
// The quiet wait and the reply wait of one probe.
const double silentPortSeconds = 1.1;

// morlank-cli `arguments` on `count` simulated devices started with
// `options`, with --port for each and --json: a failure unless it exits with
// `status` and lists under `list` each device, in their order, with every
// value of `expected`.
QString onDevices(int count, const QStringList &options, const QStringList &arguments, int status, const QString &list,
                  const QJsonObject &expected, ChildRun &run)
{
    const SimulatedFleet devices(count, options);
    if (devices.portNames().isEmpty())
        return QStringLiteral("morlank-devsim did not start %1 devices").arg(count);
    QStringList command = arguments;
    for (const QString &name : devices.portNames())
        command << QStringLiteral("--port") << name;
    QJsonObject output;
    const QString failure = runCli(command << QStringLiteral("--json"), status, run, output);
    const QJsonArray entries = output[list].toArray();
    bool each = entries.size() == count;
    for (int i = 0; each && i < count; ++i) {
        const QJsonObject entry = entries.at(i).toObject();
        each = entry[QStringLiteral("port")].toString() == devices.portNames().at(i);
        for (auto value = expected.begin(); each && value != expected.end(); ++value)
            each = entry[value.key()] == value.value();
    }
    if (failure.isEmpty() && !each)
        return QStringLiteral("morlank-cli %1 did not list every device as expected").arg(arguments.first());
    return failure;
}

// The three sizes in one run, so that each ratio compares downloads made
// close together.
QString downloadOnce(const QString &file, Samples &samples)
{
    ChildRun runs[3];
    for (int i = 0; i < 3; ++i) {
        const QString failure = onDevices(fleetSizes[i], {}, {QStringLiteral("download"), file, QStringLiteral("--quiet")}, 0,
                                          QStringLiteral("devices"),
                                          {{QStringLiteral("result"), QStringLiteral("ok")},
                                           {QStringLiteral("sent"), commandCount},
                                           {QStringLiteral("acknowledged"), commandCount}},
                                          runs[i]);
        if (!failure.isEmpty())
            return failure;
    }
    for (int i = 0; i < 3; ++i) {
        samples.add(QString::number(fleetSizes[i]), runs[i].wallSeconds);
        samples.add(QStringLiteral("%1 ÷ 1").arg(fleetSizes[i]), runs[i].wallSeconds / runs[0].wallSeconds);
    }
    samples.add("cpu", runs[2].cpuSeconds / runs[2].wallSeconds * 100);
    return {};
}

// No device answers: exit status 3.
QString probeOnce(Samples &samples)
{
    ChildRun run;
    const QString failure = onDevices(silentPorts, {QStringLiteral("--silent")}, {QStringLiteral("ports")}, 3,
                                      QStringLiteral("ports"), {{QStringLiteral("answer"), QStringLiteral("silent")}}, run);
    samples.add("wall", run.wallSeconds);
    return failure;
}

QString secondsText(const Samples &samples, int devices)
{
    return QStringLiteral("%1 s").arg(samples.median(QString::number(devices)), 0, 'f', 2);
}
} // namespace

void fleetRows(ResultTable &table)
{
    const QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("commands.conf"));
    Samples downloads;
    if (!writeConfiguration(file, commandCount))
        downloads.fail(QStringLiteral("cannot write the configuration file"));
    downloads.repeat(QStringLiteral("fleet download"), downloadRuns, [&](Samples &s) { return downloadOnce(file, s); });
    const Samples probes = Samples::taken(QStringLiteral("fleet probe of silent ports"), probeRuns, probeOnce);

    const QString oneDevice = QStringLiteral("1 device: ") + secondsText(downloads, 1);
    for (const auto &[devices, target] : {std::pair(8, "≤ 1.05"), std::pair(32, "≤ 1.10")}) {
        const double ratio = downloads.median(QStringLiteral("%1 ÷ 1").arg(devices));
        table.add(downloads,
                  QStringLiteral("Fleet download, %1 devices × %2 commands: wall ÷ 1 device").arg(devices).arg(commandCount),
                  QString::fromUtf8(target), ratio,
                  QStringLiteral("%1 (%2; %3)").arg(ratio, 0, 'f', 4).arg(secondsText(downloads, devices), oneDevice));
    }
    const double cpuShare = downloads.median("cpu");
    table.add(downloads, QStringLiteral("Fleet download, %1 devices: morlank-cli CPU time ÷ wall").arg(fleetSizes[2]),
              QStringLiteral("< 5 %"), cpuShare, QStringLiteral("%1 %").arg(cpuShare, 0, 'f', 3));
    const double wall = probes.median("wall");
    table.add(probes,
              QStringLiteral("Probe, %1 ports that never answer (morlank-cli ports): wall ÷ 1.1 s").arg(silentPorts),
              QStringLiteral("≤ 1.2"), wall / silentPortSeconds,
              QStringLiteral("%1 (%2 s)").arg(wall / silentPortSeconds, 0, 'f', 4).arg(wall, 0, 'f', 3));
}
