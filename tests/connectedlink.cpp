#include "connectedlink.h"

#include "simulator/chosenportlist.h"

#include <QCoreApplication>

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

QString absentPortName()
{
    return QStringLiteral("/dev/morlank-no-such-port-%1").arg(QCoreApplication::applicationPid());
}
