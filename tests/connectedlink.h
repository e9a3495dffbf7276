#ifndef CONNECTEDLINK_H
#define CONNECTEDLINK_H

#include "devicelink.h"
#include "simulateddevice.h"

#include <QString>

#include <memory>

// A link that has found the device on `portName`, the only port listed;
// null when the scan did not find it.
std::unique_ptr<DeviceLink> connectedLink(const QString &portName);
// The same for `device`, with the handshake cleared from what it received.
std::unique_ptr<DeviceLink> connectedLink(SimulatedDevice &device);

#endif // CONNECTEDLINK_H
