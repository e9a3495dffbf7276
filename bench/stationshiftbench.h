#ifndef STATIONSHIFTBENCH_H
#define STATIONSHIFTBENCH_H

#include "processfigures.h"

#include <QString>

class ResultTable;

// What one morlank-cli watch process keeps over a shift: its descriptors,
// threads and memory after hundreds of units have come and gone, and the
// processor time it takes watching empty slots and finished units.
class StationShiftBench
{
public:
    StationShiftBench(const QString &cliPath, const QString &devsimPath);

    void run();
    void report(ResultTable &table) const;

private:
    void shift();
    double cpuShare(int slotCount, bool sitting, QString &failure);
    void reportShift(ResultTable &table) const;
    void reportIdle(ResultTable &table) const;

    QString cli;
    QString devsim;
    ProcessFigures atStart;
    ProcessFigures afterFirstUnits;
    ProcessFigures atEnd;
    QString shiftFailure;
    double idleCpuShare = 0;
    QString idleFailure;
    double sittingCpuShare = 0;
    QString sittingFailure;
};

#endif // STATIONSHIFTBENCH_H
