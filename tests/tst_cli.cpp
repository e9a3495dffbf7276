#include "cli/progressdisplay.h"
#include "cli/screencolumns.h"
#include "cli/stationdisplay.h"
#include "connectedlink.h"
#include "simulator/deviceprotocol.h"
#include "simulator/simulateddevice.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSerialPort>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>
#include <csignal>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString cli = QStringLiteral(MORLANK_CLI);
const QByteArray handshake = "ZEL#\r";
const QByteArray clockRead = "ZEL#TIME=?\rZEL#DATE=?\r";

using Devices = std::vector<std::unique_ptr<SimulatedDevice>>;

// Devices that answer as morlank-devsim does, each with its own clock, by
// kind: 'd' a device, 's' silent, 'r' refuses commands with BEEP, 'n' refuses
// everything, the handshake included; 'b' is a device whose port the test
// holds open, so that it is busy.
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
    process.waitForFinished(60000); // false at once when it has already ended
    if (process.state() == QProcess::NotRunning && process.error() != QProcess::FailedToStart
        && process.exitStatus() == QProcess::NormalExit)
        run.status = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// A file descriptor closed with its owner.
struct Descriptor
{
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// The rows a terminal shows once it has received `output`, lines drawn past
// its width kept whole rather than wrapped; only the controls the progress
// display uses: cursor up, erase to the end of the line or of the screen.
QStringList screen(const QByteArray &output)
{
    QStringList rows{QString()};
    int row = 0;
    int column = 0;
    const QString text = QString::fromLocal8Bit(output);
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\x1b')) { // ESC [ count command
            i += 2;
            const int from = i;
            while (i < text.size() && text.at(i).isDigit())
                ++i;
            const QChar command = i < text.size() ? text.at(i) : QChar();
            if (command == QLatin1Char('A'))
                row = std::max(0, row - std::max(1, text.mid(from, i - from).toInt()));
            else
                rows[row].truncate(column);
            if (command == QLatin1Char('J'))
                rows = rows.mid(0, row + 1);
        } else if (text.at(i) == QLatin1Char('\r')) {
            column = 0;
        } else if (text.at(i) == QLatin1Char('\n')) {
            if (++row == rows.size())
                rows << QString();
        } else {
            QString &line = rows[row];
            if (line.size() <= column)
                line = line.leftJustified(column + 1);
            line[column++] = text.at(i);
        }
    }
    while (!rows.isEmpty() && rows.last().isEmpty())
        rows.removeLast();
    return rows;
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
    void portsWithoutPermission_data();
    void portsWithoutPermission();
    // download
    void downloadToEveryDevice();
    void downloadPrintsTextResult();
    void lateAnswerStaysWithItsLine_data();
    void lateAnswerStaysWithItsLine();
    void lateClockAnswerIsNotTheNextValue();
    void dryRunOpensNothing();
    void downloadGivesEachDeviceItsValues();
    void dryRunShowsTheNextUnitsCommands_data();
    void dryRunShowsTheNextUnitsCommands();
    void logHoldsAnAttemptPerDevice();
    void logMovedDuringADownloadIsFollowed();
    void recordNotWrittenIsAnError_data();
    void recordNotWrittenIsAnError();
    void progressLineFitsTheTerminal_data();
    void progressLineFitsTheTerminal();
    void slotLineFitsTheTerminal_data();
    void slotLineFitsTheTerminal();
    void totalsTellTheRateOnceKnown();
    // interruption
    void interruptionBeforeAnyPortIsOpened_data();
    void interruptionBeforeAnyPortIsOpened();
    void interruptionEndsBetweenCommands_data();
    void interruptionEndsBetweenCommands();
    // the station on a terminal
    void attemptLinesStayAboveTheSlots_data();
    void attemptLinesStayAboveTheSlots();
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
    QTest::addColumn<QStringList>("linkNames"); // the devices' ports as links of these names
    QTest::addColumn<QStringList>("systemPorts");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QByteArrayList>("wires");

    // %1, %2, ... stand for the devices' ports.
    const QStringList get{"clock", "get", "--json"};
    const QStringList all = get + QStringList{"--all"};
    const QStringList both{"%1", "%2"};
    const QStringList named{"--port", "%1", "--port", "%2"};
    const QString absent = absentPortName();
    const QByteArray served = handshake + clockRead;
    const QByteArray downloaded = handshake + "ZEL#A=1\rZEL#BEEP=2\rZEL#C=3\rZEL#D=4\r";

    // without --port: the ports the system lists
    QTest::newRow("the one device is used") << "sd" << QStringList{} << both << get << 0 << QStringList{"%2 ok"}
                                            << QStringList{} << QByteArrayList{handshake, served};
    QTest::newRow("several need --all") << "dd" << QStringList{} << both << get << 2 << QStringList{}
                                        << QStringList{"%1, %2", "--all"} << QByteArrayList{handshake, handshake};
    QTest::newRow("--all serves every one") << "dd" << QStringList{} << both << all << 0
                                            << QStringList{"%1 ok", "%2 ok"} << QStringList{}
                                            << QByteArrayList{served, served};
    QTest::newRow("served by name, in natural order") << "dd" << QStringList{"ttyUSB10", "ttyUSB2"} << both << all
                                                      << 0 << QStringList{"%2 ok", "%1 ok"} << QStringList{}
                                                      << QByteArrayList{served, served};
    QTest::newRow("no device answers") << "ss" << QStringList{} << both << get << 3 << QStringList{}
                                       << QStringList{"%1, %2: silent"} << QByteArrayList{handshake, handshake};
    QTest::newRow("ports: no device answers") << "s" << QStringList{} << QStringList{"%1"}
                                              << QStringList{"ports", "--json"} << 3 << QStringList{"%1 silent"}
                                              << QStringList{} << QByteArrayList{handshake};
    // named with --port: each one is listed
    QTest::newRow("a named port that does not answer") << "ds" << QStringList{} << QStringList{} << get + named << 1
                                                       << QStringList{"%1 ok", "%2 not found (silent)"}
                                                       << QStringList{} << QByteArrayList{served, handshake};
    QTest::newRow("a port named twice is served once") << "d" << QStringList{} << QStringList{}
                                                       << get + QStringList{"--port", "%1", "--port", "%1"} << 0
                                                       << QStringList{"%1 ok"} << QStringList{}
                                                       << QByteArrayList{served};
    QTest::newRow("clock set: no named port answers")
        << "bn" << QStringList{} << QStringList{}
        << QStringList{"clock", "set", "--from-pc", "--json", "--port", "%1", "--port", "%2", "--port", absent} << 3
        << QStringList{"%1 not found (busy)", "%2 not found (no device)", absent + " not found (missing)"}
        << QStringList{"%1: busy", "%2: no device", absent + ": missing"} << QByteArrayList{"", handshake};
    QTest::newRow("download: a named port that does not answer")
        << "ds" << QStringList{} << QStringList{} << QStringList{"download", configuration, "--json", "--quiet"} + named
        << 1 << QStringList{"%1 ok", "%2 not found (silent)"} << QStringList{}
        << QByteArrayList{downloaded, handshake};
}

void CliTest::selection()
{
    QFETCH(QString, kinds);
    QFETCH(QStringList, linkNames);
    QFETCH(QStringList, systemPorts);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QStringList, listed);
    QFETCH(QStringList, messages);
    QFETCH(QByteArrayList, wires);

    const Devices fleet = devices(kinds);
    QStringList ports = portNames(fleet);
    QTemporaryDir links;
    for (int i = 0; i < linkNames.size(); ++i) {
        const QString link = links.filePath(linkNames.at(i));
        QVERIFY(QFile::link(ports.at(i), link));
        ports[i] = link;
    }
    const auto expand = [&](QStringList texts) {
        for (QString &text : texts) {
            for (int i = ports.size(); i >= 1; --i)
                text.replace(QLatin1Char('%') + QString::number(i), ports.at(i - 1));
        }
        return texts;
    };
    std::vector<std::unique_ptr<QSerialPort>> holders;
    for (int i = 0; i < kinds.size(); ++i) {
        if (kinds.at(i) == QLatin1Char('b')) {
            holders.push_back(std::make_unique<QSerialPort>(ports.at(i)));
            QVERIFY(holders.back()->open(QIODevice::ReadWrite));
        }
    }

    const Run result = run(expand(arguments), expand(systemPorts));
    QVERIFY2(result.status == status, result.err);
    QStringList found;
    const QJsonObject json = result.json();
    for (const char *list : {"devices", "ports"}) {
        for (const QJsonValue entry : json.value(QLatin1String(list)).toArray()) {
            const QJsonValue probe = entry["probe"];
            found << entry["port"].toString() + QLatin1Char(' ') + entry["result"].toString()
                    + entry["answer"].toString() + (probe.isUndefined() ? QString() : " (" + probe.toString() + ')');
        }
    }
    QCOMPARE(found, expand(listed));
    for (const QString &message : expand(messages))
        QVERIFY2(result.err.contains(message.toLocal8Bit()), result.err);
    for (size_t i = 0; i < fleet.size(); ++i)
        QCOMPARE(fleet[i]->received(), wires.at(int(i)));
}

void CliTest::portsTellWhatAnswers()
{
    const Devices fleet = devices("dsnd");
    QSerialPort holder(fleet[3]->portName());
    QVERIFY(holder.open(QIODevice::ReadWrite));
    // A folder is no port, and cannot be opened as one.
    const Run result = run(QStringList{"ports", "--json"}
                           + portOptions(portNames(fleet) + QStringList{absentPortName(), dir.path()}));
    QCOMPARE(result.status, 1);
    QStringList answers;
    for (const QJsonValue port : result.json().value("ports").toArray()) {
        answers << port["answer"].toString();
        QVERIFY(port["vid_pid"].isNull());
    }
    QCOMPARE(answers, (QStringList{"device", "silent", "no device", "busy", "missing", "cannot open"}));
    QVERIFY(fleet[3]->received().isEmpty());
}

void CliTest::portsWithoutPermission_data()
{
    QTest::addColumn<bool>("linked");
    QTest::addColumn<QStringList>("command");

    const QStringList ports{"ports", "--json"};
    QTest::newRow("a path under /dev/pts") << false << ports;
    // As /dev/serial/by-id names are.
    QTest::newRow("a link in a folder under /dev") << true << ports;
    QTest::newRow("clock get says why nothing answered") << true << QStringList{"clock", "get", "--json"};
}

// The tests run as root, whom access(2) never refuses: the program runs as
// nobody, who may not open a pseudo-terminal that root created.
void CliTest::portsWithoutPermission()
{
    QFETCH(bool, linked);
    QFETCH(QStringList, command);

    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        QSKIP("setpriv (util-linux) is missing: the program cannot be run as a user without access to a port.");
    // Copied where nobody can reach it: the build tree may lie in a folder
    // closed to other users.
    QTemporaryDir programDir;
    const QString program = programDir.filePath(QStringLiteral("morlank-cli"));
    const QFile::Permissions everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
        | QFile::ExeOther;
    QVERIFY(QFile::copy(cli, program) && QFile::setPermissions(program, everyone)
            && QFile::setPermissions(programDir.path(), everyone));

    const Devices fleet = devices("d");
    QString port = fleet[0]->portName();
    QTemporaryDir linkDir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/morlank-XXXXXX")
                                                                    : QString());
    if (linked) {
        const QString link = linkDir.filePath(QStringLiteral("usb-Morlank_Station_A1B2-if00-port0"));
        QVERIFY(QFile::setPermissions(linkDir.path(), everyone) && QFile::link(port, link));
        port = link;
    }
    QProcess process;
    process.start(setpriv, QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups", program} + command
                               + QStringList{"--port", port});
    const Run result = finish(process);
    QVERIFY2(result.status == 3, result.err);
    // The answer of `ports`, or the probe of a port not found.
    const QJsonValue listed = result.json().value(result.json().contains("ports") ? "ports" : "devices")[0];
    QCOMPARE(listed["port"].toString(), port);
    QCOMPARE(listed["answer"].toString() + listed["probe"].toString(), QStringLiteral("no permission"));
    QVERIFY2((listed["hint"].toString() + result.err).contains("dialout"), result.err);
    QVERIFY(fleet[0]->received().isEmpty());
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
        // Off a terminal, the progress: one line as each device starts, one as it ends.
        const QByteArray port = fleet[size_t(i)]->portName().toLocal8Bit();
        QCOMPARE(result.err.count(port + ": sending 4 commands\n"), 1);
        QCOMPARE(result.err.count(port + ": ended, 4/4 commands done, " + (i == 1 ? "1" : "0") + " failed\n"), 1);
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
    const QString file = writeFile("nul.conf", QByteArray("ZEL#A=1\nZEL#BEEP=2\r\nZEL#C=3\nZEL#D=\0\n", 36));
    const Run result = run({"download", file, "--quiet"}, {port});
    QCOMPARE(result.status, 1);
    QVERIFY2(result.err.isEmpty(), result.err);
    const QList<QByteArray> lines = result.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[0].startsWith(port.toLocal8Bit() + "  failed  2/4 acknowledged  "), lines[0]);
    QCOMPARE(lines[1], port.toLocal8Bit() + " line 2: ZEL#BEEP=2  refused: ERROR");
    QCOMPARE(lines[2], port.toLocal8Bit() + " line 4: ZEL#D=\\x00  not sendable");
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

// Each device its own row; one left without, once the list is used up, has
// failed and was sent nothing.
void CliTest::downloadGivesEachDeviceItsValues()
{
    const QString file = writeFile("each.conf", "ZEL#ID={{ID}}\nZEL#A=1\nZEL#SN={{SN}}\n");
    const QString list = writeFile("one.csv", "ID,note\nA17,spare\n");
    const QString state = dir.filePath("each.state");
    const Devices fleet = devices("dd");
    const Run result = run(QStringList{"download", file, "--json", "--values", list, "--counter", "SN=0099",
                                       "--state", state}
                           + portOptions(portNames(fleet)));
    QCOMPARE(result.status, 1);
    const QJsonArray listed = result.json().value("devices").toArray();
    QCOMPARE(listed[0]["result"].toString(), QStringLiteral("ok"));
    QCOMPARE(listed[0]["values"]["fields"].toObject(),
             (QJsonObject{{"ID", "A17"}, {"note", "spare"}, {"SN", "0099"}}));
    QCOMPARE(fleet[0]->received(), handshake + "ZEL#ID=A17\rZEL#A=1\rZEL#SN=0099\r");
    QCOMPARE(listed[1]["result"].toString(), QStringLiteral("failed"));
    QVERIFY2(listed[1]["error"].toString().contains("used up"), qPrintable(listed[1]["error"].toString()));
    QVERIFY(listed[1]["values"].isNull());
    QCOMPARE(fleet[1]->received(), handshake);
    // The only device, chosen without being named, is listed failed too.
    const Run unnamed = run({"download", file, "--json", "--values", list, "--counter", "SN=0099", "--state", state},
                            {fleet[1]->portName()});
    QCOMPARE(unnamed.status, 1);
    QVERIFY(unnamed.json().value("devices")[0]["error"].toString().contains("used up"));

    const Run text = run({"download", file, "--quiet", "--counter", "ID=7", "--counter", "SN=0100", "--state",
                          dir.filePath("text.state"), "--port", fleet[0]->portName()});
    QCOMPARE(text.status, 0);
    QVERIFY2(text.out.startsWith(fleet[0]->portName().toLocal8Bit() + "  ID=7 SN=0100  ok  3/3 acknowledged"), text.out);
}

void CliTest::dryRunShowsTheNextUnitsCommands_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("shown");

    QTest::newRow("without values, the placeholders and their lines")
        << QStringList{} << 1 << QByteArray("    3  {{SN}}");
    QTest::newRow("with a counter, the next unit's commands")
        << QStringList{"--counter", "SN=0041", "--counter", "ID=5", "--state", dir.filePath("peek.state")} << 0
        << QByteArray("    3  ZEL#SN=0041");
}

// Nothing is reserved and no port is opened.
void CliTest::dryRunShowsTheNextUnitsCommands()
{
    QFETCH(QStringList, values);
    QFETCH(int, status);
    QFETCH(QByteArray, shown);

    const QString file = writeFile("peek.conf", "ZEL#ID={{ID}}\nZEL#A=1\nZEL#SN={{SN}}\n");
    const Devices fleet = devices("d");
    const Run result = run(QStringList{"download", file, "--dry-run"} + values + portOptions(portNames(fleet)));
    QCOMPARE(result.status, status);
    QVERIFY2(result.out.contains(shown), result.out);
    QVERIFY(fleet[0]->received().isEmpty());
    QVERIFY(!QFile::exists(dir.filePath("peek.state")));
}

// One JSON line per device, the one not found included, in the log before
// the result is printed; the log named through a link, as logs often are.
// The configuration comes through a pipe (a shell's <(...)), which can be
// read but once: the hash recorded is of the bytes read, and sent.
void CliTest::logHoldsAnAttemptPerDevice()
{
    const Devices fleet = devices("ds");
    const QString log = dir.filePath("cli.jsonl");
    const QString link = dir.filePath("cli-link.jsonl");
    QVERIFY(QFile::link(log, link));
    const QStringList ports = portOptions(portNames(fleet));
    QFile conf(configuration);
    QVERIFY(conf.open(QIODevice::ReadOnly));
    const QByteArray text = conf.readAll();
    const QString pipe = dir.filePath("piped.conf");
    QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
    QProcess writer;
    writer.start("sh", {"-c", R"(printf %s "$1" > "$2")", "sh", text, pipe});
    const Run download = run(QStringList{"download", pipe, "--quiet", "--log", link} + ports);
    QCOMPARE(download.status, 1);
    QVERIFY2(!download.err.contains("moved"), download.err);
    QVERIFY(writer.waitForFinished());
    QCOMPARE(fleet[0]->received(), handshake + "ZEL#A=1\rZEL#BEEP=2\rZEL#C=3\rZEL#D=4\r");
    QCOMPARE(run(QStringList{"clock", "set", "--from-pc", "--log", link} + ports).status, 1);
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    QCOMPARE(lines.size(), 4);
    const QString sha256 = QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex();
    const QRegularExpression toTheMillisecond(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d)$)");
    QStringList seen;
    for (const QByteArray &line : lines) {
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        seen << record["port"].toString().right(1) + ' ' + record["result"].toString() + ' '
                    + QString::number(record["sent"].toInt()) + ' ' + (record["clock"].isObject() ? "clock" : "-");
        QCOMPARE(record["attempt"].toInt(), 1);
        QVERIFY(record["arrival"].isNull());
        QCOMPARE(record["file_sha256"].toString(), seen.size() <= 2 ? sha256 : QString()); // the download's two
        // Attempts a second long still sort.
        for (const char *field : {"started", "time"})
            QVERIFY2(toTheMillisecond.match(record[field].toString()).hasMatch(), qPrintable(record[field].toString()));
    }
    const QString first = fleet[0]->portName().right(1);
    const QString second = fleet[1]->portName().right(1);
    QCOMPARE(seen, (QStringList{first + " ok 4 -", second + " not found 0 -", first + " ok 0 clock",
                                second + " not found 0 -"}));
}

// logrotate moves the log away while a download runs: the record goes to a
// new file at the log's path, and the program says so.
void CliTest::logMovedDuringADownloadIsFollowed()
{
    const QString log = writeFile("rotated.jsonl", "{\"earlier\": 1}\n");
    SimulatedDevice device(answering({{"ZEL#C", Replies::after(700, "OK\n\r")}, {"ZEL#D", Replies::after(700, "OK\n\r")}}));
    QProcess process;
    start(process, {"download", configuration, "--quiet", "--json", "--log", log, "--port", device.portName()}, {});
    QVERIFY(QTest::qWaitFor([&] { return device.commands().size() >= 3; }, 15000));
    QVERIFY(QFile::rename(log, log + ".1"));
    const Run result = finish(process);
    QCOMPARE(result.status, 0);
    QVERIFY2(result.err.contains("the log " + log.toUtf8()
                                 + " was moved or removed; the records that follow go to the file now at that path"),
             result.err);
    QFile moved(log + ".1");
    QVERIFY(moved.open(QIODevice::ReadOnly));
    QCOMPARE(moved.readAll(), QByteArray("{\"earlier\": 1}\n"));
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 2);
    const QJsonObject record = QJsonDocument::fromJson(lines[0]).object();
    QCOMPARE(record["port"].toString(), device.portName());
    QCOMPARE(record["result"].toString(), QStringLiteral("ok"));
}

void CliTest::recordNotWrittenIsAnError_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("download") << QStringList{"download", configuration, "--quiet"};
    QTest::newRow("clock set") << QStringList{"clock", "set", "--from-pc"};
}

// A log that may grow no more (the file size limit reached, as a full disk
// would be): the device is served and the result printed, but the run has
// failed, for its record is not kept.
void CliTest::recordNotWrittenIsAnError()
{
    QFETCH(QStringList, arguments);

    const QByteArray earlier = QByteArray(4095, 'x') + '\n';
    const QString log = writeFile("full.jsonl", earlier);
    const Devices fleet = devices("d");
    QProcess process;
    // With SIGXFSZ ignored, a write past the limit fails with EFBIG.
    process.start("sh", QStringList{"-c", R"(trap '' XFSZ; ulimit -f 1; exec "$0" "$@")", cli} + arguments
                            + QStringList{"--log", log, "--port", fleet[0]->portName()});
    const Run result = finish(process);
    QCOMPARE(result.status, 1);
    QVERIFY2(result.err.contains("cannot write the log " + log.toUtf8()), result.err);
    QVERIFY2(result.out.contains("  ok"), result.out);
    QVERIFY(fleet[0]->commands().size() > 2);
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), earlier);
}

void CliTest::dryRunOpensNothing()
{
    const Devices fleet = devices("d");
    // A byte-order mark, so the euro sign reads the same in every locale.
    const QString file =
        writeFile("odd.conf", QByteArray("\xEF\xBB\xBFZEL#A\t\n  ZEL#B=\xE2\x82\xAC\n\nZEL#C=\0x\n", 32));
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

    // Control characters shown visibly in the text.
    const QList<QByteArray> text = run({"download", file, "--dry-run"}).out.split('\n');
    QCOMPARE(text.value(0), QByteArray("    1  ZEL#A\\x09"));
    QCOMPARE(text.value(2), QByteArray("    4  ZEL#C=\\x00x  <- not sendable: column 7"));
}

void CliTest::progressLineFitsTheTerminal_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("portWidth");
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("line");

    const QString pts = QStringLiteral("/dev/pts/3");
    const QString byId = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KZP9Q-if00-port0");
    QTest::newRow("room for everything") << pts << 10 << 6 << 1 << 79
                                         << "/dev/pts/3 [###############---------------] 6/12  1 failed";
    QTest::newRow("a short name padded to the longest") << "ttyS0" << 10 << 0 << 0 << 79
                                                        << "ttyS0      [------------------------------] 0/12  0 failed";
    QTest::newRow("the bar shortens first") << pts << 10 << 6 << 1 << 39 << "/dev/pts/3 [#####------] 6/12  1 failed";
    QTest::newRow("down to none") << pts << 10 << 6 << 1 << 30 << "/dev/pts/3 6/12  1 failed";
    QTest::newRow("then the name loses its middle") << byId << int(byId.size()) << 12 << 0 << 39
                                                    << "/dev/s...P9Q-if00-port0 12/12  0 failed";
    QTest::newRow("a terminal too narrow for anything") << pts << 10 << 6 << 1 << 12 << " 6/12  1 fai";
    // wide characters, two columns each
    QTest::newRow("CJK padded by columns") << "夹具一号" << 10 << 6 << 1 << 39 << "夹具一号   [#####------] 6/12  1 failed";
    QTest::newRow("CJK losing its middle") << "/dev/serial/by-id/usb-工厂_第七线左夹具一号-port0" << 53 << 12 << 0 << 30
                                           << "/de...号-port0 12/12  0 failed";
    QTest::newRow("an emoji never split") << "🔧🔧🔧🔧 bench" << 14 << 12 << 0 << 25 << "🔧...ench 12/12  0 failed";
}

void CliTest::progressLineFitsTheTerminal()
{
    QFETCH(QString, port);
    QFETCH(int, portWidth);
    QFETCH(int, done);
    QFETCH(int, failures);
    QFETCH(int, width);
    QFETCH(QString, line);

    QCOMPARE(ProgressDisplay::line(port, portWidth, {done, failures, false}, 12, width), line);
    QVERIFY(ScreenColumns::width(line) <= width);
}

void CliTest::slotLineFitsTheTerminal_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("line");

    const int programming = SlotView::Programming;
    const int ok = SlotView::Ok;
    const QString bench = QStringLiteral("Line 7 bench, left fixture, slot %1");
    QTest::newRow("room for everything") << "slot1" << programming << 79
                                         << "slot1  programming [##########----------] 6/12";
    // the bar goes first, then the middle of the name: two slots of a
    // 44-column terminal stay apart
    QTest::newRow("the bar shortens first") << bench.arg(1) << programming << 60
                                            << "Line 7 bench, left fixture, slot 1  programming [##---] 6/12";
    QTest::newRow("a bar too short to read is none") << bench.arg(1) << programming << 58
                                                     << "Line 7 bench, left fixture, slot 1  programming 6/12";
    QTest::newRow("down to none, then the name's middle") << bench.arg(1) << programming << 43
                                                          << "Line 7 ...fixture, slot 1  programming 6/12";
    QTest::newRow("its neighbour") << bench.arg(2) << programming << 43 << "Line 7 ...fixture, slot 2  programming 6/12";
    QTest::newRow("a finished unit") << bench.arg(2) << ok << 43 << "Line 7...ixture, slot 2  ok 12/12 in 2.41 s";
    QTest::newRow("too narrow for the state") << bench.arg(2) << ok << 24 << "Li...lot 2  ok 12/12 in ";
    // wide characters, two columns each
    QTest::newRow("CJK in columns") << "第七线左夹具一号" << programming << 30 << "第...具一号  programming 6/12";
    QTest::newRow("CJK cut whole") << "第七线左夹具一号" << ok << 25 << "第...一号  ok 12/12 in 2.";
    QTest::newRow("an emoji never split") << "🔧🔧🔧🔧🔧🔧🔧🔧 slot 1" << ok << 32 << "🔧...slot 1  ok 12/12 in 2.41 s";
}

// A slot programming at 6/12, or done with 12/12 in 2.41 s.
void CliTest::slotLineFitsTheTerminal()
{
    QFETCH(QString, slot);
    QFETCH(int, state);
    QFETCH(int, width);
    QFETCH(QString, line);

    SlotView view;
    view.slot = slot;
    view.state = SlotView::State(state);
    view.total = 12;
    view.done = state == SlotView::Ok ? 12 : 6;
    view.seconds = 2.41;
    view.attempt = 1;
    // Measured as a UTF-8 terminal draws it, whatever the program's locale.
    const QByteArray locale = std::setlocale(LC_CTYPE, nullptr);
    std::setlocale(LC_CTYPE, "C");
    const QString drawn = StationDisplay::line(view, width);
    std::setlocale(LC_CTYPE, locale.constData());
    QCOMPARE(drawn, line);
    QVERIFY(ScreenColumns::width(line) <= width);
}

// Until the station has run a minute a unit or two would read as hundreds
// an hour.
void CliTest::totalsTellTheRateOnceKnown()
{
    QCOMPARE(StationDisplay::totalsLine({2, 1, {}}), QStringLiteral("units: 2 ok, 1 failed"));
    QCOMPARE(StationDisplay::totalsLine({2, 1, 90.0}), QStringLiteral("units: 2 ok, 1 failed, 90.0 per hour"));
}

void CliTest::interruptionBeforeAnyPortIsOpened_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<int>("status");

    QTest::newRow("Ctrl-C during a dry run") << QStringList{"--dry-run"} << int(SIGINT) << 130;
    QTest::newRow("SIGTERM while the file is read") << QStringList{} << int(SIGTERM) << 143;
}

// The file is a pipe that the test writes: the program provably has it open,
// so its handlers are in place, and is still reading it when the signal comes.
void CliTest::interruptionBeforeAnyPortIsOpened()
{
    QFETCH(QStringList, options);
    QFETCH(int, signalNumber);
    QFETCH(int, status);

    const QString file = dir.filePath(QStringLiteral("pipe.conf"));
    QFile::remove(file);
    QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    const Devices fleet = devices("d");
    QProcess process;
    start(process, QStringList{"download", file} + options + portOptions(portNames(fleet)), {});
    int writer = -1;
    QVERIFY(QTest::qWaitFor([&] { return (writer = ::open(QFile::encodeName(file).constData(),
                                                          O_WRONLY | O_NONBLOCK)) >= 0; }, 10000));
    const QByteArray lines = "ZEL#A=1\nZEL#B=2\nZEL#C=3\n";
    QCOMPARE(::write(writer, lines.constData(), size_t(lines.size())), ssize_t(lines.size()));
    ::kill(pid_t(process.processId()), signalNumber);
    ::close(writer);
    const Run result = finish(process);
    QCOMPARE(result.status, status);
    QVERIFY2(result.out.isEmpty(), result.out);
    QVERIFY(fleet[0]->received().isEmpty());
}

void CliTest::interruptionEndsBetweenCommands_data()
{
    QTest::addColumn<QString>("kinds");
    QTest::addColumn<bool>("probing"); // the signal comes during the probe, else during the download
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("columns"); // of the terminal that shows the progress; 0 for none

    const QStringList interrupted{"interrupted", "interrupted"};
    QTest::newRow("Ctrl-C while sending") << "dd" << false << int(SIGINT) << 130 << interrupted
                                          << "Press Ctrl-C again to stop at once." << 0;
    QTest::newRow("SIGTERM while sending") << "dd" << false << int(SIGTERM) << 143 << interrupted
                                           << "Send SIGTERM again (or press Ctrl-C) to stop at once." << 0;
    // The silent port keeps the probe going for a second.
    QTest::newRow("Ctrl-C while probing") << "sd" << true << int(SIGINT) << 130
                                          << QStringList{"not found", "interrupted"} << "Press Ctrl-C again" << 0;
    QTest::newRow("Ctrl-C while probing, no device answers") << "ss" << true << int(SIGINT) << 130
                                                             << QStringList{"not found", "not found"}
                                                             << "Press Ctrl-C again" << 0;
    QTest::newRow("Ctrl-C on a terminal made narrow") << "dd" << false << int(SIGINT) << 130 << interrupted
                                                      << "Press Ctrl-C again to stop at once." << 40;
}

void CliTest::interruptionEndsBetweenCommands()
{
    QFETCH(QString, kinds);
    QFETCH(bool, probing);
    QFETCH(int, signalNumber);
    QFETCH(int, status);
    QFETCH(QStringList, results);
    QFETCH(QString, message);
    QFETCH(int, columns);

    QByteArray contents;
    QList<QByteArray> commands{handshake};
    for (int i = 0; i < 30; ++i)
        commands << "ZEL#N=" + QByteArray::number(i) + '\r';
    for (const QByteArray &command : commands.mid(1))
        contents += command.chopped(1) + '\n';
    const Devices fleet = devices(kinds);
    QStringList ports = portNames(fleet);
    QProcess process;
    // On a terminal, ports named as long as /dev/serial/by-id names; the
    // terminal starts wide and is made narrow while the devices run.
    QTemporaryDir links;
    Descriptor master;
    Descriptor slave;
    QByteArray terminal;
    if (columns) {
        for (int i = 0; i < ports.size(); ++i) {
            const QString link = links.filePath(QStringLiteral("usb-Morlank_Station_A1B2C3D%1-if00-port0").arg(i));
            QVERIFY(QFile::link(ports.at(i), link));
            ports[i] = link;
        }
        winsize wide = {24, 120, 0, 0};
        QCOMPARE(::openpty(&master.fd, &slave.fd, nullptr, nullptr, &wide), 0);
        QCOMPARE(::fcntl(master.fd, F_SETFL, O_NONBLOCK), 0);
        process.setStandardErrorFile(QString::fromLocal8Bit(::ttyname(slave.fd)));
    }
    const auto drain = [&] {
        char buffer[4096];
        ssize_t n = 0;
        while (master.fd >= 0 && (n = ::read(master.fd, buffer, sizeof buffer)) > 0)
            terminal.append(buffer, int(n));
    };
    const auto sent = [&](int count) {
        return QTest::qWaitFor([&] {
            drain();
            return fleet[0]->commands().size() >= count && fleet[1]->commands().size() >= count;
        }, 10000);
    };
    start(process, QStringList{"download", writeFile("long.conf", contents), "--json"} + portOptions(ports), {});
    QVERIFY(sent(probing ? 1 : 4));
    if (columns) {
        winsize narrow = {24, quint16(columns), 0, 0};
        QCOMPARE(::ioctl(master.fd, TIOCSWINSZ, &narrow), 0);
        QVERIFY(sent(6));
    }
    ::kill(pid_t(process.processId()), signalNumber);
    QVERIFY(QTest::qWaitFor([&] {
        drain();
        return process.state() == QProcess::NotRunning;
    }, 60000));
    drain();
    const Run result = finish(process);
    QCOMPARE(result.status, status);
    const QByteArray err = columns ? terminal : result.err;
    QVERIFY2(err.contains(message.toUtf8()), err);
    const QJsonArray listed = result.json().value("devices").toArray();
    QCOMPARE(listed.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const SimulatedDevice &device = *fleet[size_t(i)];
        QCOMPARE(listed[i]["result"].toString(), results.at(i));
        const int sent = listed[i]["sent"].toInt();
        QVERIFY2(sent < (probing ? 1 : 30), qPrintable(QString::number(sent)));
        // Only whole commands, in file order, as many as reported sent.
        QTRY_COMPARE(device.commands().size(), sent + 1);
        QCOMPARE(device.commands(), commands.mid(0, sent + 1));
        QCOMPARE(device.received(), commands.mid(0, sent + 1).join());
    }
    if (columns) {
        // The message stays, above the two device lines, each of which fits.
        const QStringList rows = screen(terminal);
        QVERIFY2(rows.size() >= 3, terminal);
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows.at(i).contains(QLatin1String(" failed")), i >= rows.size() - 2);
            if (i >= rows.size() - 2)
                QVERIFY2(rows.at(i).size() <= columns, qPrintable(rows.at(i)));
        }
        QVERIFY2(rows.mid(0, rows.size() - 2).join(QLatin1Char(' ')).contains(message), terminal);
    }
}

void CliTest::attemptLinesStayAboveTheSlots_data()
{
    QTest::addColumn<bool>("json");
    QTest::addColumn<bool>("outputOnTerminal"); // else standard output is a pipe
    QTest::addColumn<QString>("ok");            // in each attempt's line

    const QString text = QStringLiteral("  ok  12/12 acknowledged  ");
    QTest::newRow("attempt lines on the terminal, as the README runs it") << false << true << text;
    QTest::newRow("records on the terminal") << true << true << R"("result":"ok")";
    QTest::newRow("attempt lines to a pipe") << false << false << text;
}

// Two units programmed slowly enough that the slots are drawn while they
// work; what the terminal shows at the end holds each attempt line once,
// whole, above the slots, and no row left from an earlier drawing.
void CliTest::attemptLinesStayAboveTheSlots()
{
    QFETCH(bool, json);
    QFETCH(bool, outputOnTerminal);
    QFETCH(QString, ok);

    QByteArray contents;
    for (int i = 0; i < 12; ++i)
        contents += "ZEL#N=" + QByteArray::number(i) + '\n';
    const auto slow = [](const QByteArray &) { return Replies::after(40, "OK\n\r"); };
    SimulatedDevice first(slow);
    SimulatedDevice second(slow);
    Descriptor master;
    Descriptor slave;
    winsize size = {30, 120, 0, 0};
    QCOMPARE(::openpty(&master.fd, &slave.fd, nullptr, nullptr, &size), 0);
    QCOMPARE(::fcntl(master.fd, F_SETFL, O_NONBLOCK), 0);
    const QString terminalName = QString::fromLocal8Bit(::ttyname(slave.fd));
    QProcess process;
    process.setStandardErrorFile(terminalName);
    if (outputOnTerminal)
        process.setStandardOutputFile(terminalName);
    QStringList arguments{"watch", writeFile("twelve.conf", contents), "--port", first.portName(),
                          "--port", second.portName(), "--units", "2"};
    if (json)
        arguments << "--json";
    start(process, arguments, {});
    QByteArray terminal;
    QVERIFY(QTest::qWaitFor([&] {
        char buffer[4096];
        for (ssize_t n; (n = ::read(master.fd, buffer, sizeof buffer)) > 0;)
            terminal.append(buffer, int(n));
        return process.state() == QProcess::NotRunning;
    }, 60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY2(terminal.contains("programming ["), terminal); // drawn while the units worked

    const QStringList rows = screen(terminal);
    QVERIFY2(rows.size() >= 3, terminal);
    const QStringList slotRows = rows.mid(rows.size() - 3);
    for (const QString &port : {first.portName(), second.portName()})
        QVERIFY2(slotRows.filter(QRegularExpression('^' + QRegularExpression::escape(port) + "  ok 12/12 in ")).size()
                     == 1, terminal);
    QCOMPARE(slotRows.last(), QStringLiteral("units: 2 ok, 0 failed")); // no rate before a minute
    QStringList attempts = rows.mid(0, rows.size() - 3);
    if (!outputOnTerminal) {
        QVERIFY2(attempts.isEmpty(), terminal);
        attempts = QString::fromLocal8Bit(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QCOMPARE(attempts.size(), 2);
    QCOMPARE(attempts.filter(ok).size(), 2);
    for (const QString &port : {first.portName(), second.portName()})
        QVERIFY2(attempts.filter(port + (json ? "\"," : "  ")).size() == 1, terminal);
}

void CliTest::helpAndVersion_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("entry");

    QTest::newRow("overview") << QStringList{"--help"} << "Exit status: 0";
    QTest::newRow("help download") << QStringList{"help", "download"} << "--dry-run";
    QTest::newRow("clock set --help") << QStringList{"clock", "set", "--help"} << "--verify";
    QTest::newRow("help clock: get") << QStringList{"help", "clock"} << "Usage: morlank-cli clock get [--port";
    QTest::newRow("help clock: set") << QStringList{"help", "clock"} << "Usage: morlank-cli clock set (--from-pc";
    QTest::newRow("overview: every command") << QStringList{"help"} << "  db status       what a line's database holds";
    QTest::newRow("help db: status") << QStringList{"help", "db"} << "Usage: morlank-cli db status (URL | --db URL) [--json]";
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
    QTest::addColumn<QString>("message"); // part of it

    QTest::newRow("missing file") << QStringList{"download", dir.filePath("missing.conf")} << "missing.conf";
    QTest::newRow("a file that fails part-way") << QStringList{"download", "/proc/self/mem"}
                                                << "cannot read /proc/self/mem";
    QTest::newRow("two commands") << QStringList{"download", writeFile("two.conf", "ZEL#A\nZEL#B\n")}
                                  << "holds 2 command(s)";
    QTest::newRow("two commands, dry run") << QStringList{"download", dir.filePath("two.conf"), "--dry-run"}
                                           << "holds 2 command(s)";
    QTest::newRow("bad time") << QStringList{"clock", "set", "--time", "25:00:00", "--date", "01/02/2026"} << "";
    QTest::newRow("bad date") << QStringList{"clock", "set", "--time", "07:03:09", "--date", "31/02/2026"} << "";
    QTest::newRow("time without date") << QStringList{"clock", "set", "--time", "07:03:09"} << "--date is missing";
    QTest::newRow("unknown option") << QStringList{"clock", "get", "--loud"} << "'loud'";
    QTest::newRow("no command") << QStringList{} << "--help";
    QTest::newRow("clock without get or set") << QStringList{"clock"} << "morlank-cli clock set (--from-pc";
    QTest::newRow("an empty port name") << QStringList{"clock", "get", "--port", ""} << "--port takes";
    // the commands and how many arguments each takes
    QTest::newRow("an unknown command")
        << QStringList{"clocks"}
        << "there is no command 'clocks'; the commands are ports, clock get, clock set, download, watch, report, "
           "db init, db status, db grant, db set, db audit, order add, order list, order close, release add, release list, "
           "release show, release revoke and serve.";
    QTest::newRow("db without init or status") << QStringList{"db"} << "'db' needs one of its commands:\n"
                                                                       "  morlank-cli db init (URL | --db URL)\n"
                                                                       "  morlank-cli db status (URL | --db URL) [--json]\n"
                                                                       "  morlank-cli db grant LOGIN";
    QTest::newRow("ports with an argument") << QStringList{"ports", "extra"}
                                            << "unexpected argument 'extra'.\nTry 'morlank-cli help ports'.";
    QTest::newRow("download without a file") << QStringList{"download"}
                                             << "name one configuration file, or a release with --release NAME --db "
                                                "URL.\nTry 'morlank-cli help download'.";
    // per-unit values and the log
    const QString placeholders = writeFile("placeholders.conf", "ZEL#ID={{ID}}\nZEL#A=1\nZEL#SN={{SN}}\n");
    QTest::newRow("placeholders without values") << QStringList{"download", placeholders}
                                                 << "needs values for ID (line 1), SN (line 3)";
    QTest::newRow("a value list without a state file")
        << QStringList{"download", placeholders, "--values", writeFile("ids.csv", "ID,SN\nA,1\n")} << "--state";
    QTest::newRow("a value list row too short")
        << QStringList{"download", placeholders, "--values", writeFile("short.csv", "ID,SN\nA,1\nB\n"), "--state",
                       dir.filePath("short.state")}
        << "line 3";
    QTest::newRow("a value list with the same row twice")
        << QStringList{"download", placeholders, "--values", writeFile("twice.csv", "ID,SN\nA,1\nB,2\nA,1\n"),
                       "--state", dir.filePath("twice.state")}
        << "twice.csv line 4: the row is the same as line 2";
    QTest::newRow("a log that cannot be opened")
        << QStringList{"download", configuration, "--log", dir.filePath("no/such/folder/log.jsonl")} << "log";
    // a log whose records could not be synced to disk
    QTest::newRow("a log that is /dev/null") << QStringList{"download", configuration, "--log", "/dev/null"}
                                             << "cannot append to the log /dev/null: it is a character device";
    const QString pipe = dir.filePath("log.pipe");
    QVERIFY(QFile::exists(pipe) || ::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
    QTest::newRow("a log that is a pipe") << QStringList{"clock", "set", "--from-pc", "--log", pipe}
                                          << "cannot append to the log " + pipe + ": it is a pipe";
    // the station's options
    QTest::newRow("--verify without --set-clock") << QStringList{"watch", configuration, "--verify"}
                                                  << "--verify reads back the clock that --set-clock writes";
    // who runs the station: a name, printed and recorded as it is
    QTest::newRow("an operator with a line end") << QStringList{"watch", configuration, "--operator", "Ana\nB"}
                                                 << "--operator takes a name of 1 to 64 characters";
    QTest::newRow("an operator too long") << QStringList{"download", configuration, "--operator", QString(65, 'a')}
                                          << "--operator takes a name";
    // slot names: printed as they are, one name a slot, one slot a port
    QTest::newRow("a slot name with an escape") << QStringList{"watch", configuration, "--slot", "A\x1b[2J=/dev/x"}
                                                << "control character (U+001B)";
    QTest::newRow("a slot name with a line end") << QStringList{"watch", configuration, "--slot", "A\nB=/dev/x"}
                                                 << "control character (U+000A)";
    QTest::newRow("one slot name for two ports")
        << QStringList{"watch", configuration, "--slot", "A=/dev/x", "--slot", "A=/dev/y"} << "names two ports 'A'";
    QTest::newRow("two slot names for one port")
        << QStringList{"watch", configuration, "--slot", "A=/dev/x", "--slot", "B=/dev/x"}
        << "gives the port /dev/x two names";
}

void CliTest::inputErrorsSendNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    const Devices fleet = devices("dd");
    const QStringList ports = portNames(fleet);
    const Run result = run(arguments + portOptions({ports.at(0)}), {ports.at(1)});
    QCOMPARE(result.status, 2);
    QVERIFY(result.out.isEmpty());
    QVERIFY(result.err.startsWith("morlank-cli: "));
    QVERIFY2(result.err.contains(message.toUtf8()), result.err);
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
    QTest::newRow("a time read back that does not parse") << "" << "07:03:09 01/02/2026" << QByteArray("7:3:9")
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
    const bool parses = QTime::fromString(timeRead, "hh:mm:ss").isValid();
    QCOMPARE(listed["read_back"], parses ? QJsonValue(QString(timeRead + ' ' + dateRead)) : QJsonValue());
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
    // faketime's library is preloaded before AddressSanitizer's, which a
    // sanitized build otherwise refuses.
    environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
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
