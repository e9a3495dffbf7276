#include "simulator/chosenportlist.h"

#include "device/portlist.h"

namespace {
QStringList &chosenPortNames()
{
    static QStringList names;
    return names;
}
} // namespace

void setChosenPortNames(const QStringList &names)
{
    chosenPortNames() = names;
}

QStringList availablePortNames()
{
    return chosenPortNames();
}

PortInfo portInfo(const QString &name)
{
    return systemPortInfo(name);
}
