#ifndef FLEETBENCH_H
#define FLEETBENCH_H

#include "childrun.h"
#include "conffiles.h"

#include <QJsonObject>
#include <QString>
#include <QVector>

class ResultTable;
class SimulatedFleet;

// morlank-cli against morlank-devsim, each in a process of its own: the same
// download to 1, 8 and 32 simulated devices, compared within each run, and
// the probe of ports that never answer, which should cost one port's time
// however many there are.
class FleetBench
{
public:
    FleetBench(const QString &cliPath, const QString &devsimPath);

    void run(int downloadRuns, int probeRuns);
    void report(ResultTable &table) const;

private:
    struct Samples
    {
        QVector<double> oneDeviceWalls;
        QVector<double> eightDeviceWalls;
        QVector<double> eightDeviceRatios;
        QVector<double> fleetWalls;
        QVector<double> fleetRatios;
        QVector<double> fleetCpuShares;
    };

    void downloadOnce();
    bool download(int deviceCount, ChildRun &run);
    void probeOnce();
    // Runs morlank-cli with `arguments` and reads the JSON it printed; false,
    // with the reason, unless it exits with `expectedStatus`.
    bool runCli(const QStringList &arguments, int expectedStatus, ChildRun &run, QJsonObject &output,
                QString &failure) const;
    void reportDownloads(ResultTable &table) const;
    void reportProbe(ResultTable &table) const;

    QString cli;
    QString devsim;
    ConfFiles file;
    Samples downloads;
    QString downloadFailure;
    QVector<double> probeWalls;
    QString probeFailure;
};

#endif // FLEETBENCH_H
