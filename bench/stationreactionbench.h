#ifndef STATIONREACTIONBENCH_H
#define STATIONREACTIONBENCH_H

#include <QString>
#include <QVector>

class ResultTable;

// How soon morlank-cli watch starts on a unit that arrives: from the moment
// the bench plugs it in to its first configuration command, as the simulated
// device's log times it. Once with units that bring their own port, once in
// a fixture whose ports stay and start answering.
class StationReactionBench
{
public:
    StationReactionBench(const QString &cliPath, const QString &devsimPath);

    void run();
    void report(ResultTable &table) const;

private:
    struct Row
    {
        QVector<double> seconds;
        QString failure;
    };

    void measure(bool ownAdapters, Row &row);
    void reportRow(ResultTable &table, const QString &what, const Row &row, double targetSeconds) const;

    QString cli;
    QString devsim;
    Row portAppears;
    Row portAnswers;
};

#endif // STATIONREACTIONBENCH_H
