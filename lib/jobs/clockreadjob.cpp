#include "jobs/clockreadjob.h"

#include "device/clockformats.h"
#include "device/devicelink.h"

#include <QDateTime>

void ClockReadJob::run(DeviceLink &link, const std::atomic<bool> &stop)
{
    const auto stopped = [&] { return outcome.interrupted = stop; };
    if (stopped())
        return;
    outcome.time = readTime(link);
    if (!stopped())
        outcome.date = readDate(link);
}

const ClockReadJob::Result &ClockReadJob::result() const
{
    return outcome;
}

QTime ClockReadJob::readTime(DeviceLink &link)
{
    QString text;
    return link.getTime(text) ? QDateTime::fromString(text, clockTimeFormat).time() : QTime();
}

QDate ClockReadJob::readDate(DeviceLink &link)
{
    QString text;
    return link.getDate(text) ? QDateTime::fromString(text, clockDateFormat).date() : QDate();
}
