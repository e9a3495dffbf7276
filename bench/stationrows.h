#ifndef STATIONROWS_H
#define STATIONROWS_H

#include "stationreactionbench.h"
#include "stationshiftbench.h"
#include "stationthroughputbench.h"

class ResultTable;

// The station rows: the real morlank-cli watch serving units that the real
// morlank-devsim plugs in and pulls out on the bench's word, each in a
// process of its own. Each run checks every record, so a failure is never
// timed.
class StationRows
{
public:
    StationRows(const QString &cliPath, const QString &devsimPath);

    void run(int throughputRuns);
    void report(ResultTable &table) const;

private:
    StationReactionBench reaction;
    StationThroughputBench throughput;
    StationShiftBench shift;
};

#endif // STATIONROWS_H
