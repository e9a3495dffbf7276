#include "linepage/linetoday.h"

#include "linepage/linereport.h"

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
    return LineReport::read(url, today, figures, error);
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
