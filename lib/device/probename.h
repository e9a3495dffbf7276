#ifndef PROBENAME_H
#define PROBENAME_H

#include "device/devicelink.h"

#include <QString>

// What a handshake on the port `port` found, as a technician reads it:
// device, silent, no device, busy, no permission, missing or cannot open.
QString probeName(DeviceLink::Probe probe, const QString &port);

#endif // PROBENAME_H
