// A line of stations on a throw-away PostgreSQL server: 4 processes
// reserving from one list of 100,000 rows (reservations per second in all,
// the 99th percentile of one), a station of 16 slots with a counter from the
// database against the same with a state file, and publishing its slots
// against not, db status over 1,000,000 records, and a day's report from a
// table of 2,000,000.
#include "benchgroups.h"
#include "configuration.h"
#include "pgserver.h"
#include "resulttable.h"
#include "samples.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <numeric>
#include <memory>

namespace {
const int listRows = 100000;
const int reservingProcesses = 4;
const int reservationsEach = 2000;
const int statusRecords = 1000000;
const int statusRuns = 5;
const int yearRecords = 2000000;
const int dayRecords = 20000;

// `program` with `arguments` to its end: what went wrong, unless it ended well.
QString finished(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.start(program, arguments);
    if (process.waitForFinished(timeoutMs) && process.exitCode() == 0)
        return {};
    return QStringLiteral("%1: %2").arg(program, QString::fromLocal8Bit(process.readAllStandardError()));
}

// The file the throughput rows serve, released and ordered, so that a
// station runs the same commands by --order.
QString orderTheThroughputFile(const PgServer &server, const QString &name)
{
    static QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("throughput.conf"));
    if (!writeConfiguration(file, throughputCommands))
        return QStringLiteral("cannot write ") + file;
    const QString url = server.url(QStringLiteral("line"));
    const QString failure = finished(QStringLiteral(MORLANK_CLI),
                                     {QStringLiteral("release"), QStringLiteral("add"), file, QStringLiteral("--name"),
                                      name, QStringLiteral("--db"), url},
                                     60000);
    return failure.isEmpty() ? finished(QStringLiteral(MORLANK_CLI),
                                        {QStringLiteral("order"), QStringLiteral("add"), name, QStringLiteral("--release"),
                                         name, QStringLiteral("--quantity"), QStringLiteral("1000000"),
                                         QStringLiteral("--db"), url},
                                        60000)
                             : failure;
}

// The processes start together; each prints when its reservations began
// and ended (ms since the epoch), then each one's time in µs.
QString reserveFromOneList(const QString &url, Samples &samples, const QString &order = {})
{
    static QTemporaryDir folder;
    QFile list(folder.filePath(QStringLiteral("units.csv")));
    list.open(QIODevice::WriteOnly);
    list.write("ID\n");
    for (int row = 1; row <= listRows; ++row)
        list.write(QStringLiteral("V%1\n").arg(row, 6, 10, QLatin1Char('0')).toLatin1());
    list.close();
    const QString reserver = QStringLiteral(MORLANK_BENCH_LINE_RESERVER);
    // Imported once, before the clock runs.
    QString failure = finished(reserver, {url, list.fileName(), QStringLiteral("0")}, 300000);
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < reservingProcesses && failure.isEmpty(); ++i) {
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->start(reserver, QStringList{url, list.fileName(), QString::number(reservationsEach)}
                                              + (order.isEmpty() ? QStringList() : QStringList{order}));
    }
    qint64 first = std::numeric_limits<qint64>::max(), last = 0;
    for (const auto &process : processes) {
        process->waitForFinished(600000);
        const QList<QByteArray> lines = process->readAllStandardOutput().split('\n');
        if (process->exitCode() != 0 || lines.size() < 2)
            return QString::fromLocal8Bit(process->readAllStandardError());
        first = std::min(first, lines.at(0).split(' ').value(0).toLongLong());
        last = std::max(last, lines.at(0).split(' ').value(1).toLongLong());
        for (int i = 1; i < lines.size(); ++i) {
            if (!lines.at(i).isEmpty())
                samples.add("ms", lines.at(i).toDouble() / 1000);
        }
    }
    const double reservations = samples.values("ms").size();
    samples.add("count", reservations);
    samples.add("per second", reservations * 1000.0 / std::max<qint64>(last - first, 1));
    return reservations == 0 && failure.isEmpty() ? QStringLiteral("no reservation") : failure;
}

// An order of `quantity` for the release every order of the bench runs.
QString addOrder(const PgServer &server, const QString &name, int quantity)
{
    server.query(QStringLiteral("line"),
                 QStringLiteral("INSERT INTO morlank.releases (name, revision, sha256, bytes, os_user, host) VALUES "
                                "('bench', 1, 'ab12', 'ZEL#A=1', 'bench', 'bench') ON CONFLICT DO NOTHING"));
    return server.query(QStringLiteral("line"),
                        QStringLiteral("INSERT INTO morlank.orders (name, release_name, revision, quantity) VALUES "
                                       "($1, 'bench', 1, $2)"),
                        {name, QString::number(quantity)});
}

// 8 processes at once, each a station asking a claim with its values for
// as many units as there are, on an order with 3 left: what they claim in
// all beyond the 3.
QString raceForTheLast(const PgServer &server, int race, Samples &samples)
{
    static QTemporaryDir folder;
    QFile list(folder.filePath(QStringLiteral("race.csv")));
    if (!list.exists() && list.open(QIODevice::WriteOnly))
        list.write("ID\nV1\nV2\nV3\nV4\nV5\nV6\nV7\nV8\nV9\nV10\n"), list.close();
    const QString order = QStringLiteral("race%1").arg(race);
    const QString added = addOrder(server, order, 3);
    if (!added.isEmpty())
        return added;
    // Rows enough for every racer: the list handed out is put back each race.
    server.query(QStringLiteral("line"), QStringLiteral("UPDATE morlank.list_rows SET attempt_id = NULL"));
    std::vector<std::unique_ptr<QProcess>> racers;
    for (int i = 0; i < 8; ++i) {
        racers.push_back(std::make_unique<QProcess>());
        racers.back()->start(QStringLiteral(MORLANK_BENCH_LINE_RESERVER),
                             {server.url(QStringLiteral("line")), list.fileName(), QStringLiteral("1"), order});
    }
    int claimed = 0;
    for (const auto &racer : racers) {
        racer->waitForFinished(60000);
        claimed += racer->readAllStandardOutput().split('\n').value(0).split(' ').value(2).toInt();
    }
    samples.add("over", std::max(0, claimed - 3));
    return {};
}

// db status as the user runs it, the process included, with a million
// records from eight stations over the last day in the table.
QString timeStatus(const PgServer &server, Samples &samples)
{
    const QString inserted = server.query(
        QStringLiteral("line"),
        QStringLiteral("INSERT INTO morlank.attempts (attempt_id, time, station, slot, unit, result, file_sha256, record) "
                       "SELECT gen_random_uuid(), now() - (i % 86400) * interval '1 second', 'station' || (i % 8), "
                       "'slot ' || (i % 16), NULL, 'ok', 'ab12', jsonb_build_object('result', 'ok', 'n', i) "
                       "FROM generate_series(1, $1::int) AS i"),
        {QString::number(statusRecords)});
    server.query(QStringLiteral("line"), QStringLiteral("VACUUM ANALYZE morlank.attempts"));
    if (!inserted.isEmpty())
        return inserted;
    for (int run = 0; run < statusRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        const QString failure = finished(QStringLiteral(MORLANK_CLI),
                                         {QStringLiteral("db"), QStringLiteral("status"), server.url(QStringLiteral("line"))}, 60000);
        if (!failure.isEmpty())
            return failure;
        samples.add("s", timer.nsecsElapsed() / 1e9);
    }
    return {};
}

// report --db --since for one day, as the user runs it, from a table of
// 2,000,000 records a day's 20,000 apart from 2026-01-01 on; the rows are
// made in the database, each a record the report reads.
QString timeDayReport(const PgServer &server, Samples &samples)
{
    server.query(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE years"));
    QString failure = finished(QStringLiteral(MORLANK_CLI),
                               {QStringLiteral("db"), QStringLiteral("init"), server.url(QStringLiteral("years"))}, 60000);
    if (!failure.isEmpty())
        return failure;
    const QString inserted = server.query(
        QStringLiteral("years"),
        QStringLiteral("INSERT INTO morlank.attempts (attempt_id, time, station, slot, unit, result, file_sha256, record) "
                       "SELECT id, t, 'station' || (i % 8), 'slot ' || (i % 16), NULL, 'ok', NULL, "
                       "jsonb_build_object('attempt_id', id, 'time', s, 'started', s, 'station', 'station' || (i % 8), "
                       "'slot', 'slot ' || (i % 16), 'attempt', 1, 'result', 'ok', 'seconds', 1, 'failures', '[]'::jsonb) "
                       "FROM generate_series(0, $1::int - 1) AS i, LATERAL (SELECT gen_random_uuid() WHERE i >= 0) AS u(id), "
                       "LATERAL (SELECT timestamptz '2026-01-01 00:00Z' + i * (86400.0 / $2::int) * interval '1 second') AS a(t), "
                       "to_char(t AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"') AS s"),
        {QString::number(yearRecords), QString::number(dayRecords)});
    server.query(QStringLiteral("years"), QStringLiteral("VACUUM ANALYZE morlank.attempts"));
    if (!inserted.isEmpty())
        return inserted;
    for (int run = 0; run < statusRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        failure = finished(QStringLiteral(MORLANK_CLI),
                           {QStringLiteral("report"), QStringLiteral("--db"), server.url(QStringLiteral("years")),
                            QStringLiteral("--since"), QStringLiteral("2026-02-01T00:00:00Z"), QStringLiteral("--until"),
                            QStringLiteral("2026-02-02T00:00:00Z"), QStringLiteral("--json")},
                           60000);
        if (!failure.isEmpty())
            return failure;
        samples.add("s", timer.nsecsElapsed() / 1e9);
    }
    return {};
}
} // namespace

QString prepareLine(PgServer &server)
{
    static QTemporaryDir home;
    qputenv("XDG_STATE_HOME", QFile::encodeName(home.path()));
    qputenv("PGPASSWORD", PgServer::ownerPassword().toUtf8());
    QString error;
    if (!server.start(error))
        return error;
    const QString created = server.query(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE line"));
    if (!created.isEmpty())
        return created;
    const QStringList init{QStringLiteral("db"), QStringLiteral("init"), server.url(QStringLiteral("line"))};
    return finished(QStringLiteral(MORLANK_CLI), init, 60000);
}

void lineRows(ResultTable &table)
{
    PgServer server;
    Samples reserved, status;
    reserved.repeat(QStringLiteral("line: the server, and 4 processes reserving from one list"), 1, [&](Samples &s) {
        const QString failure = prepareLine(server);
        return failure.isEmpty() ? reserveFromOneList(server.url(QStringLiteral("line")), s) : failure;
    });
    const double perSecond = reserved.median("per second");
    table.add(reserved,
              QStringLiteral("Line: %1 processes reserving from one list of %2 rows, reservations/s in all")
                  .arg(reservingProcesses)
                  .arg(listRows),
              QStringLiteral("≥ 500"), perSecond,
              QStringLiteral("%1 (%2 reservations)").arg(perSecond, 0, 'f', 0).arg(int(reserved.median("count"))));
    QVector<double> ms = reserved.values("ms");
    std::sort(ms.begin(), ms.end());
    const double p99 = ms.value(int(ms.size() * 0.99));
    table.add(reserved, QStringLiteral("Line: one reservation, 99th percentile"), QStringLiteral("≤ 20 ms"), p99,
              QStringLiteral("%1 ms").arg(p99, 0, 'f', 2));
    if (!reserved.failure().isEmpty())
        return;
    Samples claimed, races;
    claimed.repeat(QStringLiteral("line: 4 processes reserving with an order claim"), 1, [&](Samples &s) {
        const QString added = addOrder(server, QStringLiteral("bench"), reservingProcesses * reservationsEach);
        return added.isEmpty() ? reserveFromOneList(server.url(QStringLiteral("line")), s, QStringLiteral("bench")) : added;
    });
    table.add(claimed, QStringLiteral("Line: %1 processes reserving with an order claim, reservations/s in all").arg(reservingProcesses),
              QStringLiteral("≥ 500"), claimed.median("per second"),
              QStringLiteral("%1 (%2 reservations)").arg(claimed.median("per second"), 0, 'f', 0).arg(int(claimed.median("count"))));
    ms = claimed.values("ms");
    std::sort(ms.begin(), ms.end());
    table.add(claimed, QStringLiteral("Line: one reservation with an order claim, 99th percentile"), QStringLiteral("≤ 20 ms"),
              ms.value(int(ms.size() * 0.99)), QStringLiteral("%1 ms").arg(ms.value(int(ms.size() * 0.99)), 0, 'f', 2));
    int race = 0;
    races.repeat(QStringLiteral("line: 8 stations race for the last 3 units of an order"), 20,
                 [&](Samples &s) { return raceForTheLast(server, ++race, s); });
    const QVector<double> over = races.values("over");
    const double overProduced = std::accumulate(over.begin(), over.end(), 0.0);
    table.add(races, QStringLiteral("Line: units claimed beyond the order in %1 races of 8 stations for the last 3").arg(over.size()),
              QStringLiteral("≤ 0"), overProduced, QStringLiteral("%1").arg(overProduced));
    const QString stateVariant = QStringLiteral("with --counter and --state");
    const QString quietVariant = QStringLiteral("with --counter, --db and --no-live");
    const QString dbVariant = QStringLiteral("with --counter and --db");
    const QStringList counter{QStringLiteral("--counter"), QStringLiteral("SN=000001")};
    const QStringList db = counter + QStringList{QStringLiteral("--db"), server.url(QStringLiteral("line"))};
    const QString ordered = orderTheThroughputFile(server, QStringLiteral("throughput"));
    // The database against the state file without publishing; publishing
    // the slots to the line's page against not publishing.
    QVector<ThroughputVariant> variants{
        {stateVariant, counter + QStringList{QStringLiteral("--state"), QStringLiteral("values.state")},
         QStringLiteral("≤ 1.10"), {}},
        {quietVariant, db + QStringList{QStringLiteral("--no-live")}, QStringLiteral("≤ 1.02"), stateVariant},
        {dbVariant, db, QStringLiteral("≤ 1.02"), quietVariant}};
    if (ordered.isEmpty())
        variants.append({QStringLiteral("with --counter, --db and --order"),
                         db + QStringList{QStringLiteral("--order"), QStringLiteral("throughput")},
                         QStringLiteral("≤ 1.02"), dbVariant});
    else
        table.add(Samples::taken(QStringLiteral("the throughput file ordered"), 1, [&](Samples &) { return ordered; }),
                  QStringLiteral("Station throughput with --order"), QStringLiteral("≤ 1.02"), 0, {});
    throughputRows(table, variants);
    status.repeat(QStringLiteral("line: db status over 1,000,000 records"), 1,
                  [&](Samples &s) { return timeStatus(server, s); });
    table.add(status, QStringLiteral("Line: db status with %1 records").arg(statusRecords), QStringLiteral("≤ 1 s"),
              status.median("s"), QStringLiteral("%1 s").arg(status.median("s"), 0, 'f', 3));
    Samples day;
    day.repeat(QStringLiteral("line: report --db --since, a day of 2,000,000 records"), 1,
               [&](Samples &s) { return timeDayReport(server, s); });
    table.add(day,
              QStringLiteral("Line: report --db --since for one day of %1 attempts in a table of %2")
                  .arg(dayRecords)
                  .arg(yearRecords),
              QStringLiteral("≤ 1 s"), day.median("s"), QStringLiteral("%1 s").arg(day.median("s"), 0, 'f', 3));
}
