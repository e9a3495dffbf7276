#ifndef VALUESREPORT_H
#define VALUESREPORT_H

#include "benchmarkrunner.h"

class ResultTable;

// Runs the benchmarks of per-unit values and turns their medians into rows:
// the fill time per unit against its target, the reservation time per unit
// for information.
class ValuesReport
{
public:
    explicit ValuesReport(const QString &runnerPath);

    void run(int repetitions);
    void report(ResultTable &table) const;

private:
    BenchmarkRunner runner;
    bool ran = false;
};

#endif // VALUESREPORT_H
