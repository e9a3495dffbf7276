#ifndef CHOSENPORTLIST_H
#define CHOSENPORTLIST_H

#include <QStringList>

// The port names the next scans will see, in order, in place of the
// system's list: pseudo-terminals are never listed there. For tests and
// benchmarks only.
void setChosenPortNames(const QStringList &names);

#endif // CHOSENPORTLIST_H
