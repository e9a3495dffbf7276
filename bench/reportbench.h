#ifndef REPORTBENCH_H
#define REPORTBENCH_H

#include <QString>
#include <QTemporaryDir>
#include <QVector>

class ResultTable;

// morlank-cli report on a log of a million records (about 600 MB), in a
// process of its own: its wall time and peak memory, beside a plain
// `jq -c .` read of the same file for scale. Two logs: a shift of 32 slots
// (fixture units, and units with adapters of their own that come back),
// and one where every record is a unit of its own, the most units the
// figures can be asked to remember.
class ReportBench
{
public:
    ReportBench(const QString &cliPath, int records);

    void run(int runs);
    void report(ResultTable &table) const;

private:
    struct Samples
    {
        QVector<double> seconds;
        QVector<double> peakMiB;
    };

    bool writeLog(const QString &path, bool everyRecordAUnit, double &megabytes) const;
    bool reportOnce(const QString &log, Samples &samples);

    const QString cli;
    const int records;
    QTemporaryDir dir;
    double shiftMegabytes = 0;
    double unitsMegabytes = 0;
    Samples shift;
    Samples distinctUnits;
    QVector<double> jqSeconds;
    QString failure;
    QString jqMissing;
};

#endif // REPORTBENCH_H
