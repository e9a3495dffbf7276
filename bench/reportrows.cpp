// morlank-cli report on a log of a million records (about 600 MB), in a
// process of its own: its wall time and peak memory, beside a plain
// `jq -c .` read of the same file for scale. Two logs: a shift of 32 slots
// (fixture units, and units with adapters of their own that come back),
// and one where every record is a unit of its own, the most units the
// figures can be asked to remember.
#include "benchgroups.h"
#include "childrun.h"
#include "resulttable.h"
#include "samples.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {
const int records = 1000000;
const int runs = 3;
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

// Written a block at a time, in this process: the report's own peak is
// measured in its own. Its size in MB, or negative when it cannot be.
double writeLog(const QString &path, bool everyRecordAUnit)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    QByteArray block;
    for (qint64 i = 0; i < records; ++i) {
        block += recordLine(i, everyRecordAUnit);
        if (block.size() > (1 << 20) || i == records - 1) {
            if (file.write(block) != block.size())
                return -1;
            block.clear();
        }
    }
    return file.size() / 1e6;
}

// One report, its figures checked before it is timed.
QString reportOnce(const QString &log, const QString &kind, Samples &samples)
{
    ChildRun run;
    QJsonObject figures;
    const QString failure = runCli({QStringLiteral("report"), log, QStringLiteral("--json")}, 0, run, figures);
    if (!failure.isEmpty() || figures.value(QStringLiteral("records")).toInt() != records)
        return QStringLiteral("morlank-cli report failed or did not count every record");
    samples.add(kind + QStringLiteral(" s"), run.wallSeconds);
    samples.add(kind + QStringLiteral(" MiB"), run.peakMiB);
    return {};
}

} // namespace

// The kinds alternate so that both see the same machine.
void reportRows(ResultTable &table)
{
    QTemporaryDir dir;
    const QString shiftLog = dir.filePath(QStringLiteral("shift.jsonl"));
    const QString unitsLog = dir.filePath(QStringLiteral("units.jsonl"));
    Samples s;
    s.repeat(QStringLiteral("report: writing two logs of %1 records").arg(records), 1, [&](Samples &) {
        s.add("shift MB", writeLog(shiftLog, false));
        s.add("units MB", writeLog(unitsLog, true));
        return s.median("shift MB") < 0 || s.median("units MB") < 0 ? QStringLiteral("cannot write the logs") : QString();
    });
    s.repeat(QStringLiteral("report"), runs, [&](Samples &) {
        QString failure = reportOnce(shiftLog, QStringLiteral("shift"), s);
        if (failure.isEmpty())
            failure = reportOnce(unitsLog, QStringLiteral("units"), s);
        // jq once per run, after the reports; a missing or failing jq only
        // leaves its figure out.
        const QString jq = QStandardPaths::findExecutable(QStringLiteral("jq"));
        const ChildRun read = failure.isEmpty() && !jq.isEmpty()
            ? runChild({jq, QStringLiteral("-c"), QStringLiteral("."), shiftLog})
            : ChildRun();
        if (read.succeeded)
            s.add("jq", read.wallSeconds);
        return failure;
    });
    const QString count = QLocale(QLocale::English).toString(records);
    const double seconds = s.median("shift s");
    table.add(s,
              QStringLiteral("Report, %1 records (%2 MB): morlank-cli report wall").arg(count).arg(s.median("shift MB"), 0, 'f', 0),
              QStringLiteral("≤ 10 s"), seconds,
              QStringLiteral("%1 s (%2 MB/s)").arg(seconds, 0, 'f', 2).arg(s.median("shift MB") / seconds, 0, 'f', 0));
    table.add(s, QStringLiteral("Report, %1 records: peak memory").arg(count), QStringLiteral("< 200 MiB"),
              s.median("shift MiB"), QStringLiteral("%1 MiB").arg(s.median("shift MiB"), 0, 'f', 1));
    table.add(s,
              QStringLiteral("Report, %1 records each a unit of its own (%2 MB): peak memory")
                  .arg(count)
                  .arg(s.median("units MB"), 0, 'f', 0),
              QStringLiteral("< 200 MiB"), s.median("units MiB"),
              QStringLiteral("%1 MiB (%2 s)").arg(s.median("units MiB"), 0, 'f', 1).arg(s.median("units s"), 0, 'f', 2));
    const double jq = s.median("jq");
    table.add(s, QStringLiteral("Report ÷ jq -c . reading the same file"), QStringLiteral("none"), 0,
              s.values("jq").isEmpty() ? QStringLiteral("jq is not installed or failed")
                                       : QStringLiteral("%1 (jq: %2 s)").arg(seconds / jq, 0, 'f', 3).arg(jq, 0, 'f', 2));
}
