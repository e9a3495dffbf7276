#include "demoports.h"

#include "portlist.h"

#include <QSerialPortInfo>

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
    QStringList names;
    if (servingPorts && !servingPorts->simulatedPortName().isEmpty())
        names << servingPorts->simulatedPortName();
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        names << info.portName();
    return names;
}
