#ifndef LINEREPORT_H
#define LINEREPORT_H

#include "figures/figures.h"
#include "figures/recordselection.h"

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>

// The line's records of a period, counted from its database: the report
// page that `/report?since=…&until=…` answers, as `report --html` writes it.
class LineReport
{
public:
    struct Answer
    {
        int status = 200;
        QByteArray body;
        const char *type = "text/html; charset=utf-8";
    };

    // `query` as the address gave it: since and until as `report` takes
    // them (today when neither is given), and station, slot and file.
    static Answer page(const QString &url, const QMap<QString, QString> &query, const QDateTime &now);
    // The selected records' figures; false, with the reason, when they
    // cannot be read.
    static bool read(const QString &url, const RecordSelection &selection, Figures &figures, QString &error);

private:
    static bool select(const QMap<QString, QString> &query, const QDateTime &now, RecordSelection &selection,
                       QString &words, QString &error);
};

#endif // LINEREPORT_H
