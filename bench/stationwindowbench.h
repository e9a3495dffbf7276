#ifndef STATIONWINDOWBENCH_H
#define STATIONWINDOWBENCH_H

#include "conffiles.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class ResultTable;

// The station window with 32 simulated units at work (morlank-devsim, each
// unit with an adapter of its own, all plugged in at once), the window in a
// process of its own: how late a 10 ms timer fires in its event loop (a
// probe build of the window), and the CPU the real morlank-station uses
// while they are served, beside morlank-cli watch on the same bench (what the
// engine costs without a window). And the start-up to the bench shown with 32 slots,
// against an empty QMainWindow with 32 labels.
class StationWindowBench
{
public:
    StationWindowBench(const QString &probePath, const QString &stationPath, const QString &cliPath,
                       const QString &devsimPath);

    void run(int busyRuns, int startupRuns);
    void report(ResultTable &table) const;

private:
    using Moment = std::function<void(qint64 pid)>;
    struct CpuShares
    {
        QVector<double> busy;
        QVector<double> withArrivals;
    };

    void latencyOnce();
    bool cpuOnce(const QStringList &command, CpuShares &shares);
    bool serveBusyBench(const QStringList &command, const Moment &unitsPlugged, const Moment &allRecorded,
                        QByteArray &printed);
    bool startOnce(bool bareWindow, QVector<double> &milliseconds);
    void reportBusy(ResultTable &table) const;
    void reportStartup(ResultTable &table) const;

    const QString probe;
    const QString station;
    const QString cli;
    const QString devsim;
    ConfFiles file;
    QVector<double> latencyP99s;
    QVector<double> latencyMedians;
    QVector<double> latencyMaxima;
    CpuShares stationCpu;
    CpuShares cliCpu;
    QVector<double> startupMs;
    QVector<double> bareStartupMs;
    QString busyFailure;
    QString startupFailure;
};

#endif // STATIONWINDOWBENCH_H
