#ifndef LINETODAY_H
#define LINETODAY_H

#include "figures/figures.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

// Today's figures of the whole line, from its database's records: what the
// line's page shows beside the stations.
class LineToday
{
public:
    // The records from the start of `now`'s local day; false, with the
    // reason, when they cannot be read.
    static bool read(const QString &url, const QDateTime &now, Figures &figures, QString &error);
    // `units`, `first_pass_yield`, `units_per_hour` (null, with
    // `units_per_hour_reason`, below a span worth a rate) and `failures`, the
    // lines that failed most.
    static QJsonObject toJson(const Figures &figures);
};

#endif // LINETODAY_H
