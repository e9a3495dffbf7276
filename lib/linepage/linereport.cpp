#include "linepage/linereport.h"

#include "figures/reportpage.h"
#include "figures/reportreader.h"
#include "line/databaserecords.h"

#include <QStringList>

#include <cstdio>

namespace {
LineReport::Answer plain(int status, const QString &text)
{
    return {status, (text + QLatin1Char('\n')).toUtf8(), "text/plain; charset=utf-8"};
}
} // namespace

LineReport::Answer LineReport::page(const QString &url, const QMap<QString, QString> &query, const QDateTime &now)
{
    RecordSelection selection;
    QString words;
    QString error;
    if (!select(query, now, selection, words, error))
        return plain(400, error);
    Figures figures;
    if (!read(url, selection, figures, error)) {
        // The reason may name the server: it goes to the log, not the page.
        std::fprintf(stderr, "morlank-cli: /report: %s\n", qUtf8Printable(error));
        return plain(503, QStringLiteral("The line's records cannot be read now: try again shortly."));
    }
    if (figures.records == 0)
        return plain(404, QStringLiteral("No record in the selection (%1).").arg(words));
    return {200, ReportPage::html(figures, words)};
}

bool LineReport::read(const QString &url, const RecordSelection &selection, Figures &figures, QString &error)
{
    const std::unique_ptr<RecordSource> records = databaseRecords(url, selection.sinceMs, selection.untilMs, error);
    if (!records)
        return false;
    ShiftFigures counted;
    if (!ReportReader(selection).read(*records, counted)) {
        error = records->error();
        return false;
    }
    figures = counted.figures();
    return true;
}

bool LineReport::select(const QMap<QString, QString> &query, const QDateTime &now, RecordSelection &selection,
                        QString &words, QString &error)
{
    QMap<QString, QString> asked = query;
    if (!asked.contains(QStringLiteral("since")) && !asked.contains(QStringLiteral("until")))
        asked.insert(QStringLiteral("since"), QStringLiteral("today"));
    QStringList said;
    for (const QString &name : {QStringLiteral("since"), QStringLiteral("until")}) {
        if (!asked.contains(name))
            continue;
        const auto when = RecordSelection::parseWhen(asked.value(name), now, name == QLatin1String("until"));
        if (!when) {
            error = RecordSelection::badWhen(name, asked.value(name));
            return false;
        }
        (name == QLatin1String("since") ? selection.sinceMs : selection.untilMs) = when;
        said << QStringLiteral("%1 %2").arg(name, asked.value(name));
    }
    selection.station = asked.value(QStringLiteral("station"));
    selection.slot = asked.value(QStringLiteral("slot"));
    selection.file = asked.value(QStringLiteral("file"));
    for (const QString &name : {QStringLiteral("station"), QStringLiteral("slot"), QStringLiteral("file")}) {
        if (!asked.value(name).isEmpty())
            said << QStringLiteral("%1 %2").arg(name, asked.value(name));
    }
    words = said.join(QStringLiteral(", "));
    return true;
}
