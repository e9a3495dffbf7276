#ifndef RESULTTABLE_H
#define RESULTTABLE_H

#include <QString>
#include <QVector>

#include <array>

class QTextStream;
class Samples;

// The rows the benchmarks produce, printed as one Markdown table.
class ResultTable
{
public:
    // A row judged by its target, which says how: "≤ 1.03", "< 2 %",
    // "≥ 500", "within 2 MiB" (either way), "the same" (a difference of 0),
    // or "none", a figure for information. When `from` failed, the row says
    // why instead and counts as missed.
    void add(const Samples &from, const QString &what, const QString &target, double value,
             const QString &measured);

    bool allMet() const;
    void print(QTextStream &out) const;

private:
    // What, measured, target, result.
    using Row = std::array<QString, 4>;

    QVector<Row> rows;
    bool missed = false;
};

#endif // RESULTTABLE_H
