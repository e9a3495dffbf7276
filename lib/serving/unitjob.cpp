#include "serving/unitjob.h"

#include "device/portlist.h"

UnitJob::UnitJob(const UnitPlan &plan, RecordKeeper &keeper, const QString &port)
    : unit(plan, keeper, {port, port, portInfo(port), QString()}, *this)
{
}

UnitService::Values UnitJob::giveValues()
{
    return unit.giveValues();
}

void UnitJob::run(DeviceLink &link, const std::atomic<bool> &stop)
{
    unit.attempt(link, stop);
}

int UnitJob::commandsDone() const
{
    const DownloadJob *job = download.load(std::memory_order_acquire);
    return job ? job->commandsDone() : 0;
}

int UnitJob::failuresSoFar() const
{
    const DownloadJob *job = download.load(std::memory_order_acquire);
    return job ? job->failuresSoFar() : 0;
}

const UnitService &UnitJob::service() const
{
    return unit;
}

const UnitService::Attempt &UnitJob::attempt() const
{
    return outcome;
}

// The service keeps the job until its next attempt, and a unit of the fleet
// has one: the job may be read from here on.
void UnitJob::working(const ClockWriteJob *, const DownloadJob *job)
{
    if (job)
        download.store(job, std::memory_order_release);
}

void UnitJob::finished(const UnitService::Attempt &attempt)
{
    outcome = attempt;
}
