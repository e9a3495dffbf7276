// Runs every benchmark in turn and prints one table: each row is the median
// of several runs, and timings are ratios of figures taken in the same run.
// Group names on the command line run those groups alone, in the usual order:
// morlank-bench station.
#include "benchgroups.h"
#include "resulttable.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <QThread>

#include <utility>

namespace {
const std::pair<QLatin1String, void (*)(ResultTable &)> groups[] = {
    {QLatin1String("download"), downloadRows}, {QLatin1String("scan"), scanRows},
    {QLatin1String("fleet"), fleetRows},       {QLatin1String("station"), stationRows},
    {QLatin1String("text"), textRows},         {QLatin1String("values"), valuesRows},
    {QLatin1String("startup"), startupRows},   {QLatin1String("window"), windowRows},
    {QLatin1String("report"), reportRows},     {QLatin1String("line"), lineRows},
    {QLatin1String("live"), liveRows}};

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

QString machineDescription()
{
    return QStringLiteral("%1 cores, %2; Qt %3")
        .arg(QThread::idealThreadCount())
        .arg(cpuModel(), QString::fromLatin1(qVersion()));
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Every window the bench starts is shown offscreen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QStringList chosen = app.arguments().mid(1);
    QStringList names;
    for (const auto &group : groups)
        names << group.first;
    for (const QString &name : chosen) {
        if (!names.contains(name)) {
            QTextStream(stderr) << "morlank-bench: no group '" << name << "'; the groups: " << names.join(' ') << '\n';
            return 2;
        }
    }
    ResultTable table;
    for (const auto &[name, rows] : groups) {
        if (chosen.isEmpty() || chosen.contains(name))
            rows(table);
    }
    QTextStream out(stdout);
    out << "Machine: " << machineDescription() << "\n\n";
    table.print(out);
    return table.allMet() ? 0 : 1;
}
