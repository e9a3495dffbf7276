#include "linebench.h"

#include "line/pgconnection.h"
#include "measure.h"
#include "resulttable.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>

namespace {
const int listRows = 100000;
const int reservingProcesses = 4;
const int reservationsEach = 2000;
const int statusRecords = 1000000;
const int statusRuns = 5;
const double reservationsTarget = 500;
const double p99TargetMs = 20;
const double statusTargetSeconds = 1;

const QString stateVariant = QStringLiteral("with --counter and --state");
} // namespace

LineBench::LineBench(const QString &cliPath, const QString &reserverPath, const QString &devsimPath)
    : cli(cliPath)
    , reserver(reserverPath)
    , devsim(devsimPath)
    , throughput(cliPath, devsimPath)
{
}

void LineBench::run(int throughputRuns)
{
    if (!prepare() || !reserveFromOneList())
        return;
    throughput.addVariant(stateVariant,
                          {QStringLiteral("--counter"), QStringLiteral("SN=000001"), QStringLiteral("--state"),
                           QStringLiteral("values.state")},
                          1.10);
    throughput.addVariant(QStringLiteral("with --counter and --db"),
                          {QStringLiteral("--counter"), QStringLiteral("SN=000001"), QStringLiteral("--db"), url}, 1.02,
                          stateVariant);
    throughput.run(throughputRuns);
    timeStatus();
}

// The server, the schema, and what every process it starts needs to log
// in and keep its spool apart from the user's.
bool LineBench::prepare()
{
    static QTemporaryDir home;
    qputenv("XDG_STATE_HOME", QFile::encodeName(home.path()));
    qputenv("PGPASSWORD", PgServer::ownerPassword().toUtf8());
    QString error;
    if (!server.start(error)) {
        failure = error;
        return false;
    }
    const QString created = server.query(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE line"));
    url = server.url(QStringLiteral("line"));
    QProcess init;
    init.start(cli, {QStringLiteral("db"), QStringLiteral("init"), url});
    if (!created.isEmpty() || !init.waitForFinished(60000) || init.exitCode() != 0) {
        failure = created + QString::fromLocal8Bit(init.readAllStandardError());
        return false;
    }
    return true;
}

bool LineBench::reserveFromOneList()
{
    qInfo().noquote() << "line: 4 processes reserving from one list";
    static QTemporaryDir folder;
    QFile list(folder.filePath(QStringLiteral("units.csv")));
    list.open(QIODevice::WriteOnly);
    list.write("ID\n");
    for (int row = 1; row <= listRows; ++row)
        list.write(QStringLiteral("V%1\n").arg(row, 6, 10, QLatin1Char('0')).toLatin1());
    list.close();
    // Imported once, before the clock runs.
    QProcess import;
    import.start(reserver, {url, list.fileName(), QStringLiteral("0")});
    if (!import.waitForFinished(300000) || import.exitCode() != 0) {
        failure = QString::fromLocal8Bit(import.readAllStandardError());
        return false;
    }
    QVector<QProcess *> processes;
    for (int i = 0; i < reservingProcesses; ++i) {
        processes << new QProcess;
        processes.last()->start(reserver, {url, list.fileName(), QString::number(reservationsEach)});
    }
    qint64 first = std::numeric_limits<qint64>::max(), last = 0;
    QVector<double> latencies;
    for (QProcess *process : processes) {
        process->waitForFinished(600000);
        const QList<QByteArray> lines = process->readAllStandardOutput().split('\n');
        if (process->exitCode() != 0 || lines.size() < 2) {
            failure = QString::fromLocal8Bit(process->readAllStandardError());
        } else {
            first = std::min(first, lines.at(0).split(' ').value(0).toLongLong());
            last = std::max(last, lines.at(0).split(' ').value(1).toLongLong());
            for (int i = 1; i < lines.size(); ++i) {
                if (!lines.at(i).isEmpty())
                    latencies << lines.at(i).toDouble() / 1000;
            }
        }
        delete process;
    }
    if (!failure.isEmpty() || latencies.isEmpty())
        return false;
    std::sort(latencies.begin(), latencies.end());
    reservations = int(latencies.size());
    reservationsPerSecond = reservations * 1000.0 / std::max<qint64>(last - first, 1);
    p99Ms = latencies.at(int(latencies.size() * 0.99));
    return true;
}

// db status as the user runs it, the process included, with a million
// records from eight stations over the last day in the table.
bool LineBench::timeStatus()
{
    qInfo().noquote() << "line: db status over 1,000,000 records";
    const QString inserted = server.query(
        QStringLiteral("line"),
        QStringLiteral("INSERT INTO morlank.attempts (attempt_id, time, station, slot, unit, result, file_sha256, record) "
                       "SELECT gen_random_uuid(), now() - (i % 86400) * interval '1 second', 'station' || (i % 8), "
                       "'slot ' || (i % 16), NULL, 'ok', 'ab12', jsonb_build_object('result', 'ok', 'n', i) "
                       "FROM generate_series(1, $1::int) AS i"),
        {QString::number(statusRecords)});
    server.query(QStringLiteral("line"), QStringLiteral("VACUUM ANALYZE morlank.attempts"));
    if (!inserted.isEmpty()) {
        failure = inserted;
        return false;
    }
    for (int run = 0; run < statusRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        QProcess status;
        status.start(cli, {QStringLiteral("db"), QStringLiteral("status"), url});
        if (!status.waitForFinished(60000) || status.exitCode() != 0) {
            failure = QString::fromLocal8Bit(status.readAllStandardError());
            return false;
        }
        statusSeconds << timer.nsecsElapsed() / 1e9;
    }
    return true;
}

void LineBench::report(ResultTable &table) const
{
    const QString reserveRow = QStringLiteral("Line: %1 processes reserving from one list of %2 rows, reservations/s in all")
                                   .arg(reservingProcesses)
                                   .arg(listRows);
    const QString p99Row = QStringLiteral("Line: one reservation, 99th percentile");
    const QString statusRow = QStringLiteral("Line: db status with %1 records").arg(statusRecords);
    if (reservations == 0) {
        table.addFailure(reserveRow, QStringLiteral("≥ 500"), failure);
        return;
    }
    table.addMeasured(reserveRow, QStringLiteral("%1 (%2 reservations)").arg(reservationsPerSecond, 0, 'f', 0).arg(reservations),
                      QStringLiteral("≥ %1").arg(reservationsTarget), reservationsPerSecond >= reservationsTarget);
    table.addMeasured(p99Row, QStringLiteral("%1 ms").arg(p99Ms, 0, 'f', 2), QStringLiteral("≤ %1 ms").arg(p99TargetMs),
                      p99Ms <= p99TargetMs);
    throughput.report(table);
    if (statusSeconds.isEmpty()) {
        table.addFailure(statusRow, QStringLiteral("≤ 1 s"), failure);
        return;
    }
    const double seconds = median(statusSeconds);
    table.addMeasured(statusRow, QStringLiteral("%1 s").arg(seconds, 0, 'f', 3),
                      QStringLiteral("≤ %1 s").arg(statusTargetSeconds), seconds <= statusTargetSeconds);
}
