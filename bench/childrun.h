#ifndef CHILDRUN_H
#define CHILDRUN_H

#include <QString>
#include <QStringList>

struct ChildRun
{
    bool succeeded = false; // started and exited with status 0
    double wallSeconds = 0; // from spawning to reaping
    double peakMiB = 0;     // the child's maximum resident set size
};

// Runs a program to its end with its output discarded. `environment` holds
// NAME=value entries added to (or replacing those of) this process's.
ChildRun runChild(const QStringList &arguments, const QStringList &environment = {});

#endif // CHILDRUN_H
