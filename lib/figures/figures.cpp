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
    if (records == 0 || spanMs <= 0)
        return std::nullopt;
    return units * 3600000.0 / spanMs;
}

std::optional<double> Figures::Hour::firstPassYield() const
{
    return ratio(firstPassOk, firstPassCounted);
}
