#include "cli/figurestext.h"

#include "figures/figuresjson.h"

#include <QStringList>
#include <QVector>

#include <algorithm>

namespace {
// Columns padded to their widest cell; the `numeric` ones to the right.
QString table(const QString &title, const QStringList &heads, const QVector<QStringList> &rows,
              const QVector<int> &numeric)
{
    QVector<int> widths;
    for (const QString &head : heads)
        widths << head.size();
    for (const QStringList &row : rows) {
        for (int i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], int(row.at(i).size()));
    }
    auto line = [&](const QStringList &cells) {
        QStringList padded;
        for (int i = 0; i < cells.size(); ++i) {
            const bool last = i == cells.size() - 1;
            padded << (numeric.contains(i) ? cells.at(i).rightJustified(widths[i])
                       : last           ? cells.at(i)
                                        : cells.at(i).leftJustified(widths[i]));
        }
        return QStringLiteral("  ") + padded.join(QStringLiteral("  ")) + QLatin1Char('\n');
    };
    QString text = QLatin1Char('\n') + title + QLatin1Char('\n') + line(heads);
    for (const QStringList &row : rows)
        text += line(row);
    return text;
}

QStringList rateCells(const Figures::Rate &rate)
{
    return {QString::number(rate.attempts), QString::number(rate.failed), FiguresJson::percent(rate.failureRate())};
}

QString headline(const Figures &f)
{
    const double hours = (f.lastEndedMs - f.firstStartedMs) / 3600000.0;
    const auto per = f.unitsPerHour();
    return QStringLiteral("Period            %1 to %2 (%3 hours)\n"
                          "Records           %4%17\n"
                          "Units             %5 (pulled %6, interrupted %7)\n"
                          "First-pass yield  %8 (%9 of %10)\n"
                          "Final yield       %11 (%12 of %13)\n"
                          "Units per hour    %14\n"
                          "Cycle time        median %15, 90th percentile %16\n")
        .arg(FiguresJson::localTime(f.firstStartedMs, f.firstOffsetMinutes),
             FiguresJson::localTime(f.lastEndedMs, f.lastOffsetMinutes), QString::number(hours, 'f', 1))
        .arg(f.records)
        .arg(f.units)
        .arg(f.pulled)
        .arg(f.interrupted)
        .arg(FiguresJson::percent(f.firstPassYield()))
        .arg(f.firstPassOk)
        .arg(f.firstPassCounted)
        .arg(FiguresJson::percent(f.finalYield()))
        .arg(f.finalOk)
        .arg(f.finalCounted)
        .arg(per ? QString::number(*per, 'f', 1) : f.rateMissing(), FiguresJson::seconds(f.cycleMedianMs),
             FiguresJson::seconds(f.cycleP90Ms),
             f.duplicates ? QStringLiteral(" (and %1 given again, counted once)").arg(f.duplicates) : QString());
}
} // namespace

namespace FiguresText {
QString text(const Figures &f)
{
    QVector<QStringList> failures, slotRows, stations, files;
    for (const Figures::FailureGroup &group : f.failures) {
        failures << QStringList{QString::number(group.count), group.line ? QString::number(group.line) : QStringLiteral("–"),
                                group.command.isEmpty() ? QStringLiteral("–") : group.command,
                                FiguresJson::answers(group.answers)};
    }
    for (const Figures::Rate &rate : f.bySlot)
        slotRows << QStringList{rate.station, rate.name} + rateCells(rate);
    for (const Figures::Rate &rate : f.byStation)
        stations << QStringList{rate.station} + rateCells(rate);
    for (const Figures::Rate &rate : f.byFile)
        files << QStringList{rate.name.isEmpty() ? QStringLiteral("(no file)") : rate.name, rate.sha256.left(12)}
                     + rateCells(rate);
    const QStringList rateHeads{QStringLiteral("attempts"), QStringLiteral("failed"), QStringLiteral("failure rate")};
    QString text = headline(f);
    if (!f.failures.isEmpty()) {
        text += table(QStringLiteral("Where units fail"),
                      {QStringLiteral("failed"), QStringLiteral("line"), QStringLiteral("command"), QStringLiteral("answers seen")},
                      failures, {0, 1});
    }
    text += table(QStringLiteral("Slots"), QStringList{QStringLiteral("station"), QStringLiteral("slot")} + rateHeads, slotRows, {2, 3, 4});
    text += table(QStringLiteral("Stations"), QStringList{QStringLiteral("station")} + rateHeads, stations, {1, 2, 3});
    text += table(QStringLiteral("Configuration files"),
                  QStringList{QStringLiteral("file"), QStringLiteral("SHA-256")} + rateHeads, files, {2, 3, 4});
    if (!f.skipped.isEmpty())
        text += QStringLiteral("\n%1 records not counted (named on standard error).\n").arg(f.skipped.size());
    return text;
}
} // namespace FiguresText
