#ifndef CLOCKWRITEJOB_H
#define CLOCKWRITEJOB_H

#include "devicejob.h"

#include <QDateTime>

#include <optional>

// Sets a device's clock as the window does, the time first, then the date,
// and with `verify` reads both back.
class ClockWriteJob : public DeviceJob
{
public:
    struct Result
    {
        QDateTime written;
        bool timeAcknowledged = false;
        bool dateAcknowledged = false;
        std::optional<bool> verified; // empty without `verify`
        bool interrupted = false;
    };

    // An invalid `target` stands for the computer's clock when the job runs.
    ClockWriteJob(const QDateTime &target, bool verify);

    void run(DeviceLink &link, const std::atomic<bool> &stop) override;
    const Result &result() const;

private:
    bool readBackMatches(DeviceLink &link, qint64 elapsedMs) const;

    const QDateTime target;
    const bool verify;
    Result outcome;
};

#endif // CLOCKWRITEJOB_H
