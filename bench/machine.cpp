#include "machine.h"

#include <QFile>
#include <QStringList>
#include <QThread>

namespace {
QString cpuModel()
{
    // Files in /proc report no size, so they are read whole, not by atEnd().
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    if (!cpuinfo.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown CPU");
    const QStringList lines = QString::fromLocal8Bit(cpuinfo.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("model name")))
            return line.section(QLatin1Char(':'), 1).trimmed();
    }
    return QStringLiteral("unknown CPU");
}
} // namespace

QString machineDescription()
{
    return QStringLiteral("%1 cores, %2; Qt %3")
        .arg(QThread::idealThreadCount())
        .arg(cpuModel(), QString::fromLatin1(qVersion()));
}
