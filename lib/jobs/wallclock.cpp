#include "jobs/wallclock.h"

#include <QDateTime>

namespace {
const qint64 msecsPerDay = 24 * 60 * 60 * 1000;
} // namespace

bool WallClock::isValid() const
{
    return time.isValid() && date.isValid();
}

qint64 WallClock::msecs() const
{
    return date.toJulianDay() * msecsPerDay + time.msecsSinceStartOfDay();
}

QString WallClock::text() const
{
    return time.toString(QStringLiteral("hh:mm:ss")) + QLatin1Char(' ') + date.toString(QStringLiteral("dd/MM/yyyy"));
}

WallClock WallClock::now()
{
    const QDateTime local = QDateTime::currentDateTime();
    return {local.time(), local.date()};
}
