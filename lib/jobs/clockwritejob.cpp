#include "jobs/clockwritejob.h"

#include "device/clockformats.h"
#include "device/devicelink.h"
#include "jobs/clockreadjob.h"

#include <QElapsedTimer>
#include <QThread>

namespace {
// A clock read back may differ from what was written by this much, plus the
// time the reading took: the texts carry whole seconds.
const qint64 verifyToleranceMs = 2000;
const qint64 msecsPerDay = 24 * 60 * 60 * 1000;
// Longer than writing the time and then the date can take, late answers
// waited for included.
const qint64 midnightMarginMs = 5000;
const unsigned long dayTurnPollMs = 50;

qint64 msecsToMidnight(const QTime &time)
{
    return time.msecsTo(QTime(23, 59, 59, 999)) + 1;
}

// The time and the date are two writes: a day that turns between them would
// leave the device a whole day behind. Close to midnight the new day is
// waited for.
WallClock computerClockAwayFromMidnight(const std::atomic<bool> &stop)
{
    WallClock now = WallClock::now();
    while (msecsToMidnight(now.time) <= midnightMarginMs && !stop) {
        QThread::msleep(dayTurnPollMs);
        now = WallClock::now();
    }
    return now;
}
} // namespace

ClockWriteJob::ClockWriteJob(const std::optional<WallClock> &t, bool v)
    : target(t)
    , verify(v)
{
}

void ClockWriteJob::run(DeviceLink &link, const std::atomic<bool> &stop)
{
    const auto stopped = [&] { return outcome.interrupted = stop; };
    outcome.written = target ? *target : computerClockAwayFromMidnight(stop);
    QElapsedTimer sinceWritten;
    sinceWritten.start();
    if (stopped())
        return;
    outcome.timeAcknowledged = link.setTime(outcome.written.time.toString(clockTimeFormat));
    if (stopped())
        return;
    outcome.dateAcknowledged = link.setDate(outcome.written.date.toString(clockDateFormat));
    if (verify && !stopped()) {
        verifying = true;
        outcome.verified = readBackMatches(link, sinceWritten.elapsed());
    }
}

bool ClockWriteJob::isVerifying() const
{
    return verifying;
}

const ClockWriteJob::Result &ClockWriteJob::result() const
{
    return outcome;
}

// The device's clock has run on since it was written: it should read what was
// written plus the time since, give or take the tolerance.
bool ClockWriteJob::readBackMatches(DeviceLink &link, qint64 sinceWrittenMs)
{
    QElapsedTimer reading;
    reading.start();
    WallClock &read = outcome.readBack;
    read.time = ClockReadJob::readTime(link);
    const qint64 timeReadMs = reading.elapsed();
    read.date = ClockReadJob::readDate(link);
    if (!read.isValid())
        return false;
    const qint64 expected = outcome.written.msecs() + sinceWrittenMs;
    const auto matches = [&](qint64 readBack) {
        return qAbs(readBack - expected) <= verifyToleranceMs + timeReadMs;
    };
    if (matches(read.msecs()))
        return true;
    // The date is read after the time: when the device's day turns between
    // the two, the date read is one day ahead of the time read, and only then.
    const bool dayMayHaveTurned = msecsToMidnight(read.time) <= reading.elapsed() + 1000;
    return dayMayHaveTurned && matches(read.msecs() - msecsPerDay);
}
