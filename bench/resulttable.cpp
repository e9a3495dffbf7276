#include "resulttable.h"

#include <QTextStream>

#include <algorithm>

void ResultTable::addMeasured(const QString &what, const QString &measured,
                              const QString &target, bool met)
{
    rows.append({what, measured, target, met ? QStringLiteral("met") : QStringLiteral("MISSED")});
    missed = missed || !met;
}

void ResultTable::addInfo(const QString &what, const QString &measured)
{
    rows.append({what, measured, QStringLiteral("none"), QStringLiteral("info")});
}

void ResultTable::addFailure(const QString &what, const QString &target, const QString &reason)
{
    rows.append({what, QStringLiteral("failed: ") + reason, target, QStringLiteral("MISSED")});
    missed = true;
}

bool ResultTable::allMet() const
{
    return !missed;
}

void ResultTable::print(QTextStream &out) const
{
    const Row header{QStringLiteral("Benchmark"), QStringLiteral("Measured"),
                     QStringLiteral("Target"), QStringLiteral("Result")};
    QVector<int> widths{int(header.what.size()), int(header.measured.size()),
                        int(header.target.size()), int(header.result.size())};
    for (const Row &row : rows) {
        widths[0] = std::max(widths[0], int(row.what.size()));
        widths[1] = std::max(widths[1], int(row.measured.size()));
        widths[2] = std::max(widths[2], int(row.target.size()));
        widths[3] = std::max(widths[3], int(row.result.size()));
    }
    printRow(out, header, widths);
    printRow(out, {QString(widths[0], '-'), QString(widths[1], '-'), QString(widths[2], '-'),
                   QString(widths[3], '-')},
             widths);
    for (const Row &row : rows)
        printRow(out, row, widths);
}

void ResultTable::printRow(QTextStream &out, const Row &row, const QVector<int> &widths) const
{
    out << "| " << row.what.leftJustified(widths[0]) << " | "
        << row.measured.leftJustified(widths[1]) << " | " << row.target.leftJustified(widths[2])
        << " | " << row.result.leftJustified(widths[3]) << " |\n";
}
