// The line's page, live, on a throw-away PostgreSQL server: 100 stations of
// 16 slots publishing with the stations' own code at a line's pace (a unit
// every 3 s in every slot) while 50 clients read the page's event stream
// from a real morlank-cli serve: how late a change reaches a client, what
// serve takes of a processor and what the publishing asks of the database.
// Then a station with 16 finished units sitting, publishing against
// --no-live.
#include "benchgroups.h"
#include "eventstreams.h"
#include "linetraffic.h"
#include "pgserver.h"
#include "processfigures.h"
#include "resulttable.h"
#include "samples.h"

#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <limits>

namespace {
const LineTraffic::Shape line{100, 16, 3000, 8};
const int browsers = 50;
// Every station and stream up and the page's first reads done before the
// clock runs; after it stops, the changes of its last moment still reach
// the clients.
const int warmUpSeconds = 10;
const int measuredSeconds = 45;
const int catchUpSeconds = 3;
const int connections = 200; // the stations', serve's and the bench's own
const int startTimeoutMs = 20000;

const int sittingSlots = 16;
const int sittingSeconds = 30;
const int sittingRounds = 2;

// What the database counted so far: the publishing statements by function,
// the slot rows they wrote, and the transactions of every client.
struct DatabaseCounts
{
    double slotCalls = -1;
    double stationCalls = 0;
    double slotRows = 0;
    double transactions = 0;
};

DatabaseCounts countsOf(const PgServer &server)
{
    const QStringList values =
        server
            .query(QStringLiteral("line"),
                   QStringLiteral(
                       "SELECT concat_ws(' ',"
                       " (SELECT coalesce(sum(calls), 0) FROM pg_stat_user_functions"
                       "   WHERE schemaname = 'morlank' AND funcname = 'live_slots'),"
                       " (SELECT coalesce(sum(calls), 0) FROM pg_stat_user_functions"
                       "   WHERE schemaname = 'morlank' AND funcname = 'live_station'),"
                       " (SELECT n_tup_ins + n_tup_upd FROM pg_stat_user_tables"
                       "   WHERE schemaname = 'morlank' AND relname = 'live_slots'),"
                       " (SELECT xact_commit FROM pg_stat_database WHERE datname = 'line'))"))
            .split(QLatin1Char(' '));
    DatabaseCounts counts;
    if (values.size() == 4)
        counts = {values.at(0).toDouble(), values.at(1).toDouble(), values.at(2).toDouble(),
                  values.at(3).toDouble()};
    return counts;
}

// Room for a hundred stations' connections, which takes a restart, and the
// publishing functions counted.
QString roomForTheLine(PgServer &server)
{
    QString failure = server.query(QStringLiteral("postgres"),
                                   QStringLiteral("ALTER SYSTEM SET max_connections = %1").arg(connections));
    if (failure.isEmpty())
        failure = server.query(QStringLiteral("postgres"), QStringLiteral("ALTER DATABASE line SET track_functions = 'all'"));
    if (!failure.isEmpty())
        return failure;
    QString error;
    server.stop();
    return server.start(error) ? QString() : error;
}

// serve on a free port of the loopback; the port it took, or 0.
int startServe(QProcess &serve, const QString &url)
{
    // It says where it listens on standard error.
    serve.setReadChannel(QProcess::StandardError);
    serve.start(QStringLiteral(MORLANK_CLI),
                {QStringLiteral("serve"), QStringLiteral("--db"), url, QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
    static const QRegularExpression served(QStringLiteral("http://127\\.0\\.0\\.1:(\\d+)/"));
    QByteArray said;
    while (serve.waitForReadyRead(startTimeoutMs)) {
        said += serve.readAllStandardError();
        const QRegularExpressionMatch match = served.match(QString::fromLocal8Bit(said));
        if (match.hasMatch())
            return match.captured(1).toInt();
    }
    return 0;
}

// Each marker posted while the clock ran, as each client saw it: how late,
// in s; one never seen counts as later than any.
void addLateness(const QVector<qint64> &markers, const QVector<EventStreams::Sighting> &sightings, int clients,
                 qint64 fromMs, qint64 untilMs, Samples &samples)
{
    const auto inWindow = [&](qint64 ms) { return ms >= fromMs && ms < untilMs; };
    const int posted = int(std::count_if(markers.begin(), markers.end(), inWindow));
    QVector<double> late;
    for (const EventStreams::Sighting &sighting : sightings) {
        if (inWindow(sighting.markerMs))
            late << sighting.lateMs / 1000.0;
    }
    const int missed = std::max(0, posted * clients - int(late.size()));
    samples.add("seen", late.size());
    samples.add("missed", missed);
    late.append(QVector<double>(missed, std::numeric_limits<double>::infinity()));
    std::sort(late.begin(), late.end());
    samples.add("p99 s", late.value(int(late.size() * 0.99), std::numeric_limits<double>::infinity()));
    samples.add("median s", late.value(late.size() / 2, std::numeric_limits<double>::infinity()));
}

QString publishOnce(PgServer &server, Samples &samples)
{
    const QString url = server.url(QStringLiteral("line"));
    QProcess serve;
    const int port = startServe(serve, url);
    if (port == 0) {
        serve.kill();
        serve.waitForFinished();
        return QStringLiteral("morlank-cli serve did not start: ") + QString::fromLocal8Bit(serve.readAllStandardError());
    }
    LineTraffic traffic(url, line);
    traffic.start();
    EventStreams streams(port, browsers, line.stations);
    streams.start();
    QThread::sleep(warmUpSeconds);
    const qint64 fromMs = qint64(monotonicSeconds() * 1000);
    const ProcessFigures serveBefore = ProcessFigures::of(serve.processId());
    const DatabaseCounts before = countsOf(server);
    QThread::sleep(measuredSeconds);
    const qint64 untilMs = qint64(monotonicSeconds() * 1000);
    const ProcessFigures serveAfter = ProcessFigures::of(serve.processId());
    const DatabaseCounts after = countsOf(server);
    QThread::sleep(catchUpSeconds);
    streams.stop();
    traffic.stop();
    serve.terminate();
    serve.waitForFinished(startTimeoutMs);
    if (!streams.failure().isEmpty())
        return streams.failure();
    if (!serveBefore.isComplete() || !serveAfter.isComplete())
        return QStringLiteral("cannot read serve's figures in /proc");
    if (before.slotCalls < 0 || after.slotCalls < 0)
        return QStringLiteral("cannot read the database's statistics");
    const double wall = (untilMs - fromMs) / 1000.0;
    addLateness(traffic.markers(), streams.sightings(), streams.clientCount(), fromMs, untilMs, samples);
    samples.add("serve %", (serveAfter.cpuSeconds - serveBefore.cpuSeconds) / wall * 100);
    samples.add("live_slots/s", (after.slotCalls - before.slotCalls) / wall);
    samples.add("live_station/s", (after.stationCalls - before.stationCalls) / wall);
    samples.add("rows/s", (after.slotRows - before.slotRows) / wall);
    samples.add("transactions/s", (after.transactions - before.transactions) / wall);
    return {};
}

void publishingRows(ResultTable &table, PgServer &server)
{
    const QString what = QStringLiteral("%1 stations × %2 slots publishing, a unit every %3 s a slot, %4 event streams")
                             .arg(line.stations)
                             .arg(line.slotsEach)
                             .arg(line.cycleMs / 1000)
                             .arg(browsers);
    Samples s;
    s.repeat(QStringLiteral("live: ") + what, 1, [&](Samples &samples) {
        QString failure = prepareLine(server);
        if (failure.isEmpty())
            failure = roomForTheLine(server);
        return failure.isEmpty() ? publishOnce(server, samples) : failure;
    });
    table.add(s, QStringLiteral("Live, %1: station's change to the client's event, 99th percentile").arg(what),
              QStringLiteral("≤ 1 s"), s.median("p99 s"),
              QStringLiteral("%1 s (median %2 s; %3 seen, %4 never)")
                  .arg(s.median("p99 s"), 0, 'f', 3)
                  .arg(s.median("median s"), 0, 'f', 3)
                  .arg(int(s.median("seen")))
                  .arg(int(s.median("missed"))));
    table.add(s, QStringLiteral("Live, %1: morlank-cli serve CPU time ÷ wall").arg(what), QStringLiteral("≤ 25 %"),
              s.median("serve %"), QStringLiteral("%1 %").arg(s.median("serve %"), 0, 'f', 1));
    table.add(s, QStringLiteral("Live, %1: the database's load from publishing").arg(what), QStringLiteral("none"), 0,
              QStringLiteral("%1 statements/s (live_slots %2/s, live_station %3/s, pg_stat_user_functions); "
                             "%4 slot rows written/s; %5 transactions/s in the database in all, serve's included")
                  .arg(s.median("live_slots/s") + s.median("live_station/s"), 0, 'f', 0)
                  .arg(s.median("live_slots/s"), 0, 'f', 0)
                  .arg(s.median("live_station/s"), 0, 'f', 1)
                  .arg(s.median("rows/s"), 0, 'f', 0)
                  .arg(s.median("transactions/s"), 0, 'f', 0));
}

// Publishing and not, in turns, so that a busy moment of the machine falls
// on both alike.
void sittingRow(ResultTable &table, const PgServer &server)
{
    const QStringList db{QStringLiteral("--db"), server.url(QStringLiteral("line"))};
    Samples s;
    s.repeat(QStringLiteral("live: a station publishing its %1 sitting units, and not").arg(sittingSlots), sittingRounds,
             [&](Samples &samples) {
                 double quiet = 0, publishing = 0;
                 QString failure = stationCpuShare(sittingSlots, true, db + QStringList{QStringLiteral("--no-live")},
                                                   sittingSeconds, quiet);
                 if (failure.isEmpty())
                     failure = stationCpuShare(sittingSlots, true, db, sittingSeconds, publishing);
                 samples.add("quiet %", quiet);
                 samples.add("publishing %", publishing);
                 samples.add("added %", publishing - quiet);
                 return failure;
             });
    table.add(s,
              QStringLiteral("Live: a station with --db and %1 finished units sitting for %2 s: morlank-cli watch CPU "
                             "time ÷ wall, publishing against --no-live")
                  .arg(sittingSlots)
                  .arg(sittingSeconds),
              QStringLiteral("< 0.5 %"), s.median("added %"),
              QStringLiteral("%1 % (publishing %2 %, --no-live %3 %; median of %4)")
                  .arg(s.median("added %"), 0, 'f', 3)
                  .arg(s.median("publishing %"), 0, 'f', 2)
                  .arg(s.median("quiet %"), 0, 'f', 2)
                  .arg(sittingRounds));
}
} // namespace

void liveRows(ResultTable &table)
{
    PgServer server;
    publishingRows(table, server);
    sittingRow(table, server);
}
