#ifndef PORTWORKER_H
#define PORTWORKER_H

#include "device/devicelink.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <future>

class DeviceJob;

// One port in a thread of its own: creates its own link, probes the port with
// the handshake, then waits to be told what to do with a device it found and
// does it on the same open link, so that no device sees a second handshake.
class PortWorker : public QThread
{
public:
    PortWorker(const QString &portName, const std::atomic<bool> &stop);
    ~PortWorker() override;

    // Starts the thread; a thread that cannot be created reports a port that
    // cannot be opened, rather than leave its caller waiting for the probe.
    void startProbing();
    QString portName() const;
    bool hasProbed() const;
    // True once run() is over; what it wrote, job results included, may be read then.
    bool hasFinished() const;
    // What the probe found; valid once hasProbed().
    DeviceLink::Probe probe() const;
    // Runs `job` on the device found, or closes the port when it is null.
    // Called once, from the thread that created the worker.
    void serve(DeviceJob *job);

protected:
    void run() override;

private:
    void probeAndServe();

    const QString port;
    const std::atomic<bool> &stop;
    DeviceLink::Probe answer = DeviceLink::Probe::CannotOpen; // published by `probed`
    std::atomic<bool> probed{false};
    std::atomic<bool> finished{false};
    std::promise<DeviceJob *> decision;
    std::future<DeviceJob *> decided;
    bool served = false;
};

#endif // PORTWORKER_H
