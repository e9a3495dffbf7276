#include "device/probename.h"

#include "device/portlocation.h"

#include <QFileInfo>

// A port that cannot be opened and whose file does not exist is missing: a
// name mistyped, an adapter unplugged.
QString probeName(DeviceLink::Probe probe, const QString &port)
{
    switch (probe) {
    case DeviceLink::Probe::Device: return QStringLiteral("device");
    case DeviceLink::Probe::Silent: return QStringLiteral("silent");
    case DeviceLink::Probe::NoDevice: return QStringLiteral("no device");
    case DeviceLink::Probe::Busy: return QStringLiteral("busy");
    case DeviceLink::Probe::NoPermission: return QStringLiteral("no permission");
    case DeviceLink::Probe::CannotOpen: break;
    }
#ifdef Q_OS_UNIX
    if (!QFileInfo::exists(portLocation(port)))
        return QStringLiteral("missing");
#endif
    return QStringLiteral("cannot open");
}
