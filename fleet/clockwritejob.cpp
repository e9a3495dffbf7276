#include "clockwritejob.h"

#include "clockformats.h"
#include "clockreadjob.h"
#include "devicelink.h"

#include <QElapsedTimer>

namespace {
// A clock read back may differ from what was written by this much, plus the
// time the exchange took: the device's clock runs on meanwhile and the texts
// carry whole seconds.
const qint64 verifyToleranceMs = 2000;
} // namespace

ClockWriteJob::ClockWriteJob(const QDateTime &t, bool v)
    : target(t)
    , verify(v)
{
}

void ClockWriteJob::run(DeviceLink &link, const std::atomic<bool> &stop)
{
    const auto stopped = [&] { return outcome.interrupted = stop; };
    QElapsedTimer exchange;
    exchange.start();
    outcome.written = target.isValid() ? target : QDateTime::currentDateTime();
    if (stopped())
        return;
    outcome.timeAcknowledged = link.setTime(outcome.written.toString(clockTimeFormat));
    if (stopped())
        return;
    outcome.dateAcknowledged = link.setDate(outcome.written.toString(clockDateFormat));
    if (verify && !stopped())
        outcome.verified = readBackMatches(link, exchange.elapsed());
}

const ClockWriteJob::Result &ClockWriteJob::result() const
{
    return outcome;
}

bool ClockWriteJob::readBackMatches(DeviceLink &link, qint64 elapsedMs) const
{
    QElapsedTimer reading;
    reading.start();
    const QTime time = ClockReadJob::readTime(link);
    const QDate date = ClockReadJob::readDate(link);
    if (!time.isValid() || !date.isValid())
        return false;
    const qint64 allowedMs = verifyToleranceMs + elapsedMs + reading.elapsed();
    // Time and date are written and read one after the other: when midnight
    // passes in between, the date read back is a day off from the time. Only
    // that close to midnight may the two be a day apart.
    const bool nearMidnight = qMin(QTime(0, 0).msecsTo(time), time.msecsTo(QTime(23, 59, 59, 999))) <= allowedMs;
    for (const int days : {0, -1, 1}) {
        const QDateTime readBack(date.addDays(days), time);
        if ((days == 0 || nearMidnight) && qAbs(outcome.written.msecsTo(readBack)) <= allowedMs)
            return true;
    }
    return false;
}
