#ifndef CHILDRUN_H
#define CHILDRUN_H

#include <QString>
#include <QStringList>

struct ChildRun
{
    bool succeeded = false; // started and exited with status 0
    int exitStatus = -1;    // the status it exited with; -1 when it did not exit
    double wallSeconds = 0; // from spawning to reaping
    double cpuSeconds = 0;  // user and system time of all its threads
    double peakMiB = 0;     // the child's maximum resident set size
};

// Runs a program to its end. `environment` holds NAME=value entries added to
// (or replacing those of) this process's. Standard output goes to the file
// `outputPath` when one is named, else it is discarded with standard error.
ChildRun runChild(const QStringList &arguments, const QStringList &environment = {},
                  const QString &outputPath = {});

#endif // CHILDRUN_H
