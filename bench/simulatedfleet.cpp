#include "simulatedfleet.h"

namespace {
const int startTimeoutMs = 10000;
}

SimulatedFleet::SimulatedFleet(const QString &devsimPath, int count, const QStringList &options)
{
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(devsimPath, QStringList{QStringLiteral("--count"), QString::number(count)} + options);
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

QStringList SimulatedFleet::portOptions() const
{
    QStringList options;
    for (const QString &name : names)
        options << QStringLiteral("--port") << name;
    return options;
}
