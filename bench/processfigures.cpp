#include "processfigures.h"

#include <QDir>
#include <QFile>
#include <QList>

#include <unistd.h>

namespace {
// Files in /proc report no size, so they are read whole, not by atEnd().
QByteArray procFile(qint64 pid, const char *name)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int entryCount(qint64 pid, const char *folder)
{
    const QDir dir(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(folder)));
    if (!dir.exists())
        return -1;
    // A descriptor is a link, broken when its file is gone: System keeps those.
    return int(dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot).size());
}

double readResidentMiB(qint64 pid)
{
    for (const QByteArray &line : procFile(pid, "status").split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).simplified().split(' ').first().toDouble() / 1024; // in kB
    }
    return -1;
}

// utime and stime, the 14th and 15th fields; the name in the 2nd may hold
// spaces, so the fields are counted from the parenthesis that closes it.
double readCpuSeconds(qint64 pid)
{
    const QByteArray stat = procFile(pid, "stat");
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const double ticks = fields.at(11).toDouble() + fields.at(12).toDouble();
    return ticks / double(::sysconf(_SC_CLK_TCK));
}
} // namespace

ProcessFigures ProcessFigures::of(qint64 pid)
{
    return {entryCount(pid, "fd"), entryCount(pid, "task"), readResidentMiB(pid), readCpuSeconds(pid)};
}

bool ProcessFigures::isComplete() const
{
    return descriptors >= 0 && threads >= 0 && residentMiB >= 0 && cpuSeconds >= 0;
}
