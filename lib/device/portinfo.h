#ifndef PORTINFO_H
#define PORTINFO_H

#include <QString>

// What the system knows of a serial port's adapter; empty fields where it
// knows nothing (a built-in port, a pseudo-terminal).
struct PortInfo
{
    QString serialNumber;
    QString vidPid; // USB vendor and product id, such as "0403:6001"
    QString manufacturer;
    QString description;

    bool isEmpty() const
    {
        return serialNumber.isEmpty() && vidPid.isEmpty() && manufacturer.isEmpty() && description.isEmpty();
    }
};

#endif // PORTINFO_H
