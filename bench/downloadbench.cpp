#include "downloadbench.h"

#include "device/devicelink.h"
#include "measure.h"
#include "replylatency.h"
#include "resulttable.h"
#include "simulator/chosenportlist.h"
#include "simulator/simulateddevice.h"

#include <QDebug>
#include <QStringList>

namespace {
const int lineCount = 100;
const int latencyRounds = 50;
// Per line: the quiet wait before writing and the silence that closes the
// reply, 100 ms each.
const double waitsPerLineSeconds = 0.2;

const QString floorTarget = QStringLiteral("≤ 1.03");
const QString cpuTarget = QStringLiteral("< 2 %");

QStringList commandLines()
{
    QStringList lines;
    for (int i = 0; i < lineCount; ++i)
        lines << QStringLiteral("ZEL#CFG=%1,ABCDEFGHIJ\r").arg(i, 6, 10, QLatin1Char('0'));
    return lines;
}

Reply acknowledge(const QByteArray &)
{
    return Replies::now("OK\n\r");
}
} // namespace

void DownloadBench::run(int runs)
{
    for (int i = 0; i < runs && failure.isEmpty(); ++i) {
        qInfo().noquote() << QStringLiteral("download: run %1 of %2").arg(i + 1).arg(runs);
        Sample sample;
        if (runOnce(sample))
            samples << sample;
    }
}

bool DownloadBench::runOnce(Sample &sample)
{
    SimulatedDevice device(acknowledge);
    if (!device.isOpen()) {
        failure = QStringLiteral("no pseudo-terminal: ") + device.errorString();
        return false;
    }
    const double latency = replyLatencySeconds(device.portName(), latencyRounds);
    setChosenPortNames({device.portName()});
    DeviceLink link;
    QString name;
    if (latency < 0 || !link.findDevice(name)) {
        failure = QStringLiteral("the simulated device did not answer");
        return false;
    }
    device.clearReceived();

    const QStringList lines = commandLines();
    bool acknowledged = true;
    const double wallStart = monotonicSeconds();
    const double cpuStart = threadCpuSeconds();
    for (const QString &line : lines)
        acknowledged = link.sendLine(line) && acknowledged;
    const double cpu = threadCpuSeconds() - cpuStart;
    const double wall = monotonicSeconds() - wallStart;

    if (!acknowledged || device.commands().size() != lineCount) {
        failure = QStringLiteral("not every line was sent and acknowledged");
        return false;
    }
    sample.wallSeconds = wall;
    sample.floorRatio = wall / (lineCount * (waitsPerLineSeconds + latency));
    sample.cpuShare = cpu / wall;
    sample.latencyMs = latency * 1000;
    return true;
}

void DownloadBench::report(ResultTable &table) const
{
    const QString floorRow = QStringLiteral("Download, %1 lines: wall ÷ %1 × (200 ms + reply latency)")
                                 .arg(lineCount);
    const QString cpuRow = QStringLiteral("Idle CPU during the download (link thread)");
    if (!failure.isEmpty()) {
        table.addFailure(floorRow, floorTarget, failure);
        table.addFailure(cpuRow, cpuTarget, failure);
        return;
    }
    QVector<double> ratios, shares, walls, latencies;
    for (const Sample &s : samples) {
        ratios << s.floorRatio;
        shares << s.cpuShare;
        walls << s.wallSeconds;
        latencies << s.latencyMs;
    }
    const double ratio = median(ratios);
    const double share = median(shares) * 100;
    table.addMeasured(floorRow,
                      QStringLiteral("%1 (%2 s; reply latency %3 ms)")
                          .arg(ratio, 0, 'f', 4)
                          .arg(median(walls), 0, 'f', 2)
                          .arg(median(latencies), 0, 'f', 3),
                      floorTarget, ratio <= 1.03);
    table.addMeasured(cpuRow, QStringLiteral("%1 %").arg(share, 0, 'f', 3), cpuTarget,
                      share < 2);
}
