#ifndef MACHINE_H
#define MACHINE_H

#include <QString>

// The processor count and model, for reading the results against.
QString machineDescription();

#endif // MACHINE_H
