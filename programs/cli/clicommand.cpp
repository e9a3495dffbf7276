#include "cli/clicommand.h"

#include "base/commandlineoptions.h"
#include "figures/recordselection.h"
#include "line/lineroles.h"
#include "line/linesettings.h"
#include "line/lineorders.h"
#include "line/linereleases.h"
#include "linepage/lineserver.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

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
const QString logOption = QStringLiteral("log");
const QString dbOption = QStringLiteral("db");
const QString sinceOption = QStringLiteral("since");

const QString timeInputFormat = QStringLiteral("hh:mm:ss");
const QString dateInputFormat = QStringLiteral("dd/MM/yyyy");

// ports, clock get: the ports to probe and how to print.
void addProbeOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {portOption, QStringLiteral("Probe and serve this port (a name or a path such as /dev/pts/3) "
                                    "instead of every port the system lists; may be repeated."),
         QStringLiteral("NAME")},
        {jsonOption, QStringLiteral("Print the result as JSON.")},
    });
}

void addClockGetOptions(QCommandLineParser &parser)
{
    addProbeOptions(parser);
    parser.addOption({allOption, QStringLiteral("Serve every answering device, not just the only one.")});
}

// clock set, download: the commands that record each attempt.
void addRecordingOptions(QCommandLineParser &parser)
{
    addClockGetOptions(parser);
    parser.addOption({logOption, QStringLiteral("Append one JSON line per attempt per device to FILE, synced to disk "
                                                "before the result is printed."),
                      QStringLiteral("FILE")});
    StationOptions::addDatabaseOption(parser);
    StationOptions::addOperatorOption(parser);
}

void addClockSetOptions(QCommandLineParser &parser)
{
    addRecordingOptions(parser);
    parser.addOptions({
        {fromPcOption, QStringLiteral("Write the computer's clock.")},
        {timeOption, QStringLiteral("Write this time, 00:00:00 to 23:59:59."), QStringLiteral("hh:mm:ss")},
        {dateOption, QStringLiteral("Write this date, day first."), QStringLiteral("dd/MM/yyyy")},
        {verifyOption, QStringLiteral("Read the clock back and fail a device that differs by more than "
                                      "2 s plus the time the exchange took.")},
    });
}

void addDownloadOptions(QCommandLineParser &parser)
{
    addRecordingOptions(parser);
    parser.addOptions({
        {dryRunOption, QStringLiteral("Open no port: list each command with its file line number and "
                                      "mark those that cannot be sent.")},
        {quietOption, QStringLiteral("Show no progress on standard error.")},
    });
    StationOptions::addValueOptions(parser);
    StationOptions::addReleaseOption(parser);
}

void addWatchOptions(QCommandLineParser &parser)
{
    StationOptions::addTo(parser);
    parser.addOptions({
        {jsonOption, QStringLiteral("Print one JSON object per attempt, one a line.")},
        {quietOption, QStringLiteral("Show no slot states on standard error.")},
    });
}

// db init, db status: the database as the operand URL or as --db URL.
void addDbOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("db"), QStringLiteral("The line's database, as the operand URL."),
                      QStringLiteral("URL")});
}

void addDbStatusOptions(QCommandLineParser &parser)
{
    addDbOptions(parser);
    parser.addOption({jsonOption, QStringLiteral("Print the status as JSON.")});
}

// db grant, db set: the line's database, named by --db.
void addLineDbOption(QCommandLineParser &parser)
{
    parser.addOption({dbOption, QStringLiteral("The line's PostgreSQL database (a libpq URL or key=value words)."),
                      QStringLiteral("URL")});
}

void addDbAuditOptions(QCommandLineParser &parser)
{
    addLineDbOption(parser);
    parser.addOptions({
        {sinceOption, QStringLiteral("Only changes from WHEN on: a date, a date and time, today, yesterday or -8h."),
         QStringLiteral("WHEN")},
        {jsonOption, QStringLiteral("Print the changes as JSON.")},
    });
}

void addOrderListOptions(QCommandLineParser &parser)
{
    addLineDbOption(parser);
    parser.addOption({jsonOption, QStringLiteral("Print the orders as JSON.")});
}

void addOrderAddOptions(QCommandLineParser &parser)
{
    addLineDbOption(parser);
    parser.addOptions({
        {QStringLiteral("release"), QStringLiteral("The release the order runs; without @REV, its newest revision "
                                                   "that is not revoked."),
         QStringLiteral("NAME[@REV]")},
        {QStringLiteral("quantity"), QStringLiteral("How many units the line programs ok for it."),
         QStringLiteral("N")},
        {QStringLiteral("note"), QStringLiteral("A note kept with the order."), QStringLiteral("TEXT")},
    });
}

bool readLineDb(const QCommandLineParser &parser, Request &request, QString &error)
{
    request.db = parser.value(dbOption);
    if (request.db.isEmpty())
        error = QStringLiteral("--db is missing: name the line's database, as a libpq URL such as "
                               "postgresql://owner@host/line.");
    return !request.db.isEmpty();
}

// The commands that list what the line's database holds.
bool readLineList(const QCommandLineParser &parser, Request &request, QString &error)
{
    request.json = optionGiven(parser, jsonOption);
    return readLineDb(parser, request, error);
}

bool readOrderClose(const QCommandLineParser &parser, Request &request, QString &error)
{
    request.order = parser.positionalArguments().value(0);
    error = LineOrders::badName(QStringLiteral("the order's"), request.order);
    return error.isEmpty() && readLineDb(parser, request, error);
}

bool readOrderAdd(const QCommandLineParser &parser, Request &request, QString &error)
{
    if (!readOrderClose(parser, request, error))
        return false;
    const QString quantity = parser.value(QStringLiteral("quantity"));
    bool whole = false;
    request.quantity = quantity.toInt(&whole);
    request.release = parser.value(QStringLiteral("release"));
    request.note = parser.value(QStringLiteral("note"));
    QString releaseName;
    int revision = 0;
    if (!whole || request.quantity < 1)
        error = QStringLiteral("--quantity takes a positive whole number of units, such as 500, not '%1'.").arg(quantity);
    else if (request.release.isEmpty())
        error = QStringLiteral("name the order's release with --release NAME[@REV].");
    else
        LineReleases::parseReference(request.release, releaseName, revision, error);
    return error.isEmpty();
}

const QString nameOption = QStringLiteral("name");
const QString noteOption = QStringLiteral("note");
const QString reasonOption = QStringLiteral("reason");
const QString bytesOption = QStringLiteral("bytes");

void addReleaseAddOptions(QCommandLineParser &parser)
{
    addLineDbOption(parser);
    parser.addOptions({
        {nameOption, QStringLiteral("Release under this name (by default the file's name without .conf)."),
         QStringLiteral("NAME")},
        {noteOption, QStringLiteral("Keep this note with the revision."), QStringLiteral("TEXT")},
    });
}

void addReleaseListOptions(QCommandLineParser &parser)
{
    addLineDbOption(parser);
    parser.addOption({jsonOption, QStringLiteral("Print the releases as JSON.")});
}

void addReleaseShowOptions(QCommandLineParser &parser)
{
    addReleaseListOptions(parser);
    parser.addOption({bytesOption, QStringLiteral("Write the revision's bytes to FILE."), QStringLiteral("FILE")});
}

void addReleaseRevokeOptions(QCommandLineParser &parser)
{
    addLineDbOption(parser);
    parser.addOption({reasonOption, QStringLiteral("Why the revision may no longer run (required)."),
                      QStringLiteral("TEXT")});
}

// Each --port once, in order.
bool readPorts(const QCommandLineParser &parser, Request &request, QString &error)
{
    for (const QString &port : parser.values(portOption)) {
        if (port.isEmpty()) {
            error = QStringLiteral("--port takes the name or path of a port, such as ttyUSB0 or /dev/ttyUSB0.");
            return false;
        }
        if (!request.ports.contains(port))
            request.ports << port;
    }
    return true;
}

bool readProbe(const QCommandLineParser &parser, Request &request, QString &error)
{
    request.all = optionGiven(parser, allOption);
    request.json = optionGiven(parser, jsonOption);
    return readPorts(parser, request, error);
}

bool readRecording(const QCommandLineParser &parser, Request &request, QString &error)
{
    request.log = parser.value(logOption);
    return readProbe(parser, request, error) && StationOptions::readDatabase(parser, request.db, error)
           && StationOptions::readOperator(parser, request.operatorName, error);
}

// Checked strictly, before any port is opened. The time and the date are
// kept as given: they are never one local instant, which a daylight-saving
// change could make invalid.
bool readClock(const QCommandLineParser &parser, Request &request, QString &error)
{
    const bool fromPc = parser.isSet(fromPcOption);
    const bool given = parser.isSet(timeOption) || parser.isSet(dateOption);
    if (fromPc == given) {
        error = QStringLiteral("give either --from-pc or both --time and --date.");
        return false;
    }
    if (fromPc)
        return true;
    for (const QString &option : {timeOption, dateOption}) {
        if (!parser.isSet(option)) {
            error = QStringLiteral("--%1 is missing: give --time and --date together.").arg(option);
            return false;
        }
    }
    const QTime time = QTime::fromString(parser.value(timeOption), timeInputFormat);
    if (!time.isValid()) {
        error = QStringLiteral("--time takes a time from 00:00:00 to 23:59:59 as hh:mm:ss, not '%1'.")
                    .arg(parser.value(timeOption));
        return false;
    }
    const QDate date = QDate::fromString(parser.value(dateOption), dateInputFormat);
    if (!date.isValid()) {
        error = QStringLiteral("--date takes a date that exists as dd/MM/yyyy, day first, not '%1'.")
                    .arg(parser.value(dateOption));
        return false;
    }
    request.clock = WallClock{time, date};
    return true;
}

bool readClockSet(const QCommandLineParser &parser, Request &request, QString &error)
{
    request.verify = parser.isSet(verifyOption);
    return readRecording(parser, request, error) && readClock(parser, request, error);
}

// FILE or --release: one configuration.
bool configurationNamed(const QString &file, const QString &release, QString &error)
{
    if (file.isEmpty() && release.isEmpty())
        error = QStringLiteral("name one configuration file, or a release with --release NAME --db URL.");
    return !file.isEmpty() || !release.isEmpty();
}

bool readDownload(const QCommandLineParser &parser, Request &request, QString &error)
{
    request.dryRun = parser.isSet(dryRunOption);
    request.quiet = parser.isSet(quietOption);
    request.values = StationOptions::valueSources(parser);
    return readRecording(parser, request, error)
           && StationOptions::readConfiguration(parser, request.db, request.file, request.release, error)
           && configurationNamed(request.file, request.release, error);
}

bool readWatch(const QCommandLineParser &parser, Request &request, QString &error)
{
    request.json = parser.isSet(jsonOption);
    request.quiet = parser.isSet(quietOption);
    if (!readPorts(parser, request, error) || !request.station.read(parser, error))
        return false;
    // An order brings its release.
    return !request.station.order.isEmpty()
           || configurationNamed(request.station.file, request.station.release, error);
}

bool readReport(const QCommandLineParser &parser, Request &request, QString &error)
{
    return request.report.read(parser, QDateTime::currentDateTime(), error);
}

const char configurationWanted[] = "name one configuration file.";
const char databaseWanted[] = "name the database, as a libpq URL such as postgresql://owner@host/line.";

bool readDb(const QCommandLineParser &parser, Request &request, QString &error)
{
    const QStringList operands = parser.positionalArguments();
    const bool option = optionGiven(parser, QStringLiteral("db"));
    if (operands.size() + int(option) != 1 || (option && parser.value(QStringLiteral("db")).isEmpty())) {
        error = QString::fromLatin1(databaseWanted) + QStringLiteral(" Give it once: as URL or as --db URL.");
        return false;
    }
    request.db = option ? parser.value(QStringLiteral("db")) : operands.first();
    request.json = optionGiven(parser, jsonOption);
    return true;
}

bool readDbGrant(const QCommandLineParser &parser, Request &request, QString &error)
{
    request.login = parser.positionalArguments().value(0);
    request.roleKind = parser.positionalArguments().value(1);
    if (!LineRoles::isKind(request.roleKind)) {
        error = QStringLiteral("the role to grant is station, release or reader, not '%1'.").arg(request.roleKind);
        return false;
    }
    return readLineDb(parser, request, error);
}

bool readDbSet(const QCommandLineParser &parser, Request &request, QString &error)
{
    const QStringList operands = parser.positionalArguments();
    request.setting = LineSettings::nameOf(operands.value(0));
    request.settingOn = operands.value(1) == QLatin1String("on");
    if (request.setting.isEmpty() || (!request.settingOn && operands.value(1) != QLatin1String("off"))) {
        error = QStringLiteral("give require-release or require-operator, then on or off, not '%1'.")
                    .arg(operands.join(QLatin1Char(' ')));
        return false;
    }
    return readLineDb(parser, request, error);
}

bool readDbAudit(const QCommandLineParser &parser, Request &request, QString &error)
{
    request.json = parser.isSet(jsonOption);
    if (parser.isSet(sinceOption)) {
        const auto since = RecordSelection::parseWhen(parser.value(sinceOption), QDateTime::currentDateTime(), false);
        if (!since) {
            error = QStringLiteral("--since takes a date (2026-12-07), a date and time (2026-12-07 14:00), today, "
                                   "yesterday or a time ago (-8h, -30m, -2d), not '%1'.")
                        .arg(parser.value(sinceOption));
            return false;
        }
        request.since = QDateTime::fromMSecsSinceEpoch(*since).toString(Qt::ISODateWithMs);
    }
    return readLineDb(parser, request, error);
}

const char grantWanted[] = "name the login, then station, release or reader.";
const char settingWanted[] = "name the setting (require-release or require-operator), then on or off.";
const char orderWanted[] = "name one work order.";
bool readReleaseAdd(const QCommandLineParser &parser, Request &request, QString &error)
{
    request.file = parser.positionalArguments().value(0);
    request.name = parser.isSet(nameOption) ? parser.value(nameOption)
                                            : QFileInfo(request.file).fileName().remove(QRegularExpression("\\.conf$"));
    request.note = parser.isSet(noteOption) ? parser.value(noteOption) : QString();
    if (!readLineList(parser, request, error))
        return false;
    if (LineReleases::checkName(request.name, error))
        return true;
    error = QStringLiteral("%1 (give another with --name).").arg(error.chopped(1));
    return false;
}

// NAME or NAME@REV; `numbered`: the revision must be given.
bool readReleaseNamed(const QCommandLineParser &parser, Request &request, bool numbered, QString &error)
{
    request.release = parser.positionalArguments().value(0);
    QString name;
    int revision = 0;
    if (!readLineList(parser, request, error) || !LineReleases::parseReference(request.release, name, revision, error))
        return false;
    if (numbered && revision == 0)
        error = QStringLiteral("name the revision: NAME@REV, such as %1@1.").arg(name);
    return !numbered || revision > 0;
}

bool readReleaseShow(const QCommandLineParser &parser, Request &request, QString &error)
{
    request.bytesFile = parser.value(bytesOption);
    return readReleaseNamed(parser, request, false, error);
}

bool readReleaseRevoke(const QCommandLineParser &parser, Request &request, QString &error)
{
    request.reason = parser.value(reasonOption).trimmed();
    if (request.reason.isEmpty()) {
        error = QStringLiteral("say why with --reason TEXT: every station running the revision shows it.");
        return false;
    }
    return readReleaseNamed(parser, request, true, error);
}

const QString listenOption = QStringLiteral("listen");
const QString tokenFileOption = QStringLiteral("token-file");
// Long enough that it cannot be guessed by trying.
const int shortestToken = 16;

void addServeOptions(QCommandLineParser &parser)
{
    addLineDbOption(parser);
    parser.addOptions({
        {listenOption, QStringLiteral("Listen on ADDR:PORT (by default 127.0.0.1:8080; port 0 takes a free one). "
                                      "An address other than loopback needs --token-file."),
         QStringLiteral("ADDR:PORT")},
        {tokenFileOption, QStringLiteral("Ask every request for the token in FILE: as Authorization: Bearer TOKEN, "
                                         "or once as ?token=TOKEN, which sets a cookie."),
         QStringLiteral("FILE")},
    });
}

// ADDR:PORT, or [IPv6]:PORT.
bool readListen(const QString &text, Request &request, QString &error)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    bool number = false;
    const int port = text.mid(colon + 1).toInt(&number);
    QString address = text.left(colon);
    if (address.startsWith(QLatin1Char('[')) && address.endsWith(QLatin1Char(']')))
        address = address.mid(1, address.size() - 2);
    if (colon <= 0 || !number || port < 0 || port > 65535 || address.isEmpty()) {
        error = QStringLiteral("--listen takes ADDR:PORT, such as 127.0.0.1:8080 or [::1]:8080, not '%1'.").arg(text);
        return false;
    }
    request.listenAddress = address;
    request.listenPort = port;
    return true;
}

bool readToken(const QString &fileName, Request &request, QString &error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the token file %1: %2.").arg(fileName, file.errorString());
        return false;
    }
    request.token = QString::fromUtf8(file.read(4096)).trimmed();
    if (request.token.size() < shortestToken || request.token.contains(QRegularExpression(QStringLiteral("[\\s;,]")))) {
        error = QStringLiteral("the token in %1 must be at least %2 characters without spaces, commas or semicolons.")
                    .arg(fileName)
                    .arg(shortestToken);
        return false;
    }
    return true;
}

bool readServe(const QCommandLineParser &parser, Request &request, QString &error)
{
    if (!readLineDb(parser, request, error))
        return false;
    if (parser.isSet(listenOption) && !readListen(parser.value(listenOption), request, error))
        return false;
    if (parser.isSet(tokenFileOption))
        return readToken(parser.value(tokenFileOption), request, error);
    if (LineServer::isLoopback(request.listenAddress))
        return true;
    error = QStringLiteral("%1 can be reached from other computers: give --token-file FILE so that only those "
                           "who hold the token see the line.")
                .arg(request.listenAddress);
    return false;
}

const char releaseFileWanted[] = "name one configuration file to release.";
const char releaseWanted[] = "name one release, as NAME or NAME@REV.";
} // namespace

const std::vector<CliCommand> &CliCommand::all()
{
    static const std::vector<CliCommand> commands{
        {"ports", "what answers on each serial port", "ports [--port NAME]... [--json]",
         "Probes every candidate port at once and tells what it found: device,\n"
         "silent, no device, busy, no permission or cannot open, with what the system\n"
         "knows of the port.",
         Request::Ports, 0, nullptr, addProbeOptions, readProbe},
        {"clock get", "read the clock of the device(s)", "clock get [--port NAME]... [--all] [--json]",
         "Reads the time and the date of the device(s).", Request::ClockGet, 0, nullptr, addClockGetOptions,
         readProbe},
        {"clock set", "set the clock of the device(s)",
         "clock set (--from-pc | --time hh:mm:ss --date dd/MM/yyyy) [--verify] "
         "[--port NAME]... [--all] [--json] [--log FILE] [--db URL] [--operator NAME]",
         "Sets the time, then the date of the device(s).", Request::ClockSet, 0, nullptr, addClockSetOptions,
         readClockSet},
        {"download", "send a .conf file to the device(s), line by line",
         "download FILE [--port NAME]... [--all] [--dry-run] [--json] [--quiet] [--log FILE] "
         "[--values FILE.csv] [--counter NAME=START[:STEP]]... [--state FILE | --db URL] [--operator NAME]\n"
         "       download --release NAME[@REV] --db URL [options]",
         "Sends every command of the configuration FILE to each device in file\n"
         "order, each acknowledged before the next. Progress goes to standard error,\n"
         "results to standard output. {{NAME}} in a command takes each device's own\n"
         "value from --values or --counter, reserved in --state before it is sent.\n"
         "With --release, the configuration is a release of the line's database.",
         Request::Download, -1, nullptr, addDownloadOptions, readDownload},
        {"watch", "a production station: program every unit as it is attached",
         "watch (FILE | --order NAME --db URL) [--port NAME|PATTERN]... [--vid-pid VVVV:PPPP]... [--slot NAME=PORT]... "
         "[--set-clock [--verify]] [--retries N] [--units N] [--log FILE] [--values FILE.csv] "
         "[--counter NAME=START[:STEP]]... [--state FILE | --db URL [--no-live]] [--operator NAME] [--json] [--quiet]\n"
         "       watch (--release NAME[@REV] | --order NAME) --db URL [options]",
         "A production station: watches the ports and serves every unit once per\n"
         "attachment, as its port appears or as a present port starts answering.\n"
         "Each unit gets the computer's clock (with --set-clock) and the\n"
         "configuration FILE; one line per attempt goes to standard output, the\n"
         "slots' states to standard error. Runs until Ctrl-C, or --units N.\n"
         "With --release, it runs a release of the line's database until it is\n"
         "revoked: then it takes no new unit and exits 1. With --order, it runs the\n"
         "order's release and ends once the line has programmed its quantity ok.",
         Request::Watch, -1, nullptr, addWatchOptions, readWatch},
        {"report", "yield, units per hour and where units fail, from the records",
         "report [LOG...] [--db URL] [--since WHEN] [--until WHEN] [--station NAME] [--slot NAME] "
         "[--file NAME|SHA256] [--order NAME] [--json] [--html FILE]",
         "The figures a supervisor reads from the stations' records: units,\n"
         "first-pass and final yield, units per hour, cycle time and where units\n"
         "fail, by line, slot, station and file. LOG is a log as --log writes it\n"
         "(- reads standard input). Exit status 1 when no record is selected.",
         Request::Report, -1, nullptr, ReportOptions::addTo, readReport},
        {"db init", "create or upgrade the schema of a line's database", "db init (URL | --db URL)",
         "Creates the schema morlank in the PostgreSQL database URL (a libpq URL or\n"
         "key=value words), or upgrades it; run it as the database's owner. Run\n"
         "again, it changes nothing; a schema newer than this program is refused.",
         Request::DbInit, -1, nullptr, addDbOptions, readDb},
        {"db status", "what a line's database holds: lists, counters, stations", "db status (URL | --db URL) [--json]",
         "What the line's database holds: each values list (rows, handed out, left),\n"
         "each counter, each station's last record and records today, and the\n"
         "records that wait in this computer's spool.",
         Request::DbStatus, -1, nullptr, addDbStatusOptions, readDb},
        {"db grant", "give a login one of the line's roles", "db grant LOGIN station|release|reader --db URL",
         "Makes the existing login LOGIN a member of morlank_station (a station:\n"
         "records and values), morlank_release (releases and orders) or\n"
         "morlank_reader (reads everything, changes nothing), and notes it in the\n"
         "audit trail. Run it as the line's owner, which needs CREATEROLE.",
         Request::DbGrant, 2, grantWanted, addLineDbOption, readDbGrant},
        {"db set", "turn a line setting on or off", "db set require-release|require-operator on|off --db URL",
         "Changes a setting of the whole line, noted in the audit trail in the same\n"
         "transaction; the database's owner alone may. With require-operator on, a\n"
         "station without --operator exits 2 before anything is sent.",
         Request::DbSet, 2, settingWanted, addLineDbOption, readDbSet},
        {"db audit", "who changed what on the line, and when", "db audit [--since WHEN] [--json] --db URL",
         "The line's audit trail, oldest first: each release, revoke, order,\n"
         "setting and grant, with the database role, the computer's user and host,\n"
         "the time and the details. Nobody can change or delete a row of it.",
         Request::DbAudit, 0, nullptr, addDbAuditOptions, readDbAudit},
        {"order add", "add a work order: a quantity of one release",
         "order add NAME --release NAME[@REV] --quantity N [--note TEXT] --db URL",
         "Adds the work order NAME to the line's database: stations that run it with\n"
         "watch --order NAME program the release until N units are ok.",
         Request::OrderAdd, 1, orderWanted, addOrderAddOptions, readOrderAdd},
        {"order list", "the line's work orders and how far each has got", "order list --db URL [--json]",
         "Each work order: its release, ordered, ok, failed, in progress, remaining\n"
         "and first-pass yield.",
         Request::OrderList, 0, nullptr, addOrderListOptions, readLineList},
        {"order close", "close a work order: no station takes units for it any more", "order close NAME --db URL",
         "Closes the work order NAME: a station asks no more claims for it.", Request::OrderClose, 1, orderWanted,
         addLineDbOption, readOrderClose},
        {"release add", "release a configuration to the line's stations",
         "release add FILE --db URL [--name NAME] [--note TEXT]",
         "Stores the bytes of FILE in the line's database as the next revision of\n"
         "NAME, with its SHA-256, who released it and when. The same bytes as a\n"
         "revision of NAME already are that revision. A file that would not be\n"
         "downloaded (fewer than three commands, over 1 MiB) is refused.",
         Request::ReleaseAdd, 1, releaseFileWanted, addReleaseAddOptions, readReleaseAdd},
        {"release list", "the line's releases and their revisions", "release list --db URL [--json]",
         "Every revision of every release: its hash, size, who released it and\n"
         "when, and who revoked it, when and why.",
         Request::ReleaseList, 0, nullptr, addReleaseListOptions, readLineList},
        {"release show", "one revision of a release", "release show NAME[@REV] --db URL [--json] [--bytes FILE]",
         "What the line knows of a revision (without @REV, the newest in force);\n"
         "--bytes writes its file.",
         Request::ReleaseShow, 1, releaseWanted, addReleaseShowOptions, readReleaseShow},
        {"release revoke", "stop every station running a revision", "release revoke NAME@REV --reason TEXT --db URL",
         "Revokes a revision: every station running it takes no new unit within\n"
         "10 s and ends, saying why; it never runs again.",
         Request::ReleaseRevoke, 1, releaseWanted, addReleaseRevokeOptions, readReleaseRevoke},
        {"serve", "the line, live: a page of every station and slot, over HTTP",
         "serve --db URL [--listen ADDR:PORT] [--token-file FILE]",
         "Serves the line's page: every station of the line and every slot as it\n"
         "changes, a station silent for more than 15 s marked so, and today's\n"
         "figures; /api/line gives the same as JSON, /events as server-sent events.\n"
         "It only reads the database: a reader's role suffices. It listens on\n"
         "127.0.0.1:8080 unless told otherwise; any other address needs a token.",
         Request::Serve, 0, nullptr, addServeOptions, readServe},
    };
    return commands;
}
