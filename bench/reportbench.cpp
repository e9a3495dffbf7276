#include "reportbench.h"

#include "childrun.h"
#include "measure.h"
#include "resulttable.h"

#include <QDebug>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QStandardPaths>

namespace {
const double targetSeconds = 10;
const double targetPeakMiB = 200;
const int slotCount = 32;

// One record as a station writes it, about 600 bytes: every 20th failed at
// line 17, its retry next.
QByteArray recordLine(qint64 index, bool everyRecordAUnit)
{
    const int slot = int(index % slotCount) + 1;
    const qint64 startMs = 1796630400000LL + index * 3000;
    const bool failed = !everyRecordAUnit && index % 20 == 7;
    const bool retry = !everyRecordAUnit && index % 20 == 7 + slotCount % 20;
    // Even slots have units with adapters of their own; a few come back.
    const bool ownAdapter = everyRecordAUnit || slot % 2 == 0;
    const QByteArray unit = ownAdapter ? "\"FT" + QByteArray::number(everyRecordAUnit ? index : index / 3) + "\"" : "null";
    const auto time = [](qint64 ms) {
        return QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, 3600).toString(Qt::ISODateWithMs).toLatin1();
    };
    const int ms = 2400 + int(index % 97);
    return "{\"time\":\"" + time(startMs + ms) + "\",\"started\":\"" + time(startMs) + "\",\"station\":\"line7-bench-"
           + QByteArray::number(index % 2) + "\",\"slot\":\"Slot " + QByteArray::number(slot)
           + "\",\"port\":\"/dev/serial/by-path/pci-0000:00:14.0-usb-0:" + QByteArray::number(slot)
           + ":1.0-port0\",\"usb\":{\"serial_number\":" + unit
           + ",\"vid_pid\":\"0403:6001\",\"manufacturer\":\"FTDI\"},\"arrival\":\"port\",\"unit\":" + unit
           + ",\"file\":\"/srv/morlank/configurations/line7-controller.conf\",\"file_sha256\":"
             "\"9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08\",\"commands\":60,\"attempt\":"
           + (retry ? "2" : "1") + ",\"result\":\"" + (failed ? "failed" : "ok") + "\",\"sent\":60,\"acknowledged\":"
           + (failed ? "59" : "60") + ",\"seconds\":" + QByteArray::number(ms / 1000.0, 'f', 3) + ",\"failures\":"
           + (failed ? "[{\"line\":17,\"command\":\"ZEL#GAIN=12\",\"reason\":\"refused\",\"answer\":\"ERROR\"}]" : "[]")
           + ",\"clock\":null,\"values\":null,\"error\":null,\"morlank_version\":\"1.1.0\",\"attempt_id\":\""
           + QByteArray::number(index).rightJustified(32, '0') + "\"}\n";
}

double megabytes(qint64 bytes)
{
    return bytes / 1e6;
}
} // namespace

ReportBench::ReportBench(const QString &cliPath, int records)
    : cli(cliPath)
    , records(records)
{
}

// Written a block at a time, in this process: the report's own peak is
// measured in its own.
bool ReportBench::writeLog(const QString &path, bool everyRecordAUnit, double &size) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block;
    for (qint64 i = 0; i < records; ++i) {
        block += recordLine(i, everyRecordAUnit);
        if (block.size() > (1 << 20) || i == records - 1) {
            if (file.write(block) != block.size())
                return false;
            block.clear();
        }
    }
    size = megabytes(file.size());
    return true;
}

// One report, its figures checked before it is timed.
bool ReportBench::reportOnce(const QString &log, Samples &samples)
{
    const QString printed = dir.filePath(QStringLiteral("printed.json"));
    const ChildRun run = runChild({cli, QStringLiteral("report"), log, QStringLiteral("--json")}, {}, printed);
    QFile out(printed);
    const bool read = out.open(QIODevice::ReadOnly);
    const QJsonObject figures = QJsonDocument::fromJson(read ? out.readAll() : QByteArray()).object();
    if (!run.succeeded || figures.value(QStringLiteral("records")).toInt() != records) {
        failure = QStringLiteral("morlank-cli report failed or did not count every record");
        return false;
    }
    samples.seconds << run.wallSeconds;
    samples.peakMiB << run.peakMiB;
    return true;
}

// The kinds alternate so that both see the same machine; jq runs once per
// run, after them.
void ReportBench::run(int runs)
{
    qInfo().noquote() << QStringLiteral("report: writing two logs of %1 records").arg(records);
    const QString shiftLog = dir.filePath(QStringLiteral("shift.jsonl"));
    const QString unitsLog = dir.filePath(QStringLiteral("units.jsonl"));
    if (!dir.isValid() || !writeLog(shiftLog, false, shiftMegabytes) || !writeLog(unitsLog, true, unitsMegabytes)) {
        failure = QStringLiteral("cannot write the logs");
        return;
    }
    const QString jq = QStandardPaths::findExecutable(QStringLiteral("jq"));
    if (jq.isEmpty())
        jqMissing = QStringLiteral("jq is not installed");
    qInfo().noquote() << QStringLiteral("report: %1 runs").arg(runs);
    for (int i = 0; i < runs; ++i) {
        if (!reportOnce(shiftLog, shift) || !reportOnce(unitsLog, distinctUnits))
            return;
        if (jq.isEmpty())
            continue;
        const ChildRun run = runChild({jq, QStringLiteral("-c"), QStringLiteral("."), shiftLog});
        if (!run.succeeded) {
            jqMissing = QStringLiteral("jq failed");
            continue;
        }
        jqSeconds << run.wallSeconds;
    }
}

void ReportBench::report(ResultTable &table) const
{
    const QString what = QStringLiteral("Report, %1 records (%2 MB): morlank-cli report wall")
                             .arg(QLocale(QLocale::English).toString(records), QString::number(shiftMegabytes, 'f', 0));
    const QString peak = QStringLiteral("Report, %1 records: peak memory").arg(QLocale(QLocale::English).toString(records));
    const QString unitsPeak =
        QStringLiteral("Report, %1 records each a unit of its own (%2 MB): peak memory")
            .arg(QLocale(QLocale::English).toString(records), QString::number(unitsMegabytes, 'f', 0));
    const QString secondsTarget = QStringLiteral("≤ %1 s").arg(targetSeconds);
    const QString peakTarget = QStringLiteral("< %1 MiB").arg(targetPeakMiB);
    if (!failure.isEmpty()) {
        for (const QString &row : {what, peak, unitsPeak})
            table.addFailure(row, row == what ? secondsTarget : peakTarget, failure);
        return;
    }
    const double seconds = median(shift.seconds);
    table.addMeasured(what,
                      QStringLiteral("%1 s (%2 MB/s)").arg(seconds, 0, 'f', 2).arg(shiftMegabytes / seconds, 0, 'f', 0),
                      secondsTarget, seconds <= targetSeconds);
    table.addMeasured(peak, QStringLiteral("%1 MiB").arg(median(shift.peakMiB), 0, 'f', 1), peakTarget,
                      median(shift.peakMiB) < targetPeakMiB);
    table.addMeasured(unitsPeak,
                      QStringLiteral("%1 MiB (%2 s)")
                          .arg(median(distinctUnits.peakMiB), 0, 'f', 1)
                          .arg(median(distinctUnits.seconds), 0, 'f', 2),
                      peakTarget, median(distinctUnits.peakMiB) < targetPeakMiB);
    const QString jqRow = QStringLiteral("Report ÷ jq -c . reading the same file");
    if (jqSeconds.isEmpty()) {
        table.addInfo(jqRow, jqMissing);
        return;
    }
    table.addInfo(jqRow, QStringLiteral("%1 (jq: %2 s)")
                             .arg(seconds / median(jqSeconds), 0, 'f', 3)
                             .arg(median(jqSeconds), 0, 'f', 2));
}
