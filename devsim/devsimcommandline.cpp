#include "devsimcommandline.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {
const QString lineEndOption = QStringLiteral("line-end");
const QString delayOption = QStringLiteral("delay");
const QString refuseOption = QStringLiteral("refuse");
const QString refuseEveryOption = QStringLiteral("refuse-every");
const QString silentOption = QStringLiteral("silent");
const QString logOption = QStringLiteral("log");
const QString countOption = QStringLiteral("count");

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
        && readNumber(countOption, 1, QStringLiteral("a whole number"), count)
        && readTtyPath();
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
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    value = parser.value(option).toInt(&ok);
    if (!ok || value < minimum)
        return fail(QStringLiteral("--%1 takes %2, %3 or more.").arg(option, what).arg(minimum));
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

bool DevsimCommandLine::fail(const QString &message) const
{
    QTextStream(stderr) << QCoreApplication::applicationName() << ": " << message << '\n'
                        << "Try --help for the options.\n";
    return false;
}
