#ifndef CONNECTEDLINK_H
#define CONNECTEDLINK_H

#include "devicelink.h"
#include "simulateddevice.h"

#include <memory>

// A link that has found `device`, with the handshake cleared from what the
// device received; null when the scan did not find it.
std::unique_ptr<DeviceLink> connectedLink(SimulatedDevice &device);

#endif // CONNECTEDLINK_H
