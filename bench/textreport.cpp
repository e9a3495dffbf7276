#include "textreport.h"

#include "resulttable.h"

#include <QDebug>

namespace {
const QString crLf = QStringLiteral("readCommands/crlf");
const QString crOnly = QStringLiteral("readCommands/cr");
const QString plainLoop = QStringLiteral("readLineLoop/crlf");
const QString keepingLoop = QStringLiteral("readLineKeep/crlf");
const QString clockAnswer = QStringLiteral("parse/clock");
const QString fields1k = QStringLiteral("parse/fields:1000");
const QString fields10k = QStringLiteral("parse/fields:10000");

const QStringList readings{crLf, crOnly, plainLoop, keepingLoop};
const QStringList everyCase = readings + QStringList{clockAnswer, fields1k, fields10k};

const QString readTarget = QStringLiteral("≤ 1.5");
// The reader keeps every command, so it is measured against the obvious loop
// that keeps every line: never slower than that. Against a loop that throws
// its lines away it would measure the machine's allocator as much as the code.
const QString keepingTarget = QStringLiteral("≤ 1.0");
const QString linearTarget = QStringLiteral("≤ 1.5 (quadratic: ~10)");

QString ratioText(double ratio)
{
    return QString::number(ratio, 'f', 3);
}

QString megabytesPerSecond(const QJsonObject &result)
{
    return QString::number(result["bytes_per_second"].toDouble() / 1e6, 'f', 1);
}
} // namespace

TextReport::TextReport(const QString &runnerPath)
    : runner(runnerPath)
{
}

void TextReport::run(int repetitions)
{
    qInfo().noquote() << QStringLiteral("text: %1 interleaved repetitions").arg(repetitions);
    if (!runner.run({QStringLiteral("--benchmark_repetitions=%1").arg(repetitions),
                     QStringLiteral("--benchmark_enable_random_interleaving=true"),
                     QStringLiteral("--benchmark_report_aggregates_only=true")},
                    everyCase)) {
        failure = runner.failure();
        return;
    }
    runEachReadingAlone();
}

// One iteration in a fresh process: its peak resident set is the reading's
// plus the runner's own start-up.
void TextReport::runEachReadingAlone()
{
    for (const QString &name : readings) {
        qInfo().noquote() << QStringLiteral("text: %1 alone in a fresh process").arg(name);
        if (!runner.run({QStringLiteral("--benchmark_filter=^%1$").arg(name), QStringLiteral("--benchmark_min_time=0")},
                        {})) {
            failure = runner.failure();
            return;
        }
        if (runner.results().size() != 1) {
            failure = name + QStringLiteral(": not run alone");
            return;
        }
        freshRuns.insert(name, FreshRun{runner.results().first().toObject(), runner.peakMiB()});
    }
}

// Process CPU time, which the machine's other load disturbs less than
// wall time.
double TextReport::cpuTime(const QString &name) const
{
    return runner.median(name)["cpu_time"].toDouble();
}

void TextReport::report(ResultTable &table) const
{
    reportReading(table);
    reportParsing(table);
}

void TextReport::reportReading(ResultTable &table) const
{
    const QString crRow = QStringLiteral("Read 1,000,000 commands: CR-only ÷ CR LF file");
    const QString keepingRow = QStringLiteral("Read: readCommands ÷ readLine loop keeping every line (CR LF)");
    if (!failure.isEmpty()) {
        table.addFailure(crRow, readTarget, failure);
        table.addFailure(keepingRow, keepingTarget, failure);
        return;
    }
    const double crRatio = cpuTime(crOnly) / cpuTime(crLf);
    const double keepingRatio = cpuTime(crLf) / cpuTime(keepingLoop);
    table.addMeasured(crRow, ratioText(crRatio), readTarget, crRatio <= 1.5);
    table.addMeasured(keepingRow, ratioText(keepingRatio), keepingTarget, keepingRatio <= 1.0);
    table.addInfo(QStringLiteral("Read: readCommands ÷ plain readLine loop, lines thrown away (CR LF)"),
                  ratioText(cpuTime(crLf) / cpuTime(plainLoop)));
    const QMap<QString, QString> labels{
        {crLf, QStringLiteral("readCommands, CR LF file")},
        {crOnly, QStringLiteral("readCommands, CR-only file")},
        {plainLoop, QStringLiteral("plain readLine loop, CR LF file")},
        {keepingLoop, QStringLiteral("readLine loop keeping every line, CR LF file")}};
    for (const QString &name : readings) {
        const FreshRun &fresh = freshRuns[name];
        table.addInfo(labels[name],
                      QStringLiteral("%1 MB/s; fresh process %2 MB/s, peak %3 MiB")
                          .arg(megabytesPerSecond(runner.median(name)), megabytesPerSecond(fresh.result))
                          .arg(fresh.peakMiB, 0, 'f', 1));
    }
}

void TextReport::reportParsing(ResultTable &table) const
{
    const QString linearRow = QStringLiteral("Parse: cost per field, 10,000 ÷ 1,000 fields");
    if (!failure.isEmpty()) {
        table.addFailure(linearRow, linearTarget, failure);
        return;
    }
    const auto repliesPerSecond = [this](const QString &name) {
        return QStringLiteral("%1 replies/s")
            .arg(runner.median(name)["items_per_second"].toDouble(), 0, 'f', 0);
    };
    table.addInfo(QStringLiteral("Parse a clock answer"), repliesPerSecond(clockAnswer));
    table.addInfo(QStringLiteral("Parse an answer of 1,000 fields"), repliesPerSecond(fields1k));
    const double perField = (cpuTime(fields10k) / 10000) / (cpuTime(fields1k) / 1000);
    table.addMeasured(linearRow, ratioText(perField), linearTarget, perField <= 1.5);
}
