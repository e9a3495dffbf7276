#include "figures/recordselection.h"
#include "figures/reportpage.h"
#include "records/recordreader.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// One attempt record as a station writes it: `started` on 2026-12-07 in
// UTC, `time` `seconds` later.
QByteArray record(const QString &station, const QString &slot, int attempt, const QString &result,
                  const QString &started, double seconds, const QString &unit = QString(),
                  const QJsonArray &failures = QJsonArray())
{
    const QDateTime start = QDateTime::fromString("2026-12-07T" + started + "Z", Qt::ISODate);
    const QString file = station == "st2" ? "/srv/other.conf" : "/srv/line7.conf";
    const QJsonObject object{{"time", start.addMSecs(qint64(seconds * 1000)).toString(Qt::ISODate)},
                             {"started", start.toString(Qt::ISODate)},
                             {"station", station},
                             {"slot", slot},
                             {"port", "/dev/ttyUSB0"},
                             {"unit", unit.isEmpty() ? QJsonValue() : QJsonValue(unit)},
                             {"file", file},
                             {"file_sha256", station == "st2" ? QString(64, 'b') : QString(64, 'a')},
                             {"attempt", attempt},
                             {"result", result},
                             {"seconds", seconds},
                             {"failures", failures},
                             {"morlank_version", "1.1.0"}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonArray failing(int line, const QString &command, const QString &answer)
{
    return {QJsonObject{{"line", line}, {"command", command}, {"reason", "refused"}, {"answer", answer}}};
}

struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Run report(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess process;
    process.start(MORLANK_CLI, QStringList{"report"} + arguments);
    process.write(input);
    process.closeWriteChannel();
    Run run;
    if (!process.waitForFinished(60000))
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// Pixels of the picture within 8 of `colour` in each channel.
int pixelsOf(const QImage &image, QRgb colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            count += qAbs(qRed(line[x]) - qRed(colour)) <= 8 && qAbs(qGreen(line[x]) - qGreen(colour)) <= 8
                     && qAbs(qBlue(line[x]) - qBlue(colour)) <= 8;
        }
    }
    return count;
}
} // namespace

class FiguresTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void units_data();
    void units();
    void shiftFigures();
    void badRecords_data();
    void badRecords();
    void times_data();
    void times();
    void rate_data();
    void rate();
    void selection_data();
    void selection();
    void when_data();
    void when();
    void pageInABrowser();

private:
    QTemporaryDir dir;
    QString shiftLog;
};

// The shift that shiftFigures() and the page read, worked out by hand
// there. Two stations; slot A of st2 has units with adapters of their own.
void FiguresTest::initTestCase()
{
    QVERIFY(dir.isValid());
    shiftLog = dir.filePath("shift.jsonl");
    QFile file(shiftLog);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QList<QByteArray> lines{
        record("st1", "A", 1, "ok", "08:00:00", 2.0),
        record("st1", "B", 1, "failed", "08:00:00", 3.0, {}, failing(5, "ZEL#X=1", "ERROR")),
        record("st1", "B", 2, "ok", "08:00:10", 2.5),
        record("st1", "A", 1, "gone", "08:10:00", 1.0),
        record("st2", "A", 1, "failed", "08:20:00", 4.0, "FT01", failing(9, "ZEL#Y=2", "+CME 3")),
        "this is not a record",
        record("st2", "A", 1, "ok", "09:05:00", 2.0, "FT01"),
        record("st2", "A", 1, "interrupted", "09:30:00", 0.5, "FT02"),
        record("st1", "A", 1, "failed", "09:40:00", 3.5, {},
               QJsonArray{failing(5, "ZEL#X=1", "ERROR")[0], failing(9, "ZEL#Y=2", "")[0]}),
        record("st1", "A", 2, "failed", "09:40:10", 3.0, {}, failing(9, "ZEL#Y=2", "")),
        record("st1", "B", 1, "ok", "09:50:00", 3.0),
    };
    for (const QByteArray &line : lines)
        file.write(line + '\n');
    file.write(record("st1", "B", 1, "ok", "09:59:00", 3.0).left(80)); // a crash mid-write
}

void FiguresTest::units_data()
{
    QTest::addColumn<QList<QByteArray>>("records");
    // records, units, pulled, interrupted, first pass ok/counted, final ok/counted
    QTest::addColumn<QVector<int>>("expected");

    // retries
    QTest::newRow("one unit, ok") << QList<QByteArray>{record("s", "1", 1, "ok", "08:00:00", 2)}
                                  << QVector<int>{1, 1, 0, 0, 1, 1, 1, 1};
    QTest::newRow("a retry is the same unit")
        << QList<QByteArray>{record("s", "1", 1, "failed", "08:00:00", 2), record("s", "1", 2, "ok", "08:00:05", 2)}
        << QVector<int>{2, 1, 0, 0, 0, 1, 1, 1};
    QTest::newRow("attempt 1 again is the next unit")
        << QList<QByteArray>{record("s", "1", 1, "failed", "08:00:00", 2), record("s", "1", 1, "ok", "08:01:00", 2)}
        << QVector<int>{2, 2, 0, 0, 1, 2, 1, 2};
    QTest::newRow("a retry whose first attempt is not in the records")
        << QList<QByteArray>{record("s", "1", 2, "ok", "08:00:00", 2)} << QVector<int>{1, 1, 0, 0, 0, 0, 1, 1};
    // re-plugged units
    QTest::newRow("re-plugged elsewhere: one unit by its serial number")
        << QList<QByteArray>{record("s", "1", 1, "failed", "08:00:00", 2, "U1"),
                             record("s", "2", 1, "ok", "08:02:00", 2, "U1"),
                             record("s", "1", 1, "ok", "08:03:00", 2, "U2")}
        << QVector<int>{3, 2, 0, 0, 1, 2, 2, 2};
    QTest::newRow("re-plugged, the later attempt read first")
        << QList<QByteArray>{record("s", "2", 1, "ok", "08:02:00", 2, "U1"),
                             record("s", "1", 1, "failed", "08:00:00", 2, "U1")}
        << QVector<int>{2, 1, 0, 0, 0, 1, 1, 1};
    // pulled and interrupted
    QTest::newRow("pulled at its first attempt: out of yield")
        << QList<QByteArray>{record("s", "1", 1, "gone", "08:00:00", 1), record("s", "1", 1, "ok", "08:01:00", 2)}
        << QVector<int>{2, 2, 1, 0, 1, 1, 1, 1};
    QTest::newRow("pulled at a retry: out of the final yield only")
        << QList<QByteArray>{record("s", "1", 1, "failed", "08:00:00", 2), record("s", "1", 2, "gone", "08:00:05", 1)}
        << QVector<int>{2, 1, 0, 0, 0, 1, 0, 0};
    QTest::newRow("refused before any command: 0 s, in the yield")
        << QList<QByteArray>{record("s", "1", 1, "failed", "08:00:00", 0)} << QVector<int>{1, 1, 0, 0, 0, 1, 0, 1};
    QTest::newRow("interrupted") << QList<QByteArray>{record("s", "1", 1, "interrupted", "08:00:00", 1)}
                                 << QVector<int>{1, 1, 0, 1, 0, 0, 0, 0};
    QTest::newRow("no device answered: no unit") << QList<QByteArray>{record("s", "1", 1, "not found", "08:00:00", 1)}
                                                 << QVector<int>{1, 0, 0, 0, 0, 0, 0, 0};
    // two stations
    QTest::newRow("the same slot name on two stations: two slots")
        << QList<QByteArray>{record("st1", "1", 1, "failed", "08:00:00", 2), record("st2", "1", 1, "ok", "08:00:01", 2),
                             record("st1", "1", 2, "ok", "08:00:06", 2)}
        << QVector<int>{3, 2, 0, 0, 1, 2, 2, 2};
    // records as newer stations write them
    QTest::newRow("milliseconds, an offset and an attempt_id")
        << QList<QByteArray>{R"({"time":"2026-12-07T09:00:02.250+01:00","started":"2026-12-07T09:00:00.125+01:00",)"
                             R"("station":"s","slot":"1","unit":null,"attempt":1,"result":"ok","seconds":2.125,)"
                             R"("failures":[],"attempt_id":"0b6e2a52-7c1c-4f43-9f55-4a0c9e1d2f10","morlank_version":"1.2.0"})"}
        << QVector<int>{1, 1, 0, 0, 1, 1, 1, 1};
    // records given twice: two copies of a log, a log and the database
    const QByteArray withId = QByteArray(record("s", "1", 1, "ok", "08:00:00", 2)).replace(
        "\"attempt\"", "\"attempt_id\":\"0b6e2a52-7c1c-4f43-9f55-4a0c9e1d2f10\",\"attempt\"");
    QTest::newRow("one attempt_id twice: counted once") << QList<QByteArray>{withId, record("s", "1", 1, "failed", "08:01:00", 2), withId}
                                                        << QVector<int>{2, 2, 0, 0, 1, 2, 1, 2};
    QTest::newRow("no attempt_id: each counted, as before")
        << QList<QByteArray>{record("s", "1", 1, "ok", "08:00:00", 2), record("s", "1", 1, "ok", "08:00:00", 2)}
        << QVector<int>{2, 2, 0, 0, 2, 2, 2, 2};
}

// Units and yields as the definitions count them, each row worked out by
// hand; read through the command line, the log on standard input.
void FiguresTest::units()
{
    QFETCH(QList<QByteArray>, records);
    QFETCH(QVector<int>, expected);

    const Run run = report({"-", "--json"}, records.join('\n') + '\n');
    QCOMPARE(run.status, 0);
    const QJsonObject figures = QJsonDocument::fromJson(run.out).object();
    const QVector<int> got{figures["records"].toInt(), figures["units"].toInt(), figures["pulled"].toInt(),
                           figures["interrupted"].toInt()};
    QCOMPARE(got, expected.mid(0, 4));
    const auto yield = [](int ok, int counted) { return counted ? QJsonValue(double(ok) / counted) : QJsonValue(); };
    QCOMPARE(figures["first_pass_yield"], yield(expected[4], expected[5]));
    QCOMPARE(figures["final_yield"], yield(expected[6], expected[7]));
    QVERIFY(figures["skipped"].toArray().isEmpty());
}

// Every figure of the shift in initTestCase(), from the log itself.
void FiguresTest::shiftFigures()
{
    const Run run = report({shiftLog, "--json"});
    QCOMPARE(run.status, 0);
    const QJsonObject f = QJsonDocument::fromJson(run.out).object();
    QCOMPARE(f.keys(), (QStringList{"cycle_seconds", "duplicates", "failures", "files", "final_yield",
                                    "first_pass_yield", "hours", "interrupted", "pulled", "records", "skipped",
                                    "slots", "stations", "units", "units_per_hour", "units_per_hour_reason"}));
    // Units: st1 A 08:00 ok; st1 B failed then ok; st1 A 08:10 gone; FT01
    // failed, re-plugged, ok; FT02 interrupted; st1 A 09:40 failed twice;
    // st1 B 09:50 ok.
    QCOMPARE(f["records"].toInt(), 10);
    QCOMPARE(f["units"].toInt(), 7);
    QCOMPARE(f["pulled"].toInt(), 1);
    QCOMPARE(f["interrupted"].toInt(), 1);
    QCOMPARE(f["first_pass_yield"].toDouble(), 0.4); // 2 of 5
    QCOMPARE(f["final_yield"].toDouble(), 0.8);      // 4 of 5
    // 7 units from 08:00:00 to 09:50:03, 6603 s.
    QCOMPARE(f["units_per_hour"].toDouble(), 3.82);
    // ok attempts took 2.0, 2.5, 2.0 and 3.0 s.
    QCOMPARE(f["cycle_seconds"].toObject(), (QJsonObject{{"median", 2.25}, {"p90", 3.0}}));
    // The line that failed most leads, though another comes first in the
    // file and in the log.
    QCOMPARE(f["failures"].toArray(),
             (QJsonArray{QJsonObject{{"line", 9}, {"command", "ZEL#Y=2"}, {"answers", QJsonArray{"", "+CME 3"}}, {"count", 3}},
                         QJsonObject{{"line", 5}, {"command", "ZEL#X=1"}, {"answers", QJsonArray{"ERROR"}}, {"count", 2}}}));
    QCOMPARE(f["slots"].toArray(),
             (QJsonArray{QJsonObject{{"station", "st1"}, {"slot", "A"}, {"attempts", 4}, {"failed", 2}, {"failure_rate", 0.5}},
                         QJsonObject{{"station", "st1"}, {"slot", "B"}, {"attempts", 3}, {"failed", 1}, {"failure_rate", 0.3333}},
                         QJsonObject{{"station", "st2"}, {"slot", "A"}, {"attempts", 3}, {"failed", 1}, {"failure_rate", 0.3333}}}));
    QCOMPARE(f["stations"].toArray(),
             (QJsonArray{QJsonObject{{"station", "st1"}, {"attempts", 7}, {"failed", 3}, {"failure_rate", 0.4286}},
                         QJsonObject{{"station", "st2"}, {"attempts", 3}, {"failed", 1}, {"failure_rate", 0.3333}}}));
    QCOMPARE(f["files"].toArray(),
             (QJsonArray{QJsonObject{{"file", "line7.conf"}, {"sha256", QString(64, 'a')}, {"attempts", 7}, {"failed", 3}, {"failure_rate", 0.4286}},
                         QJsonObject{{"file", "other.conf"}, {"sha256", QString(64, 'b')}, {"attempts", 3}, {"failed", 1}, {"failure_rate", 0.3333}}}));
    // Each unit in the hour its first attempt started: four at 8 (first
    // pass 1 of 3, the pulled one left out), three at 9 (1 of 2).
    QCOMPARE(f["hours"].toArray(),
             (QJsonArray{QJsonObject{{"hour", "2026-12-07 08:00"}, {"units", 4}, {"first_pass_yield", 0.3333}},
                         QJsonObject{{"hour", "2026-12-07 09:00"}, {"units", 3}, {"first_pass_yield", 0.5}}}));
    QCOMPARE(f["skipped"].toArray(),
             (QJsonArray{QJsonObject{{"file", shiftLog}, {"line", 6}, {"reason", "not a JSON object"}},
                         QJsonObject{{"file", shiftLog}, {"line", 12}, {"reason", "partial last line"}}}));
    QCOMPARE(run.err, "morlank-cli: skipped " + shiftLog.toUtf8() + " line 6: not a JSON object\nmorlank-cli: skipped "
                          + shiftLog.toUtf8() + " line 12: partial last line\n");

    const Run text = report({shiftLog});
    QCOMPARE(text.status, 0);
    for (const QByteArray &line : {QByteArray("First-pass yield  40.0 % (2 of 5)"), QByteArray("Final yield       80.0 % (4 of 5)"),
                                   QByteArray("Cycle time        median 2.25 s, 90th percentile 3.00 s"),
                                   QByteArray("       3     9  ZEL#Y=2  (nothing) | +CME 3\n       2     5  ZEL#X=1  ERROR\n"),
                                   QByteArray("  st1      A            4       2        50.0 %")})
        QVERIFY2(text.out.contains(line), text.out.constData());
}

void FiguresTest::badRecords_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("reason"); // empty: read

    const QByteArray good = record("s", "1", 1, "ok", "08:00:00", 2);
    QTest::newRow("as written") << good << "";
    QTest::newRow("an older record without unit or failures")
        << QByteArray(R"({"time":"2026-12-07T08:00:02Z","started":"2026-12-07T08:00:00Z","station":"s","slot":"1","attempt":1,"result":"ok","seconds":2})")
        << "";
    // not a record
    QTest::newRow("not JSON") << QByteArray("{\"time\": ") << "not a JSON object";
    QTest::newRow("an array") << QByteArray("[1,2]") << "not a JSON object";
    // fields a figure needs
    QTest::newRow("no time") << QByteArray(good).replace("\"time\"", "\"tine\"") << "no readable time";
    QTest::newRow("a time without its offset") << QByteArray(good).replace("08:00:02Z", "08:00:02") << "no readable time";
    QTest::newRow("a day that does not exist") << QByteArray(good).replace("2026-12-07T08:00:00Z", "2026-02-30T08:00:00Z")
                                               << "no readable started";
    QTest::newRow("attempt 0") << QByteArray(good).replace("\"attempt\":1", "\"attempt\":0") << "no attempt number";
    QTest::newRow("seconds as text") << QByteArray(good).replace("\"seconds\":2", "\"seconds\":\"2\"") << "no seconds";
    QTest::newRow("no slot") << QByteArray(good).replace("\"slot\"", "\"slat\"") << "no station or slot";
    QTest::newRow("a failure without its line") << record("s", "1", 1, "failed", "08:00:00", 2, {}, QJsonArray{QJsonObject{{"command", "X"}}})
                                                << "failures not readable";
    // from a newer program
    QTest::newRow("a result not known") << QByteArray(good).replace("\"ok\"", "\"skipped\"") << "no result this program knows";
    QTest::newRow("a newer major version") << QByteArray(good).replace("\"1.1.0\"", "\"2.0.0\"")
                                           << "written by a newer program (morlank 2.0.0)";
}

void FiguresTest::badRecords()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, reason);

    Attempt attempt;
    QString why;
    QCOMPARE(RecordReader::read(text, attempt, why), reason.isEmpty());
    QCOMPARE(why, reason);
}

void FiguresTest::times_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("utc"); // empty: not read
    QTest::addColumn<int>("offsetMinutes");

    // as stations write them
    QTest::newRow("UTC") << "2026-12-07T08:00:02Z" << "2026-12-07T08:00:02.000Z" << 0;
    QTest::newRow("ahead of UTC, milliseconds") << "2026-12-07T09:00:02.250+01:00" << "2026-12-07T08:00:02.250Z" << 60;
    QTest::newRow("behind UTC, across midnight") << "2026-12-06T23:30:00-05:30" << "2026-12-07T05:00:00.000Z" << -330;
    QTest::newRow("tenths only") << "2026-12-07T08:00:02.5Z" << "2026-12-07T08:00:02.500Z" << 0;
    // not times
    QTest::newRow("no offset") << "2026-12-07T08:00:02" << "" << 0;
    QTest::newRow("hour 24") << "2026-12-07T24:00:00Z" << "" << 0;
    QTest::newRow("an empty fraction") << "2026-12-07T08:00:02.Z" << "" << 0;
    QTest::newRow("more after it") << "2026-12-07T08:00:02Zs" << "" << 0;
}

void FiguresTest::times()
{
    QFETCH(QString, text);
    QFETCH(QString, utc);
    QFETCH(int, offsetMinutes);

    qint64 ms = 0;
    int offset = 0;
    QCOMPARE(RecordReader::readTime(text, ms, offset), !utc.isEmpty());
    if (utc.isEmpty())
        return;
    QCOMPARE(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs), utc);
    QCOMPARE(offset, offsetMinutes);
}

// Units per hour over the span from the first start to the last end, only
// once it reaches five minutes.
void FiguresTest::rate_data()
{
    QTest::addColumn<QList<QByteArray>>("records");
    QTest::addColumn<QByteArray>("said"); // the text's line

    QTest::newRow("three units in 2 s") << QList<QByteArray>{record("s", "1", 1, "ok", "08:00:00", 1),
                                                              record("s", "2", 1, "ok", "08:00:01", 1),
                                                              record("s", "3", 1, "ok", "08:00:01", 1)}
                                        << QByteArray("Units per hour    too short a span for a rate: 2.0 s from the "
                                                      "first start to the last end, under 5 minutes\n");
    QTest::newRow("a second short of 5 minutes")
        << QList<QByteArray>{record("s", "1", 1, "ok", "08:00:00", 1), record("s", "1", 1, "ok", "08:04:58", 1)}
        << QByteArray("Units per hour    too short a span for a rate: 299.0 s");
    QTest::newRow("5 minutes") << QList<QByteArray>{record("s", "1", 1, "ok", "08:00:00", 1),
                                                    record("s", "1", 1, "ok", "08:04:59", 1)}
                               << QByteArray("Units per hour    24.0\n");
}

// The text, the JSON and the page say the same.
void FiguresTest::rate()
{
    QFETCH(QList<QByteArray>, records);
    QFETCH(QByteArray, said);

    const QByteArray log = records.join('\n') + '\n';
    const QString page = dir.filePath("rate.html");
    const Run text = report({"-", "--html", page}, log);
    QCOMPARE(text.status, 0);
    QVERIFY2(text.out.contains(said), text.out.constData());
    const QJsonObject json = QJsonDocument::fromJson(report({"-", "--json"}, log).out).object();
    const bool rated = !said.contains("too short");
    QCOMPARE(json["units_per_hour"].isDouble(), rated);
    QVERIFY(rated ? json["units_per_hour_reason"].isNull()
                  : json["units_per_hour_reason"].toString().toUtf8().startsWith(said.mid(18).trimmed()));
    QFile html(page);
    QVERIFY(html.open(QIODevice::ReadOnly));
    QCOMPARE(html.readAll().contains("too short a span for a rate"), !rated);
}

void FiguresTest::selection_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("records");
    QTest::addColumn<QString>("error");

    // the shift's records
    QTest::newRow("a station") << QStringList{"--station", "st2"} << 0 << 3 << "";
    QTest::newRow("a slot of both stations") << QStringList{"--slot", "A"} << 0 << 7 << "";
    QTest::newRow("a file by name") << QStringList{"--file", "other.conf"} << 0 << 3 << "";
    QTest::newRow("a file by its SHA-256") << QStringList{"--file", "aaaaaaaa"} << 0 << 7 << "";
    QTest::newRow("since a time, by `time`") << QStringList{"--since", "2026-12-07T09:40:03Z"} << 0 << 3 << "";
    QTest::newRow("until a time") << QStringList{"--until", "2026-12-07T08:00:02Z"} << 0 << 0 << "no record in the selection";
    QTest::newRow("until a day: its end") << QStringList{"--until", "2026-12-07", "--since", "2026-12-07"} << 0 << 10 << "";
    // nothing to count, or nothing to read
    QTest::newRow("no record selected") << QStringList{"--station", "st9"} << 1 << 0
                                        << "morlank-cli: no record in the selection (station st9).\n";
    QTest::newRow("a log that is not there") << QStringList{"missing.jsonl"} << 2 << 0
                                             << "cannot read the log missing.jsonl: no such file";
    QTest::newRow("a time that does not read") << QStringList{"--since", "tomorrow"} << 2 << 0 << "--since takes a date";
    QTest::newRow("a database that cannot be reached")
        << QStringList{"--db", "postgresql:///line?host=/nonexistent/morlank"} << 2 << 0
        << "--db: cannot use the database postgresql:///line?host=/nonexistent/morlank: the database server cannot "
           "be reached";
}

void FiguresTest::selection()
{
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(int, records);
    QFETCH(QString, error);

    QDir::setCurrent(dir.path());
    const Run run = report(QStringList{shiftLog, "--json"} + options);
    if (records == 0 && status == 0)
        QCOMPARE(run.status, 1);
    else
        QCOMPARE(run.status, status);
    QVERIFY2(run.err.contains(error.toUtf8()), run.err.constData());
    QCOMPARE(QJsonDocument::fromJson(run.out).object()["records"].toInt(), records);
}

void FiguresTest::when_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("until");
    QTest::addColumn<QString>("expected"); // local time; empty: not read

    // days, from their start; to --until, to their end
    QTest::newRow("today") << "today" << false << "2026-12-08T00:00:00";
    QTest::newRow("yesterday, until") << "yesterday" << true << "2026-12-08T00:00:00";
    QTest::newRow("a date") << "2026-12-07" << false << "2026-12-07T00:00:00";
    QTest::newRow("a date, until") << "2026-12-07" << true << "2026-12-08T00:00:00";
    // times
    QTest::newRow("a date and time") << "2026-12-07 14:00" << true << "2026-12-07T14:00:00";
    QTest::newRow("with seconds and a T") << "2026-12-07T14:00:30" << false << "2026-12-07T14:00:30";
    QTest::newRow("8 hours ago") << "-8h" << false << "2026-12-08T02:30:00";
    QTest::newRow("30 minutes ago") << "-30m" << true << "2026-12-08T10:00:00";
    QTest::newRow("2 days ago") << "-2d" << false << "2026-12-06T10:30:00";
    // not a time
    QTest::newRow("tomorrow") << "tomorrow" << false << "";
    QTest::newRow("ago without a unit") << "-8" << false << "";
    QTest::newRow("month 13") << "2026-13-01" << false << "";
    QTest::newRow("a date with more after it") << "2026-12-07x" << false << "";
}

void FiguresTest::when()
{
    QFETCH(QString, text);
    QFETCH(bool, until);
    QFETCH(QString, expected);

    const QDateTime now = QDateTime::fromString("2026-12-08T10:30:00", Qt::ISODate);
    const std::optional<qint64> when = RecordSelection::parseWhen(text, now, until);
    QCOMPARE(when.has_value(), !expected.isEmpty());
    if (when)
        QCOMPARE(QDateTime::fromMSecsSinceEpoch(*when).toString(Qt::ISODate), expected);
}

// The page in a real browser: the figures are there as text, each chart is
// drawn in its colours, nothing is fetched and nothing complains.
void FiguresTest::pageInABrowser()
{
    const QString page = dir.filePath("shift.html");
    QCOMPARE(report({shiftLog, "--html", page}).status, 0);
    QFile file(page);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray html = file.readAll();
    QVERIFY(!html.contains("http") && !html.contains("<script") && !html.contains("src="));

    const QString picture = dir.filePath("shift.png");
    const QStringList chromium{"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                               "--disable-background-networking", "--disable-component-update", "--disable-sync",
                               "--force-color-profile=srgb", "--hide-scrollbars", "--enable-logging=stderr", "--v=0",
                               "--user-data-dir=" + dir.filePath("chromium")};
    QProcess dom;
    dom.start("chromium", chromium + QStringList{"--dump-dom", QUrl::fromLocalFile(page).toString()});
    QVERIFY(dom.waitForFinished(120000));
    const QByteArray text = dom.readAllStandardOutput();
    for (const QByteArray &shown : {QByteArray("40.0 %"), QByteArray("80.0 %"), QByteArray("3.8"), QByteArray("ZEL#Y=2"),
                                    QByteArray("+CME 3"), QByteArray("line7.conf"), QByteArray("partial last line")})
        QVERIFY2(text.contains(shown), shown.constData());
    QVERIFY2(!dom.readAllStandardError().contains("CONSOLE"), "the page made the browser complain");

    QProcess shot;
    shot.start("chromium", chromium + QStringList{"--screenshot=" + picture, "--window-size=800,1600",
                                                  QUrl::fromLocalFile(page).toString()});
    QVERIFY(shot.waitForFinished(120000));
    QVERIFY2(!shot.readAllStandardError().contains("CONSOLE"), "the page made the browser complain");
    const QImage image = QImage(picture).convertToFormat(QImage::Format_RGB32);
    QVERIFY(!image.isNull());
    // Bars of units, the yield's line, the Pareto, and the slots' cells (50 %
    // and 33 % both in the top bin).
    QVERIFY(pixelsOf(image, qRgb(0x00, 0x72, 0xB2)) > 2000);
    QVERIFY(pixelsOf(image, qRgb(0xE6, 0x9F, 0x00)) > 100);
    QVERIFY(pixelsOf(image, qRgb(0xD5, 0x5E, 0x00)) > 3 * 6000);
    QCOMPARE(QString(ReportPage::rateColour(0.3333)), QString("#D55E00"));
}

QTEST_GUILESS_MAIN(FiguresTest)
#include "tst_figures.moc"
