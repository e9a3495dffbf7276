#include "connectedlink.h"
#include "simulator/chosenportlist.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace {
const QString devsim = QStringLiteral(MORLANK_DEVSIM);

// Starts morlank-devsim and waits for the `count` paths it prints, one a line.
QStringList startFleet(QProcess &process, const QStringList &arguments, int count)
{
    process.start(devsim, arguments);
    if (!process.waitForStarted())
        return {};
    QStringList paths;
    while (paths.size() < count) {
        if (!process.canReadLine() && !process.waitForReadyRead(5000))
            return {};
        while (paths.size() < count && process.canReadLine())
            paths << QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    return paths;
}

// The same for one device: its path.
QString startServing(QProcess &process, const QStringList &arguments)
{
    return startFleet(process, arguments, 1).value(0);
}

// Ends it as Ctrl-C would; true when it then exits cleanly with 0.
bool interruptCleanly(QProcess &process)
{
    ::kill(pid_t(process.processId()), SIGINT);
    return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

// Reads from `fd` until `expected` has arrived or five seconds have passed.
QByteArray readUntil(int fd, const QByteArray &expected)
{
    QByteArray received;
    QDeadlineTimer deadline(5000);
    while (!received.contains(expected) && !deadline.hasExpired()) {
        pollfd poller{fd, POLLIN, 0};
        if (::poll(&poller, 1, int(deadline.remainingTime())) <= 0)
            break;
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        received.append(buffer, int(n));
    }
    return received;
}

// The next line it prints; empty when none comes within five seconds.
QByteArray nextLine(QProcess &process)
{
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(5000))
            return {};
    }
    return process.readLine().trimmed();
}

// Sends one control command and returns the line it prints.
QByteArray tell(QProcess &process, const QByteArray &command)
{
    process.write(command + '\n');
    return nextLine(process);
}

// Writes `command` to the line and returns what comes back, up to `expected`.
QByteArray exchange(int fd, const QByteArray &command, const QByteArray &expected)
{
    if (::write(fd, command.constData(), size_t(command.size())) != command.size())
        return {};
    return readUntil(fd, expected);
}

// True when the far end of the line is gone: polled, it hangs up, and a write fails.
bool hangsUp(int fd)
{
    pollfd poller{fd, POLLIN, 0};
    return ::poll(&poller, 1, 5000) == 1 && (poller.revents & POLLHUP) && ::write(fd, "ZEL#\r", 5) < 0;
}

// True when nothing comes back for a second, and the line stays up.
bool staysSilent(int fd)
{
    pollfd poller{fd, POLLIN, 0};
    return ::poll(&poller, 1, 1000) == 0;
}

int openLine(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
}

// The two ways a station meets units: each with its own adapter (--links),
// or behind the fixed adapter of a slot.
void addAdapterRows()
{
    QTest::addColumn<bool>("ownAdapters");

    QTest::newRow("own adapter per unit") << true;
    QTest::newRow("fixed adapter per slot") << false;
}

int entriesIn(const QString &folder)
{
    return int(QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}
} // namespace

class DevsimCliTest : public QObject
{
    Q_OBJECT

private slots:
    void helpMentionsEveryOption_data();
    void helpMentionsEveryOption();
    void wrongArgumentsAreRefused_data();
    void wrongArgumentsAreRefused();
    void servesPseudoTerminal_data();
    void servesPseudoTerminal();
    void clockWriteIsKept();
    void logsEveryCommand();
    void servesExistingTerminal();
    void servesAFleet();
    void answersChosenCommandsLate();
    void plugsNewUnits_data();
    void plugsNewUnits();
    void plugCyclesLeakNothing_data();
    void plugCyclesLeakNothing();
};

void DevsimCliTest::helpMentionsEveryOption_data()
{
    QTest::addColumn<QString>("entry");

    QTest::newRow("line end") << "--line-end <lfcr|crlf>";
    QTest::newRow("delay") << "--delay <ms>";
    QTest::newRow("refuse by text") << "--refuse <text>";
    QTest::newRow("refuse every nth") << "--refuse-every <n>";
    QTest::newRow("silent") << "--silent ";
    QTest::newRow("log") << "--log <file>";
    QTest::newRow("tty") << "[tty]";
    QTest::newRow("count") << "--count <n>";
    QTest::newRow("late answers") << "--delay-on <text=ms>";
    QTest::newRow("links") << "--links <dir>";
    QTest::newRow("unplugged") << "--unplugged";
    QTest::newRow("plug command") << "plug N";
    QTest::newRow("unplug command") << "unplug all";
    QTest::newRow("help") << "--help";
    QTest::newRow("Ctrl-C") << "Ctrl-C";
}

void DevsimCliTest::helpMentionsEveryOption()
{
    QFETCH(QString, entry);

    QProcess process;
    process.start(devsim, {"--help"});
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitCode(), 0);
    const QString help = QString::fromLocal8Bit(process.readAllStandardOutput());
    QVERIFY2(help.contains(entry), qPrintable(help));
}

void DevsimCliTest::wrongArgumentsAreRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");

    // usage errors
    QTest::newRow("unknown line end") << QStringList{"--line-end", "cr"} << 2;
    QTest::newRow("negative delay") << QStringList{"--delay", "-5"} << 2;
    QTest::newRow("delay not a number") << QStringList{"--delay", "soon"} << 2;
    QTest::newRow("refuse every 0") << QStringList{"--refuse-every", "0"} << 2;
    QTest::newRow("two ttys") << QStringList{"/dev/null", "/dev/zero"} << 2;
    QTest::newRow("count 0") << QStringList{"--count", "0"} << 2;
    QTest::newRow("a tty and a count") << QStringList{"--count", "2", "/dev/null"} << 2;
    QTest::newRow("late answer without a delay") << QStringList{"--delay-on", "ALARM"} << 2;
    QTest::newRow("late answer without a text") << QStringList{"--delay-on", "=500"} << 2;
    QTest::newRow("late answer, negative delay") << QStringList{"--delay-on", "ALARM=-1"} << 2;
    QTest::newRow("late answer, delay not whole") << QStringList{"--delay-on", "ALARM=1.5"} << 2;
    QTest::newRow("late answer, delay not a number") << QStringList{"--delay-on", "TIME=?"} << 2;
    QTest::newRow("links and a tty") << QStringList{"--links", QDir::tempPath(), "/dev/null"} << 2;
    QTest::newRow("links to a missing folder") << QStringList{"--links", "/nonexistent/slots"} << 2;
    QTest::newRow("links to a file") << QStringList{"--links", "/dev/null"} << 2;
    // refused by the option parser itself
    QTest::newRow("unknown option") << QStringList{"--loud"} << 1;
    // a line that cannot be served
    QTest::newRow("missing tty") << QStringList{"/nonexistent/ttyUSB9"} << 1;
}

void DevsimCliTest::wrongArgumentsAreRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);

    QProcess process;
    process.start(devsim, arguments);
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    QVERIFY(!process.readAllStandardError().isEmpty());
}

void DevsimCliTest::servesPseudoTerminal_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("timeFormat");

    QTest::newRow("defaults") << QStringList{} << true << "\"hh:mm:ss\"";
    QTest::newRow("LF CR") << QStringList{"--line-end", "lfcr"} << true << "\"hh:mm:ss\"";
    // The link drops the character before the CR: here the closing quote.
    QTest::newRow("CR LF") << QStringList{"--line-end", "crlf"} << true << "\"hh:mm:ss";
    QTest::newRow("delayed") << QStringList{"--delay", "200"} << true << "\"hh:mm:ss\"";
    QTest::newRow("query refused") << QStringList{"--refuse", "TIME=?"} << true << QString();
    QTest::newRow("every 2nd refused") << QStringList{"--refuse-every", "2"} << true << QString();
    QTest::newRow("silent") << QStringList{"--silent"} << false << QString();
}

void DevsimCliTest::servesPseudoTerminal()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, found);
    QFETCH(QString, timeFormat);

    QProcess process;
    const QString path = startServing(process, arguments);
    QVERIFY2(path.startsWith("/dev/"), qPrintable(process.readAllStandardError()));
    {
        setChosenPortNames({path});
        DeviceLink link;
        QString portName;
        QCOMPARE(link.findDevice(portName), found);
        QString time;
        QCOMPARE(link.getTime(time), !timeFormat.isEmpty());
        if (!timeFormat.isEmpty())
            QVERIFY2(QTime::fromString(time, timeFormat).isValid(), qPrintable(time));
    }
    // Our end of the line hangs up once the device's end is closed. (Its path
    // is no proof: another program's new terminal may take the number at once.)
    const int line = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(line >= 0);
    pollfd poller{line, POLLIN, 0};
    const bool hungUpBefore = ::poll(&poller, 1, 0) == 1 && (poller.revents & POLLHUP);
    const bool interrupted = interruptCleanly(process);
    const bool hungUp = ::poll(&poller, 1, 5000) == 1 && (poller.revents & POLLHUP);
    ::close(line);
    QVERIFY(!hungUpBefore);
    QVERIFY(interrupted);
    QVERIFY2(hungUp, "the pseudo-terminal is still open");
}

void DevsimCliTest::clockWriteIsKept()
{
    QProcess process;
    const QString path = startServing(process, {});
    QVERIFY(!path.isEmpty());
    {
        const auto link = connectedLink(path);
        QVERIFY(link);
        QVERIFY(link->setDate("\"24/12/2030\""));
        QVERIFY(!link->setDate("\"32/12/2030\""));
        QString date;
        QVERIFY(link->getDate(date));
        QCOMPARE(date, QStringLiteral("\"24/12/2030\""));
    }
    QVERIFY(interruptCleanly(process));
}

void DevsimCliTest::logsEveryCommand()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString logPath = dir.filePath("commands.log");
    QProcess process;
    const QString path = startServing(process, {"--log", logPath, "--refuse", "BEEP"});
    QVERIFY(!path.isEmpty());
    {
        const auto link = connectedLink(path);
        QVERIFY(link);
        QVERIFY(!link->sendLine("ZEL#BEEP=1\r"));
    }
    QVERIFY(interruptCleanly(process));

    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    QCOMPARE(lines.size(), 3); // two entries and the final line end
    const QList<QByteArray> expected{"ZEL#\\r  -> OK\\n\\r", "ZEL#BEEP=1\\r  -> ERROR\\n\\r"};
    for (int i = 0; i < expected.size(); ++i) {
        const int gap = lines.at(i).indexOf("  ");
        QVERIFY(QDateTime::fromString(lines.at(i).left(gap), Qt::ISODateWithMs).isValid());
        QCOMPARE(lines.at(i).mid(gap + 2), expected.at(i));
    }
}

void DevsimCliTest::servesExistingTerminal()
{
    int controller = -1;
    int terminal = -1;
    char name[256] = {};
    QCOMPARE(openpty(&controller, &terminal, name, nullptr, nullptr), 0);

    QProcess process;
    QCOMPARE(startServing(process, {"--line-end", "crlf", QString::fromLocal8Bit(name)}),
             QString::fromLocal8Bit(name));
    QCOMPARE(::write(controller, "ZEL#TIME=\"07:08:09\"\rZEL#TIME=?\r", 31), ssize_t(31));
    const QByteArray answer = readUntil(controller, "\"\r\nOK\r\n");
    QVERIFY2(answer.startsWith("OK\r\n+TIME=\"07:08:") && answer.endsWith("\"\r\nOK\r\n"), answer.constData());
    QVERIFY(interruptCleanly(process));
    ::close(terminal);
    ::close(controller);
}

void DevsimCliTest::servesAFleet()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString logPath = dir.filePath("commands.log");
    QProcess process;
    const QStringList paths = startFleet(process, {"--count", "3", "--refuse", "BEEP", "--log", logPath}, 3);
    QCOMPARE(paths.size(), 3);
    QCOMPARE(QSet<QString>(paths.cbegin(), paths.cend()).size(), 3);
    {
        const auto first = connectedLink(paths.at(0));
        const auto second = connectedLink(paths.at(1));
        QVERIFY(first && second);
        // Each device keeps its own clock, and every one refuses as told.
        QVERIFY(first->setDate("\"24/12/2030\""));
        QString date;
        QVERIFY(second->getDate(date));
        QVERIFY(date != QStringLiteral("\"24/12/2030\""));
        QVERIFY(!second->sendLine("ZEL#BEEP=1\r"));
    }
    QVERIFY(interruptCleanly(process));

    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray entries = log.readAll();
    const QByteArrayList expected{paths.at(0).toLocal8Bit() + "  ZEL#DATE=\"24/12/2030\"\\r  -> OK",
                                  paths.at(1).toLocal8Bit() + "  ZEL#BEEP=1\\r  -> ERROR"};
    for (const QByteArray &entry : expected)
        QVERIFY2(entries.contains(entry), entries.constData());
    QVERIFY(!entries.contains(paths.at(2).toLocal8Bit()));
}

void DevsimCliTest::answersChosenCommandsLate()
{
    QProcess process;
    // The text holds '=' itself: the delay is what follows the last one.
    const QString path = startServing(process, {"--delay-on", "CH1=ON=1500"});
    QVERIFY(!path.isEmpty());
    const int line = openLine(path);
    QVERIFY(line >= 0);
    // The late answer comes after the next command's, which is not held up.
    const QByteArray answers = exchange(line, "ZEL#CH1=ON\rBEEP\r", "ERROR\n\rOK\n\r");
    ::close(line);
    QCOMPARE(answers, QByteArray("ERROR\n\rOK\n\r"));
    QVERIFY(interruptCleanly(process));
}

void DevsimCliTest::plugsNewUnits_data()
{
    addAdapterRows();
}

void DevsimCliTest::plugsNewUnits()
{
    QFETCH(bool, ownAdapters);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString logPath = dir.filePath("commands.log");
    const QString slotFolder = dir.filePath("slots");
    QVERIFY(QDir().mkdir(slotFolder));
    QStringList arguments{"--count", "2", "--unplugged", "--refuse-every", "2", "--delay-on", "LATE=500",
                          "--log", logPath};
    if (ownAdapters)
        arguments << "--links" << slotFolder;
    QProcess process;
    const QStringList paths = startFleet(process, arguments, 2);
    QCOMPARE(paths.size(), 2);
    if (ownAdapters)
        QCOMPARE(paths, (QStringList{slotFolder + "/slot1", slotFolder + "/slot2"}));
    QCOMPARE(entriesIn(slotFolder), 0);

    int line = -1;
    for (int unit = 1; unit <= 2; ++unit) {
        // Commands that make no sense are ignored: the next answer is plug's.
        process.write("plug 3\nfly 2\nplug\n");
        const QByteArray plugged = tell(process, "plug 2");
        QVERIFY2(plugged.startsWith("plugged 2 /dev/"), plugged.constData());
        const QString portName = QString::fromLocal8Bit(plugged.mid(10));
        if (ownAdapters) {
            QCOMPARE(QFileInfo(paths.at(1)).symLinkTarget(), portName);
            QCOMPARE(entriesIn(slotFolder), 1);
        } else {
            QCOMPARE(portName, paths.at(1));
        }
        // The test keeps a fixed adapter open all along, as a station does.
        if (line < 0 || ownAdapters) {
            if (line >= 0)
                ::close(line);
            line = openLine(paths.at(1));
            QVERIFY(line >= 0);
        }
        // A new unit counts from its own first command: every 2nd is refused.
        QCOMPARE(exchange(line, "ZEL#\r", "OK\n\r"), QByteArray("OK\n\r"));
        QCOMPARE(exchange(line, "ZEL#A=1\r", "ERROR\n\r"), QByteArray("ERROR\n\r"));
        QCOMPARE(exchange(line, "ZEL#B=1\r", "OK\n\r"), QByteArray("OK\n\r"));
        // An answer still due when the unit is taken away never comes.
        QCOMPARE(exchange(line, "ZEL#LATE\rZEL#C=1\r", "OK\n\r"), QByteArray("OK\n\r"));

        QCOMPARE(tell(process, "unplug 2"), QByteArray("unplugged 2"));
        if (ownAdapters) {
            QCOMPARE(entriesIn(slotFolder), 0);
            QVERIFY2(hangsUp(line), "the line of an unplugged unit is still up");
        } else {
            QVERIFY(::write(line, "ZEL#\r", 5) == 5);
            QVERIFY2(staysSilent(line), "an unplugged unit answers");
        }
    }
    ::close(line);

    QCOMPARE(tell(process, "plug all").left(9), QByteArray("plugged 1"));
    QCOMPARE(nextLine(process).left(9), QByteArray("plugged 2"));
    // The last command needs no line end, and the end of the commands leaves
    // the program running and the devices as they are.
    process.write("unplug 1");
    process.closeWriteChannel();
    QCOMPARE(nextLine(process), QByteArray("unplugged 1"));
    QVERIFY2(!process.waitForFinished(1000), "the end of the commands ended the program");
    line = openLine(paths.at(1));
    QVERIFY(line >= 0);
    QCOMPARE(exchange(line, "ZEL#\r", "OK\n\r"), QByteArray("OK\n\r"));
    ::close(line);
    QVERIFY(interruptCleanly(process));
    QCOMPARE(entriesIn(slotFolder), 0);

    const QByteArray errors = process.readAllStandardError();
    QVERIFY2(errors.contains("no device '3'") && errors.contains("'fly 2' is not a command"), errors.constData());
    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    // A log reader follows a slot across plugs by its link's name.
    const QByteArray entry = (ownAdapters ? "slot2" : paths.at(1).toLocal8Bit()) + "  ZEL#A=1\\r  -> ERROR";
    QCOMPARE(log.readAll().count(entry), 2);
}

void DevsimCliTest::plugCyclesLeakNothing_data()
{
    addAdapterRows();
}

void DevsimCliTest::plugCyclesLeakNothing()
{
    QFETCH(bool, ownAdapters);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList arguments{"--unplugged"};
    if (ownAdapters)
        arguments << "--links" << dir.path();
    QProcess process;
    QVERIFY(!startServing(process, arguments).isEmpty());
    const QString proc = QStringLiteral("/proc/%1/").arg(process.processId());
    // Counted after a first cycle: a sanitizer starts a thread of its own
    // with the first thread the program starts, and keeps it.
    QVERIFY(tell(process, "plug 1").startsWith("plugged 1"));
    QCOMPARE(tell(process, "unplug 1"), QByteArray("unplugged 1"));
    const int files = entriesIn(proc + "fd");
    const int threads = entriesIn(proc + "task");
    for (int cycle = 0; cycle < 50; ++cycle) {
        QVERIFY(tell(process, "plug 1").startsWith("plugged 1"));
        QCOMPARE(tell(process, "unplug 1"), QByteArray("unplugged 1"));
    }
    QCOMPARE(entriesIn(proc + "fd"), files);
    QCOMPARE(entriesIn(proc + "task"), threads);
    QVERIFY(interruptCleanly(process));
}

QTEST_GUILESS_MAIN(DevsimCliTest)
#include "tst_devsimcli.moc"
