#ifndef LINEBENCH_H
#define LINEBENCH_H

#include "pgserver.h"
#include "stationthroughputbench.h"

#include <QString>
#include <QVector>

class ResultTable;

// A line of stations on a throw-away PostgreSQL server: 4 processes
// reserving from one list of 100,000 rows (reservations per second in all,
// the 99th percentile of one), a station of 16 slots with a counter from the
// database against the same with a state file, and db status over 1,000,000
// records.
class LineBench
{
public:
    LineBench(const QString &cliPath, const QString &reserverPath, const QString &devsimPath);

    void run(int throughputRuns);
    void report(ResultTable &table) const;

private:
    bool prepare();
    bool reserveFromOneList();
    bool timeStatus();

    QString cli;
    QString reserver;
    QString devsim;
    PgServer server;
    QString url;
    QString failure;
    double reservationsPerSecond = 0;
    double p99Ms = 0;
    int reservations = 0;
    QVector<double> statusSeconds;
    StationThroughputBench throughput;
};

#endif // LINEBENCH_H
