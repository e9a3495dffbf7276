#include "figures/reportpage.h"

#include "figures/figuresjson.h"

#include <QStringList>

#include <algorithm>

namespace {
// Okabe–Ito colours.
const char blue[] = "#0072B2";
const char orange[] = "#E69F00";
const char vermillion[] = "#D55E00";
const char skyBlue[] = "#56B4E9";
const char yellow[] = "#F0E442";

const int chartWidth = 680;
const int paretoRows = 10;
const int gridColumns = 6;
const int skippedShown = 50;

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

QString number(double value, int decimals = 0)
{
    return QString::number(value, 'f', decimals);
}

const char style[] = R"(
@page { size: A4; margin: 12mm; }
body { padding: 4mm 0; font: 10pt/1.35 "Liberation Sans", Arial, sans-serif; color: #111; margin: 0 auto; max-width: 186mm; }
h1 { font-size: 16pt; margin: 0 0 2mm; }
h2 { font-size: 12pt; margin: 6mm 0 2mm; break-after: avoid; }
p.period { margin: 0 0 4mm; color: #333; }
.keys { display: flex; flex-wrap: wrap; gap: 3mm; }
.key { border: 1px solid #999; padding: 2mm 3mm; min-width: 26mm; }
.key b { display: block; font-size: 15pt; }
.key small { display: block; max-width: 45mm; }
section { break-inside: avoid; }
svg { display: block; max-width: 100%; height: auto; }
svg text { font: 11px "Liberation Sans", Arial, sans-serif; fill: #111; }
table { border-collapse: collapse; width: 100%; margin-bottom: 3mm; }
th, td { border-bottom: 1px solid #ccc; padding: 1mm 2mm; text-align: left; vertical-align: top; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
tr { break-inside: avoid; }
.legend span { display: inline-block; padding: 0 2mm; margin-right: 2mm; border: 1px solid #666; }
)";

QString keyFigure(const QString &label, const QString &value, const QString &note = {})
{
    return QStringLiteral("<div class=\"key\">%1<b>%2</b>%3</div>")
        .arg(esc(label), esc(value), note.isEmpty() ? QString() : QStringLiteral("<small>%1</small>").arg(esc(note)));
}

QString keyFigures(const Figures &f)
{
    return QStringLiteral("<div class=\"keys\">")
           + keyFigure(QStringLiteral("Units"), QString::number(f.units))
           + keyFigure(QStringLiteral("First-pass yield"), FiguresJson::percent(f.firstPassYield()))
           + keyFigure(QStringLiteral("Final yield"), FiguresJson::percent(f.finalYield()))
           + keyFigure(QStringLiteral("Units per hour"),
                       f.unitsPerHour() ? number(*f.unitsPerHour(), 1) : QStringLiteral("–"), f.rateMissing())
           + keyFigure(QStringLiteral("Cycle time, median"), FiguresJson::seconds(f.cycleMedianMs))
           + keyFigure(QStringLiteral("Cycle time, 90th percentile"), FiguresJson::seconds(f.cycleP90Ms))
           + keyFigure(QStringLiteral("Pulled"), QString::number(f.pulled))
           + keyFigure(QStringLiteral("Interrupted"), QString::number(f.interrupted))
           + keyFigure(QStringLiteral("Records"), QString::number(f.records)) + QStringLiteral("</div>");
}

QString svgText(double x, double y, const QString &text, const char *anchor = "middle")
{
    return QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"%3\">%4</text>")
        .arg(number(x, 1), number(y, 1), QLatin1String(anchor), esc(text));
}

// Units per hour as bars with their number, the first-pass yield of each
// hour as a line on a 0–100 % scale.
QString hoursChart(const QVector<Figures::Hour> &hours)
{
    const int height = 240, left = 36, right = 44, top = 20, bottom = 36;
    const double plotWidth = chartWidth - left - right, plotHeight = height - top - bottom;
    qint64 most = 1;
    for (const Figures::Hour &hour : hours)
        most = std::max(most, hour.units);
    // A few hours keep bars of a reasonable width.
    const double step = std::min(64.0, plotWidth / std::max(1, int(hours.size())));
    const int labelEvery = std::max(1, int(hours.size() + 11) / 12);
    QString svg = QStringLiteral("<svg width=\"%1\" height=\"%2\" viewBox=\"0 0 "
                                 "%1 %2\" role=\"img\" aria-label=\"Units and first-pass yield by hour\">")
                      .arg(chartWidth)
                      .arg(height);
    svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"#333\"/>")
               .arg(left)
               .arg(top + plotHeight)
               .arg(left + plotWidth);
    QStringList points;
    QString yieldLabels; // drawn last, over the bars
    for (int i = 0; i < hours.size(); ++i) {
        const Figures::Hour &hour = hours.at(i);
        const double x = left + i * step;
        // Bars in the lower part, so that their numbers stay clear of the
        // yield's line, which usually runs high.
        const double barHeight = plotHeight * 0.6 * hour.units / most;
        svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>")
                   .arg(number(x + step * 0.15, 1), number(top + plotHeight - barHeight, 1), number(step * 0.7, 1),
                        number(barHeight, 1), QLatin1String(blue));
        if (hour.units)
            svg += svgText(x + step / 2, top + plotHeight - barHeight - 3, QString::number(hour.units));
        if (i % labelEvery == 0)
            svg += svgText(x + step / 2, height - bottom + 14, hour.hour.right(5));
        if (const auto yield = hour.firstPassYield()) {
            const double y = top + plotHeight * (1 - *yield);
            points << QStringLiteral("%1,%2").arg(number(x + step / 2, 1), number(y, 1));
            if (hours.size() <= 16)
                yieldLabels += svgText(x + step / 2 + 7, y - 7, FiguresJson::percent(yield), "start");
        }
    }
    if (!hours.isEmpty())
        svg += svgText(left, height - 4, hours.first().hour.left(10), "start");
    if (points.size() > 1) {
        svg += QStringLiteral("<polyline points=\"%1\" fill=\"none\" stroke=\"%2\" stroke-width=\"3\"/>")
                   .arg(points.join(QLatin1Char(' ')), QLatin1String(orange));
    }
    for (const QString &point : points) {
        svg += QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"5\" fill=\"%3\"/>")
                   .arg(point.section(QLatin1Char(','), 0, 0), point.section(QLatin1Char(','), 1), QLatin1String(orange));
    }
    svg += yieldLabels;
    svg += svgText(chartWidth - right + 4, top + 4, QStringLiteral("100 %"), "start");
    svg += svgText(chartWidth - right + 4, top + plotHeight, QStringLiteral("0 %"), "start");
    return svg + QStringLiteral("</svg>");
}

QString failureName(const Figures::FailureGroup &group)
{
    return group.line ? QStringLiteral("line %1 %2").arg(group.line).arg(group.command)
                      : QStringLiteral("no configuration line");
}

// The lines that fail most, longest bar first, each with its count.
QString paretoChart(const QVector<Figures::FailureGroup> &failures)
{
    const int rows = std::min(paretoRows, int(failures.size()));
    const int rowHeight = 22, labelWidth = 250, height = rows * rowHeight + 8;
    const double barRoom = chartWidth - labelWidth - 50;
    const qint64 most = rows ? failures.first().count : 1;
    QString svg = QStringLiteral("<svg width=\"%1\" height=\"%2\" viewBox=\"0 0 "
                                 "%1 %2\" role=\"img\" aria-label=\"Failing lines\">")
                      .arg(chartWidth)
                      .arg(height);
    for (int i = 0; i < rows; ++i) {
        const Figures::FailureGroup &group = failures.at(i);
        const double y = 4 + i * rowHeight;
        const double width = barRoom * group.count / most;
        QString name = failureName(group);
        if (name.size() > 40)
            name = name.left(39) + QChar(0x2026);
        svg += svgText(labelWidth - 6, y + 15, name, "end");
        svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"16\" fill=\"%4\"/>")
                   .arg(labelWidth)
                   .arg(number(y + 2, 1), number(width, 1), QLatin1String(vermillion));
        svg += svgText(labelWidth + width + 4, y + 15, QString::number(group.count), "start");
    }
    return svg + QStringLiteral("</svg>");
}

// One cell a slot, coloured by its failure rate, with the rate written in.
QString slotGrid(const QVector<Figures::Rate> &slotRows)
{
    const int cellWidth = chartWidth / gridColumns, cellHeight = 62;
    const int rows = (int(slotRows.size()) + gridColumns - 1) / gridColumns;
    const bool severalStations = !slotRows.isEmpty() && slotRows.first().station != slotRows.last().station;
    QString svg = QStringLiteral("<svg width=\"%1\" height=\"%2\" viewBox=\"0 0 "
                                 "%1 %2\" role=\"img\" aria-label=\"Slots by failure rate\">")
                      .arg(chartWidth)
                      .arg(rows * cellHeight);
    for (int i = 0; i < slotRows.size(); ++i) {
        const Figures::Rate &slot = slotRows.at(i);
        const int x = (i % gridColumns) * cellWidth, y = (i / gridColumns) * cellHeight;
        QString name = severalStations ? slot.station + QStringLiteral(" · ") + slot.name : slot.name;
        if (name.size() > 18)
            name = QChar(0x2026) + name.right(17);
        svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\" stroke=\"#fff\" "
                              "stroke-width=\"3\"/>")
                   .arg(x)
                   .arg(y)
                   .arg(cellWidth)
                   .arg(cellHeight)
                   .arg(QLatin1String(ReportPage::rateColour(slot.failureRate())));
        svg += svgText(x + cellWidth / 2.0, y + 17, name);
        svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\" style=\"font-size:15px;font-weight:bold\">"
                              "%3</text>")
                   .arg(x + cellWidth / 2.0)
                   .arg(y + 37)
                   .arg(esc(FiguresJson::percent(slot.failureRate())));
        svg += svgText(x + cellWidth / 2.0, y + 53, QStringLiteral("%1 of %2 failed").arg(slot.failed).arg(slot.attempts));
    }
    return svg + QStringLiteral("</svg>");
}

QString legend()
{
    const struct
    {
        double rate;
        const char *text;
    } bins[] = {{0, "none failed"}, {0.01, "under 2 %"}, {0.05, "2 to 10 %"}, {0.5, "10 % or more"}};
    QString html = QStringLiteral("<p class=\"legend\">Failure rate: ");
    for (const auto &bin : bins) {
        html += QStringLiteral("<span style=\"background:%1\">%2</span>")
                    .arg(QLatin1String(ReportPage::rateColour(bin.rate)), esc(QLatin1String(bin.text)));
    }
    return html + QStringLiteral("</p>");
}

QString table(const QStringList &heads, const QVector<QStringList> &rows, int numericFrom)
{
    QString html = QStringLiteral("<table><tr>");
    for (int i = 0; i < heads.size(); ++i)
        html += QStringLiteral("<th%1>%2</th>").arg(i >= numericFrom ? QStringLiteral(" class=\"n\"") : QString(), esc(heads.at(i)));
    html += QStringLiteral("</tr>");
    for (const QStringList &row : rows) {
        html += QStringLiteral("<tr>");
        for (int i = 0; i < row.size(); ++i)
            html += QStringLiteral("<td%1>%2</td>").arg(i >= numericFrom ? QStringLiteral(" class=\"n\"") : QString(), esc(row.at(i)));
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

QStringList rateCells(const Figures::Rate &rate)
{
    return {QString::number(rate.attempts), QString::number(rate.failed), FiguresJson::percent(rate.failureRate())};
}

QString tables(const Figures &f)
{
    QVector<QStringList> failures, slotRows, stations, files, hours;
    for (const Figures::FailureGroup &group : f.failures) {
        failures << QStringList{group.line ? QString::number(group.line) : QStringLiteral("–"), group.command,
                                FiguresJson::answers(group.answers), QString::number(group.count)};
    }
    for (const Figures::Rate &rate : f.bySlot)
        slotRows << QStringList{rate.station, rate.name} + rateCells(rate);
    for (const Figures::Rate &rate : f.byStation)
        stations << QStringList{rate.station} + rateCells(rate);
    for (const Figures::Rate &rate : f.byFile)
        files << QStringList{rate.name.isEmpty() ? QStringLiteral("(no file)") : rate.name, rate.sha256.left(12)} + rateCells(rate);
    for (const Figures::Hour &hour : f.hours)
        hours << QStringList{hour.hour, QString::number(hour.units), FiguresJson::percent(hour.firstPassYield())};
    const QStringList rateHeads{QStringLiteral("attempts"), QStringLiteral("failed"), QStringLiteral("failure rate")};
    return QStringLiteral("<h2>Failing lines</h2>")
           + table({QStringLiteral("line"), QStringLiteral("command"), QStringLiteral("answers seen"), QStringLiteral("failed")},
                   failures, 3)
           + QStringLiteral("<h2>Slots</h2>") + table(QStringList{QStringLiteral("station"), QStringLiteral("slot")} + rateHeads, slotRows, 2)
           + QStringLiteral("<h2>Stations</h2>") + table(QStringList{QStringLiteral("station")} + rateHeads, stations, 1)
           + QStringLiteral("<h2>Configuration files</h2>")
           + table(QStringList{QStringLiteral("file"), QStringLiteral("SHA-256")} + rateHeads, files, 2)
           + QStringLiteral("<h2>Hours</h2>")
           + table({QStringLiteral("hour"), QStringLiteral("units"), QStringLiteral("first-pass yield")}, hours, 1);
}

QString skippedList(const QVector<SkippedRecord> &skipped)
{
    if (skipped.isEmpty())
        return {};
    QVector<QStringList> rows;
    for (int i = 0; i < std::min(skippedShown, int(skipped.size())); ++i) {
        const SkippedRecord &record = skipped.at(i);
        rows << QStringList{record.origin, QString::number(record.line), record.reason};
    }
    QString more = skipped.size() > skippedShown
                       ? QStringLiteral("<p>and %1 more.</p>").arg(skipped.size() - skippedShown)
                       : QString();
    return QStringLiteral("<h2>Records not counted</h2>")
           + table({QStringLiteral("file"), QStringLiteral("line"), QStringLiteral("why")}, rows, 1) + more;
}
} // namespace

const char *ReportPage::rateColour(double failureRate)
{
    if (failureRate <= 0)
        return skyBlue;
    if (failureRate < 0.02)
        return yellow;
    return failureRate < 0.10 ? orange : vermillion;
}

QByteArray ReportPage::html(const Figures &f, const QString &selection)
{
    const QString period = QStringLiteral("%1 to %2")
                               .arg(FiguresJson::localTime(f.firstStartedMs, f.firstOffsetMinutes),
                                    FiguresJson::localTime(f.lastEndedMs, f.lastOffsetMinutes));
    QString html = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                                  "<title>Production report %1</title><style>%2</style></head><body>")
                       .arg(esc(period), QLatin1String(style));
    html += QStringLiteral("<h1>Production report</h1><p class=\"period\">%1 · %2</p>").arg(esc(period), esc(selection));
    html += keyFigures(f);
    html += QStringLiteral("<section><h2>Units and first-pass yield by hour</h2><p class=\"legend\">"
                           "<span style=\"background:%1;color:#fff\">units (bars)</span>"
                           "<span style=\"background:%2\">first-pass yield (line, 0 to 100 %)</span></p>%3</section>")
                .arg(QLatin1String(blue), QLatin1String(orange), hoursChart(f.hours));
    html += QStringLiteral("<section><h2>Where units fail</h2>%1</section>")
                .arg(f.failures.isEmpty() ? QStringLiteral("<p>No attempt failed.</p>") : paretoChart(f.failures));
    html += QStringLiteral("<section><h2>Slots by failure rate</h2>%1%2</section>").arg(legend(), slotGrid(f.bySlot));
    html += tables(f) + skippedList(f.skipped);
    return (html + QStringLiteral("</body></html>\n")).toUtf8();
}
