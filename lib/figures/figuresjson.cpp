#include "figures/figuresjson.h"

#include <QDateTime>
#include <QJsonArray>

#include <cmath>

namespace {
QJsonValue rounded(const std::optional<double> &value, int decimals)
{
    if (!value)
        return QJsonValue();
    const double scale = std::pow(10.0, decimals);
    return std::round(*value * scale) / scale;
}

QJsonValue secondsJson(const std::optional<qint64> &ms)
{
    return ms ? QJsonValue(*ms / 1000.0) : QJsonValue();
}

enum class RateKind { Slot, Station, File };

QJsonValue orNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QJsonArray ratesJson(const QVector<Figures::Rate> &rates, RateKind kind)
{
    QJsonArray list;
    for (const Figures::Rate &rate : rates) {
        QJsonObject entry{{"attempts", rate.attempts},
                          {"failed", rate.failed},
                          {"failure_rate", rounded(rate.failureRate(), 4)}};
        if (kind != RateKind::File)
            entry.insert(QStringLiteral("station"), rate.station);
        if (kind == RateKind::Slot)
            entry.insert(QStringLiteral("slot"), rate.name);
        if (kind == RateKind::File) {
            entry.insert(QStringLiteral("file"), orNull(rate.name));
            entry.insert(QStringLiteral("sha256"), orNull(rate.sha256));
        }
        list << entry;
    }
    return list;
}
} // namespace

namespace FiguresJson {
QJsonObject toJson(const Figures &figures)
{
    QJsonArray failures;
    for (const Figures::FailureGroup &group : figures.failures) {
        failures << QJsonObject{{"line", group.line ? QJsonValue(group.line) : QJsonValue()},
                                {"command", orNull(group.command)},
                                {"answers", QJsonArray::fromStringList(group.answers)},
                                {"count", group.count}};
    }
    QJsonArray hours;
    for (const Figures::Hour &hour : figures.hours) {
        hours << QJsonObject{{"hour", hour.hour},
                             {"units", hour.units},
                             {"first_pass_yield", rounded(hour.firstPassYield(), 4)}};
    }
    QJsonArray skipped;
    for (const SkippedRecord &record : figures.skipped)
        skipped << QJsonObject{{"file", record.origin}, {"line", record.line}, {"reason", record.reason}};
    return QJsonObject{
        {"records", figures.records},
        {"duplicates", figures.duplicates},
        {"units", figures.units},
        {"pulled", figures.pulled},
        {"interrupted", figures.interrupted},
        {"first_pass_yield", rounded(figures.firstPassYield(), 4)},
        {"final_yield", rounded(figures.finalYield(), 4)},
        {"units_per_hour", rounded(figures.unitsPerHour(), 2)},
        {"units_per_hour_reason", figures.rateMissing().isEmpty() ? QJsonValue() : QJsonValue(figures.rateMissing())},
        {"cycle_seconds", QJsonObject{{"median", secondsJson(figures.cycleMedianMs)},
                                      {"p90", secondsJson(figures.cycleP90Ms)}}},
        {"failures", failures},
        {"slots", ratesJson(figures.bySlot, RateKind::Slot)},
        {"stations", ratesJson(figures.byStation, RateKind::Station)},
        {"files", ratesJson(figures.byFile, RateKind::File)},
        {"hours", hours},
        {"skipped", skipped},
    };
}

QString percent(const std::optional<double> &ratio)
{
    return ratio ? QStringLiteral("%1 %").arg(*ratio * 100, 0, 'f', 1) : QStringLiteral("–");
}

QString localTime(qint64 msSinceEpoch, int offsetMinutes)
{
    return QDateTime::fromMSecsSinceEpoch(msSinceEpoch, Qt::OffsetFromUTC, offsetMinutes * 60)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString answers(const QStringList &answers)
{
    QStringList shown;
    for (const QString &answer : answers)
        shown << (answer.isEmpty() ? QStringLiteral("(nothing)") : answer);
    return shown.join(QStringLiteral(" | "));
}

QString seconds(const std::optional<qint64> &milliseconds)
{
    return milliseconds ? QStringLiteral("%1 s").arg(*milliseconds / 1000.0, 0, 'f', 2) : QStringLiteral("–");
}
} // namespace FiguresJson
