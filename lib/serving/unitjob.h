#ifndef UNITJOB_H
#define UNITJOB_H

#include "jobs/devicejob.h"
#include "serving/unitservice.h"

#include <atomic>

// A unit served by the fleet on the one road: its values are reserved in the
// thread that makes the job, in the order of the ports, before any job
// starts; its attempt runs in the port's own thread.
class UnitJob : public DeviceJob, private UnitService::Watcher
{
public:
    UnitJob(const UnitPlan &plan, RecordKeeper &keeper, const QString &port);

    UnitService::Values giveValues();
    void run(DeviceLink &link, const std::atomic<bool> &stop) override;

    // Progress, read from any thread while the job runs.
    int commandsDone() const;
    int failuresSoFar() const;
    // Once the job's thread has finished, or giveValues() gave none.
    const UnitService &service() const;
    const UnitService::Attempt &attempt() const;

private:
    void working(const ClockWriteJob *clock, const DownloadJob *download) override;
    void finished(const UnitService::Attempt &attempt) override;

    UnitService unit;
    std::atomic<const DownloadJob *> download{nullptr};
    UnitService::Attempt outcome;
};

#endif // UNITJOB_H
