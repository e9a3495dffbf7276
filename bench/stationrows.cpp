#include "stationrows.h"

StationRows::StationRows(const QString &cliPath, const QString &devsimPath)
    : reaction(cliPath, devsimPath)
    , throughput(cliPath, devsimPath)
    , shift(cliPath, devsimPath)
{
    // Each unit's value reserved in a state file, synced before its first
    // command: that must not slow the station.
    throughput.addVariant(QStringLiteral("with --counter"),
                          {QStringLiteral("--counter"), QStringLiteral("SN=000001"), QStringLiteral("--state"),
                           QStringLiteral("values.state")},
                          1.02);
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
