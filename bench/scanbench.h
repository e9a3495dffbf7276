#ifndef SCANBENCH_H
#define SCANBENCH_H

#include <QString>
#include <QVector>

class ResultTable;

// Port scans that find nothing: ports that open but never answer, which cost
// the quiet wait and the full reply wait each, and ports that cannot be
// opened, which should cost almost nothing.
class ScanBench
{
public:
    void run(int silentRuns, int unopenableRuns);
    void report(ResultTable &table) const;

private:
    struct Figures
    {
        QVector<double> values;
        QString failure;
    };

    bool scanSilentPorts(double &ratio, QString &failure);
    bool scanHeldPorts(double &msPerPort, QString &failure);
    bool scanMissingPorts(double &msPerPort, QString &failure);
    void reportMsPerPort(ResultTable &table, const QString &row, const Figures &figures) const;

    Figures silent;
    Figures held;
    Figures missing;
};

#endif // SCANBENCH_H
