#ifndef BENCHMARKRUNNER_H
#define BENCHMARKRUNNER_H

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

// A Google Benchmark runner run in a process of its own, with the median of
// each benchmark's repetitions kept.
class BenchmarkRunner
{
public:
    explicit BenchmarkRunner(const QString &path);

    // False, with the reason in failure(), when the runner failed, a
    // benchmark reported an error or one of `expected` has no median.
    bool run(const QStringList &options, const QStringList &expected);
    QString failure() const;
    QJsonObject median(const QString &name) const;
    // Every result of the last run, and the runner's peak memory then.
    QJsonArray results() const;
    double peakMiB() const;

private:
    QString runner;
    QMap<QString, QJsonObject> medians;
    QJsonArray lastResults;
    double lastPeakMiB = 0;
    QString reason;
};

#endif // BENCHMARKRUNNER_H
