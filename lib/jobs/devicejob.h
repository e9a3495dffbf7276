#ifndef DEVICEJOB_H
#define DEVICEJOB_H

#include <atomic>

class DeviceLink;

// What one device is asked to do once it has answered the handshake. run()
// is called in the device's own thread with its connected link; it looks at
// `stop` between commands, so a stop lets the command in flight finish and
// sends nothing more. Results are read once that thread has finished.
class DeviceJob
{
public:
    virtual ~DeviceJob() = default;
    virtual void run(DeviceLink &link, const std::atomic<bool> &stop) = 0;
};

#endif // DEVICEJOB_H
