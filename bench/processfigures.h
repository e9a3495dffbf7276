#ifndef PROCESSFIGURES_H
#define PROCESSFIGURES_H

#include <QtGlobal>

// What another process holds at one moment, read from /proc: -1 for a
// figure that could not be read (the process has ended).
struct ProcessFigures
{
    int descriptors = -1;  // open file descriptors
    int threads = -1;
    double residentMiB = -1;   // VmRSS
    double cpuSeconds = -1;    // user and system time of all its threads

    static ProcessFigures of(qint64 pid);
    bool isComplete() const;
};

#endif // PROCESSFIGURES_H
