// Runs the benchmarks of per-unit values and turns their medians into rows:
// the fill time per unit against its target, the reservation time per unit
// for information.
#include "benchgroups.h"
#include "childrun.h"
#include "resulttable.h"
#include "samples.h"

namespace {
const int repetitions = 5;
const QString fill = QStringLiteral("values/fill");
const QString reserved = QStringLiteral("values/reserve/handed_out:%1/programs:%2/iterations:%3/real_time");
const QString reserveEmpty = reserved.arg(0).arg(1).arg(40);
const QString reserveFull = reserved.arg(100000).arg(1).arg(40);
const QString reserveShared = reserved.arg(100000).arg(2).arg(10);

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

void valuesRows(ResultTable &table)
{
    BenchmarkRun run;
    const Samples s = Samples::taken(QStringLiteral("values, %1 repetitions").arg(repetitions), 1, [&](Samples &) {
        return runBenchmarks(QStringLiteral(MORLANK_BENCH_VALUES_RUNNER),
                             {QStringLiteral("--benchmark_repetitions=%1").arg(repetitions),
                              QStringLiteral("--benchmark_report_aggregates_only=true")},
                             {fill, reserveEmpty, reserveFull, reserveShared}, run);
    });
    const auto medianOf = [&](const QString &name) { return run.medians.value(name); };
    // CPU time: the machine's other load disturbs it less than wall time.
    const double fillCpu = milliseconds(medianOf(fill), "cpu_time");
    table.add(s, QStringLiteral("Fill 1,000 commands × 10 placeholders, 100,000-row list: CPU time per unit"),
              QStringLiteral("≤ 1 ms"), fillCpu,
              millisecondsText(fillCpu)
                  + QStringLiteral(" (wall %1)").arg(millisecondsText(milliseconds(medianOf(fill), "real_time"))));
    const auto wall = [&](const QString &what, const QString &name, const QString &more = {}) {
        table.add(s, what, QStringLiteral("none"), 0, millisecondsText(milliseconds(medianOf(name), "real_time")) + more);
    };
    wall(QStringLiteral("Reserve one unit's values (lock, re-read, write, fsync, rename), empty state"), reserveEmpty);
    wall(QStringLiteral("Reserve one unit's values, 100,000 rows handed out"), reserveFull,
         QStringLiteral("; state file %1 MB").arg(medianOf(reserveFull)["state_bytes"].toDouble() / 1e6, 0, 'f', 1));
    wall(QStringLiteral("Reserve, 100,000 rows handed out, two programs taking turns"), reserveShared);
}
