#ifndef FIGURESJSON_H
#define FIGURESJSON_H

#include "figures/figures.h"

#include <QJsonObject>
#include <QString>

// The figures as `morlank-cli report --json` prints them, and the texts
// every face shows them with.
namespace FiguresJson {
QJsonObject toJson(const Figures &figures);

// "96.2 %", or "–" when there is nothing to divide.
QString percent(const std::optional<double> &ratio);
// The station's local time of a record, "2026-12-07 14:02".
QString localTime(qint64 msSinceEpoch, int offsetMinutes);
// The answers a line got, "(nothing)" for none.
QString answers(const QStringList &answers);
// "2.42 s", or "–".
QString seconds(const std::optional<qint64> &milliseconds);
} // namespace FiguresJson

#endif // FIGURESJSON_H
