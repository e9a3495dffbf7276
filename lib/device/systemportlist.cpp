#include "device/portlist.h"

QStringList availablePortNames()
{
    return systemPortNames();
}

PortInfo portInfo(const QString &name)
{
    return systemPortInfo(name);
}
