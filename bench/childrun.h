#ifndef CHILDRUN_H
#define CHILDRUN_H

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

struct ChildRun
{
    bool succeeded = false; // started and exited with status 0
    int exitStatus = -1;    // the status it exited with; -1 when it did not exit
    double wallSeconds = 0; // from spawning to reaping
    double cpuSeconds = 0;  // user and system time of all its threads
    double peakMiB = 0;     // the child's maximum resident set size
    QByteArray printed;     // its standard output, when kept
};

// Runs a program to its end, in this process's environment. Standard output
// is kept when asked (through a file, so that no pipe paces the child), else
// it is discarded with standard error.
ChildRun runChild(const QStringList &arguments, bool keepOutput = false);

// morlank-cli with `arguments`, what it printed read as JSON; a failure
// unless it exited with `expectedStatus`.
QString runCli(const QStringList &arguments, int expectedStatus, ChildRun &run, QJsonObject &printed);

// What one run of a Google Benchmark runner gave: every result, the median
// of each benchmark's repetitions by name, and the runner's peak memory.
struct BenchmarkRun
{
    QJsonArray results;
    QMap<QString, QJsonObject> medians;
    double peakMiB = 0;
};

// Runs the runner at `path` with `options`, in a process of its own: why it
// failed, a benchmark reported an error or one of `expected` has no median;
// empty when none did.
QString runBenchmarks(const QString &path, const QStringList &options, const QStringList &expected, BenchmarkRun &run);

#endif // CHILDRUN_H
