#ifndef PORTLIST_H
#define PORTLIST_H

#include "device/portinfo.h"

#include <QStringList>

// The serial ports to try, in the order the system lists them. The program
// links the system's enumeration; test and demo builds link their own list.
QStringList availablePortNames();

// What is known of the port `name`: a name as listed (ttyUSB0), a path
// (/dev/ttyUSB0) or a link to one (/dev/serial/by-id/...). Resolved like the
// list above: the program asks the system, test builds their own list.
PortInfo portInfo(const QString &name);

// The machine's serial ports as the system enumerates them.
QStringList systemPortNames();
// What the system knows of the port `name`, found by its name, its path or
// the path a link leads to.
PortInfo systemPortInfo(const QString &name);

#endif // PORTLIST_H
