#ifndef STATIONTHROUGHPUTBENCH_H
#define STATIONTHROUGHPUTBENCH_H

#include <QString>
#include <QStringList>
#include <QVector>

class ResultTable;

// morlank-cli watch with its slots busy: 5 units one after the other in
// each of 16 slots, every unit plugged in as soon as the last one's record
// came, against the same 5 units in 1 slot in the same run. A variant runs
// the 16 slots again with options of its own, against the plain 16 slots.
class StationThroughputBench
{
public:
    StationThroughputBench(const QString &cliPath, const QString &devsimPath);

    // A further row named `name`: the 16 slots with `watchOptions` (a
    // relative path lands in a scratch folder of each run) may take at most
    // `maxRatio` times the plain 16 slots' wall, or the wall of the variant
    // named `against`.
    void addVariant(const QString &name, const QStringList &watchOptions, double maxRatio,
                    const QString &against = {});
    void run(int runs);
    void report(ResultTable &table) const;

private:
    struct Variant
    {
        QString name;
        QStringList watchOptions;
        double maxRatio = 1;
        QString against;
        QVector<double> walls;
        QVector<double> ratios;
    };

    void runOnce();
    QVector<double> wallsOf(const QString &name) const;
    // False, with the reason in `failure`, unless every unit was served ok.
    bool measure(int slotCount, const QStringList &watchOptions, double &wall);

    QString cli;
    QString devsim;
    QVector<double> oneSlotWalls;
    QVector<double> fullWalls;
    QVector<double> fullRatios;
    QVector<Variant> variants;
    QString failure;
};

#endif // STATIONTHROUGHPUTBENCH_H
