#ifndef PORTLOCATION_H
#define PORTLOCATION_H

#include <QString>

// The device file QSerialPort opens for the port `name` on Unix: a path (one
// that starts with /, ./ or ../) as given, any other name under /dev, so
// ttyUSB0 and pts/3 are /dev/ttyUSB0 and /dev/pts/3.
QString portLocation(const QString &name);

#endif // PORTLOCATION_H
