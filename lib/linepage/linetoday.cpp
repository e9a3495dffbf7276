#include "linepage/linetoday.h"

#include "figures/reportreader.h"
#include "line/databaserecords.h"

#include <QJsonArray>

namespace {
// The failing lines the page names, most failed first.
const int failuresShown = 5;

QJsonValue orNull(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}
} // namespace

bool LineToday::read(const QString &url, const QDateTime &now, Figures &figures, QString &error)
{
    RecordSelection today;
    today.sinceMs = QDateTime(now.date(), QTime(0, 0), now.timeSpec()).toMSecsSinceEpoch();
    const std::unique_ptr<RecordSource> records = databaseRecords(url, today.sinceMs, std::nullopt, error);
    if (!records)
        return false;
    ShiftFigures counted;
    if (!ReportReader(today).read(*records, counted)) {
        error = records->error();
        return false;
    }
    figures = counted.figures();
    return true;
}

QJsonObject LineToday::toJson(const Figures &figures)
{
    QJsonArray failures;
    for (const Figures::FailureGroup &group : figures.failures.mid(0, failuresShown))
        failures << QJsonObject{{"line", group.line}, {"command", group.command}, {"count", group.count}};
    return {{"units", figures.units},
            {"first_pass_yield", orNull(figures.firstPassYield())},
            {"units_per_hour", orNull(figures.unitsPerHour())},
            {"units_per_hour_reason", figures.unitsPerHour() ? QJsonValue() : QJsonValue(figures.rateMissing())},
            {"failures", failures}};
}
