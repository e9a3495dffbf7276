#include "portworker.h"

#include "devicejob.h"

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
}

QString PortWorker::portName() const
{
    return port;
}

bool PortWorker::hasProbed() const
{
    return probed.load(std::memory_order_acquire);
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

void PortWorker::run()
{
    DeviceLink link;
    answer = link.connectTo(port);
    probed.store(true, std::memory_order_release);
    if (answer != DeviceLink::Probe::Device)
        return;
    if (DeviceJob *job = decided.get())
        job->run(link, stop);
}
