#ifndef DEMOPORTS_H
#define DEMOPORTS_H

#include "simulator/deviceprotocol.h"
#include "simulator/simulateddevice.h"

#include <QString>

// Serves a simulated device on a pseudo-terminal and, while it lives, puts
// that device at the head of the port list, before the machine's real ports.
// Create it before the window: the window scans in its constructor.
class DemoPorts
{
public:
    DemoPorts();
    ~DemoPorts();
    DemoPorts(const DemoPorts &) = delete;
    DemoPorts &operator=(const DemoPorts &) = delete;

    // Empty when no pseudo-terminal could be had.
    QString simulatedPortName() const;

private:
    DeviceProtocol protocol;
    SimulatedDevice device;
};

#endif // DEMOPORTS_H
