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

#include <sys/stat.h>

namespace {
const QString cli = QStringLiteral(MORLANK_CLI);
const QByteArray handshake = "ZEL#\r";
const QByteArray configurationText = "; station\nZEL#A=1\n\nZEL#BEEP=2\r\nZEL#C=3\n# end\nZEL#D=4\n";
const QByteArray configurationCommands = "ZEL#A=1\rZEL#BEEP=2\rZEL#C=3\rZEL#D=4\r";

// morlank-cli watch in a process of its own, its records read as they come;
// run by `wrapper` (a program and its arguments) when one is given.
class Watch
{
public:
    explicit Watch(const QStringList &arguments, const QMap<QString, QString> &environment = {},
                   const QStringList &wrapper = {}, const QString &workingDirectory = {})
    {
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        for (auto entry = environment.cbegin(); entry != environment.cend(); ++entry)
            variables.insert(entry.key(), entry.value());
        process.setProcessEnvironment(variables);
        process.setWorkingDirectory(workingDirectory);
        const QStringList command = wrapper + QStringList{cli, "watch"} + arguments + QStringList{"--json"};
        process.start(command.first(), command.mid(1));
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

QString sha256Of(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// The log's writes (W) and syncs (S), its folder's syncs (F), and the records
// printed (P), in order, from what `strace -f -y -e trace=write,fsync` saw.
QByteArray recordEvents(const QString &trace, const QString &log)
{
    QFile file(trace);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression call(R"(^(\d+) +(write|fsync)\((\d+)<([^>]*)>(.*)$)");
    static const QRegularExpression resumed(R"(^(\d+) +<\.\.\. fsync resumed>.*= 0$)");
    const QString folder = QFileInfo(log).absolutePath();
    const auto syncOf = [&](const QString &path) { return path == log ? 'S' : path == folder ? 'F' : '\0'; };
    QHash<QString, QString> syncing; // thread: the file it syncs
    QByteArray seen;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QRegularExpressionMatch done = resumed.match(QString::fromUtf8(line));
        const QRegularExpressionMatch m = call.match(QString::fromUtf8(line));
        const QString path = m.captured(4);
        const QString rest = m.captured(5);
        char event = '\0';
        if (done.hasMatch())
            event = syncOf(syncing.take(done.captured(1)));
        else if (m.captured(2) == "write" && rest.startsWith(R"(, "{\")"))
            event = m.captured(3) == "1" ? 'P' : path == log ? 'W' : '\0';
        else if (m.captured(2) == "fsync" && rest.endsWith("= 0"))
            event = syncOf(path);
        else if (m.captured(2) == "fsync" && rest.contains("<unfinished"))
            syncing.insert(m.captured(1), path);
        if (event)
            seen += event;
    }
    return seen;
}

// Whether the station has looked at its ports once: a unit that comes after
// came while it ran. Its sign is the empty fixture at `slot`, which it shows
// after its first look.
bool lookedOnce(Watch &watch, StationBench &bench, int slot = 99)
{
    bench.fixture(slot);
    return watch.says(QStringLiteral("slot%1  empty").arg(slot).toUtf8());
}
} // namespace

class StationTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void servedOncePerAttachment_data();
    void servedOncePerAttachment();
    void handSpeedSwapIsANewUnit_data();
    void handSpeedSwapIsANewUnit();
    void oneDeviceOneService_data();
    void oneDeviceOneService();
    void unitPulledMidJobIsGone_data();
    void unitPulledMidJobIsGone();
    void retriesUntilTheUnitsAskedFor();
    void interruptionRecordsUnitsInFlight();
    void portsOutsideTheWatchAreNeverOpened();
    void recordHoldsEveryField();
    void configurationIsReadOnce();
    void logThatCannotBeKeptSendsNothing_data();
    void logThatCannotBeKeptSendsNothing();
    void clockThatDoesNotTakeFailsTheUnit_data();
    void clockThatDoesNotTakeFailsTheUnit();
    void takesNoMoreUnitsThanAskedFor();
    void adapterSwappedOnAPortIsFilteredAnew();
    void logEndingInPartOfALineGetsALineEnd();
    void logFollowedWhenMovedOrRemoved_data();
    void logFollowedWhenMovedOrRemoved();
    void recordSyncedBeforeShownDone();
    void fullDiskStopsNewUnitsAndLosesNoRecord();
    void eachUnitItsOwnValues();
    void fixtureAdapterBindsNoValues();
    void reservedValuesAreNeverHandedOutAgain();
    void valuesRunningOutStopTheStation_data();
    void valuesRunningOutStopTheStation();

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
    QTest::addColumn<bool>("atStart");
    QTest::addColumn<QStringList>("arrivals");

    QTest::newRow("its port appears") << false << false << QStringList{"port", "port"};
    QTest::newRow("a present port starts answering") << true << false << QStringList{"answer", "answer"};
    // Nobody knows how a unit there before the station came.
    QTest::newRow("its port there at start") << false << true << QStringList{"start", "port"};
    QTest::newRow("answering behind its port at start") << true << true << QStringList{"start", "answer"};
}

// Served as it arrives, never again while it stays, and anew once it has
// left and come back. Only an adapter seen to come with the unit names it.
void StationTest::servedOncePerAttachment()
{
    QFETCH(bool, fixture);
    QFETCH(bool, atStart);
    QFETCH(QStringList, arrivals);

    StationBench bench;
    QTemporaryDir infoDir;
    const QString info = infoDir.filePath("ports");
    QVERIFY(writeFile(info, bench.slotPath(1).toUtf8() + "\tF1\t0403:6001\tFTDI\n"));
    const auto arrive = [&] { fixture ? bench.attach(1) : void(bench.plug(1)); };
    if (fixture)
        bench.fixture(1);
    if (atStart)
        arrive();
    Watch watch({configuration, "--port", bench.pattern()}, {{"MORLANK_TEST_PORT_INFO", info}});
    QVERIFY(lookedOnce(watch, bench));
    for (int unit = 1; unit <= 2; ++unit) {
        if (unit > 1 || !atStart)
            arrive();
        const QVector<QJsonObject> records = watch.records(unit);
        QCOMPARE(records.size(), unit);
        QCOMPARE(records.last()["result"].toString(), QStringLiteral("ok"));
        QCOMPARE(records.last()["arrival"].toString(), arrivals.at(unit - 1));
        QCOMPARE(records.last()["usb"]["serial_number"].toString(), QStringLiteral("F1"));
        QCOMPARE(records.last()["unit"], arrivals.at(unit - 1) == "port" ? QJsonValue("F1") : QJsonValue());
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

void StationTest::handSpeedSwapIsANewUnit_data()
{
    QTest::addColumn<int>("emptyMs"); // -1: until one check went unanswered
    QTest::addColumn<bool>("failing");  // the first unit fails

    QTest::newRow("swapped with the slot empty 1.5 s") << 1500 << false;
    QTest::newRow("one check missed") << -1 << false;
    QTest::newRow("a failed unit swapped") << 1500 << true;
}

// A finished unit is asked without pause; the first check it leaves
// unanswered empties its slot, and whatever answers next is a new unit,
// served and recorded.
void StationTest::handSpeedSwapIsANewUnit()
{
    QFETCH(int, emptyMs);
    QFETCH(bool, failing);

    StationBench bench;
    bench.fixture(1);
    Watch watch({configuration, "--port", bench.pattern()});
    QVERIFY(watch.says("slot1  empty"));
    DeviceProtocol::Settings refusing;
    refusing.refusedText = "BEEP";
    bench.attach(1, failing ? refusing : DeviceProtocol::Settings());
    QCOMPARE(watch.records(1).size(), 1);
    QVERIFY(watch.says(failing ? "slot1  failed" : "slot1  ok"));
    // Every check of a unit that stays is answered: it stays one unit.
    const auto handshakes = [&] { return bench.device(1).received().count(handshake); };
    const int before = handshakes();
    QVERIFY2(QTest::qWaitFor([&] { return handshakes() >= before + 4; }, 2000),
             qPrintable(QString::number(handshakes() - before)));
    QCOMPARE(watch.records(2, 0).size(), 1);

    bench.detach(1);
    const int unanswered = handshakes() + 1;
    if (emptyMs < 0)
        QVERIFY(QTest::qWaitFor([&] { return handshakes() >= unanswered; }, 2000));
    else
        QTest::qWait(emptyMs);
    bench.attach(1);
    QVERIFY(watch.says("slot1  empty", 3000));
    const QVector<QJsonObject> records = watch.records(2);
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[1]["result"].toString(), QStringLiteral("ok"));
    QCOMPARE(records[1]["arrival"].toString(), QStringLiteral("answer"));
    QCOMPARE(records[1]["attempt"].toInt(), 1);
    QCOMPARE(withoutHandshakes(bench.device(1).received()), configurationCommands.repeated(2));
    watch.signal(SIGINT);
    QCOMPARE(watch.status(), 130);
}

void StationTest::oneDeviceOneService_data()
{
    QTest::addColumn<bool>("named");

    QTest::newRow("a later name that sorts first") << false;
    QTest::newRow("a slot named by another name") << true;
}

// A device with two names is one unit: served once, recorded once, in the
// slot named for either name.
void StationTest::oneDeviceOneService()
{
    QFETCH(bool, named);

    StationBench bench;
    DeviceProtocol::Settings slow;
    slow.replyDelayMs = 200;
    SimulatedDevice &device = bench.plug(1, slow);
    QStringList options{configuration, "--port", bench.pattern()};
    if (named)
        options << "--slot" << "Named=" + device.portName();
    Watch watch(options);
    QVERIFY(QTest::qWaitFor([&] { return device.commands().size() > 1; }, 15000));
    // udev's next name for it, sorting before the first.
    QVERIFY(QFile::link(device.portName(), QFileInfo(bench.slotPath(1)).dir().filePath("slot0")));
    QCOMPARE(watch.records(1).size(), 1);
    QCOMPARE(watch.records(2, 3000).size(), 1);
    QCOMPARE(watch.records(1, 0)[0]["result"].toString(), QStringLiteral("ok"));
    QCOMPARE(watch.records(1, 0)[0]["slot"].toString(), named ? QStringLiteral("Named") : bench.slotPath(1));
    QCOMPARE(withoutHandshakes(device.received()), configurationCommands);
    // Nor is the second name a slot of its own.
    QVERIFY(!watch.says("slot0  ", 0));
    // The first name goes; the unit stays, under its other name.
    QFile::remove(bench.slotPath(1));
    QTest::qWait(1500);
    QCOMPARE(watch.records(2, 0).size(), 1);
    QCOMPARE(withoutHandshakes(device.received()), configurationCommands);
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

// Each try its own record; the station ends after the units asked for. A
// presence check lost on a noisy line between two tries is not a departure.
void StationTest::retriesUntilTheUnitsAskedFor()
{
    StationBench bench;
    DeviceProtocol::Settings refusing;
    refusing.refusedText = "BEEP";
    bench.plug(1, refusing);
    bench.device(1).setResponder([protocol = std::make_shared<DeviceProtocol>(refusing),
                                  firstTryDone = false, missed = false](const QByteArray &command) mutable {
        firstTryDone = firstTryDone || command.startsWith("ZEL#D=");
        if (firstTryDone && !missed && command == handshake) {
            missed = true;
            return Replies::none();
        }
        return protocol->reply(command);
    });
    Watch watch({configuration, "--port", bench.pattern(), "--retries", "2", "--units", "1"});
    QCOMPARE(watch.status(), 1);
    const QVector<QJsonObject> records = watch.records(3, 0);
    QCOMPARE(records.size(), 3);
    QSet<QString> ids;
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(records[i]["attempt"].toInt(), i + 1);
        QCOMPARE(records[i]["result"].toString(), QStringLiteral("failed"));
        ids << records[i]["attempt_id"].toString();
    }
    // Each attempt is its own record, in a database too.
    QCOMPARE(ids.size(), 3);
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
    QTemporaryDir infoDir;
    QFile info(infoDir.filePath("ports"));
    QVERIFY(info.open(QIODevice::WriteOnly));
    info.write(bench.slotPath(1).toUtf8() + "\tA1B2\t0403:6001\tFTDI\n");
    info.close();
    const QString log = infoDir.filePath("station.jsonl");
    // The configuration named as typed, relative to where the station runs.
    Watch watch({QFileInfo(configuration).fileName(), "--port", bench.pattern(), "--slot",
                 "Slot 1=" + bench.slotPath(1), "--set-clock", "--verify", "--units", "1", "--log", log},
                {{"MORLANK_TEST_PORT_INFO", info.fileName()}}, {}, QFileInfo(configuration).path());
    QVERIFY(lookedOnce(watch, bench));
    bench.plug(1, refusing);
    QCOMPARE(watch.status(), 1);
    const QVector<QJsonObject> records = watch.records(1, 0);
    QCOMPARE(records.size(), 1);
    QJsonObject record = records.first();
    // Attempts a second long still sort.
    const QRegularExpression toTheMillisecond(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d)$)");
    for (const char *field : {"started", "time"})
        QVERIFY2(toTheMillisecond.match(record[field].toString()).hasMatch(), qPrintable(record[field].toString()));

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
        {"morlank_version", "1.1.0"},
        {"operator", QJsonValue()},
        {"release", QJsonValue()},
        {"order", QJsonValue()}};
    QCOMPARE(record, expected);
}

// A unit whose clock does not take, or cannot be read back, has failed.
void StationTest::clockThatDoesNotTakeFailsTheUnit_data()
{
    QTest::addColumn<QByteArray>("refused");
    QTest::addColumn<QString>("field");

    QTest::newRow("the time refused") << QByteArray("TIME=\"") << "time_acknowledged";
    QTest::newRow("the date refused") << QByteArray("DATE=\"") << "date_acknowledged";
    QTest::newRow("no reading back") << QByteArray("=?") << "verified";
}

void StationTest::clockThatDoesNotTakeFailsTheUnit()
{
    QFETCH(QByteArray, refused);
    QFETCH(QString, field);

    StationBench bench;
    DeviceProtocol::Settings unit;
    unit.refusedText = refused;
    bench.plug(1, unit);
    Watch watch({configuration, "--port", bench.pattern(), "--set-clock", "--verify", "--units", "1"});
    QCOMPARE(watch.status(), 1);
    const QJsonObject record = watch.records(1, 0).value(0);
    QCOMPARE(record["result"].toString(), QStringLiteral("failed"));
    QCOMPARE(record["clock"][field], QJsonValue(false));
    QCOMPARE(record["failures"].toArray().size(), 0);
}

// Units arriving together: no more are taken than asked for.
void StationTest::takesNoMoreUnitsThanAskedFor()
{
    StationBench bench;
    for (int slot = 1; slot <= 3; ++slot)
        bench.plug(slot);
    Watch watch({configuration, "--port", bench.pattern(), "--units", "2"});
    QCOMPARE(watch.status(), 0);
    QCOMPARE(watch.records(3, 0).size(), 2);
    int served = 0;
    for (int slot = 1; slot <= 3; ++slot)
        served += !withoutHandshakes(bench.device(slot).received()).isEmpty();
    QCOMPARE(served, 2);
}

// Another adapter plugged into the socket of one the USB filter left out
// is asked anew.
void StationTest::adapterSwappedOnAPortIsFilteredAnew()
{
    StationBench bench;
    SimulatedDevice &outside = bench.plug(1);
    QTemporaryDir infoDir;
    const QString info = infoDir.filePath("ports");
    const QByteArray sign = bench.slotPath(99).toUtf8() + "\tS99\t0403:6001\tFTDI\n";
    QVERIFY(writeFile(info, sign + bench.slotPath(1).toUtf8() + "\tX1\t1a86:7523\tQinHeng\n"));
    Watch watch({configuration, "--port", bench.pattern(), "--vid-pid", "0403:6001", "--units", "1"},
                {{"MORLANK_TEST_PORT_INFO", info}});
    QVERIFY(lookedOnce(watch, bench));
    // Swapped between two looks: the port's name never went.
    SimulatedDevice inside{SimulatedDevice::Responder(
        [protocol = std::make_shared<DeviceProtocol>()](const QByteArray &command) { return protocol->reply(command); })};
    QVERIFY(writeFile(info, sign + bench.slotPath(1).toUtf8() + "\tF1\t0403:6001\tFTDI\n"));
    QFile::remove(bench.slotPath(1));
    QVERIFY(QFile::link(inside.portName(), bench.slotPath(1)));
    QCOMPARE(watch.status(), 0);
    QCOMPARE(withoutHandshakes(inside.received()), configurationCommands);
    QVERIFY(outside.received().isEmpty());
}


// A configuration given through a pipe (a shell's <(...)) can be read but
// once (a second read would wait for ever): what the units get and what the
// records say both come from the one read at start.
void StationTest::configurationIsReadOnce()
{
    const QString pipe = dir.filePath("piped.conf");
    QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
    QProcess writer;
    writer.start("sh", {"-c", R"(printf %s "$1" > "$2")", "sh", configurationText, pipe});
    StationBench bench;
    bench.plug(1);
    Watch watch({pipe, "--port", bench.pattern(), "--units", "1"});
    QCOMPARE(watch.status(), 0);
    const QJsonObject record = watch.records(1, 0).value(0);
    QCOMPARE(record["file_sha256"].toString(), sha256Of(configurationText));
    QCOMPARE(withoutHandshakes(bench.device(1).received()), configurationCommands);
    QVERIFY(writer.waitForFinished());
}

void StationTest::logThatCannotBeKeptSendsNothing_data()
{
    QTest::addColumn<QString>("log");
    QTest::addColumn<QByteArray>("reason");

    QTest::newRow("no such folder") << dir.filePath("no/such/folder/log.jsonl")
                                    << QByteArray("Check the folder and that you may write there");
    // nothing there can be synced to disk
    QTest::newRow("/dev/null") << "/dev/null" << QByteArray("it is a character device");
    const QString pipe = dir.filePath("log.pipe");
    QVERIFY(QFile::exists(pipe) || ::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
    QTest::newRow("a pipe") << pipe << QByteArray("it is a pipe");
    QTest::newRow("a /proc file") << "/proc/self/comm" << QByteArray("it cannot be synced to disk");
}

void StationTest::logThatCannotBeKeptSendsNothing()
{
    QFETCH(QString, log);
    QFETCH(QByteArray, reason);

    StationBench bench;
    bench.plug(1);
    Watch watch({configuration, "--port", bench.pattern(), "--log", log});
    QCOMPARE(watch.status(), 2);
    QVERIFY(watch.says("cannot append to the log " + log.toUtf8() + ": ", 0));
    QVERIFY(watch.says(reason, 0));
    QVERIFY(watch.says("nothing was sent", 0));
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

void StationTest::logFollowedWhenMovedOrRemoved_data()
{
    QTest::addColumn<QString>("change"); // what becomes of the log after the first unit
    QTest::addColumn<QByteArray>("found"); // what the path holds then

    QTest::newRow("moved away, as logrotate does") << "moved" << QByteArray();
    QTest::newRow("removed, and a file ending in part of a line put there") << "removed" << QByteArray("{\"cut off");
    QTest::newRow("removed, and a folder put there") << "folder" << QByteArray();
}

// Each record goes to the file at the log's path, whatever was done to the
// file before it; where none can be kept, the unit is not shown done and the
// station takes no more units.
void StationTest::logFollowedWhenMovedOrRemoved()
{
    QFETCH(QString, change);
    QFETCH(QByteArray, found);

    QTemporaryDir logs;
    const QString log = logs.filePath("station.jsonl");
    StationBench bench;
    bench.plug(1);
    Watch watch({configuration, "--port", bench.pattern(), "--log", log});
    QCOMPARE(watch.records(1).size(), 1);
    if (change == "moved")
        QVERIFY(QFile::rename(log, log + ".1"));
    else
        QVERIFY(QFile::remove(log));
    if (!found.isEmpty())
        QVERIFY(writeFile(log, found));
    if (change == "folder")
        QVERIFY(QDir().mkdir(log));
    bench.plug(2);
    if (change == "folder") {
        QCOMPARE(watch.status(), 1);
        QVERIFY(watch.says("the log " + log.toUtf8() + " was moved or removed, and no log can be kept at its path: it "
                           "is a folder", 0));
        QCOMPARE(watch.records(2, 0).size(), 1);
        return;
    }
    QCOMPARE(watch.records(2).size(), 2);
    bench.plug(3);
    QCOMPARE(watch.records(3).size(), 3);
    watch.signal(SIGINT);
    QCOMPARE(watch.status(), 130);
    // Said once, not at every record.
    QVERIFY(watch.says("the log " + log.toUtf8() + " was moved or removed; the records that follow go to the file "
                       "now at that path", 0));
    QVERIFY(!watch.says("moved or removed", 0));
    const QVector<QJsonObject> printed = watch.records(3, 0);
    QByteArrayList expected = found.isEmpty() ? QByteArrayList() : QByteArrayList{found};
    for (int i = 1; i < 3; ++i)
        expected << QJsonDocument(printed[i]).toJson(QJsonDocument::Compact);
    QCOMPARE(logLines(log), expected);
    if (change == "moved")
        QCOMPARE(logLines(log + ".1"), QByteArrayList{QJsonDocument(printed[0]).toJson(QJsonDocument::Compact)});
}

// A unit is shown done (its record printed) only once its record is synced
// to disk: the trace of the program's writes and syncs shows the order.
void StationTest::recordSyncedBeforeShownDone()
{
    const QString strace = QStandardPaths::findExecutable("strace");
    if (strace.isEmpty() || QProcess::execute(strace, {"-o", "/dev/null", "true"}) != 0)
        QSKIP("strace is missing or may not trace here (scripts/install-deps installs it)");
    QTemporaryDir traced;
    const QString trace = traced.filePath("trace");
    const QString log = QDir(QFileInfo(traced.path()).canonicalFilePath()).filePath("log.jsonl");
    StationBench bench;
    bench.plug(1);
    // LeakSanitizer cannot work under a tracer: a sanitizer build checks no
    // leaks in the traced program.
    const QString sanitizer = qEnvironmentVariable("ASAN_OPTIONS");
    Watch watch({configuration, "--port", bench.pattern(), "--units", "2", "--log", log},
                {{"ASAN_OPTIONS", sanitizer + (sanitizer.isEmpty() ? "" : ":") + "detect_leaks=0"}},
                {strace, "-f", "-qq", "-y", "-e", "trace=write,fsync", "-e", "signal=none", "-o", trace});
    QCOMPARE(watch.records(1).size(), 1);
    bench.plug(2);
    QCOMPARE(watch.status(), 0);
    // The new log synced when made, with its name in its folder; then each
    // record written, synced, printed.
    QCOMPARE(recordEvents(trace, log), QByteArray("SFWSPWSP"));
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
    // Programmed, but not in the log: never shown ok.
    QVERIFY(watch.says(bench.slotPath(2).toUtf8() + "  not recorded", 0));
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
    QVERIFY(lookedOnce(watch, bench));
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

// A fixture's adapter is not the unit's: its serial number binds no row.
void StationTest::fixtureAdapterBindsNoValues()
{
    const QString conf = dir.filePath("fixture-values.conf");
    const QString list = dir.filePath("fixture-units.csv");
    const QString state = dir.filePath("fixture-state.json");
    const QString info = dir.filePath("fixture-ports");
    QVERIFY(writeFile(conf, "ZEL#ID={{ID}}\nZEL#A=1\nZEL#B=2\n"));
    QVERIFY(writeFile(list, "ID,usb_serial\nA1,F1\nB2,\n"));
    StationBench bench;
    QVERIFY(writeFile(info, bench.slotPath(1).toUtf8() + "\tF1\t0403:6001\tFTDI\n"));
    bench.fixture(1);
    Watch watch({conf, "--port", bench.pattern(), "--values", list, "--state", state, "--units", "1"},
                {{"MORLANK_TEST_PORT_INFO", info}});
    QVERIFY(watch.says("slot1  empty"));
    bench.attach(1);
    QCOMPARE(watch.status(), 1);
    const QJsonObject record = watch.records(1, 0).value(0);
    QCOMPARE(record["result"].toString(), QStringLiteral("failed"));
    QCOMPARE(record["arrival"].toString(), QStringLiteral("answer"));
    QCOMPARE(record["unit"], QJsonValue());
    QCOMPARE(record["values"], QJsonValue());
    QVERIFY2(record["error"].toString().contains("binds a row to the adapter F1"), qPrintable(record["error"].toString()));
    QCOMPARE(withoutHandshakes(bench.device(1).received()), QByteArray());
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

void StationTest::valuesRunningOutStopTheStation_data()
{
    QTest::addColumn<QString>("counter");
    QTest::addColumn<bool>("stateBlocked"); // after the first unit
    QTest::addColumn<QString>("reason");

    QTest::newRow("a counter run out") << "SN=05:95" << false
                                       << "counter SN has run out: its next value, 100, has more than 2 digits";
    QTest::newRow("a state file that cannot be written") << "SN=05" << true << "cannot write";
}

// As a list used up: the unit that finds no value is sent nothing and fails,
// the reason is shown, and the station ends.
void StationTest::valuesRunningOutStopTheStation()
{
    QFETCH(QString, counter);
    QFETCH(bool, stateBlocked);
    QFETCH(QString, reason);

    QTemporaryDir values;
    const QString conf = values.filePath("serial.conf");
    const QString state = values.filePath("state.json");
    QVERIFY(writeFile(conf, "ZEL#SN={{SN}}\nZEL#A=1\nZEL#B=2\n"));
    StationBench bench;
    bench.plug(1);
    Watch watch({conf, "--port", bench.pattern(), "--counter", counter, "--state", state});
    QCOMPARE(watch.records(1).size(), 1);
    if (stateBlocked)
        QVERIFY(QDir().mkdir(state + ".new"));
    bench.plug(2);
    QCOMPARE(watch.status(), 1);
    QVERIFY(watch.says(reason.toUtf8(), 0));
    QVERIFY(watch.says("No new unit is taken", 0));
    const QVector<QJsonObject> records = watch.records(2, 0);
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[0]["result"].toString(), QStringLiteral("ok"));
    QCOMPARE(records[0]["values"]["counters"]["SN"].toString(), QStringLiteral("05"));
    QCOMPARE(records[1]["result"].toString(), QStringLiteral("failed"));
    QVERIFY2(records[1]["error"].toString().contains(reason), qPrintable(records[1]["error"].toString()));
    QVERIFY(withoutHandshakes(bench.device(2).received()).isEmpty());
    QFile stateFile(state);
    QVERIFY(stateFile.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(stateFile.readAll())["handed_out"].toArray().size(), 1);
}

QTEST_GUILESS_MAIN(StationTest)
#include "tst_station.moc"
