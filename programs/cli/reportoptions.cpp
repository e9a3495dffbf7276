#include "cli/reportoptions.h"

#include <QCommandLineParser>

namespace {
const QString dbOption = QStringLiteral("db");
const QString sinceOption = QStringLiteral("since");
const QString untilOption = QStringLiteral("until");
const QString stationOption = QStringLiteral("station");
const QString slotOption = QStringLiteral("slot");
const QString fileOption = QStringLiteral("file");
const QString jsonOption = QStringLiteral("json");
const QString htmlOption = QStringLiteral("html");

bool readWhen(const QCommandLineParser &parser, const QString &option, const QDateTime &now,
              std::optional<qint64> &when, QString &error)
{
    if (!parser.isSet(option))
        return true;
    when = RecordSelection::parseWhen(parser.value(option), now, option == untilOption);
    if (!when)
        error = RecordSelection::badWhen(QStringLiteral("--") + option, parser.value(option));
    return bool(when);
}
} // namespace

void ReportOptions::addTo(QCommandLineParser &parser)
{
    parser.addOptions({
        {dbOption, QStringLiteral("Read the records of a line's database."), QStringLiteral("URL")},
        {sinceOption, QStringLiteral("Only records that ended from WHEN on: a date, a date and time, today, "
                                     "yesterday or -8h."),
         QStringLiteral("WHEN")},
        {untilOption, QStringLiteral("Only records that ended before WHEN (a date: before its end)."),
         QStringLiteral("WHEN")},
        {stationOption, QStringLiteral("Only this station's records."), QStringLiteral("NAME")},
        {slotOption, QStringLiteral("Only this slot's records."), QStringLiteral("NAME")},
        {fileOption, QStringLiteral("Only records of this configuration file: its name, its path or the start "
                                    "of its SHA-256."),
         QStringLiteral("NAME|SHA256")},
        {jsonOption, QStringLiteral("Print the figures as one JSON object.")},
        {htmlOption, QStringLiteral("Write the report as one HTML page with charts to FILE."), QStringLiteral("FILE")},
        {QStringLiteral("order"), QStringLiteral("With --db: the work order NAME first: ordered, ok, failed, in "
                                                 "progress, remaining, first-pass yield."),
         QStringLiteral("NAME")},
    });
}

bool ReportOptions::read(const QCommandLineParser &parser, const QDateTime &now, QString &error)
{
    logs = parser.positionalArguments();
    database = parser.value(dbOption);
    if (logs.isEmpty() && !parser.isSet(dbOption)) {
        error = QStringLiteral("name the logs to read (- for standard input), or a database with --db.");
        return false;
    }
    if (!readWhen(parser, sinceOption, now, selection.sinceMs, error)
        || !readWhen(parser, untilOption, now, selection.untilMs, error))
        return false;
    selection.station = parser.value(stationOption);
    selection.slot = parser.value(slotOption);
    selection.file = parser.value(fileOption);
    json = parser.isSet(jsonOption);
    html = parser.value(htmlOption);
    order = parser.value(QStringLiteral("order"));
    if (parser.isSet(QStringLiteral("order")) && database.isEmpty()) {
        error = QStringLiteral("--order names an order of a line's database: give --db URL as well.");
        return false;
    }
    if (parser.isSet(htmlOption) && html.isEmpty()) {
        error = QStringLiteral("--html takes the name of the page to write.");
        return false;
    }
    QStringList words;
    for (const QString &option : {sinceOption, untilOption, stationOption, slotOption, fileOption}) {
        if (parser.isSet(option))
            words << QStringLiteral("%1 %2").arg(option, parser.value(option));
    }
    selectionText = words.isEmpty() ? QStringLiteral("every record") : words.join(QStringLiteral(", "));
    return true;
}
