#ifndef CLOCKWRITEJOB_H
#define CLOCKWRITEJOB_H

#include "jobs/devicejob.h"
#include "jobs/wallclock.h"

#include <optional>

// Sets a device's clock as the window does, the time first, then the date,
// and with `verify` reads both back.
class ClockWriteJob : public DeviceJob
{
public:
    struct Result
    {
        WallClock written;
        bool timeAcknowledged = false;
        bool dateAcknowledged = false;
        std::optional<bool> verified; // empty without `verify`
        WallClock readBack;           // invalid when it could not be read
        bool interrupted = false;
    };

    // Without a `target`, the computer's clock when the job runs.
    ClockWriteJob(const std::optional<WallClock> &target, bool verify);

    void run(DeviceLink &link, const std::atomic<bool> &stop) override;
    // Whether it is reading the clock back, asked from any thread.
    bool isVerifying() const;
    const Result &result() const;

private:
    bool readBackMatches(DeviceLink &link, qint64 sinceWrittenMs);

    const std::optional<WallClock> target;
    const bool verify;
    std::atomic<bool> verifying{false};
    Result outcome;
};

#endif // CLOCKWRITEJOB_H
