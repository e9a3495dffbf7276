#include "connectedlink.h"
#include "deviceprotocol.h"
#include "simulateddevice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSerialPort>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <vector>

namespace {
const QString cli = QStringLiteral(MORLANK_CLI);
const QByteArray handshake = "ZEL#\r";
const QByteArray clockRead = "ZEL#TIME=?\rZEL#DATE=?\r";

using Devices = std::vector<std::unique_ptr<SimulatedDevice>>;

// Devices that answer as morlank-devsim does, each with its own clock, by
// kind: 'd' a device, 's' silent, 'r' refuses commands with BEEP, 'n' refuses
// everything, the handshake included.
Devices devices(const QString &kinds)
{
    Devices list;
    for (const QChar kind : kinds) {
        DeviceProtocol::Settings settings;
        settings.silent = kind == QLatin1Char('s');
        settings.refusedText = kind == QLatin1Char('r') ? "BEEP" : kind == QLatin1Char('n') ? "ZEL#" : "";
        auto protocol = std::make_shared<DeviceProtocol>(settings);
        list.push_back(std::make_unique<SimulatedDevice>(
            [protocol](const QByteArray &command) { return protocol->reply(command); }));
    }
    return list;
}

QStringList portNames(const Devices &list)
{
    QStringList names;
    for (const auto &device : list)
        names << device->portName();
    return names;
}

QStringList portOptions(const QStringList &names)
{
    QStringList options;
    for (const QString &name : names)
        options << QStringLiteral("--port") << name;
    return options;
}

struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;

    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

// `systemPorts` stand for the ports the system lists; `timeZone`, when given,
// is the child's TZ.
void start(QProcess &process, const QStringList &arguments, const QStringList &systemPorts,
           const QString &timeZone = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MORLANK_TEST_PORTS"), systemPorts.join(QLatin1Char(':')));
    if (!timeZone.isEmpty())
        environment.insert(QStringLiteral("TZ"), timeZone);
    process.setProcessEnvironment(environment);
    process.start(cli, arguments);
}

Run finish(QProcess &process)
{
    Run run;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit)
        run.status = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

Run run(const QStringList &arguments, const QStringList &systemPorts = {}, const QString &timeZone = {})
{
    QProcess process;
    start(process, arguments, systemPorts, timeZone);
    return finish(process);
}

// Answers the handshake and every command with OK, but those holding a text
// of `script` with its reply.
SimulatedDevice::Responder answering(const QMap<QByteArray, Reply> &script)
{
    return [script](const QByteArray &command) {
        for (auto entry = script.cbegin(); entry != script.cend(); ++entry) {
            if (command.contains(entry.key()))
                return entry.value();
        }
        return Replies::now("OK\n\r");
    };
}
} // namespace

class CliTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    // selection
    void selection_data();
    void selection();
    void portsTellWhatAnswers();
    // download
    void downloadToEveryDevice();
    void downloadPrintsTextResult();
    void lateAnswerStaysWithItsLine_data();
    void lateAnswerStaysWithItsLine();
    void lateClockAnswerIsNotTheNextValue();
    void dryRunOpensNothing();
    // interruption
    void interruptionEndsBetweenCommands_data();
    void interruptionEndsBetweenCommands();
    // usage
    void helpAndVersion_data();
    void helpAndVersion();
    // input errors
    void inputErrorsSendNothing_data();
    void inputErrorsSendNothing();
    // clock
    void clockSetThenGetOnTwoDevices();
    void verifyReadsTheClockBack_data();
    void verifyReadsTheClockBack();
    void fromPcWaitsForTheNewDay();

private:
    QString writeFile(const QString &name, const QByteArray &contents) const;

    QTemporaryDir dir;
    // Commands on lines 2, 4, 5 and 7; the second holds BEEP.
    QString configuration;
};

void CliTest::initTestCase()
{
    QVERIFY(dir.isValid());
    configuration = writeFile("line.conf", "; station\nZEL#A=1\n\nZEL#BEEP=2\r\nZEL#C=3\n# end\nZEL#D=4\n");
}

QString CliTest::writeFile(const QString &name, const QByteArray &contents) const
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        return {};
    return file.fileName();
}

void CliTest::selection_data()
{
    QTest::addColumn<QString>("kinds");
    QTest::addColumn<bool>("named");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<QByteArrayList>("wires");

    const QStringList get{"clock", "get", "--json"};
    const QByteArrayList handshakes{handshake, handshake};
    QTest::newRow("the one device is used") << "sd" << false << get << 0 << QStringList{"ok"}
                                            << QByteArrayList{handshake, handshake + clockRead};
    QTest::newRow("several need --all") << "dd" << false << get << 2 << QStringList{} << handshakes;
    QTest::newRow("--all serves every one") << "dd" << false << get + QStringList{"--all"} << 0
                                            << QStringList{"ok", "ok"}
                                            << QByteArrayList{handshake + clockRead, handshake + clockRead};
    QTest::newRow("a named port that does not answer") << "ds" << true << get << 1
                                                       << QStringList{"ok", "not found"}
                                                       << QByteArrayList{handshake + clockRead, handshake};
    QTest::newRow("no device answers") << "ss" << false << get << 3 << QStringList{} << handshakes;
}

void CliTest::selection()
{
    QFETCH(QString, kinds);
    QFETCH(bool, named);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QStringList, results);
    QFETCH(QByteArrayList, wires);

    const Devices fleet = devices(kinds);
    const QStringList ports = portNames(fleet);
    const Run result = named ? run(arguments + portOptions(ports)) : run(arguments, ports);
    QCOMPARE(result.status, status);
    QStringList listed;
    for (const QJsonValue device : result.json().value("devices").toArray())
        listed << device["result"].toString();
    QCOMPARE(listed, results);
    if (status == 2)
        QVERIFY2(result.err.contains(ports.at(0).toLocal8Bit()) && result.err.contains("--all"), result.err);
    for (size_t i = 0; i < fleet.size(); ++i)
        QCOMPARE(fleet[i]->received(), wires.at(int(i)));
}

void CliTest::portsTellWhatAnswers()
{
    const Devices fleet = devices("dsnd");
    QSerialPort holder(fleet[3]->portName());
    QVERIFY(holder.open(QIODevice::ReadWrite));
    const Run result = run(QStringList{"ports", "--json"}
                           + portOptions(portNames(fleet) + QStringList{absentPortName()}));
    QCOMPARE(result.status, 1);
    QStringList answers;
    for (const QJsonValue port : result.json().value("ports").toArray()) {
        answers << port["answer"].toString();
        QVERIFY(port["vid_pid"].isNull());
    }
    QCOMPARE(answers, (QStringList{"device", "silent", "no device", "busy", "cannot open"}));
    QVERIFY(fleet[3]->received().isEmpty());
}

void CliTest::downloadToEveryDevice()
{
    const Devices fleet = devices("drd");
    const Run result = run(QStringList{"download", configuration, "--json"} + portOptions(portNames(fleet)));
    QCOMPARE(result.status, 1);
    QCOMPARE(result.json().value("file").toString(), configuration);
    QCOMPARE(result.json().value("commands").toInt(), 4);
    const QJsonArray listed = result.json().value("devices").toArray();
    QCOMPARE(listed.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(listed[i]["port"].toString(), fleet[size_t(i)]->portName());
        QCOMPARE(fleet[size_t(i)]->received(), handshake + "ZEL#A=1\rZEL#BEEP=2\rZEL#C=3\rZEL#D=4\r");
        QCOMPARE(listed[i]["sent"].toInt(), 4);
        QCOMPARE(listed[i]["acknowledged"].toInt(), i == 1 ? 3 : 4);
        QCOMPARE(listed[i]["result"].toString(), i == 1 ? "failed" : "ok");
        QCOMPARE(listed[i]["failures"].toArray().size(), i == 1 ? 1 : 0);
    }
    const QJsonObject refused{{"line", 4}, {"command", "ZEL#BEEP=2"}, {"reason", "refused"}, {"answer", "ERROR"}};
    QCOMPARE(listed[1]["failures"][0].toObject(), refused);
}

void CliTest::downloadPrintsTextResult()
{
    const Devices fleet = devices("r");
    const QString port = fleet[0]->portName();
    const Run result = run({"download", configuration, "--quiet"}, {port});
    QCOMPARE(result.status, 1);
    QVERIFY2(result.err.isEmpty(), result.err);
    const QList<QByteArray> lines = result.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].startsWith(port.toLocal8Bit() + "  failed  3/4 acknowledged  "), lines[0]);
    QCOMPARE(lines[1], port.toLocal8Bit() + " line 4: ZEL#BEEP=2  refused: ERROR");
}

void CliTest::lateAnswerStaysWithItsLine_data()
{
    QTest::addColumn<Reply>("beepReply");
    QTest::addColumn<Reply>("nextReply");
    QTest::addColumn<QJsonArray>("failures");

    const QJsonObject late{{"line", 4}, {"command", "ZEL#BEEP=2"}, {"reason", "no answer"}, {"answer", ""},
                           {"late_answer", "OK"}};
    const QJsonObject refused{{"line", 5}, {"command", "ZEL#C=3"}, {"reason", "refused"}, {"answer", "ERROR"}};
    const QJsonObject unanswered{{"line", 5}, {"command", "ZEL#C=3"}, {"reason", "no answer"}, {"answer", ""}};
    const Reply lateOk = Replies::after(1200, "OK\n\r");
    const Reply error = Replies::now("ERROR\n\r");
    QTest::newRow("late OK, then a refusal") << lateOk << error << QJsonArray{late, refused};
    QTest::newRow("late OK, then silence") << lateOk << Replies::none() << QJsonArray{late, unanswered};
    QTest::newRow("late OK inside the next quiet wait") << Replies::after(1050, "OK\n\r") << error
                                                        << QJsonArray{late, refused};
    QJsonObject silent = late;
    silent.remove("late_answer");
    QTest::newRow("silence after an acknowledged line") << Replies::none() << Replies::now("OK\n\r")
                                                        << QJsonArray{silent};
}

// Each line is judged on its own answer: an OK that comes too late for its
// line neither acknowledges the next one nor is taken for it.
void CliTest::lateAnswerStaysWithItsLine()
{
    QFETCH(Reply, beepReply);
    QFETCH(Reply, nextReply);
    QFETCH(QJsonArray, failures);

    SimulatedDevice device(answering({{"BEEP", beepReply}, {"C=3", nextReply}}));
    const Run result = run({"download", configuration, "--json", "--port", device.portName()});
    QCOMPARE(result.status, 1);
    const QJsonValue listed = result.json().value("devices")[0];
    QCOMPARE(listed["acknowledged"].toInt(), 4 - failures.size());
    QCOMPARE(listed["failures"].toArray(), failures);
}

// A value read must come from the answer to its own query.
void CliTest::lateClockAnswerIsNotTheNextValue()
{
    SimulatedDevice device(answering({{"TIME=?", Replies::after(1200, "+TIME=\"11:22:33\"\n\rOK\n\r")},
                                      {"DATE=?", Replies::after(300, "+DATE=\"01/02/2026\"\n\rOK\n\r")}}));
    const Run result = run({"clock", "get", "--json", "--port", device.portName()});
    QCOMPARE(result.status, 1);
    const QJsonValue listed = result.json().value("devices")[0];
    QVERIFY(listed["time"].isNull());
    QCOMPARE(listed["date"].toString(), QStringLiteral("01/02/2026"));
}

void CliTest::dryRunOpensNothing()
{
    const Devices fleet = devices("d");
    // A byte-order mark, so the euro sign reads the same in every locale.
    const QString file = writeFile("odd.conf", QByteArray("\xEF\xBB\xBFZEL#A\n  ZEL#B=\xE2\x82\xAC\n\nZEL#C=\0x\n", 29));
    const Run result = run(QStringList{"download", file, "--dry-run", "--json"} + portOptions(portNames(fleet)));
    QCOMPARE(result.status, 1);
    QVERIFY(fleet[0]->received().isEmpty());
    const QJsonArray lines = result.json().value("lines").toArray();
    QCOMPARE(lines.size(), 3);
    const QVector<int> numbers{1, 2, 4};
    const QVector<int> columns{0, 9, 7};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(lines[i]["line"].toInt(), numbers[i]);
        QCOMPARE(lines[i]["sendable"].toBool(), columns[i] == 0);
        QCOMPARE(lines[i]["column"].toInt(), columns[i]);
    }
    QCOMPARE(lines[1]["command"].toString(), QStringLiteral("  ZEL#B=\u20ac"));
}

void CliTest::interruptionEndsBetweenCommands_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<int>("status");

    QTest::newRow("Ctrl-C") << int(SIGINT) << 130;
    QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
}

void CliTest::interruptionEndsBetweenCommands()
{
    QFETCH(int, signalNumber);
    QFETCH(int, status);

    QByteArray contents;
    QList<QByteArray> commands{handshake};
    for (int i = 0; i < 30; ++i)
        commands << "ZEL#N=" + QByteArray::number(i) + '\r';
    for (const QByteArray &command : commands.mid(1))
        contents += command.chopped(1) + '\n';
    const Devices fleet = devices("dd");
    QProcess process;
    start(process, QStringList{"download", writeFile("long.conf", contents), "--json"} + portOptions(portNames(fleet)),
          {});
    QVERIFY(QTest::qWaitFor([&] { return fleet[0]->commands().size() > 3 && fleet[1]->commands().size() > 3; },
                            10000));
    ::kill(pid_t(process.processId()), signalNumber);
    const Run result = finish(process);
    QCOMPARE(result.status, status);
    const QJsonArray listed = result.json().value("devices").toArray();
    QCOMPARE(listed.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const SimulatedDevice &device = *fleet[size_t(i)];
        QCOMPARE(listed[i]["result"].toString(), QStringLiteral("interrupted"));
        const int sent = listed[i]["sent"].toInt();
        QVERIFY2(sent < 30, qPrintable(QString::number(sent)));
        // Only whole commands, in file order, as many as reported sent.
        QTRY_COMPARE(device.commands().size(), sent + 1);
        QCOMPARE(device.commands(), commands.mid(0, sent + 1));
        QCOMPARE(device.received(), commands.mid(0, sent + 1).join());
    }
}

void CliTest::helpAndVersion_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("entry");

    QTest::newRow("overview") << QStringList{"--help"} << "Exit status: 0";
    QTest::newRow("help download") << QStringList{"help", "download"} << "--dry-run";
    QTest::newRow("clock set --help") << QStringList{"clock", "set", "--help"} << "--verify";
    QTest::newRow("version") << QStringList{"--version"} << "morlank-cli 1.1.0";
}

void CliTest::helpAndVersion()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, entry);

    const Run result = run(arguments);
    QCOMPARE(result.status, 0);
    QVERIFY2(result.out.contains(entry.toUtf8()), result.out);
}

void CliTest::inputErrorsSendNothing_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("missing file") << QStringList{"download", dir.filePath("missing.conf")};
    QTest::newRow("two commands") << QStringList{"download", writeFile("two.conf", "ZEL#A\nZEL#B\n")};
    QTest::newRow("two commands, dry run") << QStringList{"download", dir.filePath("two.conf"), "--dry-run"};
    QTest::newRow("bad time") << QStringList{"clock", "set", "--time", "25:00:00", "--date", "01/02/2026"};
    QTest::newRow("bad date") << QStringList{"clock", "set", "--time", "07:03:09", "--date", "31/02/2026"};
    QTest::newRow("time without date") << QStringList{"clock", "set", "--time", "07:03:09"};
    QTest::newRow("unknown option") << QStringList{"clock", "get", "--loud"};
    QTest::newRow("no command") << QStringList{};
}

void CliTest::inputErrorsSendNothing()
{
    QFETCH(QStringList, arguments);

    const Devices fleet = devices("dd");
    const QStringList ports = portNames(fleet);
    const Run result = run(arguments + portOptions({ports.at(0)}), {ports.at(1)});
    QCOMPARE(result.status, 2);
    QVERIFY(result.out.isEmpty());
    QVERIFY(result.err.startsWith("morlank-cli: "));
    QVERIFY(fleet[0]->received().isEmpty());
    QVERIFY(fleet[1]->received().isEmpty());
}

void CliTest::clockSetThenGetOnTwoDevices()
{
    const Devices fleet = devices("dd");
    const QStringList ports = portOptions(portNames(fleet));
    const Run set = run(QStringList{"clock", "set", "--time", "07:03:09", "--date", "01/02/2026", "--verify", "--json"}
                        + ports);
    QCOMPARE(set.status, 0);
    for (const QJsonValue device : set.json().value("devices").toArray()) {
        QCOMPARE(device["result"].toString(), QStringLiteral("ok"));
        QVERIFY(device["time_acknowledged"].toBool() && device["date_acknowledged"].toBool());
        QCOMPARE(device["verified"], QJsonValue(true));
    }
    for (const auto &device : fleet) {
        QCOMPARE(device->commands().mid(1, 2),
                 (QList<QByteArray>{"ZEL#TIME=\"07:03:09\"\r", "ZEL#DATE=\"01/02/2026\"\r"}));
    }

    const Run get = run(QStringList{"clock", "get", "--json"} + ports);
    QCOMPARE(get.status, 0);
    const QJsonArray listed = get.json().value("devices").toArray();
    QCOMPARE(listed.size(), 2);
    for (const QJsonValue device : listed) {
        QCOMPARE(device["date"].toString(), QStringLiteral("01/02/2026"));
        const int runOn = QTime(7, 3, 9).secsTo(QTime::fromString(device["time"].toString(), "hh:mm:ss"));
        QVERIFY2(runOn >= 0 && runOn <= 5, qPrintable(device["time"].toString()));
    }
}

void CliTest::verifyReadsTheClockBack_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("timeRead");
    QTest::addColumn<QByteArray>("dateRead");
    QTest::addColumn<bool>("verified");

    QTest::newRow("a clock that did not take") << "" << "07:03:09 01/02/2026" << QByteArray("01:00:00")
                                               << QByteArray("01/02/2026") << false;
    QTest::newRow("ten seconds off") << "" << "07:03:09 01/02/2026" << QByteArray("07:03:19")
                                     << QByteArray("01/02/2026") << false;
    // The time is read before the date: the day may turn in between, so the
    // date may be a day ahead, and only just before midnight.
    QTest::newRow("a day ahead, just before midnight") << "" << "23:59:58 01/02/2026" << QByteArray("23:59:59")
                                                       << QByteArray("02/02/2026") << true;
    QTest::newRow("a day ahead at noon") << "" << "12:00:00 01/02/2026" << QByteArray("12:00:01")
                                         << QByteArray("02/02/2026") << false;
    QTest::newRow("a day behind: the date did not turn") << "" << "23:59:59 31/12/2026" << QByteArray("00:00:01")
                                                         << QByteArray("31/12/2026") << false;
    QTest::newRow("the new day reached") << "" << "23:59:59 31/12/2026" << QByteArray("00:00:00")
                                         << QByteArray("01/01/2027") << true;
    // Written as given in every time zone, the hours that daylight saving
    // skips or repeats included.
    QTest::newRow("Berlin, the skipped hour") << "Europe/Berlin" << "02:30:00 29/03/2026" << QByteArray("02:30:01")
                                              << QByteArray("29/03/2026") << true;
    QTest::newRow("Berlin, the repeated hour") << "Europe/Berlin" << "02:30:00 25/10/2026"
                                               << QByteArray("02:30:01") << QByteArray("25/10/2026") << true;
    QTest::newRow("Sydney, the skipped hour") << "Australia/Sydney" << "02:30:00 04/10/2026"
                                              << QByteArray("02:30:01") << QByteArray("04/10/2026") << true;
    QTest::newRow("Sydney, the repeated hour") << "Australia/Sydney" << "02:30:00 05/04/2026"
                                               << QByteArray("02:30:01") << QByteArray("05/04/2026") << true;
}

void CliTest::verifyReadsTheClockBack()
{
    QFETCH(QString, zone);
    QFETCH(QString, written);
    QFETCH(QByteArray, timeRead);
    QFETCH(QByteArray, dateRead);
    QFETCH(bool, verified);

    // Acknowledges every write, and reads back the clock it was given.
    SimulatedDevice device(answering({{"TIME=?", Replies::now("+TIME=\"" + timeRead + "\"\n\rOK\n\r")},
                                      {"DATE=?", Replies::now("+DATE=\"" + dateRead + "\"\n\rOK\n\r")}}));
    const QStringList timeAndDate = written.split(' ');
    const Run result = run({"clock", "set", "--time", timeAndDate.at(0), "--date", timeAndDate.at(1), "--verify",
                            "--json", "--port", device.portName()},
                           {}, zone);
    QCOMPARE(result.status, verified ? 0 : 1);
    QCOMPARE(device.commands().mid(1, 2),
             (QList<QByteArray>{"ZEL#TIME=\"" + timeAndDate.at(0).toLatin1() + "\"\r",
                                "ZEL#DATE=\"" + timeAndDate.at(1).toLatin1() + "\"\r"}));
    const QJsonValue listed = result.json().value("devices")[0];
    QCOMPARE(listed["result"].toString(), verified ? QStringLiteral("ok") : QStringLiteral("failed"));
    QCOMPARE(listed["written"].toString(), written);
    QVERIFY(listed["time_acknowledged"].toBool() && listed["date_acknowledged"].toBool());
    QCOMPARE(listed["verified"], QJsonValue(verified));
    QCOMPARE(listed["read_back"].toString(), QString(timeRead + ' ' + dateRead));
}

// Time and date are two writes: started seconds before midnight, the day
// would turn between them and leave the device a day behind.
void CliTest::fromPcWaitsForTheNewDay()
{
    const QString faketime = QStandardPaths::findExecutable("faketime");
    if (faketime.isEmpty())
        QSKIP("faketime is not installed (scripts/install-deps installs it)");
    const Devices fleet = devices("d");
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("FAKETIME_DONT_FAKE_MONOTONIC", "1");
    process.setProcessEnvironment(environment);
    process.start(faketime, {"2026-12-31 23:59:57", cli, "clock", "set", "--from-pc", "--json", "--port",
                             fleet[0]->portName()});
    const Run result = finish(process);
    QCOMPARE(result.status, 0);
    const QString written = result.json().value("devices")[0]["written"].toString();
    QVERIFY2(written.startsWith("00:00:0") && written.endsWith(" 01/01/2027"), qPrintable(written));
}

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
