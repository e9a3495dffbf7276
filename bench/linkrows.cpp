// The link in this process, on simulated devices behind pseudo-terminals.
// A configuration download: command lines sent with sendLine to a device
// that acknowledges each at once, its wall time against the floor that the
// link's waits impose, and the CPU time of the link's thread against the
// wall time. Port scans that find nothing: ports that open but never
// answer, which cost the quiet wait and the full reply wait each, and ports
// that cannot be opened, which should cost almost nothing.
#include "benchgroups.h"
#include "device/devicelink.h"
#include "resulttable.h"
#include "samples.h"
#include "simulator/chosenportlist.h"
#include "simulator/simulateddevice.h"

#include <QSerialPort>

#include <algorithm>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {
const int downloadRuns = 5;
const int lineCount = 100;
const int latencyRounds = 50;
// Per line: the quiet wait before writing and the silence that closes the
// reply, 100 ms each.
const double waitsPerLineSeconds = 0.2;

const QByteArray probe = QByteArrayLiteral("ZEL#PROBE\r");

bool waitReadable(int fd)
{
    pollfd readable{fd, POLLIN, 0};
    return ::poll(&readable, 1, 1000) == 1;
}

// Reads until the reply's closing carriage return, so no byte of it is left
// for the next round.
bool readReply(int fd)
{
    char byte = 0;
    while (waitReadable(fd) && ::read(fd, &byte, 1) == 1) {
        if (byte == '\r')
            return true;
    }
    return false;
}

// Seconds from the write to the first readable byte; negative on failure.
double oneRound(int fd)
{
    const double sent = monotonicSeconds();
    if (::write(fd, probe.constData(), size_t(probe.size())) != probe.size() || !waitReadable(fd))
        return -1;
    const double latency = monotonicSeconds() - sent;
    return readReply(fd) ? latency : -1;
}

// The median time, over `rounds` exchanges, from writing a command to the
// terminal at `ttyPath` until the first reply byte can be read. Measured with
// plain system calls, without the link and its waits. Negative on failure.
double replyLatencySeconds(const QString &ttyPath, int rounds)
{
    const int fd = ::open(ttyPath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return -1;
    QVector<double> latencies;
    for (int i = 0; i < rounds; ++i) {
        const double latency = oneRound(fd);
        if (latency < 0)
            break;
        latencies << latency;
    }
    ::close(fd);
    return latencies.size() == rounds ? median(latencies) : -1;
}

QString downloadOnce(Samples &samples)
{
    SimulatedDevice device([](const QByteArray &) { return Replies::now("OK\n\r"); });
    if (!device.isOpen())
        return QStringLiteral("no pseudo-terminal: ") + device.errorString();
    const double latency = replyLatencySeconds(device.portName(), latencyRounds);
    setChosenPortNames({device.portName()});
    DeviceLink link;
    QString name;
    if (latency < 0 || !link.findDevice(name))
        return QStringLiteral("the simulated device did not answer");
    device.clearReceived();
    QStringList lines;
    for (int i = 0; i < lineCount; ++i)
        lines << QStringLiteral("ZEL#CFG=%1,ABCDEFGHIJ\r").arg(i, 6, 10, QLatin1Char('0'));

    bool acknowledged = true;
    const double wallStart = monotonicSeconds();
    const double cpuStart = threadCpuSeconds();
    for (const QString &line : lines)
        acknowledged = link.sendLine(line) && acknowledged;
    const double cpu = threadCpuSeconds() - cpuStart;
    const double wall = monotonicSeconds() - wallStart;
    if (!acknowledged || device.commands().size() != lineCount)
        return QStringLiteral("not every line was sent and acknowledged");
    samples.add("wall", wall);
    samples.add("floor", wall / (lineCount * (waitsPerLineSeconds + latency)));
    samples.add("cpu", cpu / wall * 100);
    samples.add("latency", latency * 1000);
    return {};
}

const int silentRuns = 5;
const int unopenableRuns = 11;
const int silentPorts = 5;
// The 100 ms quiet wait and the 1000 ms reply wait.
const double silentPortSeconds = 1.1;
const int unopenablePorts = 20;

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

// A scan of `count` simulated devices that never answer; when `held`,
// another program holds each port, so the link's open fails on the lock.
// Each must have received the handshake, or nothing when held.
QString scanDevices(int count, bool held, double &seconds)
{
    std::vector<std::unique_ptr<SimulatedDevice>> devices;
    std::vector<std::unique_ptr<QSerialPort>> holders;
    QStringList names;
    for (int i = 0; i < count; ++i) {
        devices.push_back(std::make_unique<SimulatedDevice>());
        if (!devices.back()->isOpen())
            return QStringLiteral("no pseudo-terminal");
        names << devices.back()->portName();
        holders.push_back(std::make_unique<QSerialPort>(names.last()));
        if (held && !holders.back()->open(QIODevice::ReadWrite))
            return QStringLiteral("cannot hold a port open");
    }
    seconds = scanSeconds(names);
    const QByteArray expected = held ? QByteArray() : QByteArray("ZEL#\r");
    if (seconds < 0 || !std::all_of(devices.begin(), devices.end(), [&](const auto &d) { return d->received() == expected; }))
        return held ? QStringLiteral("a port held elsewhere was used") : QStringLiteral("the scan did not try every port once");
    return {};
}

QString scanSilentPorts(Samples &samples)
{
    double seconds = 0;
    const QString failure = scanDevices(silentPorts, false, seconds);
    samples.add("ratio", seconds / (silentPorts * silentPortSeconds));
    return failure;
}

QString scanHeldPorts(Samples &samples)
{
    double seconds = 0;
    const QString failure = scanDevices(unopenablePorts, true, seconds);
    samples.add("ms", seconds * 1000 / unopenablePorts);
    return failure;
}

// Names with no device behind them, as when an adapter is pulled after the
// ports were listed. The open fails as it does for a port the user may not
// open: after the lock file has been written.
QString scanMissingPorts(Samples &samples)
{
    QStringList names;
    for (int i = 0; i < unopenablePorts; ++i)
        names << QStringLiteral("/dev/morlank-bench-missing-%1").arg(i);
    const double seconds = scanSeconds(names);
    if (seconds < 0)
        return QStringLiteral("a missing port answered");
    samples.add("ms", seconds * 1000 / unopenablePorts);
    return {};
}
} // namespace

void downloadRows(ResultTable &table)
{
    const Samples s = Samples::taken(QStringLiteral("download"), downloadRuns, downloadOnce);
    const double ratio = s.median("floor");
    table.add(s, QStringLiteral("Download, %1 lines: wall ÷ %1 × (200 ms + reply latency)").arg(lineCount),
              QStringLiteral("≤ 1.03"), ratio,
              QStringLiteral("%1 (%2 s; reply latency %3 ms)")
                  .arg(ratio, 0, 'f', 4)
                  .arg(s.median("wall"), 0, 'f', 2)
                  .arg(s.median("latency"), 0, 'f', 3));
    const double share = s.median("cpu");
    table.add(s, QStringLiteral("Idle CPU during the download (link thread)"), QStringLiteral("< 2 %"), share,
              QStringLiteral("%1 %").arg(share, 0, 'f', 3));
}

void scanRows(ResultTable &table)
{
    const Samples silent = Samples::taken(QStringLiteral("scan of silent ports"), silentRuns, scanSilentPorts);
    const Samples held = Samples::taken(QStringLiteral("scan of held ports"), unopenableRuns, scanHeldPorts);
    const Samples missing = Samples::taken(QStringLiteral("scan of missing ports"), unopenableRuns, scanMissingPorts);
    const double ratio = silent.median("ratio");
    table.add(silent, QStringLiteral("Scan, %1 ports that never answer: wall ÷ %1 × 1.1 s").arg(silentPorts),
              QStringLiteral("≤ 1.02"), ratio, QString::number(ratio, 'f', 4));
    const auto perPort = [&](const Samples &s, const QString &ports) {
        table.add(s, QStringLiteral("Scan, %1 %2: time per port").arg(unopenablePorts).arg(ports),
                  QStringLiteral("< 1 ms"), s.median("ms"), QStringLiteral("%1 ms").arg(s.median("ms"), 0, 'f', 3));
    };
    perPort(held, QStringLiteral("ports held by another program"));
    perPort(missing, QStringLiteral("ports whose device is gone"));
}
