#include "fleet/portworker.h"

#include "jobs/devicejob.h"

PortWorker::PortWorker(const QString &portName, const std::atomic<bool> &stopFlag)
    : port(portName)
    , stop(stopFlag)
    , decided(decision.get_future())
{
}

PortWorker::~PortWorker()
{
    serve(nullptr);
    wait();
    // wait() orders memory by Qt's own locks; this load does it by the C++
    // rules as well, which ThreadSanitizer can follow.
    finished.load(std::memory_order_acquire);
}

void PortWorker::startProbing()
{
    start();
    if (!isRunning() && !isFinished()) {
        probed.store(true, std::memory_order_release);
        finished.store(true, std::memory_order_release);
    }
}

QString PortWorker::portName() const
{
    return port;
}

bool PortWorker::hasProbed() const
{
    return probed.load(std::memory_order_acquire);
}

bool PortWorker::hasFinished() const
{
    return finished.load(std::memory_order_acquire);
}

DeviceLink::Probe PortWorker::probe() const
{
    return answer;
}

void PortWorker::serve(DeviceJob *job)
{
    if (served)
        return;
    served = true;
    decision.set_value(job);
}

// Results cross to the other thread through `probed` and `finished`, each
// stored once everything it stands for has been written.
void PortWorker::run()
{
    probeAndServe();
    finished.store(true, std::memory_order_release);
}

void PortWorker::probeAndServe()
{
    DeviceLink link;
    // Every command is reported on its own, so a late answer must not be
    // credited to the next one.
    link.keepAnswersApart();
    answer = link.connectTo(port);
    probed.store(true, std::memory_order_release);
    if (answer != DeviceLink::Probe::Device)
        return;
    if (DeviceJob *job = decided.get())
        job->run(link, stop);
}
