#include "device/portlist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

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

QString attribute(const QDir &device, const QString &name)
{
    QFile file(device.filePath(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

// The USB adapter behind the device `target`, as the kernel knows it now;
// nothing when it is no USB device.
std::optional<PortInfo> usbAdapterInfo(const QString &target)
{
    const QString tty = QStringLiteral("/sys/class/tty/%1/device").arg(QFileInfo(target).fileName());
    QDir device(QFileInfo(tty).canonicalFilePath());
    if (!device.path().contains(QLatin1String("/usb")))
        return std::nullopt;
    // Up from the serial port and its interface to the USB device, which
    // holds the adapter's ids.
    for (int up = 0; !device.exists(QStringLiteral("idVendor")); ++up) {
        if (up == 3 || !device.cdUp())
            return std::nullopt;
    }
    return PortInfo{attribute(device, QStringLiteral("serial")),
                    attribute(device, QStringLiteral("idVendor")) + QLatin1Char(':')
                        + attribute(device, QStringLiteral("idProduct")),
                    attribute(device, QStringLiteral("manufacturer")), attribute(device, QStringLiteral("product"))};
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
    // An adapter is read off the kernel's own view of it: udev's database,
    // which the system's list reads, lags behind an adapter swapped in the
    // same socket and may still name the one before, or none.
    if (const std::optional<PortInfo> usb = usbAdapterInfo(target))
        return *usb;
    return listedInfo(name, target).value_or(PortInfo());
}
