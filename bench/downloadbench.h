#ifndef DOWNLOADBENCH_H
#define DOWNLOADBENCH_H

#include <QString>
#include <QVector>

class ResultTable;

// A configuration download: command lines sent with sendLine to a simulated
// device that acknowledges each at once. Compares the wall time with the
// floor that the link's waits impose, and the CPU time of the link's thread
// with the wall time.
class DownloadBench
{
public:
    void run(int runs);
    void report(ResultTable &table) const;

private:
    struct Sample
    {
        double wallSeconds = 0;
        double floorRatio = 0;
        double cpuShare = 0;
        double latencyMs = 0;
    };

    bool runOnce(Sample &sample);

    QVector<Sample> samples;
    QString failure;
};

#endif // DOWNLOADBENCH_H
