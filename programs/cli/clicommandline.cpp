#include "cli/clicommandline.h"

#include "cli/reportoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

namespace {
const QString portOption = QStringLiteral("port");
const QString allOption = QStringLiteral("all");
const QString jsonOption = QStringLiteral("json");
const QString quietOption = QStringLiteral("quiet");
const QString dryRunOption = QStringLiteral("dry-run");
const QString fromPcOption = QStringLiteral("from-pc");
const QString timeOption = QStringLiteral("time");
const QString dateOption = QStringLiteral("date");
const QString verifyOption = QStringLiteral("verify");
const QString helpOption = QStringLiteral("help");
const QString logOption = QStringLiteral("log");

const QString timeInputFormat = QStringLiteral("hh:mm:ss");
const QString dateInputFormat = QStringLiteral("dd/MM/yyyy");

const char overview[] =
    "Finds Morlank devices on the serial ports, reads and sets their clocks and\n"
    "downloads configuration files to them: on every device at the same time.\n"
    "\n"
    "Commands:\n"
    "  ports       what answers on each serial port\n"
    "  clock get   read the clock of the device(s)\n"
    "  clock set   set the clock of the device(s)\n"
    "  download    send a .conf file to the device(s), line by line\n"
    "  watch       a production station: program every unit as it is attached\n"
    "  report      yield, units per hour and where units fail, from the records\n"
    "  db init     create or upgrade the schema of a line's database\n"
    "  db status   what a line's database holds: lists, counters, stations\n"
    "  help CMD    the options of one command\n"
    "\n"
    "Every port is probed at once with the handshake. Without --port, clock and\n"
    "download need exactly one answering device, or --all to serve every one.\n"
    "\n"
    "Exit status: 0 everything asked succeeded; 1 at least one device failed;\n"
    "2 usage or input error, nothing sent; 3 no device answered;\n"
    "130 or 143 interrupted by SIGINT or SIGTERM.";

struct CommandHelp
{
    const char *name;
    const char *usage;
    const char *description;
};

const CommandHelp commandHelp[] = {
    {"ports", "ports [--port NAME]... [--json]",
     "Probes every candidate port at once and tells what it found: device,\n"
     "silent, no device, busy, no permission or cannot open, with what the system\n"
     "knows of the port."},
    {"clock get", "clock get [--port NAME]... [--all] [--json]",
     "Reads the time and the date of the device(s)."},
    {"clock set", "clock set (--from-pc | --time hh:mm:ss --date dd/MM/yyyy) [--verify] "
                  "[--port NAME]... [--all] [--json] [--log FILE] [--db URL]",
     "Sets the time, then the date of the device(s)."},
    {"download", "download FILE [--port NAME]... [--all] [--dry-run] [--json] [--quiet] [--log FILE] "
                 "[--values FILE.csv] [--counter NAME=START[:STEP]]... [--state FILE | --db URL]",
     "Sends every command of the configuration FILE to each device in file\n"
     "order, each acknowledged before the next. Progress goes to standard error,\n"
     "results to standard output. {{NAME}} in a command takes each device's own\n"
     "value from --values or --counter, reserved in --state before it is sent."},
    {"watch", "watch FILE [--port NAME|PATTERN]... [--vid-pid VVVV:PPPP]... [--slot NAME=PORT]... "
              "[--set-clock [--verify]] [--retries N] [--units N] [--log FILE] [--values FILE.csv] "
              "[--counter NAME=START[:STEP]]... [--state FILE | --db URL] [--json] [--quiet]",
     "A production station: watches the ports and serves every unit once per\n"
     "attachment, as its port appears or as a present port starts answering.\n"
     "Each unit gets the computer's clock (with --set-clock) and the\n"
     "configuration FILE; one line per attempt goes to standard output, the\n"
     "slots' states to standard error. Runs until Ctrl-C, or --units N."},
    {"report", "report [LOG...] [--db URL] [--since WHEN] [--until WHEN] [--station NAME] [--slot NAME] "
               "[--file NAME|SHA256] [--json] [--html FILE]",
     "The figures a supervisor reads from the stations' records: units,\n"
     "first-pass and final yield, units per hour, cycle time and where units\n"
     "fail, by line, slot, station and file. LOG is a log as --log writes it\n"
     "(- reads standard input). Exit status 1 when no record is selected."},
    {"db init", "db init URL",
     "Creates the schema morlank in the PostgreSQL database URL (a libpq URL or\n"
     "key=value words), or upgrades it; run it as the database's owner. Run\n"
     "again, it changes nothing; a schema newer than this program is refused."},
    {"db status", "db status URL [--json]",
     "What the line's database holds: each values list (rows, handed out, left),\n"
     "each counter, each station's last record and records today, and the\n"
     "records that wait in this computer's spool."},
};

const CommandHelp *findCommand(const QString &name)
{
    for (const CommandHelp &command : commandHelp) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

// The command `name`, or every command in the group it names ("clock").
QVector<const CommandHelp *> commandsNamed(const QString &name)
{
    QVector<const CommandHelp *> found;
    for (const CommandHelp &command : commandHelp) {
        const QLatin1String full(command.name);
        if (name == full || full.startsWith(name + QLatin1Char(' ')))
            found << &command;
    }
    return found;
}

void addHelpOption(QCommandLineParser &parser)
{
    parser.addOption({{QStringLiteral("h"), helpOption}, QStringLiteral("Show this help.")});
}

// Whether a flag was given; a flag the command does not take never is.
bool given(const QCommandLineParser &parser, const QString &option)
{
    return parser.optionNames().contains(option);
}

QString unknownCommand(const QString &command)
{
    return QStringLiteral("there is no command '%1'; the commands are ports, clock get, clock set, download, "
                          "watch, report, db init and db status.")
        .arg(command);
}

void configure(QCommandLineParser &parser, const QString &command)
{
    addHelpOption(parser);
    if (command.startsWith(QLatin1String("db "))) {
        if (command == QLatin1String("db status"))
            parser.addOption({jsonOption, QStringLiteral("Print the status as JSON.")});
        return;
    }
    if (command == QLatin1String("watch")) {
        StationOptions::addTo(parser);
        parser.addOptions({
            {jsonOption, QStringLiteral("Print one JSON object per attempt, one a line.")},
            {quietOption, QStringLiteral("Show no slot states on standard error.")},
        });
        return;
    }
    if (command == QLatin1String("report")) {
        ReportOptions::addTo(parser);
        return;
    }
    parser.addOptions({
        {portOption, QStringLiteral("Probe and serve this port (a name or a path such as /dev/pts/3) "
                                    "instead of every port the system lists; may be repeated."),
         QStringLiteral("NAME")},
        {jsonOption, QStringLiteral("Print the result as JSON.")},
    });
    if (command != QLatin1String("ports"))
        parser.addOption({allOption, QStringLiteral("Serve every answering device, not just the only one.")});
    if (command == QLatin1String("clock set") || command == QLatin1String("download")) {
        parser.addOption({logOption, QStringLiteral("Append one JSON line per attempt per device to FILE, synced to disk "
                                                    "before the result is printed."),
                          QStringLiteral("FILE")});
    }
    if (command == QLatin1String("clock set") || command == QLatin1String("download"))
        StationOptions::addDatabaseOption(parser);
    if (command == QLatin1String("clock set")) {
        parser.addOptions({
            {fromPcOption, QStringLiteral("Write the computer's clock.")},
            {timeOption, QStringLiteral("Write this time, 00:00:00 to 23:59:59."), QStringLiteral("hh:mm:ss")},
            {dateOption, QStringLiteral("Write this date, day first."), QStringLiteral("dd/MM/yyyy")},
            {verifyOption, QStringLiteral("Read the clock back and fail a device that differs by more than "
                                          "2 s plus the time the exchange took.")},
        });
    }
    if (command == QLatin1String("download")) {
        parser.addOptions({
            {dryRunOption, QStringLiteral("Open no port: list each command with its file line number and "
                                          "mark those that cannot be sent.")},
            {quietOption, QStringLiteral("Show no progress on standard error.")},
        });
        StationOptions::addValueOptions(parser);
    }
}

void print(FILE *stream, const QString &text)
{
    QTextStream(stream) << text << Qt::flush;
}

// The parser's help with our own usage line: the parser would name the
// executable as it was typed and leave out the command.
QString helpText(const QCommandLineParser &parser, const QString &usage, const QString &description)
{
    return QStringLiteral("Usage: morlank-cli %1\n\n%2\n%3")
        .arg(usage, description, parser.helpText().section(QLatin1Char('\n'), 1));
}
} // namespace

bool CliCommandLine::parse(const QStringList &arguments, Request &request, int &exitStatus)
{
    QCommandLineParser top;
    addHelpOption(top);
    top.addVersionOption();
    top.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const bool ok = [&] {
        if (!top.parse(arguments))
            return fail(top.errorText());
        if (top.isSet(QStringLiteral("version"))) {
            print(stdout, QStringLiteral("morlank-cli %1\n").arg(QCoreApplication::applicationVersion()));
            return false;
        }
        QStringList rest = top.positionalArguments();
        if (top.isSet(helpOption) || rest == QStringList{QStringLiteral("help")}) {
            print(stdout, helpText(top, QStringLiteral("COMMAND [options]"), QString::fromLatin1(overview)));
            return false;
        }
        if (rest.isEmpty())
            return fail(QStringLiteral("name a command: ports, clock get, clock set, download, watch or report."));
        QString command = rest.takeFirst();
        if (command == QLatin1String("help"))
            return showHelp(rest.join(QLatin1Char(' ')));
        if ((command == QLatin1String("clock") || command == QLatin1String("db")) && !rest.isEmpty()
            && !rest.first().startsWith(QLatin1Char('-')))
            command += QLatin1Char(' ') + rest.takeFirst();
        if (!findCommand(command))
            return commandsNamed(command).isEmpty() ? fail(unknownCommand(command)) : failGroup(command);
        return parseCommand(command, rest, request);
    }();
    exitStatus = status;
    return ok;
}

bool CliCommandLine::parseCommand(const QString &command, const QStringList &arguments, Request &request)
{
    QCommandLineParser parser;
    configure(parser, command);
    if (!parser.parse(QStringList{QStringLiteral("morlank-cli")} + arguments))
        return fail(parser.errorText(), command);
    if (parser.isSet(helpOption))
        return showHelp(command);

    if (command == QLatin1String("report")) {
        QString error;
        request.command = Request::Report;
        return request.report.read(parser, QDateTime::currentDateTime(), error) || fail(error, command);
    }
    const QStringList positional = parser.positionalArguments();
    const bool db = command.startsWith(QLatin1String("db "));
    const int expected =
        command == QLatin1String("download") || command == QLatin1String("watch") || db ? 1 : 0;
    if (positional.size() != expected) {
        return fail(db         ? QStringLiteral("name the database, as a libpq URL such as postgresql://owner@host/line.")
                    : expected ? QStringLiteral("name one configuration file.")
                             : QStringLiteral("unexpected argument '%1'.").arg(positional.value(0)),
                    command);
    }
    request.command = command == QLatin1String("ports")       ? Request::Ports
                      : command == QLatin1String("clock get") ? Request::ClockGet
                      : command == QLatin1String("clock set") ? Request::ClockSet
                      : command == QLatin1String("watch")     ? Request::Watch
                      : command == QLatin1String("db init")   ? Request::DbInit
                      : command == QLatin1String("db status") ? Request::DbStatus
                                                              : Request::Download;
    for (const QString &port : db ? QStringList() : parser.values(portOption)) {
        if (port.isEmpty())
            return fail(QStringLiteral("--port takes the name or path of a port, such as ttyUSB0 or /dev/ttyUSB0."),
                        command);
        if (!request.ports.contains(port))
            request.ports << port;
    }
    request.file = positional.value(0);
    request.all = given(parser, allOption);
    request.json = given(parser, jsonOption);
    request.quiet = given(parser, quietOption);
    request.dryRun = given(parser, dryRunOption);
    request.verify = given(parser, verifyOption);
    request.log = given(parser, logOption) ? parser.value(logOption) : QString();
    if (request.command == Request::Download)
        request.values = StationOptions::valueSources(parser);
    if (db)
        request.db = positional.value(0);
    QString error;
    if ((request.command == Request::Download || request.command == Request::ClockSet)
        && !StationOptions::readDatabase(parser, request.db, error))
        return fail(error, command);
    if (request.command == Request::Watch) {
        return request.station.read(parser, error) || fail(error, command);
    }
    return request.command != Request::ClockSet || readClockOptions(parser, request);
}

// Checked strictly, before any port is opened. The time and the date are
// kept as given: they are never one local instant, which a daylight-saving
// change could make invalid.
bool CliCommandLine::readClockOptions(const QCommandLineParser &parser, Request &request)
{
    const QString command = QStringLiteral("clock set");
    const bool fromPc = parser.isSet(fromPcOption);
    const bool given = parser.isSet(timeOption) || parser.isSet(dateOption);
    if (fromPc == given)
        return fail(QStringLiteral("give either --from-pc or both --time and --date."), command);
    if (fromPc)
        return true;
    for (const QString &option : {timeOption, dateOption}) {
        if (!parser.isSet(option))
            return fail(QStringLiteral("--%1 is missing: give --time and --date together.").arg(option), command);
    }
    const QTime time = QTime::fromString(parser.value(timeOption), timeInputFormat);
    if (!time.isValid()) {
        return fail(QStringLiteral("--time takes a time from 00:00:00 to 23:59:59 as hh:mm:ss, not '%1'.")
                        .arg(parser.value(timeOption)),
                    command);
    }
    const QDate date = QDate::fromString(parser.value(dateOption), dateInputFormat);
    if (!date.isValid()) {
        return fail(QStringLiteral("--date takes a date that exists as dd/MM/yyyy, day first, not '%1'.")
                        .arg(parser.value(dateOption)),
                    command);
    }
    request.clock = WallClock{time, date};
    return true;
}

// The help of one command, or of each in a group.
bool CliCommandLine::showHelp(const QString &command)
{
    const QVector<const CommandHelp *> commands = commandsNamed(command);
    if (commands.isEmpty())
        return fail(unknownCommand(command));
    QStringList texts;
    for (const CommandHelp *help : commands) {
        QCommandLineParser parser;
        configure(parser, QLatin1String(help->name));
        texts << helpText(parser, QString::fromLatin1(help->usage), QString::fromLatin1(help->description));
    }
    print(stdout, texts.join(QLatin1Char('\n')));
    status = 0;
    return false;
}

// A group named without one of its commands: their usages.
bool CliCommandLine::failGroup(const QString &group)
{
    QString usages;
    for (const CommandHelp *help : commandsNamed(group))
        usages += QStringLiteral("\n  morlank-cli ") + QLatin1String(help->usage);
    return fail(QStringLiteral("'%1' needs one of its commands:%2").arg(group, usages), group);
}

bool CliCommandLine::fail(const QString &message, const QString &command)
{
    const QString help = command.isEmpty() ? QStringLiteral("morlank-cli --help")
                                           : QStringLiteral("morlank-cli help ") + command;
    print(stderr, QStringLiteral("morlank-cli: %1\nTry '%2'.\n").arg(message, help));
    status = 2;
    return false;
}
