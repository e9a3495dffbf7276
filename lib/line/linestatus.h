#ifndef LINESTATUS_H
#define LINESTATUS_H

#include "line/pgconnection.h"

#include <QJsonObject>
#include <QString>
#include <QVector>

#include <functional>

// What the database of a line holds, for `db status`: each values list, each
// counter, each station's last record and records today.
class LineStatus
{
public:
    // False, with the reason, on a fault.
    static bool read(PgConnection &connection, QJsonObject &status, QString &error);
    // Every record of morlank.attempts in the order of time, from `from` (when
    // valid) to before `to` (when valid), each handed to `take` as the JSON
    // text of the record's object; false, with the reason, on a fault. The
    // rows come in pages, so that a large table is never held whole.
    static bool streamRecords(PgConnection &connection, const QString &from, const QString &to,
                              const std::function<void(const QByteArray &)> &take, QString &error);
    // Where a read of the records has got to: after the record of `time`
    // and `attemptId` (both empty at the start).
    struct RecordCursor
    {
        QString time;
        QString attemptId;
        bool atEnd = false;
    };
    // The next page of streamRecords() into `records`; the cursor moves on.
    static bool recordPage(PgConnection &connection, const QString &from, const QString &to, RecordCursor &cursor,
                           QVector<QByteArray> &records, QString &error);
};

#endif // LINESTATUS_H
