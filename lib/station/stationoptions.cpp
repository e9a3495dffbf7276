#include "station/stationoptions.h"

#include "base/commandlineoptions.h"
#include "line/lineorders.h"
#include "line/linereleases.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <algorithm>

namespace {
const QString portOption = QStringLiteral("port");
const QString vidPidOption = QStringLiteral("vid-pid");
const QString slotOption = QStringLiteral("slot");
const QString setClockOption = QStringLiteral("set-clock");
const QString verifyOption = QStringLiteral("verify");
const QString retriesOption = QStringLiteral("retries");
const QString unitsOption = QStringLiteral("units");
const QString logOption = QStringLiteral("log");
const QString valuesOption = QStringLiteral("values");
const QString counterOption = QStringLiteral("counter");
const QString stateOption = QStringLiteral("state");
const QString dbOption = QStringLiteral("db");
const QString noLiveOption = QStringLiteral("no-live");
const QString operatorOption = QStringLiteral("operator");
// A name a person types, kept in every record.
const int longestOperator = 64;
const QString orderOption = QStringLiteral("order");
const QString releaseOption = QStringLiteral("release");

// A whole number of at least `minimum`; an option left out keeps `value`.
bool readCount(const QCommandLineParser &parser, const QString &option, int minimum, int &value, QString &error)
{
    if (readWholeNumber(parser, option, minimum, value))
        return true;
    error = QStringLiteral("--%1 takes a whole number, %2 or more, not '%3'.")
                .arg(option)
                .arg(minimum)
                .arg(parser.value(option));
    return false;
}

// A name is printed on the terminal and shown on a tile: no control
// characters; one name a slot, one slot a port.
bool readSlotName(const QString &name, const QString &port, const QVector<QPair<QString, QString>> &earlier,
                  QString &error)
{
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format) {
            error = QStringLiteral("--slot: the name for %1 holds a control character (U+%2); a slot's name is "
                                   "shown as it is, so it must be plain text.")
                        .arg(port, QString::number(c.unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0')));
            return false;
        }
    }
    for (const auto &slot : earlier) {
        if (slot.first == name) {
            error = QStringLiteral("--slot names two ports '%1': %2 and %3.").arg(name, slot.second, port);
            return false;
        }
        if (slot.second == port) {
            error = QStringLiteral("--slot gives the port %1 two names: '%2' and '%3'.").arg(port, slot.first, name);
            return false;
        }
    }
    return true;
}
} // namespace

void StationOptions::addTo(QCommandLineParser &parser)
{
    parser.addOptions({
        {portOption,
         QStringLiteral("Watch this port (a name, a path, or a shell pattern such as '/dev/serial/by-path/*usb*' "
                        "matched against paths at each look) instead of every port the system lists; may be "
                        "repeated."),
         QStringLiteral("NAME|PATTERN")},
        {vidPidOption, QStringLiteral("Only ports of USB adapters with this vendor and product id; may be repeated."),
         QStringLiteral("VVVV:PPPP")},
        {slotOption, QStringLiteral("Call the slot of PORT (as given or matched) NAME; may be repeated."),
         QStringLiteral("NAME=PORT")},
        {setClockOption, QStringLiteral("Set each unit's clock from the computer's first.")},
        {verifyOption,
         QStringLiteral("With --set-clock: read the clock back and fail a unit that differs by more than 2 s.")},
        {retriesOption, QStringLiteral("Serve a unit that failed up to N more times while it stays attached."),
         QStringLiteral("N")},
        {unitsOption, QStringLiteral("Stop once N units have had their last attempt."), QStringLiteral("N")},
        {logOption,
         QStringLiteral("Append one JSON line per attempt per device to FILE, synced to disk before the attempt is "
                        "reported."),
         QStringLiteral("FILE")},
    });
    addValueOptions(parser);
    addDatabaseOption(parser);
    parser.addOption({noLiveOption, QStringLiteral("Do not publish this station's slots to the line's page.")});
    addOperatorOption(parser);
    parser.addOption({orderOption,
                      QStringLiteral("Run the work order NAME of the --db database: its release, until the line has "
                                     "programmed its quantity; instead of FILE."),
                      QStringLiteral("NAME")});
    addReleaseOption(parser);
}

void StationOptions::addOperatorOption(QCommandLineParser &parser)
{
    parser.addOption({operatorOption, QStringLiteral("Who runs the station, kept in every record; required when the "
                                                     "line's setting require-operator is on."),
                      QStringLiteral("NAME")});
}

bool StationOptions::readOperator(const QCommandLineParser &parser, QString &operatorName, QString &error)
{
    operatorName = parser.value(operatorOption).trimmed();
    const bool control =
        std::any_of(operatorName.cbegin(), operatorName.cend(), [](QChar c) { return c.category() == QChar::Other_Control; });
    if (!control && operatorName.size() <= longestOperator && (operatorName.size() || !parser.isSet(operatorOption)))
        return true;
    error = QStringLiteral("--operator takes a name of 1 to %1 characters without control characters.")
                .arg(longestOperator);
    return false;
}

// An order brings its release: no FILE, no --release; and it lives in a
// line's database.
bool StationOptions::readOrder(const QCommandLineParser &parser, QString &error)
{
    order = optionGiven(parser, orderOption) ? parser.value(orderOption) : QString();
    const int files = int(parser.positionalArguments().size());
    if (order.isEmpty())
        return true;
    error = optionGiven(parser, QStringLiteral("release"))
                ? QStringLiteral("--order runs the order's own release: give --order or --release, not both.")
            : files > 0 ? QStringLiteral("--order runs the order's own release: give --order or FILE, not both.")
            : db.isEmpty() ? QStringLiteral("--order names an order of a line's database: give --db URL as well.")
                           : LineOrders::badName(QStringLiteral("--order: the order's"), order);
    return error.isEmpty();
}

void StationOptions::addReleaseOption(QCommandLineParser &parser)
{
    parser.addOption({releaseOption,
                      QStringLiteral("Send this release of the line (NAME, its newest revision in force, or "
                                     "NAME@REV), read from --db, instead of a FILE."),
                      QStringLiteral("NAME[@REV]")});
}

bool StationOptions::readConfiguration(const QCommandLineParser &parser, const QString &db, QString &file,
                                       QString &release, QString &error)
{
    const QStringList positional = parser.positionalArguments();
    release = optionGiven(parser, releaseOption) ? parser.value(releaseOption) : QString();
    file = positional.value(0);
    if (positional.size() > 1) {
        error = QStringLiteral("unexpected argument '%1'.").arg(positional.at(1));
        return false;
    }
    if (!optionGiven(parser, releaseOption))
        return true;
    QString name;
    int revision = 0;
    if (!file.isEmpty())
        error = QStringLiteral("--release and a FILE exclude each other: give one configuration.");
    else if (db.isEmpty())
        error = QStringLiteral("--release reads the release from the line's database: give --db URL as well.");
    else if (LineReleases::parseReference(release, name, revision, error))
        return true;
    else
        error = QStringLiteral("--release: ") + error;
    return false;
}

void StationOptions::addDatabaseOption(QCommandLineParser &parser)
{
    parser.addOption({dbOption,
                      QStringLiteral("One station of a line: values from and records to this PostgreSQL database "
                                     "(a libpq URL or key=value words; give the password in ~/.pgpass or "
                                     "PGPASSWORD). Excludes --state."),
                      QStringLiteral("URL")});
}

bool StationOptions::readDatabase(const QCommandLineParser &parser, QString &db, QString &error)
{
    db = optionGiven(parser, dbOption) ? parser.value(dbOption) : QString();
    if (db.isEmpty() || !optionGiven(parser, stateOption))
        return true;
    error = QStringLiteral("--db and --state exclude each other: with --db the database keeps what was handed "
                           "out, for every station of the line.");
    return false;
}

void StationOptions::addValueOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {valuesOption,
         QStringLiteral("Fill the configuration's {{NAME}} placeholders from this CSV list, one row per unit."),
         QStringLiteral("FILE.csv")},
        {counterOption,
         QStringLiteral("Fill {{NAME}} from a counter: START for the first unit, then STEP more for each (leading "
                        "zeros keep the width); may be repeated."),
         QStringLiteral("NAME=START[:STEP]")},
        {stateOption,
         QStringLiteral("Keep what was handed out in FILE, so that no value is handed out twice (needed with "
                        "--values or --counter)."),
         QStringLiteral("FILE")},
    });
}

ValueReservations::Sources StationOptions::valueSources(const QCommandLineParser &parser)
{
    return {parser.value(valuesOption), parser.values(counterOption), parser.value(stateOption)};
}

bool StationOptions::read(const QCommandLineParser &parser, QString &error)
{
    static const QRegularExpression usbId(QStringLiteral("^[0-9a-fA-F]{4}:[0-9a-fA-F]{4}$"));
    ports = parser.values(portOption);
    for (const QString &vidPid : parser.values(vidPidOption)) {
        if (!usbId.match(vidPid).hasMatch()) {
            error = QStringLiteral("--vid-pid takes a USB id as VVVV:PPPP in hex, such as 0403:6001, not '%1'.")
                        .arg(vidPid);
            return false;
        }
        vidPids << vidPid.toLower();
    }
    for (const QString &slot : parser.values(slotOption)) {
        const int equals = slot.indexOf(QLatin1Char('='));
        if (equals <= 0 || equals == slot.size() - 1) {
            error = QStringLiteral("--slot takes NAME=PORT, such as \"Slot 3=/dev/ttyUSB2\", not '%1'.").arg(slot);
            return false;
        }
        const QString name = slot.left(equals);
        const QString port = slot.mid(equals + 1);
        if (!readSlotName(name, port, slotNames, error))
            return false;
        slotNames << qMakePair(name, port);
    }
    setClock = parser.isSet(setClockOption);
    verify = parser.isSet(verifyOption);
    if (verify && !setClock) {
        error = QStringLiteral("--verify reads back the clock that --set-clock writes: give both.");
        return false;
    }
    log = parser.value(logOption);
    publishLive = !parser.isSet(noLiveOption);
    values = valueSources(parser);
    if (!readDatabase(parser, db, error) || !readConfiguration(parser, db, file, release, error)
        || !readOperator(parser, operatorName, error) || !readOrder(parser, error))
        return false;
    return readCount(parser, retriesOption, 0, retries, error) && readCount(parser, unitsOption, 1, units, error);
}
