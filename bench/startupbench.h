#ifndef STARTUPBENCH_H
#define STARTUPBENCH_H

#include <QString>
#include <QVector>

class ResultTable;

// Start-up to the shown window with no port to scan, timed from spawning the
// probe to its exit, against an empty QMainWindow started the same way.
class StartupBench
{
public:
    explicit StartupBench(const QString &probePath);

    void run(int runs);
    void report(ResultTable &table) const;

private:
    struct Samples
    {
        QVector<double> milliseconds;
        QVector<double> peakMiB;
    };

    bool runProbe(bool bare, Samples &samples);

    QString probe;
    Samples window;
    Samples bare;
    QString failure;
};

#endif // STARTUPBENCH_H
