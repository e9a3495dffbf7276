#include "connectedlink.h"

#include "chosenportlist.h"

std::unique_ptr<DeviceLink> connectedLink(const QString &portName)
{
    setChosenPortNames({portName});
    auto link = std::make_unique<DeviceLink>();
    QString name;
    return link->findDevice(name) ? std::move(link) : nullptr;
}

std::unique_ptr<DeviceLink> connectedLink(SimulatedDevice &device)
{
    auto link = connectedLink(device.portName());
    if (link)
        device.clearReceived();
    return link;
}
