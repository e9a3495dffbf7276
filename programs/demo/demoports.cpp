#include "demo/demoports.h"

#include "device/portlist.h"

namespace {
const DemoPorts *servingPorts = nullptr;
} // namespace

DemoPorts::DemoPorts()
    : device([this](const QByteArray &command) { return protocol.reply(command); })
{
    servingPorts = this;
}

DemoPorts::~DemoPorts()
{
    servingPorts = nullptr;
}

QString DemoPorts::simulatedPortName() const
{
    return device.isOpen() ? device.portName() : QString();
}

QStringList availablePortNames()
{
    const QString simulated = servingPorts ? servingPorts->simulatedPortName() : QString();
    return (simulated.isEmpty() ? QStringList() : QStringList{simulated}) + systemPortNames();
}

PortInfo portInfo(const QString &name)
{
    return systemPortInfo(name);
}
