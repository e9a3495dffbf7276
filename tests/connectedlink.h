#ifndef CONNECTEDLINK_H
#define CONNECTEDLINK_H

#include "device/devicelink.h"
#include "simulator/simulateddevice.h"

#include <QString>

#include <memory>

// A link that has found the device on `portName`, the only port listed;
// null when the scan did not find it.
std::unique_ptr<DeviceLink> connectedLink(const QString &portName);
// The same for `device`, with the handshake cleared from what it received.
std::unique_ptr<DeviceLink> connectedLink(SimulatedDevice &device);

// A port that does not exist, named for this process alone: opening a port
// takes a lock file by its name, and tests running side by side must not
// find each other's lock and report the port as busy.
QString absentPortName();

#endif // CONNECTEDLINK_H
