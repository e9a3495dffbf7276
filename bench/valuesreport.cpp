#include "valuesreport.h"

#include "resulttable.h"

#include <QDebug>

namespace {
const QString fill = QStringLiteral("values/fill");
const QString reserved = QStringLiteral("values/reserve/handed_out:%1/programs:%2/iterations:%3/real_time");
const QString reserveEmpty = reserved.arg(0).arg(1).arg(40);
const QString reserveFull = reserved.arg(100000).arg(1).arg(40);
const QString reserveShared = reserved.arg(100000).arg(2).arg(10);
const QString fillTarget = QStringLiteral("≤ 1 ms");

double milliseconds(const QJsonObject &result, const char *time)
{
    const double perUnit = result["time_unit"].toString() == QLatin1String("us") ? 1e-3 : 1;
    return result[time].toDouble() * perUnit;
}

QString millisecondsText(double milliseconds)
{
    return QString::number(milliseconds, 'f', 3) + QStringLiteral(" ms");
}
} // namespace

ValuesReport::ValuesReport(const QString &runnerPath)
    : runner(runnerPath)
{
}

void ValuesReport::run(int repetitions)
{
    qInfo().noquote() << QStringLiteral("values: %1 repetitions").arg(repetitions);
    ran = runner.run({QStringLiteral("--benchmark_repetitions=%1").arg(repetitions),
                      QStringLiteral("--benchmark_report_aggregates_only=true")},
                     {fill, reserveEmpty, reserveFull, reserveShared});
}

void ValuesReport::report(ResultTable &table) const
{
    const QString fillRow = QStringLiteral("Fill 1,000 commands × 10 placeholders, 100,000-row list: "
                                           "CPU time per unit");
    if (!ran) {
        table.addFailure(fillRow, fillTarget, runner.failure());
        return;
    }
    // CPU time: the machine's other load disturbs it less than wall time.
    const QJsonObject filled = runner.median(fill);
    const double fillCpu = milliseconds(filled, "cpu_time");
    table.addMeasured(fillRow,
                      millisecondsText(fillCpu)
                          + QStringLiteral(" (wall %1)").arg(millisecondsText(milliseconds(filled, "real_time"))),
                      fillTarget, fillCpu <= 1);
    const auto wall = [this](const QString &name) {
        return millisecondsText(milliseconds(runner.median(name), "real_time"));
    };
    const double stateMegabytes = runner.median(reserveFull)["state_bytes"].toDouble() / 1e6;
    table.addInfo(QStringLiteral("Reserve one unit's values (lock, re-read, write, fsync, rename), empty state"),
                  wall(reserveEmpty));
    table.addInfo(QStringLiteral("Reserve one unit's values, 100,000 rows handed out"),
                  wall(reserveFull) + QStringLiteral("; state file %1 MB").arg(stateMegabytes, 0, 'f', 1));
    table.addInfo(QStringLiteral("Reserve, 100,000 rows handed out, two programs taking turns"),
                  wall(reserveShared));
}
