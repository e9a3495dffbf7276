#ifndef TESTPORTLIST_H
#define TESTPORTLIST_H

#include <QStringList>

// The port names the next scans will see, in order.
void setTestPortNames(const QStringList &names);

#endif // TESTPORTLIST_H
