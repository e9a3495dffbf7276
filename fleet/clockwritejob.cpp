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
    const qint64 differenceMs = outcome.written.msecsTo(QDateTime(date, time));
    return qAbs(differenceMs) <= verifyToleranceMs + elapsedMs + reading.elapsed();
}
