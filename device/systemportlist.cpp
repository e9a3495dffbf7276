#include "portlist.h"

QStringList availablePortNames()
{
    return systemPortNames();
}
