#ifndef PORTLIST_H
#define PORTLIST_H

#include <QStringList>

// The serial ports to try, in the order the system lists them. The program
// links the system's enumeration; test and demo builds link their own list.
QStringList availablePortNames();

// The machine's serial ports as the system enumerates them.
QStringList systemPortNames();

#endif // PORTLIST_H
