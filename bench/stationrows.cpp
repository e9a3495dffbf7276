#include "stationrows.h"

StationRows::StationRows(const QString &cliPath, const QString &devsimPath)
    : reaction(cliPath, devsimPath)
    , throughput(cliPath, devsimPath)
    , shift(cliPath, devsimPath)
{
}

void StationRows::run(int throughputRuns)
{
    reaction.run();
    throughput.run(throughputRuns);
    shift.run();
}

void StationRows::report(ResultTable &table) const
{
    reaction.report(table);
    throughput.report(table);
    shift.report(table);
}
