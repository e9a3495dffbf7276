#include "stationbench.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

#include <csignal>

namespace {
const QString cli = QStringLiteral(MORLANK_CLI);
const QByteArray handshake = "ZEL#\r";
const QByteArray configurationText = "; station\nZEL#A=1\n\nZEL#BEEP=2\r\nZEL#C=3\n# end\nZEL#D=4\n";
const QByteArray configurationCommands = "ZEL#A=1\rZEL#BEEP=2\rZEL#C=3\rZEL#D=4\r";

// morlank-cli watch in a process of its own, its records read as they come.
class Watch
{
public:
    explicit Watch(const QStringList &arguments, const QMap<QString, QString> &environment = {})
    {
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        for (auto entry = environment.cbegin(); entry != environment.cend(); ++entry)
            variables.insert(entry.key(), entry.value());
        process.setProcessEnvironment(variables);
        process.start(cli, QStringList{"watch"} + arguments + QStringList{"--json"});
    }
    ~Watch()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    // Every record printed once `count` have come, or those there are after
    // `ms`.
    QVector<QJsonObject> records(int count, int ms = 30000)
    {
        [[maybe_unused]] const bool all = QTest::qWaitFor([&] { return read() >= count; }, ms);
        return printed;
    }
    // Whether standard error says `text` within `ms`, after what it said
    // that an earlier call found.
    bool says(const QByteArray &text, int ms = 15000)
    {
        return QTest::qWaitFor(
            [&] {
                errors += process.readAllStandardError();
                const int found = errors.indexOf(text);
                if (found >= 0)
                    errors.remove(0, found + text.size());
                return found >= 0;
            },
            ms);
    }
    void signal(int number) { ::kill(pid_t(process.processId()), number); }
    // The exit status; -1 when it did not end within `ms`.
    int status(int ms = 30000)
    {
        if (!process.waitForFinished(ms) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        read();
        return process.exitCode();
    }

private:
    int read()
    {
        buffered += process.readAllStandardOutput();
        for (int end; (end = buffered.indexOf('\n')) >= 0; buffered.remove(0, end + 1))
            printed << QJsonDocument::fromJson(buffered.left(end)).object();
        return int(printed.size());
    }

    QProcess process;
    QByteArray buffered;
    QByteArray errors;
    QVector<QJsonObject> printed;
};

QByteArray withoutHandshakes(QByteArray received)
{
    return received.replace(handshake, QByteArray());
}

QByteArrayList logLines(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArrayList lines = file.readAll().split('\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool writeFile(const QString &fileName, const QByteArray &contents)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}
} // namespace

class StationTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void servedOncePerAttachment_data();
    void servedOncePerAttachment();
    void unitPulledMidJobIsGone_data();
    void unitPulledMidJobIsGone();
    void retriesUntilTheUnitsAskedFor();
    void interruptionRecordsUnitsInFlight();
    void portsOutsideTheWatchAreNeverOpened();
    void recordHoldsEveryField();
    void logThatCannotBeOpenedSendsNothing();
    void logEndingInPartOfALineGetsALineEnd();
    void fullDiskStopsNewUnitsAndLosesNoRecord();
    void eachUnitItsOwnValues();
    void reservedValuesAreNeverHandedOutAgain();

private:
    QTemporaryDir dir;
    QString configuration;
};

void StationTest::initTestCase()
{
    QVERIFY(dir.isValid());
    configuration = dir.filePath("station.conf");
    QFile file(configuration);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(configurationText) == configurationText.size());
}

void StationTest::servedOncePerAttachment_data()
{
    QTest::addColumn<bool>("fixture");
    QTest::addColumn<QString>("arrival");

    QTest::newRow("its port appears") << false << "port";
    QTest::newRow("a present port starts answering") << true << "answer";
}

// Served as it arrives, never again while it stays, and anew once it has
// left and come back.
void StationTest::servedOncePerAttachment()
{
    QFETCH(bool, fixture);
    QFETCH(QString, arrival);

    StationBench bench;
    if (fixture)
        bench.fixture(1);
    Watch watch({configuration, "--port", bench.pattern()});
    if (fixture)
        QVERIFY(watch.says("slot1  empty"));
    for (int unit = 1; unit <= 2; ++unit) {
        if (fixture)
            bench.attach(1);
        else
            bench.plug(1);
        const QVector<QJsonObject> records = watch.records(unit);
        QCOMPARE(records.size(), unit);
        QCOMPARE(records.last()["result"].toString(), QStringLiteral("ok"));
        QCOMPARE(records.last()["arrival"].toString(), arrival);
        QCOMPARE(records.last()["attempt"].toInt(), 1);
        // Looked at while it stays, and given nothing more.
        QTest::qWait(2500);
        QCOMPARE(withoutHandshakes(bench.device(1).received()), unit == 1 || !fixture
                                                                    ? configurationCommands
                                                                    : configurationCommands + configurationCommands);
        QVERIFY(bench.device(1).received().count(handshake) >= 2);
        if (fixture)
            bench.detach(1);
        else
            bench.pull(1);
        QVERIFY(watch.says(QStringLiteral("slot1  %1").arg(fixture ? "empty" : "empty (absent)").toUtf8(), 15000));
    }
    QCOMPARE(watch.records(3, 1000).size(), 2);
    watch.signal(SIGINT);
    QCOMPARE(watch.status(), 130);
}

void StationTest::unitPulledMidJobIsGone_data()
{
    QTest::addColumn<bool>("fixture");

    QTest::newRow("its adapter pulled") << false;
    QTest::newRow("taken out of its fixture") << true;
}

void StationTest::unitPulledMidJobIsGone()
{
    QFETCH(bool, fixture);

    QByteArray longFile;
    QByteArrayList commands;
    for (int i = 0; i < 40; ++i) {
        longFile += "ZEL#N=" + QByteArray::number(i) + '\n';
        commands << "ZEL#N=" + QByteArray::number(i) + '\r';
    }
    QFile file(dir.filePath("long.conf"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(longFile) == longFile.size());
    file.close();

    StationBench bench;
    if (fixture) {
        bench.fixture(1);
        bench.attach(1);
    } else {
        bench.plug(1);
    }
    Watch watch({file.fileName(), "--port", bench.pattern()});
    QVERIFY(QTest::qWaitFor([&] { return bench.device(1).commands().size() > 5; }, 15000));
    if (fixture)
        bench.detach(1);
    else
        bench.pull(1);
    const QVector<QJsonObject> records = watch.records(1);
    QCOMPARE(records.size(), 1);
    const QJsonObject record = records.first();
    QCOMPARE(record["result"].toString(), QStringLiteral("gone"));
    // What was sent is what the unit received before it went; a pulled
    // adapter may have swallowed the last command or two.
    const int sent = record["sent"].toInt();
    QVERIFY2(sent > 4 && sent < 40, qPrintable(QString::number(sent)));
    const QByteArray received = withoutHandshakes(bench.device(1).received());
    const int lost = fixture ? 0 : 2;
    QVERIFY2(received.startsWith(commands.mid(0, sent - lost).join())
                 && commands.mid(0, sent).join().startsWith(received),
             received);
    QVERIFY(record["acknowledged"].toInt() <= sent);
    watch.signal(SIGTERM);
    QCOMPARE(watch.status(), 143);
}

// Each try its own record; the station ends after the units asked for.
void StationTest::retriesUntilTheUnitsAskedFor()
{
    StationBench bench;
    DeviceProtocol::Settings refusing;
    refusing.refusedText = "BEEP";
    bench.plug(1, refusing);
    Watch watch({configuration, "--port", bench.pattern(), "--retries", "2", "--units", "1"});
    QCOMPARE(watch.status(), 1);
    const QVector<QJsonObject> records = watch.records(3, 0);
    QCOMPARE(records.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(records[i]["attempt"].toInt(), i + 1);
        QCOMPARE(records[i]["result"].toString(), QStringLiteral("failed"));
    }
    QCOMPARE(withoutHandshakes(bench.device(1).received()), configurationCommands.repeated(3));
}

void StationTest::interruptionRecordsUnitsInFlight()
{
    StationBench bench;
    DeviceProtocol::Settings slow;
    slow.replyDelayMs = 150;
    bench.plug(1, slow);
    bench.plug(2, slow);
    Watch watch({configuration, "--port", bench.pattern()});
    QVERIFY(QTest::qWaitFor([&] { return bench.device(1).commands().size() > 1 && bench.device(2).commands().size() > 1; },
                            15000));
    watch.signal(SIGINT);
    QCOMPARE(watch.status(), 130);
    const QVector<QJsonObject> records = watch.records(2, 0);
    QCOMPARE(records.size(), 2);
    for (const QJsonObject &record : records) {
        QCOMPARE(record["result"].toString(), QStringLiteral("interrupted"));
        const int slot = record["slot"].toString().right(1).toInt();
        // Only whole commands, as many as were reported sent.
        const QList<QByteArray> commands = bench.device(slot).commands();
        QCOMPARE(commands.size(), record["sent"].toInt() + commands.count(handshake));
        QVERIFY(record["sent"].toInt() < 4);
    }
}

// Nothing outside the patterns and the USB filter is opened, not even for
// the handshake; a port another program holds is served once it is free.
void StationTest::portsOutsideTheWatchAreNeverOpened()
{
    StationBench bench;
    bench.plug(1);
    bench.plug(2);
    bench.plug(3);
    SimulatedDevice outside;
    QFile::link(outside.portName(), QFileInfo(bench.slotPath(1)).dir().filePath("other1"));
    QTemporaryDir infoDir;
    QFile info(infoDir.filePath("ports"));
    QVERIFY(info.open(QIODevice::WriteOnly));
    info.write(QStringLiteral("%1\tS1\t0403:6001\tFTDI\n%2\t\t\t\n%3\tS3\t0403:6001\tFTDI\n")
                   .arg(bench.slotPath(1), bench.slotPath(2), bench.slotPath(3))
                   .toUtf8());
    info.close();
    QSerialPort holder(bench.device(3).portName());
    QVERIFY(holder.open(QIODevice::ReadWrite));

    Watch watch({configuration, "--port", bench.pattern(), "--vid-pid", "0403:6001", "--units", "2"},
                {{"MORLANK_TEST_PORT_INFO", info.fileName()}});
    QCOMPARE(watch.records(1).size(), 1);
    QTest::qWait(1500);
    QVERIFY(bench.device(3).received().isEmpty());
    holder.close();
    QCOMPARE(watch.status(), 0);
    const QVector<QJsonObject> records = watch.records(2, 0);
    QCOMPARE(records[0]["slot"].toString(), bench.slotPath(1));
    QCOMPARE(records[1]["slot"].toString(), bench.slotPath(3));
    QCOMPARE(withoutHandshakes(bench.device(3).received()), configurationCommands);
    QVERIFY(bench.device(2).received().isEmpty());
    QVERIFY(outside.received().isEmpty());
}

// The record an audit reads: every field, the same in the log as printed.
void StationTest::recordHoldsEveryField()
{
    StationBench bench;
    DeviceProtocol::Settings refusing;
    refusing.refusedText = "BEEP";
    bench.plug(1, refusing);
    QTemporaryDir infoDir;
    QFile info(infoDir.filePath("ports"));
    QVERIFY(info.open(QIODevice::WriteOnly));
    info.write(bench.slotPath(1).toUtf8() + "\tA1B2\t0403:6001\tFTDI\n");
    info.close();
    const QString log = infoDir.filePath("station.jsonl");
    Watch watch({configuration, "--port", bench.pattern(), "--slot", "Slot 1=" + bench.slotPath(1), "--set-clock",
                 "--verify", "--units", "1", "--log", log},
                {{"MORLANK_TEST_PORT_INFO", info.fileName()}});
    QCOMPARE(watch.status(), 1);
    const QVector<QJsonObject> records = watch.records(1, 0);
    QCOMPARE(records.size(), 1);
    QJsonObject record = records.first();

    QFile logFile(log);
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = logFile.readAll().split('\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(QJsonDocument::fromJson(lines[0]).object(), record);

    const QDateTime started = QDateTime::fromString(record.take("started").toString(), Qt::ISODate);
    const QDateTime ended = QDateTime::fromString(record.take("time").toString(), Qt::ISODate);
    QVERIFY(started.isValid() && ended.isValid() && started <= ended);
    QVERIFY(record.take("seconds").toDouble() > 0.5);
    QVERIFY(!QUuid::fromString(record.take("attempt_id").toString()).isNull());
    QJsonObject clock = record.take("clock").toObject();
    QVERIFY(QDateTime::fromString(clock.take("written").toString(), "hh:mm:ss dd/MM/yyyy").isValid());
    QVERIFY(clock.take("read_back").isString());
    QCOMPARE(clock, (QJsonObject{{"time_acknowledged", true}, {"date_acknowledged", true}, {"verified", true}}));
    QFile conf(configuration);
    QVERIFY(conf.open(QIODevice::ReadOnly));
    const QJsonObject expected{
        {"station", QSysInfo::machineHostName()},
        {"slot", "Slot 1"},
        {"port", bench.slotPath(1)},
        {"usb", QJsonObject{{"serial_number", "A1B2"}, {"vid_pid", "0403:6001"}, {"manufacturer", "FTDI"}}},
        {"arrival", "port"},
        {"unit", "A1B2"},
        {"file", configuration},
        {"file_sha256", QString(QCryptographicHash::hash(conf.readAll(), QCryptographicHash::Sha256).toHex())},
        {"commands", 4},
        {"attempt", 1},
        {"result", "failed"},
        {"sent", 4},
        {"acknowledged", 3},
        {"failures", QJsonArray{QJsonObject{
                         {"line", 4}, {"command", "ZEL#BEEP=2"}, {"reason", "refused"}, {"answer", "ERROR"}}}},
        {"values", QJsonValue()},
        {"error", QJsonValue()},
        {"morlank_version", "1.1.0"}};
    QCOMPARE(record, expected);
}

void StationTest::logThatCannotBeOpenedSendsNothing()
{
    StationBench bench;
    bench.plug(1);
    Watch watch({configuration, "--port", bench.pattern(), "--log", dir.filePath("no/such/folder/log.jsonl")});
    QCOMPARE(watch.status(), 2);
    QVERIFY(watch.says("cannot append to the log", 0));
    QVERIFY(bench.device(1).received().isEmpty());
}

// The end of a record cut off by a crash is not glued to the next one.
void StationTest::logEndingInPartOfALineGetsALineEnd()
{
    const QString log = dir.filePath("partial.jsonl");
    QVERIFY(writeFile(log, "{\"earlier\": 1}\n{\"cut off"));
    StationBench bench;
    bench.plug(1);
    Watch watch({configuration, "--port", bench.pattern(), "--units", "1", "--log", log});
    QCOMPARE(watch.status(), 0);
    const QByteArrayList lines = logLines(log);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[1], QByteArray("{\"cut off"));
    QCOMPARE(QJsonDocument::fromJson(lines[2]).object(), watch.records(1, 0).value(0));
}

// A record that cannot be written stops the station taking units; nothing is
// reported done that is not in the log, and the log holds whole lines only.
void StationTest::fullDiskStopsNewUnitsAndLosesNoRecord()
{
    QTemporaryDir disk;
    QProcess mount;
    mount.start("mount", {"-t", "tmpfs", "-o", "size=4k", "tmpfs", disk.path()});
    if (!mount.waitForFinished() || mount.exitCode() != 0)
        QSKIP("cannot mount a small file system here (the test needs root)");
    const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {disk.path()}); });
    // Earlier records fill the one page but for room for one more.
    const QString log = disk.filePath("station.jsonl");
    QVERIFY(writeFile(log, QByteArray(3200, 'x').prepend("{\"earlier\": \"").append("\"}\n")));

    StationBench bench;
    bench.plug(1);
    Watch watch({configuration, "--port", bench.pattern(), "--log", log});
    QCOMPARE(watch.records(1).size(), 1);
    bench.plug(2);
    QCOMPARE(watch.status(), 1);
    QVERIFY(watch.says("the log cannot be written", 0));
    bench.plug(3);
    const QByteArrayList lines = logLines(log);
    QCOMPARE(lines.size(), 2);
    for (const QByteArray &line : lines)
        QVERIFY2(QJsonDocument::fromJson(line).isObject(), line);
    const QVector<QJsonObject> printed = watch.records(2, 0);
    QCOMPARE(printed.size(), 1);
    QCOMPARE(QJsonDocument::fromJson(lines[1]).object(), printed[0]);
    QVERIFY(!withoutHandshakes(bench.device(2).received()).isEmpty());
    QVERIFY(bench.device(3).received().isEmpty());
}

// A unit bound by its adapter's serial number gets its row; the others get
// the rows left in file order; once the list is used up no unit is taken.
void StationTest::eachUnitItsOwnValues()
{
    const QString conf = dir.filePath("values.conf");
    const QString list = dir.filePath("units.csv");
    const QString info = dir.filePath("ports");
    const QString state = dir.filePath("values-state.json");
    QVERIFY(writeFile(conf, "ZEL#ID={{ID}}\nZEL#A=1\nZEL#NOTE={{ID}}-{{ID}}\n"));
    QVERIFY(writeFile(list, "\xEF\xBB\xBFID,usb_serial,batch\r\nA1,,7\r\nB2,S2,7\r\n\"C,3\",,8\r\n"));
    StationBench bench;
    QVERIFY(writeFile(info, QStringLiteral("%1\tS1\t\t\n%2\tS2\t\t\n").arg(bench.slotPath(1), bench.slotPath(2)).toUtf8()));
    Watch watch({conf, "--port", bench.pattern(), "--values", list, "--state", state},
                {{"MORLANK_TEST_PORT_INFO", info}});
    bench.plug(2);
    QCOMPARE(watch.records(1).size(), 1);
    bench.plug(1);
    QCOMPARE(watch.records(2).size(), 2);
    bench.plug(3);
    QCOMPARE(watch.records(3).size(), 3);
    bench.plug(4);
    QCOMPARE(watch.status(), 1);
    QVERIFY(watch.says("used up", 0));

    const QByteArrayList values{"B2", "A1", "\"C,3\""};
    const QVector<QJsonObject> records = watch.records(3, 0);
    for (int i = 0; i < 3; ++i) {
        const int slot = i == 0 ? 2 : i == 1 ? 1 : 3;
        const QByteArray id = values[i];
        QCOMPARE(records[i]["slot"].toString(), bench.slotPath(slot));
        QCOMPARE(records[i]["values"]["fields"]["ID"].toString(), QString(id).remove('"'));
        QCOMPARE(records[i]["values"]["row"].toInt(), i == 0 ? 2 : i == 1 ? 1 : 3);
        const QByteArray plain = QByteArray(id).replace("\"", "");
        QCOMPARE(withoutHandshakes(bench.device(slot).received()),
                 "ZEL#ID=" + plain + "\rZEL#A=1\rZEL#NOTE=" + plain + '-' + plain + '\r');
    }
    QCOMPARE(records[0]["values"]["fields"]["batch"].toString(), QStringLiteral("7"));
    QVERIFY(withoutHandshakes(bench.device(4).received()).isEmpty());
    QFile stateFile(state);
    QVERIFY(stateFile.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(stateFile.readAll())["handed_out"].toArray().size(), 3);
}

// A value is reserved before the first command carrying it: a unit pulled
// at once, or a station killed at the moment of reserving, has spent it.
void StationTest::reservedValuesAreNeverHandedOutAgain()
{
    const QString conf = dir.filePath("counter.conf");
    const QString state = dir.filePath("counter-state.json");
    QVERIFY(writeFile(conf, "ZEL#SN={{SN}}\nZEL#A=1\nZEL#B=2\n"));
    const QStringList options{conf, "--counter", "SN=0041", "--state", state};
    StationBench bench;
    DeviceProtocol::Settings slow;
    slow.replyDelayMs = 300;
    {
        Watch watch(options + QStringList{"--port", bench.pattern()});
        bench.plug(1, slow);
        QVERIFY(QTest::qWaitFor([&] { return bench.device(1).commands().size() >= 2; }, 15000));
        bench.pull(1);
        bench.plug(2);
        const QVector<QJsonObject> records = watch.records(2);
        QCOMPARE(records.size(), 2);
        QCOMPARE(records[0]["result"].toString(), QStringLiteral("gone"));
        QCOMPARE(records[0]["values"]["counters"]["SN"].toString(), QStringLiteral("0041"));
        QCOMPARE(records[1]["values"]["counters"]["SN"].toString(), QStringLiteral("0042"));
        // Killed as soon as the next value is on disk.
        bench.plug(3);
        QVERIFY(QTest::qWaitFor(
            [&] {
                QFile file(state);
                return file.open(QIODevice::ReadOnly) && file.readAll().contains("\"next\":\"0044\"");
            },
            15000));
        watch.signal(SIGKILL);
    }
    bench.pull(2);
    bench.pull(3);
    Watch again(options + QStringList{"--port", bench.pattern(), "--units", "1"});
    bench.plug(4);
    QCOMPARE(again.status(), 0);
    const QJsonValue values = again.records(1, 0).value(0).value("values");
    QCOMPARE(values["counters"]["SN"].toString(), QStringLiteral("0044"));
    QCOMPARE(withoutHandshakes(bench.device(4).received()), QByteArray("ZEL#SN=0044\rZEL#A=1\rZEL#B=2\r"));
    QFile stateFile(state);
    QVERIFY(stateFile.open(QIODevice::ReadOnly));
    const QJsonObject whole = QJsonDocument::fromJson(stateFile.readAll()).object();
    QCOMPARE(whole["counters"]["SN"]["next"].toString(), QStringLiteral("0045"));
    QCOMPARE(whole["handed_out"].toArray().size(), 4);
}

QTEST_GUILESS_MAIN(StationTest)
#include "tst_station.moc"
