#ifndef CLOCKREADJOB_H
#define CLOCKREADJOB_H

#include "jobs/devicejob.h"

#include <QDate>
#include <QTime>

// Reads a device's clock as the window does: the time, then the date. A value
// is invalid where the window would keep its field unchanged (no answer, or a
// text that does not parse with the clock formats).
class ClockReadJob : public DeviceJob
{
public:
    struct Result
    {
        QTime time;
        QDate date;
        bool interrupted = false;
    };

    void run(DeviceLink &link, const std::atomic<bool> &stop) override;
    const Result &result() const;

    // One reading each; also used to check a clock just written.
    static QTime readTime(DeviceLink &link);
    static QDate readDate(DeviceLink &link);

private:
    Result outcome;
};

#endif // CLOCKREADJOB_H
