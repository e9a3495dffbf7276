#include "connectedlink.h"

#include "chosenportlist.h"

std::unique_ptr<DeviceLink> connectedLink(SimulatedDevice &device)
{
    setChosenPortNames({device.portName()});
    auto link = std::make_unique<DeviceLink>();
    QString name;
    if (!link->findDevice(name))
        return nullptr;
    device.clearReceived();
    return link;
}
