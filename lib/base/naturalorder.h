#ifndef NATURALORDER_H
#define NATURALORDER_H

#include <QString>

// Names with their runs of digits compared as numbers, so that ttyUSB2 comes
// before ttyUSB10; the same in every locale. Where two names read the same
// (ttyS01, ttyS1), plain order decides.
bool naturalLess(const QString &a, const QString &b);

#endif // NATURALORDER_H
