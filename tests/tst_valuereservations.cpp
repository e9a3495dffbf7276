#include "device/commandreader.h"
#include "values/commandtemplate.h"
#include "values/valuereservations.h"

#include <QtTest>

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <thread>

using Reservation = ValueReservations::Reservation;

// Handing out values: which unit gets which row or counter value, that none
// is handed out twice by threads or by programs sharing a state file, and
// that the state file on disk always holds what was handed out.
class ValueReservationsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void rowsForUnits_data();
    void rowsForUnits();
    void countersGoOn_data();
    void countersGoOn();
    void badValueRefusesOneUnit();
    void stateOnDisk();
    void leftoverNewFileIgnored();
    void stateFileTroubles_data();
    void stateFileTroubles();
    void inputErrors_data();
    void inputErrors();
    void threadsNeverShareAValue();
    void programsNeverShareAValue_data();
    void programsNeverShareAValue();

private:
    QString writeFile(const QString &name, const QByteArray &bytes);
    QString statePath() const;
    // "ID=A1 (row 1)", "refused: why", "used up: why" for each unit in turn.
    QStringList reserveEach(ValueReservations &reservations, const QStringList &usbSerials);
    QJsonObject stateOnDiskJson() const;

    QScopedPointer<QTemporaryDir> folder;
};

void ValueReservationsTest::init()
{
    folder.reset(new QTemporaryDir);
}

QString ValueReservationsTest::writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(folder->filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

QString ValueReservationsTest::statePath() const
{
    return folder->filePath("state.json");
}

QStringList ValueReservationsTest::reserveEach(ValueReservations &reservations, const QStringList &usbSerials)
{
    QStringList results;
    for (const QString &serial : usbSerials) {
        const Reservation reservation = reservations.reserve({serial, "/dev/ttyUSB0", "slot 1"});
        switch (reservation.outcome) {
        case Reservation::Assigned: results << reservation.assignment.toText(); break;
        case Reservation::UnitRefused: results << "refused: " + reservation.error; break;
        case Reservation::UsedUp: results << "used up: " + reservation.error; break;
        case Reservation::StateFailed: results << "state failed: " + reservation.error; break;
        case Reservation::DatabaseAway: results << "waits: " + reservation.error; break;
        }
        results.last().replace(folder->path() + "/", QString());
    }
    return results;
}

QJsonObject ValueReservationsTest::stateOnDiskJson() const
{
    QFile file(statePath());
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

void ValueReservationsTest::rowsForUnits_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("units"); // each unit's USB serial number
    QTest::addColumn<QStringList>("results");

    const QByteArray bound("ID,usb_serial\nA1,\nA2,\nA3,FT3\n");
    const QString usedUp = "used up: the list units.csv is used up: all 3 rows handed out";
    // a bound unit gets its own row; the others take unbound rows in file order
    QTest::newRow("bound row before unbound ones")
        << bound << QStringList{"FT3", "", "FT9", ""}
        << QStringList{"ID=A3 (row 3)", "ID=A1 (row 1)", "ID=A2 (row 2)", usedUp};
    QTest::newRow("bound row taken") << bound << QStringList{"FT3", "FT3", ""}
                                     << QStringList{"ID=A3 (row 3)",
                                                    "refused: row 3 of units.csv, bound to the adapter FT3, was "
                                                    "handed out before",
                                                    "ID=A1 (row 1)"};
    QTest::newRow("only bound rows left")
        << bound << QStringList{"", "", "", "FT3", ""}
        << QStringList{"ID=A1 (row 1)", "ID=A2 (row 2)",
                       "refused: no row of units.csv is left for a unit without a row of its own: the 1 rows "
                       "not handed out are bound to other adapters",
                       "ID=A3 (row 3)", usedUp};
    // a list without bindings
    QTest::newRow("used up mid-way") << QByteArray("ID,Note\nA1,x\r\nA2,\"y, z\"\r\n") << QStringList{"", "FT1", "", ""}
                                     << QStringList{"ID=A1 Note=x (row 1)", "ID=A2 Note=\"y, z\" (row 2)",
                                                    "used up: the list units.csv is used up: all 2 rows handed out",
                                                    "used up: the list units.csv is used up: all 2 rows handed out"};
}

void ValueReservationsTest::rowsForUnits()
{
    QFETCH(QByteArray, csv);
    QFETCH(QStringList, units);
    QFETCH(QStringList, results);

    ValueReservations reservations;
    QString error;
    QVERIFY2(reservations.open({writeFile("units.csv", csv), {}, statePath()}, CommandTemplate({}, {}), error),
             qPrintable(error));
    QCOMPARE(reserveEach(reservations, units), results);
}

void ValueReservationsTest::countersGoOn_data()
{
    QTest::addColumn<QStringList>("firstRun");
    QTest::addColumn<int>("firstUnits");
    QTest::addColumn<QStringList>("secondRun");
    QTest::addColumn<QStringList>("results"); // of both runs; the second has four units

    // the next run goes on where the last stopped; its STEP applies, not its START
    QTest::newRow("width kept, new step") << QStringList{"SN=000041"} << 2 << QStringList{"SN=000001:10"}
                                          << QStringList{"SN=000041", "SN=000042", "SN=000043", "SN=000053",
                                                         "SN=000063", "SN=000073"};
    QTest::newRow("a new counter starts") << QStringList{"A=7"} << 1 << QStringList{"A=1", "B=0100:100"}
                                          << QStringList{"A=7", "A=8 B=0100", "A=9 B=0200", "A=10 B=0300",
                                                         "A=11 B=0400"};
    QTest::newRow("no width grows") << QStringList{"N=99"} << 1 << QStringList{"N=5"}
                                    << QStringList{"N=99", "N=100", "N=101", "N=102", "N=103"};
    // running out is the end of the values, as a list used up is
    const QString runOut = "used up: counter SN has run out: its next value, %1, has more than %2 digits";
    QTest::newRow("width outgrown") << QStringList{} << 0 << QStringList{"SN=07:40"}
                                    << QStringList{"SN=07", "SN=47", "SN=87", runOut.arg(127).arg(2)};
    QTest::newRow("18 digits outgrown") << QStringList{} << 0 << QStringList{"SN=999999999999999998"}
                                        << QStringList{"SN=999999999999999998", "SN=999999999999999999",
                                                       runOut.arg("1000000000000000000").arg(18),
                                                       runOut.arg("1000000000000000000").arg(18)};
}

void ValueReservationsTest::countersGoOn()
{
    QFETCH(QStringList, firstRun);
    QFETCH(int, firstUnits);
    QFETCH(QStringList, secondRun);
    QFETCH(QStringList, results);

    QStringList seen;
    QString error;
    if (!firstRun.isEmpty()) {
        ValueReservations first;
        QVERIFY2(first.open({QString(), firstRun, statePath()}, CommandTemplate({}, {}), error), qPrintable(error));
        QStringList units;
        while (units.size() < firstUnits)
            units << QString();
        seen << reserveEach(first, units);
    }
    ValueReservations second;
    QVERIFY2(second.open({QString(), secondRun, statePath()}, CommandTemplate({}, {}), error), qPrintable(error));
    seen << reserveEach(second, {"", "", "", ""});
    QCOMPARE(seen, results);
}

// Each unit gets its row, the bad ones too: a refused value is spent, and the
// next unit goes on with the next row.
void ValueReservationsTest::badValueRefusesOneUnit()
{
    const QString list = writeFile("units.csv", QByteArray("ID,Note\n\"A\r1\",\nA2,\"\xCE\xA9\"\n\"A\n3\",\nA") + '\0'
                                                    + "4,\n\xCE\xA9" "5,\nA6,x\n");
    QTextStream config("ZEL#A\nZEL#B\nZEL#ID={{ID}}\n");
    QVector<int> lines;
    const CommandTemplate commands(readCommands(config, lines), lines);
    ValueReservations reservations;
    QString error;
    QVERIFY2(reservations.open({list, {}, statePath()}, commands, error), qPrintable(error));
    QStringList results;
    for (int unit = 0; unit < 6; ++unit) {
        QStringList filled;
        const Reservation reservation = reservations.reserve({QString(), "/dev/ttyUSB0", QString()});
        QCOMPARE(reservation.outcome, Reservation::Assigned);
        results << (commands.fill(reservation.assignment, filled, error) ? filled.last() : error);
    }
    const QString start = "the value of ID on row %1 (line %2) holds ";
    QCOMPARE(results, QStringList({start.arg(1).arg(2) + "a carriage return", "ZEL#ID=A2\r",
                                   start.arg(3).arg(4) + "a line feed", start.arg(4).arg(6) + "a NUL character",
                                   start.arg(5).arg(7) + "\u03A9 (U+03A9), outside Latin-1, which the line cannot carry",
                                   "ZEL#ID=A6\r"}));
}

// What reserve() returned is on disk before it returns, for a person to read
// and for the next program to go on from.
void ValueReservationsTest::stateOnDisk()
{
    const QByteArray listBytes("ID,usb_serial\nA1,\nA2,FT2\nA3,\n");
    const QString list = writeFile("units.csv", listBytes);
    const ValueReservations::Sources sources{list, {"SN=0041"}, statePath()};
    QString error;
    {
        ValueReservations first;
        QVERIFY2(first.open(sources, CommandTemplate({}, {}), error), qPrintable(error));
        const Reservation peeked = first.peek();
        QCOMPARE(peeked.assignment.toText(), QStringLiteral("ID=A1 SN=0041 (row 1)"));
        QVERIFY(!QFile::exists(statePath()));
        const Reservation reserved = first.reserve({"FT2", "/dev/ttyUSB3", "left"});
        QCOMPARE(QJsonDocument(reserved.assignment.toJson()).toJson(QJsonDocument::Compact),
                 QByteArray(R"({"counters":{"SN":"0041"},"fields":{"ID":"A2","SN":"0041","usb_serial":"FT2"},)"
                            R"("line":3,"row":2})"));
    }
    const QJsonObject state = stateOnDiskJson();
    QCOMPARE(state["format"].toString(), QStringLiteral("morlank-values-state"));
    QCOMPARE(state["list"]["path"].toString(), QFileInfo(list).absoluteFilePath());
    QCOMPARE(state["list"]["rows"].toInt(), 3);
    QCOMPARE(state["list"]["sha256"].toString(),
             QString(QCryptographicHash::hash(listBytes, QCryptographicHash::Sha256).toHex()));
    QCOMPARE(state["counters"].toObject(), QJsonObject({{"SN", QJsonObject{{"next", "0042"}, {"width", 4}}}}));
    const QJsonObject handedOut = state["handed_out"][0].toObject();
    QCOMPARE(handedOut["row"].toInt(), 2);
    QCOMPARE(handedOut["counters"].toObject(), QJsonObject({{"SN", "0041"}}));
    QCOMPARE(handedOut["port"].toString(), QStringLiteral("/dev/ttyUSB3"));
    QCOMPARE(handedOut["slot"].toString(), QStringLiteral("left"));
    QCOMPARE(handedOut["usb_serial"].toString(), QStringLiteral("FT2"));
    const QDateTime time = QDateTime::fromString(handedOut["time"].toString(), Qt::ISODate);
    QVERIFY(qAbs(time.secsTo(QDateTime::currentDateTimeUtc())) < 600);
    QVERIFY2(QRegularExpression("[+-]\\d\\d:\\d\\d$|Z$").match(handedOut["time"].toString()).hasMatch(),
             qPrintable(handedOut["time"].toString()));

    // laid out anew by another tool, it is read the same
    writeFile("state.json", QJsonDocument(state).toJson(QJsonDocument::Indented));
    ValueReservations next;
    QVERIFY2(next.open(sources, CommandTemplate({}, {}), error), qPrintable(error));
    QCOMPARE(reserveEach(next, {"", "FT2", ""}),
             QStringList({"ID=A1 SN=0042 (row 1)",
                          "refused: row 2 of units.csv, bound to the adapter FT2, was handed out before",
                          "ID=A3 SN=0043 (row 3)"}));
    QCOMPARE(stateOnDiskJson()["handed_out"].toArray().size(), 3);
    QCOMPARE(stateOnDiskJson()["handed_out"].toArray().at(0).toObject(), handedOut);
    QCOMPARE(stateOnDiskJson()["handed_out"].toArray().at(1)["usb_serial"], QJsonValue()); // none: null

    // a state file removed while in use is not taken for a new one
    QVERIFY(QFile::remove(statePath()));
    QCOMPARE(reserveEach(next, {""}), QStringList{"state failed: the state file state.json is gone; without it "
                                                  "values could be handed out twice"});
}

// A writer killed before its rename leaves its new file behind; the state
// file is still the old one, and the next writer writes over the leftover.
void ValueReservationsTest::leftoverNewFileIgnored()
{
    QString error;
    ValueReservations first;
    QVERIFY2(first.open({QString(), {"N=1"}, statePath()}, CommandTemplate({}, {}), error), qPrintable(error));
    QCOMPARE(reserveEach(first, {""}), QStringList{"N=1"});
    const QByteArray before = [this] { QFile f(statePath()); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    writeFile("state.json.new", before.left(before.size() / 2));

    ValueReservations next;
    QVERIFY2(next.open({QString(), {"N=1"}, statePath()}, CommandTemplate({}, {}), error), qPrintable(error));
    QCOMPARE(reserveEach(next, {"", ""}), QStringList({"N=2", "N=3"}));
    QVERIFY(!QFile::exists(statePath() + ".new"));
    QCOMPARE(stateOnDiskJson()["handed_out"].toArray().size(), 3);
}

void ValueReservationsTest::stateFileTroubles_data()
{
    QTest::addColumn<QStringList>("steps"); // reserve, block (the state cannot be written), unblock, remove
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<int>("handedOut"); // as the state on disk says at the end; -1: no state file

    const QString gone = "state failed: the state file state.json is gone; without it values could be handed out "
                         "twice";
    // what failed to reach the disk was never handed out: the next unit gets it
    QTest::newRow("a write that failed") << QStringList{"reserve", "block", "reserve", "unblock", "reserve"}
                                         << QStringList{"ID=A1 N=1 (row 1)",
                                                        "state failed: cannot write state.json.new: Is a directory",
                                                        "ID=A2 N=2 (row 2)"}
                                         << 2;
    // a state file that this program made is missed as one it found
    QTest::newRow("removed right after the first value") << QStringList{"reserve", "remove", "reserve", "reserve"}
                                                        << QStringList{"ID=A1 N=1 (row 1)", gone, gone} << -1;
}

// The state in memory is always the state on disk: a state that could not be
// written, or that went away, hands out nothing on its word.
void ValueReservationsTest::stateFileTroubles()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, results);
    QFETCH(int, handedOut);

    ValueReservations reservations;
    QString error;
    QVERIFY2(reservations.open({writeFile("units.csv", "ID\nA1\nA2\nA3\n"), {"N=1"}, statePath()},
                               CommandTemplate({}, {}), error),
             qPrintable(error));
    QStringList seen;
    for (const QString &step : steps) {
        if (step == "reserve")
            seen << reserveEach(reservations, {""});
        else if (step == "block")
            QVERIFY(QDir().mkdir(statePath() + ".new"));
        else if (step == "unblock")
            QVERIFY(QDir().rmdir(statePath() + ".new"));
        else
            QVERIFY(QFile::remove(statePath()));
    }
    QCOMPARE(seen, results);
    QCOMPARE(QFile::exists(statePath()), handedOut >= 0);
    if (handedOut >= 0)
        QCOMPARE(stateOnDiskJson()["handed_out"].toArray().size(), handedOut);
}

void ValueReservationsTest::inputErrors_data()
{
    QTest::addColumn<QByteArray>("state"); // empty: no state file
    QTest::addColumn<QStringList>("given"); // "list" and "state": the sources named
    QTest::addColumn<QStringList>("counters");
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("error"); // %1: the state file, %2: the list

    const QStringList both{"list", "state"};
    const QByteArray config("ZEL#{{ID}}\nZEL#B\nZEL#{{SN}}\nZEL#{{ID}}{{X}}\n");
    const QString corrupt = "the state file %1 is not one this program wrote or can read (%3); it was left as it is";
    const auto stateOf = [](const QByteArray &list, const QByteArray &handedOut) {
        return R"({"format": "morlank-values-state", "version": 1, "list": )" + list
               + R"(, "counters": {}, "handed_out": [)" + handedOut + "]}";
    };
    const QByteArray otherList(R"({"path": "/x/old.csv", "sha256": ")" + QByteArray(64, 'a') + R"(", "rows": 2})");
    // sources
    QTest::newRow("placeholders, no source") << QByteArray() << QStringList{} << QStringList{} << config
                                             << "the configuration needs values for ID (line 1), SN (line 3), X "
                                                "(line 4), from a list or counters";
    QTest::newRow("placeholders without a source")
        << QByteArray() << both << QStringList{"SN=1"} << config
        << "the configuration needs values for X (line 4), which no column of the list and no counter gives";
    QTest::newRow("no state file") << QByteArray() << QStringList{"list"} << QStringList{} << QByteArray("ZEL#A\n")
                                   << "values from a list or counters need a state file, where handed-out values "
                                      "are kept so that none is handed out twice: name one with --state";
    QTest::newRow("counter twice") << QByteArray() << both << QStringList{"SN=1", "SN=2"} << config
                                   << "counter SN is given twice";
    QTest::newRow("counter named like a column") << QByteArray() << both << QStringList{"ID=1"} << config
                                                 << "counter ID has the name of a column of the list %2; each "
                                                    "value needs one source";
    QTest::newRow("bad counter") << QByteArray() << both << QStringList{"SN=1:0"} << config
                                 << "counter SN=1:0: STEP must be at least 1";
    // the state file
    QTest::newRow("not JSON") << QByteArray("{\n\"format\": \"morlank-values-state\",\n\"version\": 1,,\n}") << both
                              << QStringList{"SN=1", "X=1"} << config
                              << QString(corrupt).replace("%3", "line 3: unterminated object");
    QTest::newRow("empty file") << QByteArray("\n") << both << QStringList{"SN=1", "X=1"} << config
                                << QString(corrupt).replace("%3", "line 2: illegal value");
    QTest::newRow("another format") << QByteArray(R"({"format": "other"})") << both << QStringList{"SN=1", "X=1"}
                                    << config
                                    << QString(corrupt).replace("%3", "its \"format\" is not \"morlank-values-state\"");
    QTest::newRow("row handed out twice")
        << stateOf(QByteArray(R"({"path": "/x/old.csv", "sha256": ")") + QByteArray(64, 'b') + R"(", "rows": 2})",
                   R"({"row": 2}, {"row": 1}, {"row": 2})")
        << QStringList{"state"} << QStringList{"N=1"} << QByteArray("ZEL#A\n")
        << QString(corrupt).replace("%3", "the value 3 handed out has row 2, handed out before");
    QTest::newRow("another list") << stateOf(otherList, "") << both << QStringList{"SN=1", "X=1"} << config
                                  << "the state file %1 was kept for the list /x/old.csv, and %2 is not that list "
                                     "(its contents differ); rows are known by their number, so a changed list "
                                     "could hand out a value twice. Use the list the state was kept for, or start "
                                     "a new state file for the new list";
}

void ValueReservationsTest::inputErrors()
{
    QFETCH(QByteArray, state);
    QFETCH(QStringList, given);
    QFETCH(QStringList, counters);
    QFETCH(QByteArray, config);
    QFETCH(QString, error);

    const QString list = writeFile("units.csv", "ID,Note\nA1,x\nA2,y\n");
    if (!state.isEmpty())
        writeFile("state.json", state);
    QTextStream in(config);
    QVector<int> lines;
    const CommandTemplate commands(readCommands(in, lines), lines);
    ValueReservations reservations;
    QString reason;
    QVERIFY(!reservations.open({given.contains("list") ? list : QString(), counters,
                                given.contains("state") ? statePath() : QString()},
                               commands, reason));
    QCOMPARE(reason, error.replace("%1", statePath()).replace("%2", list));
    QCOMPARE(QFile::exists(statePath()), !state.isEmpty()); // left as it was
}

void ValueReservationsTest::threadsNeverShareAValue()
{
    ValueReservations reservations;
    QString error;
    QVERIFY2(reservations.open({QString(), {"N=1"}, statePath()}, CommandTemplate({}, {}), error), qPrintable(error));
    QVector<QStringList> perThread(4);
    std::vector<std::thread> threads;
    for (QStringList &values : perThread) {
        threads.emplace_back([&reservations, &values] {
            for (int i = 0; i < 10; ++i)
                values << reservations.reserve({QString(), "/dev/pts/1", QString()}).assignment.toText();
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    QSet<QString> distinct;
    for (const QStringList &values : perThread)
        distinct.unite(QSet<QString>(values.begin(), values.end()));
    QCOMPARE(distinct.size(), 40);
    QVERIFY(distinct.contains("N=1") && distinct.contains("N=40"));
    QCOMPARE(stateOnDiskJson()["handed_out"].toArray().size(), 40);
}

void ValueReservationsTest::programsNeverShareAValue_data()
{
    QTest::addColumn<QStringList>("links"); // NAME=TARGET each, in the test's folder
    QTest::addColumn<QString>("secondName"); // the second program's name of the state file
    QTest::addColumn<bool>("stateFirst"); // whether the state file is there before they start

    QTest::newRow("one name") << QStringList{} << "state.json" << false;
    // A link to a state file that is not there yet, as a line sets one up.
    QTest::newRow("a link to it") << QStringList{"link.json=state.json"} << "link.json" << false;
    QTest::newRow("a link to a link to it, from another folder")
        << QStringList{"link.json=state.json", "other/link.json=../link.json"} << "other/link.json" << true;
}

// Two programs that share one state file and a list of 50 rows, asking for
// 30 values each at the same time; the second may reach the file through a
// symbolic link, which stays a link.
void ValueReservationsTest::programsNeverShareAValue()
{
    QFETCH(QStringList, links);
    QFETCH(QString, secondName);
    QFETCH(bool, stateFirst);

    QByteArray csv("ID\n");
    for (int row = 1; row <= 50; ++row)
        csv += "V" + QByteArray::number(row) + "\n";
    const QString list = writeFile("units.csv", csv);
    if (stateFirst)
        writeFile("state.json", R"({"format": "morlank-values-state", "version": 1, "list": null, "counters": {}, )"
                                R"("handed_out": []})");
    for (const QString &link : links) {
        const QString name = folder->filePath(link.section('=', 0, 0));
        QVERIFY(QDir().mkpath(QFileInfo(name).path()));
        QVERIFY(QFile::link(link.section('=', 1), name));
    }
    QVector<QProcess *> programs;
    for (const char *port : {"one", "two"}) {
        auto *program = new QProcess(this);
        const QString state = programs.isEmpty() ? statePath() : folder->filePath(secondName);
        program->start(MORLANK_VALUE_RESERVER, {state, list, "N=1", "30", port});
        programs << program;
    }
    QSet<int> rows;
    QSet<QString> counterValues;
    int usedUp = 0;
    for (QProcess *program : programs) {
        QVERIFY(program->waitForFinished(120000));
        QCOMPARE(program->readAllStandardError(), QByteArray());
        QCOMPARE(program->exitCode(), 0);
        for (const QByteArray &line : program->readAllStandardOutput().split('\n')) {
            if (line == "used up") {
                ++usedUp;
            } else if (!line.isEmpty()) {
                const QJsonObject assignment = QJsonDocument::fromJson(line).object();
                rows.insert(assignment["row"].toInt());
                counterValues.insert(assignment["counters"]["N"].toString());
            }
        }
    }
    QCOMPARE(rows.size(), 50);
    QCOMPARE(counterValues.size(), 50);
    QVERIFY(rows.contains(1) && rows.contains(50) && counterValues.contains("50"));
    QCOMPARE(usedUp, 10);
    QCOMPARE(stateOnDiskJson()["handed_out"].toArray().size(), 50);
    for (const QString &link : links)
        QVERIFY2(QFileInfo(folder->filePath(link.section('=', 0, 0))).isSymLink(), qPrintable(link));
}

QTEST_GUILESS_MAIN(ValueReservationsTest)
#include "tst_valuereservations.moc"
