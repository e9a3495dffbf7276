#include "portlist.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <QThread>

#include <optional>

namespace {
// What the system's list says of the device `target`, reached as `name`;
// nothing when it lists no such port.
std::optional<PortInfo> listedInfo(const QString &name, const QString &target)
{
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
    return std::nullopt;
}

bool isUsbDevice(const QString &target)
{
    const QString device = QStringLiteral("/sys/class/tty/%1/device").arg(QFileInfo(target).fileName());
    return QFileInfo(device).canonicalFilePath().contains(QLatin1String("/usb"));
}
} // namespace

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
    // udev makes a new adapter's device node and links before it has written
    // what it read off the adapter: a USB port listed without its id is
    // asked again for a moment.
    for (int look = 0;; ++look) {
        const std::optional<PortInfo> port = listedInfo(name, target);
        if (!port)
            return {};
        if (!port->vidPid.isEmpty() || look == 20 || !isUsbDevice(target))
            return *port;
        QThread::msleep(25);
    }
}
