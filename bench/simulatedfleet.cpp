#include "simulatedfleet.h"

namespace {
const int startTimeoutMs = 10000;
}

SimulatedFleet::SimulatedFleet(int count, const QStringList &options)
{
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(QStringLiteral(MORLANK_DEVSIM), QStringList{QStringLiteral("--count"), QString::number(count)} + options);
    QStringList printed;
    while (printed.size() < count) {
        if (process.canReadLine())
            printed << QString::fromLocal8Bit(process.readLine()).trimmed();
        else if (!process.waitForReadyRead(startTimeoutMs))
            return;
    }
    names = printed;
}

// SIGTERM: the simulator closes its lines and ends.
SimulatedFleet::~SimulatedFleet()
{
    process.terminate();
    if (!process.waitForFinished(startTimeoutMs))
        process.kill();
    process.waitForFinished();
}

QStringList SimulatedFleet::portNames() const
{
    return names;
}

void SimulatedFleet::send(const QByteArray &command)
{
    process.write(command + '\n');
    process.waitForBytesWritten(startTimeoutMs);
}

bool SimulatedFleet::isRunning() const
{
    return process.state() == QProcess::Running;
}
