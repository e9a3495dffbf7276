#include "resulttable.h"

#include "samples.h"

#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace {
bool meets(double value, const QString &target)
{
    const double limit = target.section(QLatin1Char(' '), 1, 1).toDouble();
    if (target.startsWith(QStringLiteral("≤")))
        return value <= limit;
    if (target.startsWith(QStringLiteral("<")))
        return value < limit;
    if (target.startsWith(QStringLiteral("≥")))
        return value >= limit;
    if (target.startsWith(QLatin1String("within")))
        return std::abs(value) <= limit;
    return target == QLatin1String("the same") && value == 0;
}
} // namespace

void ResultTable::add(const Samples &from, const QString &what, const QString &target, double value,
                      const QString &measured)
{
    Row row{what, measured, target, meets(value, target) ? QStringLiteral("met") : QStringLiteral("MISSED")};
    if (!from.failure().isEmpty())
        row = {what, QStringLiteral("failed: ") + from.failure(), target, QStringLiteral("MISSED")};
    else if (target == QLatin1String("none"))
        row[3] = QStringLiteral("info");
    missed = missed || row[3] == QLatin1String("MISSED");
    rows.append(row);
}

bool ResultTable::allMet() const
{
    return !missed;
}

void ResultTable::print(QTextStream &out) const
{
    const Row header{QStringLiteral("Benchmark"), QStringLiteral("Measured"), QStringLiteral("Target"),
                     QStringLiteral("Result")};
    std::array<int, 4> widths{};
    for (const Row &row : QVector<Row>{header} + rows) {
        for (int cell = 0; cell < 4; ++cell)
            widths[cell] = std::max(widths[cell], int(row[cell].size()));
    }
    const auto printRow = [&](const Row &row) {
        for (int cell = 0; cell < 4; ++cell)
            out << "| " << row[cell].leftJustified(widths[cell]) << ' ';
        out << "|\n";
    };
    printRow(header);
    printRow({QString(widths[0], '-'), QString(widths[1], '-'), QString(widths[2], '-'), QString(widths[3], '-')});
    for (const Row &row : rows)
        printRow(row);
}
