#include "stationbench.h"

#include <QFile>

namespace {
SimulatedDevice::Responder answering(const DeviceProtocol::Settings &unit)
{
    auto protocol = std::make_shared<DeviceProtocol>(unit);
    return [protocol](const QByteArray &command) { return protocol->reply(command); };
}
} // namespace

StationBench::StationBench() = default;

QString StationBench::pattern() const
{
    return dir.filePath(QStringLiteral("slot*"));
}

QString StationBench::slotPath(int slot) const
{
    return dir.filePath(QStringLiteral("slot%1").arg(slot));
}

SimulatedDevice &StationBench::device(int slot)
{
    return *devices.at(slot);
}

SimulatedDevice &StationBench::plug(int slot, const DeviceProtocol::Settings &unit)
{
    auto &device = devices[slot];
    device = std::make_unique<SimulatedDevice>(answering(unit));
    QFile::link(device->portName(), slotPath(slot));
    return *device;
}

void StationBench::pull(int slot)
{
    QFile::remove(slotPath(slot));
    devices.at(slot)->unplug();
}

SimulatedDevice &StationBench::fixture(int slot)
{
    auto &device = devices[slot];
    device = std::make_unique<SimulatedDevice>();
    QFile::link(device->portName(), slotPath(slot));
    return *device;
}

void StationBench::attach(int slot, const DeviceProtocol::Settings &unit)
{
    devices.at(slot)->setResponder(answering(unit));
}

void StationBench::detach(int slot)
{
    devices.at(slot)->setResponder({});
}
