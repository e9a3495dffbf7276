#include "devsim/devsimcommandline.h"

#include "base/commandlineoptions.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

namespace {
const QString lineEndOption = QStringLiteral("line-end");
const QString delayOption = QStringLiteral("delay");
const QString refuseOption = QStringLiteral("refuse");
const QString refuseEveryOption = QStringLiteral("refuse-every");
const QString silentOption = QStringLiteral("silent");
const QString logOption = QStringLiteral("log");
const QString countOption = QStringLiteral("count");
const QString delayOnOption = QStringLiteral("delay-on");
const QString linksOption = QStringLiteral("links");
const QString unpluggedOption = QStringLiteral("unplugged");

const char description[] =
    "A simulated Morlank device for testing and training.\n"
    "\n"
    "Without a tty it creates a pseudo-terminal and prints its path on the\n"
    "first line of standard output; open that path as the serial port.\n"
    "With a tty (such as /dev/ttyUSB0, wired to the computer under test) it\n"
    "serves that line instead, at 9600 baud 8N1.\n"
    "\n"
    "Every command ends with a carriage return. The device answers:\n"
    "  ZEL#                     OK\n"
    "  ZEL#TIME=?               +TIME=\"hh:mm:ss\" then OK, each on its own line\n"
    "  ZEL#DATE=?               +DATE=\"dd/MM/yyyy\" then OK\n"
    "  ZEL#TIME=\"hh:mm:ss\"      OK, or ERROR when the time is not valid\n"
    "  ZEL#DATE=\"dd/MM/yyyy\"    OK, or ERROR when the date is not valid\n"
    "  any other ZEL# command   OK\n"
    "  anything else            ERROR (an empty line gets no answer)\n"
    "Its clock starts at the computer's time and runs on from what is set.\n"
    "\n"
    "With --count N it serves N independent devices, each on a pseudo-terminal\n"
    "of its own with its own clock, and prints their N paths one a line.\n"
    "\n"
    "Devices are unplugged and plugged in by commands on standard input, one a\n"
    "line, N counting from 1:\n"
    "  plug N, plug all         answered with 'plugged N PATH', PATH its line\n"
    "  unplug N, unplug all     answered with 'unplugged N'\n"
    "Each answer is a line on standard output, written at once. Every plug is a\n"
    "new unit: its clock starts at the computer's time, its counters at zero; a\n"
    "device already plugged stays the same unit. End of input changes nothing.\n"
    "Without --links a device is a unit behind a fixed adapter: its line stays\n"
    "open, and unplugged it answers nothing. With --links DIR each unit brings\n"
    "its own adapter: a plug makes a new pseudo-terminal and the link DIR/slotN\n"
    "to it, an unplug removes the link and closes the line, as a USB adapter\n"
    "pulled out. The link paths are printed instead of the lines, and the links\n"
    "are removed on exit.\n"
    "\n"
    "Ctrl-C (SIGINT) or SIGTERM stops it and closes the line.";
} // namespace

DevsimCommandLine::DevsimCommandLine()
{
    parser.setApplicationDescription(QString::fromLatin1(description));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {lineEndOption, QStringLiteral("End every answer line with LF CR (lfcr, the default) or CR LF (crlf)."),
         QStringLiteral("lfcr|crlf"), QStringLiteral("lfcr")},
        {delayOption, QStringLiteral("Wait <ms> milliseconds before each answer (default 0)."),
         QStringLiteral("ms"), QStringLiteral("0")},
        {delayOnOption, QStringLiteral("Answer commands that contain <text> after <ms> milliseconds instead; split "
                                       "at the last '='. Repeat it for more texts: the first that matches counts."),
         QStringLiteral("text=ms")},
        {refuseOption, QStringLiteral("Answer ERROR to every command that contains <text>."),
         QStringLiteral("text")},
        {refuseEveryOption, QStringLiteral("Answer ERROR to every <n>th command, the handshake counted."),
         QStringLiteral("n")},
        {silentOption, QStringLiteral("Answer nothing at all, as a device that is switched off.")},
        {logOption, QStringLiteral("Write every command received, with its time and the answer, to <file> "
                                   "('-' for standard output)."),
         QStringLiteral("file")},
        {countOption, QStringLiteral("Serve <n> devices on pseudo-terminals of their own; every other option applies "
                                     "to each, and log lines carry the device's path."),
         QStringLiteral("n")},
        {linksOption, QStringLiteral("Give every device an adapter of its own: a link <dir>/slotN to a new "
                                     "pseudo-terminal at each plug, removed at each unplug; log lines name the "
                                     "device slotN. <dir> must exist."),
         QStringLiteral("dir")},
        {unpluggedOption, QStringLiteral("Start with every device unplugged.")},
    });
    parser.addPositionalArgument(QStringLiteral("tty"),
                                 QStringLiteral("Serve this terminal instead of a new pseudo-terminal."),
                                 QStringLiteral("[tty]"));
}

bool DevsimCommandLine::process(const QCoreApplication &app)
{
    parser.process(app);
    protocolSettings.refusedText = parser.value(refuseOption).toLocal8Bit();
    protocolSettings.silent = parser.isSet(silentOption);
    return readLineEnd()
        && readNumber(delayOption, 0, QStringLiteral("a number of milliseconds"),
                      protocolSettings.replyDelayMs)
        && readNumber(refuseEveryOption, 1, QStringLiteral("a whole number"),
                      protocolSettings.refuseEvery)
        && readDelayedAnswers()
        && readNumber(countOption, 1, QStringLiteral("a whole number"), count)
        && readTtyPath()
        && readLinkFolder();
}

DeviceProtocol::Settings DevsimCommandLine::settings() const
{
    return protocolSettings;
}

QString DevsimCommandLine::ttyPath() const
{
    return tty;
}

QString DevsimCommandLine::logPath() const
{
    return parser.value(logOption);
}

int DevsimCommandLine::deviceCount() const
{
    return count;
}

bool DevsimCommandLine::servesFleet() const
{
    return parser.isSet(countOption);
}

QString DevsimCommandLine::linkFolder() const
{
    return parser.value(linksOption);
}

bool DevsimCommandLine::startsUnplugged() const
{
    return parser.isSet(unpluggedOption);
}

bool DevsimCommandLine::readLineEnd()
{
    const QString lineEnd = parser.value(lineEndOption);
    if (lineEnd == QLatin1String("lfcr"))
        protocolSettings.lineEnd = QByteArrayLiteral("\n\r");
    else if (lineEnd == QLatin1String("crlf"))
        protocolSettings.lineEnd = QByteArrayLiteral("\r\n");
    else
        return fail(QStringLiteral("--line-end takes lfcr or crlf, not '%1'.").arg(lineEnd));
    return true;
}

// An option left out keeps the value it has.
bool DevsimCommandLine::readNumber(const QString &option, int minimum, const QString &what,
                                   int &value)
{
    return readWholeNumber(parser, option, minimum, value)
        || fail(QStringLiteral("--%1 takes %2, %3 or more.").arg(option, what).arg(minimum));
}

// TEXT=MS, split at the last '=' so that the text may hold '=' itself.
bool DevsimCommandLine::readDelayedAnswers()
{
    for (const QString &value : parser.values(delayOnOption)) {
        const int split = value.lastIndexOf('=');
        bool ok = false;
        const int delayMs = value.mid(split + 1).toInt(&ok);
        if (split <= 0 || !ok || delayMs < 0) {
            return fail(QStringLiteral("--delay-on takes TEXT=MS, a text and a number of milliseconds, 0 or more, "
                                       "not '%1'.")
                            .arg(value));
        }
        protocolSettings.delayedAnswers.append({value.left(split).toLocal8Bit(), delayMs});
    }
    return true;
}

bool DevsimCommandLine::readTtyPath()
{
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() > 1)
        return fail(QStringLiteral("Give at most one tty to serve."));
    if (!arguments.isEmpty() && count > 1)
        return fail(QStringLiteral("A tty is one line: serve it without --count, or drop the tty."));
    tty = arguments.value(0);
    return true;
}

bool DevsimCommandLine::readLinkFolder()
{
    if (!parser.isSet(linksOption))
        return true;
    if (!tty.isEmpty())
        return fail(QStringLiteral("--links gives every device a pseudo-terminal of its own: drop the tty."));
    if (!QFileInfo(linkFolder()).isDir())
        return fail(QStringLiteral("--links takes an existing folder, not '%1'.").arg(linkFolder()));
    return true;
}

bool DevsimCommandLine::fail(const QString &message) const
{
    QTextStream(stderr) << QCoreApplication::applicationName() << ": " << message << '\n'
                        << "Try --help for the options.\n";
    return false;
}
