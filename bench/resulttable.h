#ifndef RESULTTABLE_H
#define RESULTTABLE_H

#include <QString>
#include <QVector>

class QTextStream;

// The rows the benchmarks produce, printed as one Markdown table.
class ResultTable
{
public:
    void addMeasured(const QString &what, const QString &measured, const QString &target,
                     bool met);
    // A figure reported without a target.
    void addInfo(const QString &what, const QString &measured);
    // A benchmark that could not measure: it counts as missed.
    void addFailure(const QString &what, const QString &target, const QString &reason);

    bool allMet() const;
    void print(QTextStream &out) const;

private:
    struct Row
    {
        QString what;
        QString measured;
        QString target;
        QString result;
    };

    void printRow(QTextStream &out, const Row &row, const QVector<int> &widths) const;

    QVector<Row> rows;
    bool missed = false;
};

#endif // RESULTTABLE_H
