#ifndef FLEET_H
#define FLEET_H

#include "device/devicelink.h"

#include <QStringList>
#include <QVector>

#include <atomic>
#include <memory>
#include <vector>

class DeviceJob;
class PortWorker;

// Every candidate port probed at the same time, one thread per port; then a
// job on each device chosen, on the link its probe left open. Polled from
// the thread that created it: nothing else of it crosses threads.
class Fleet
{
public:
    // Which probed ports to serve.
    struct Selection
    {
        enum Outcome { Serve, SeveralDevices, NoDevice } outcome = NoDevice;
        QVector<bool> served;   // one per port
        QStringList answering;  // every port that answered as a device
    };

    // Starts probing `portNames` at once.
    explicit Fleet(const QStringList &portNames);
    ~Fleet();

    QStringList portNames() const;
    bool hasProbed() const;
    // Once hasProbed(): what each port's probe found, in the order given.
    QVector<DeviceLink::Probe> probes() const;
    // Named ports are all served, and one that is not a device is reported
    // as such; otherwise one device is served, or every one with `all`.
    Selection select(bool named, bool all) const;
    // Runs jobs[i] on the device at port i; a null job closes the port.
    void serve(const QVector<DeviceJob *> &jobs);
    bool hasFinished() const;
    bool hasFinished(int port) const;
    // Every device finishes its command in flight and sends nothing more.
    void interrupt();

private:
    std::atomic<bool> stop{false};
    std::vector<std::unique_ptr<PortWorker>> workers;
};

#endif // FLEET_H
