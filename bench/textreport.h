#ifndef TEXTREPORT_H
#define TEXTREPORT_H

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include "benchmarkrunner.h"

class ResultTable;

// Runs the Google Benchmark runner for reading configuration files and
// parsing answers, then turns its medians into rows. Each reading case also
// runs once more in a process of its own, for its peak memory and for the
// speed of a first reading, before the process has any freed memory at hand.
class TextReport
{
public:
    explicit TextReport(const QString &runnerPath);

    void run(int repetitions);
    void report(ResultTable &table) const;

private:
    struct FreshRun
    {
        QJsonObject result;
        double peakMiB = 0;
    };

    void runEachReadingAlone();
    double cpuTime(const QString &name) const;
    void reportReading(ResultTable &table) const;
    void reportParsing(ResultTable &table) const;

    BenchmarkRunner runner;
    QMap<QString, FreshRun> freshRuns;
    QString failure;
};

#endif // TEXTREPORT_H
