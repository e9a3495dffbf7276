#include "figures/figures.h"

namespace {
std::optional<double> ratio(qint64 part, qint64 whole)
{
    if (whole <= 0)
        return std::nullopt;
    return double(part) / whole;
}
} // namespace

std::optional<double> Figures::firstPassYield() const
{
    return ratio(firstPassOk, firstPassCounted);
}

std::optional<double> Figures::finalYield() const
{
    return ratio(finalOk, finalCounted);
}

std::optional<double> Figures::unitsPerHour() const
{
    const qint64 spanMs = lastEndedMs - firstStartedMs;
    if (records == 0 || spanMs < rateSpanMs)
        return std::nullopt;
    return units * 3600000.0 / spanMs;
}

QString Figures::rateMissing() const
{
    if (records == 0)
        return QStringLiteral("no records");
    if (unitsPerHour())
        return {};
    return QStringLiteral("too short a span for a rate: %1 s from the first start to the last end, under %2 minutes")
        .arg(double(lastEndedMs - firstStartedMs) / 1000, 0, 'f', 1)
        .arg(rateSpanMs / 60000);
}

std::optional<double> Figures::Hour::firstPassYield() const
{
    return ratio(firstPassOk, firstPassCounted);
}
