#include "portlist.h"

#include <QFileInfo>
#include <QSerialPortInfo>

QStringList systemPortNames()
{
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        names << info.portName();
    return names;
}

PortInfo systemPortInfo(const QString &name)
{
    const QString target = QFileInfo(name).canonicalFilePath();
    // A pseudo-terminal has no adapter, and the system's list costs tens of
    // milliseconds.
    if (target.startsWith(QLatin1String("/dev/pts/")))
        return {};
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        if (info.portName() != name && info.systemLocation() != name && info.systemLocation() != target)
            continue;
        PortInfo port{info.serialNumber(), {}, info.manufacturer(), info.description()};
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            port.vidPid = QStringLiteral("%1:%2")
                              .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                              .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
        }
        return port;
    }
    return {};
}
