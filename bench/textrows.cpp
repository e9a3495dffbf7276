// Runs the Google Benchmark runner for reading configuration files and
// parsing answers, then turns its medians into rows. Each reading case also
// runs once more in a process of its own, for its peak memory and for the
// speed of a first reading, before the process has any freed memory at hand.
#include "benchgroups.h"
#include "childrun.h"
#include "resulttable.h"
#include "samples.h"

#include <QDebug>

namespace {
const int repetitions = 9;
const QString crLf = QStringLiteral("readCommands/crlf");
const QString crOnly = QStringLiteral("readCommands/cr");
const QString plainLoop = QStringLiteral("readLineLoop/crlf");
const QString keepingLoop = QStringLiteral("readLineKeep/crlf");
const QString clockAnswer = QStringLiteral("parse/clock");
const QString fields1k = QStringLiteral("parse/fields:1000");
const QString fields10k = QStringLiteral("parse/fields:10000");
const QStringList readings{crLf, crOnly, plainLoop, keepingLoop};
const QMap<QString, QString> labels{{crLf, QStringLiteral("readCommands, CR LF file")},
                                    {crOnly, QStringLiteral("readCommands, CR-only file")},
                                    {plainLoop, QStringLiteral("plain readLine loop, CR LF file")},
                                    {keepingLoop, QStringLiteral("readLine loop keeping every line, CR LF file")}};

QString megabytesPerSecond(const QJsonObject &result)
{
    return QString::number(result["bytes_per_second"].toDouble() / 1e6, 'f', 1);
}

// Every case, interleaved; then one iteration of each reading in a fresh
// process: its peak resident set is the reading's plus the runner's own
// start-up. The figures: each case's median CPU time, and each reading's
// speed and peak memory when fresh.
QString runAll(BenchmarkRun &all, Samples &samples)
{
    const QString runner = QStringLiteral(MORLANK_BENCH_TEXT_RUNNER);
    QString failure = runBenchmarks(runner,
                                    {QStringLiteral("--benchmark_repetitions=%1").arg(repetitions),
                                     QStringLiteral("--benchmark_enable_random_interleaving=true"),
                                     QStringLiteral("--benchmark_report_aggregates_only=true")},
                                    readings + QStringList{clockAnswer, fields1k, fields10k}, all);
    if (!failure.isEmpty())
        return failure;
    // Process CPU time, which the machine's other load disturbs less than
    // wall time.
    for (const QString &name : readings + QStringList{fields1k, fields10k})
        samples.add(name, all.medians[name]["cpu_time"].toDouble());
    for (const QString &name : readings) {
        qInfo().noquote() << QStringLiteral("text: %1 alone in a fresh process").arg(name);
        BenchmarkRun fresh;
        const QStringList alone{QStringLiteral("--benchmark_filter=^%1$").arg(name), QStringLiteral("--benchmark_min_time=0")};
        failure = runBenchmarks(runner, alone, {}, fresh);
        if (!failure.isEmpty() || fresh.results.size() != 1)
            return failure.isEmpty() ? name + QStringLiteral(": not run alone") : failure;
        samples.add(name + QStringLiteral(" fresh MB/s"), fresh.results.first()["bytes_per_second"].toDouble() / 1e6);
        samples.add(name + QStringLiteral(" fresh MiB"), fresh.peakMiB);
    }
    return {};
}
} // namespace

void textRows(ResultTable &table)
{
    BenchmarkRun all;
    const Samples s = Samples::taken(QStringLiteral("text, %1 interleaved repetitions").arg(repetitions), 1,
                                     [&](Samples &samples) { return runAll(all, samples); });
    const auto ratio = [&](const QString &what, const QString &target, double value) {
        table.add(s, what, target, value, QString::number(value, 'f', 3));
    };
    ratio(QStringLiteral("Read 1,000,000 commands: CR-only ÷ CR LF file"), QStringLiteral("≤ 1.5"),
          s.median(crOnly) / s.median(crLf));
    // The reader keeps every command, so it is measured against the obvious
    // loop that keeps every line: never slower than that. Against a loop that
    // throws its lines away it would measure the machine's allocator as much
    // as the code.
    ratio(QStringLiteral("Read: readCommands ÷ readLine loop keeping every line (CR LF)"), QStringLiteral("≤ 1.0"),
          s.median(crLf) / s.median(keepingLoop));
    ratio(QStringLiteral("Read: readCommands ÷ plain readLine loop, lines thrown away (CR LF)"), QStringLiteral("none"),
          s.median(crLf) / s.median(plainLoop));
    for (const QString &name : readings) {
        table.add(s, labels[name], QStringLiteral("none"), 0,
                  QStringLiteral("%1 MB/s; fresh process %2 MB/s, peak %3 MiB")
                      .arg(megabytesPerSecond(all.medians[name]))
                      .arg(s.median(name + QStringLiteral(" fresh MB/s")), 0, 'f', 1)
                      .arg(s.median(name + QStringLiteral(" fresh MiB")), 0, 'f', 1));
    }
    const auto repliesPerSecond = [&](const QString &what, const QString &name) {
        table.add(s, what, QStringLiteral("none"), 0,
                  QStringLiteral("%1 replies/s").arg(all.medians[name]["items_per_second"].toDouble(), 0, 'f', 0));
    };
    repliesPerSecond(QStringLiteral("Parse a clock answer"), clockAnswer);
    repliesPerSecond(QStringLiteral("Parse an answer of 1,000 fields"), fields1k);
    ratio(QStringLiteral("Parse: cost per field, 10,000 ÷ 1,000 fields"), QStringLiteral("≤ 1.5 (quadratic: ~10)"),
          (s.median(fields10k) / 10000) / (s.median(fields1k) / 1000));
}
