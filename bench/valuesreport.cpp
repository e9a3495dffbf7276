#include "valuesreport.h"

#include "resulttable.h"

#include <QDebug>

namespace {
const QString fill = QStringLiteral("values/fill");
const QString reserveEmpty = QStringLiteral("values/reserve/handed_out:0/programs:1/iterations:40/real_time");
const QString reserveFull = QStringLiteral("values/reserve/handed_out:100000/programs:1/iterations:40/real_time");
const QString reserveShared = QStringLiteral("values/reserve/handed_out:100000/programs:2/iterations:10/real_time");
const QString fillTarget = QStringLiteral("≤ 1 ms");

QString milliseconds(const QJsonObject &result, const char *time)
{
    const double factor = result["time_unit"].toString() == QLatin1String("us") ? 1e-3 : 1;
    return QString::number(result[time].toDouble() * factor, 'f', 3) + QStringLiteral(" ms");
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
    const QString fillRow = QStringLiteral("Fill 1,000 commands × 10 placeholders from a 100,000-row list: "
                                           "CPU time per unit");
    if (!ran) {
        table.addFailure(fillRow, fillTarget, runner.failure());
        return;
    }
    // CPU time: the machine's other load disturbs it less than wall time.
    const QJsonObject filled = runner.median(fill);
    const double fillMs = filled["cpu_time"].toDouble() / 1000;
    table.addMeasured(fillRow, milliseconds(filled, "cpu_time") + QStringLiteral(" (wall %1)").arg(milliseconds(filled, "real_time")),
                      fillTarget, fillMs <= 1);
    const auto stateSize = [this](const QString &name) {
        return QStringLiteral("state file %1 MB").arg(runner.median(name)["state_bytes"].toDouble() / 1e6, 0, 'f', 1);
    };
    table.addInfo(QStringLiteral("Reserve one unit's values (lock, re-read, write, fsync, rename), empty state"),
                  milliseconds(runner.median(reserveEmpty), "real_time"));
    table.addInfo(QStringLiteral("Reserve one unit's values, 100,000 rows handed out"),
                  milliseconds(runner.median(reserveFull), "real_time") + QStringLiteral("; ")
                      + stateSize(reserveFull));
    table.addInfo(QStringLiteral("Reserve, 100,000 rows handed out, two programs taking turns"),
                  milliseconds(runner.median(reserveShared), "real_time"));
}
