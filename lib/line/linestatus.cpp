#include "line/linestatus.h"

#include "line/lineorders.h"

#include <QJsonArray>

namespace {
const QString listsQuery = QStringLiteral(
    "SELECT l.name, l.sha256, l.row_count, l.row_count - (SELECT count(*) FROM morlank.list_rows r"
    " WHERE r.list_id = l.list_id AND r.attempt_id IS NULL), l.imported_at,"
    " EXISTS (SELECT 1 FROM morlank.lists o WHERE o.name = l.name AND o.imported_at < l.imported_at)"
    " FROM morlank.lists l ORDER BY l.name, l.imported_at");
const QString countersQuery =
    QStringLiteral("SELECT name, next, width, step FROM morlank.counters ORDER BY name");
// Each station found by a walk down the index, never a scan of the table.
const QString stationsQuery = QStringLiteral(
    "WITH RECURSIVE s AS ("
    " (SELECT station FROM morlank.attempts ORDER BY station LIMIT 1)"
    " UNION ALL SELECT (SELECT station FROM morlank.attempts WHERE station > s.station ORDER BY station LIMIT 1)"
    " FROM s WHERE s.station IS NOT NULL)"
    " SELECT s.station, (SELECT max(time) FROM morlank.attempts a WHERE a.station = s.station),"
    " (SELECT count(*) FROM morlank.attempts a WHERE a.station = s.station AND a.time >= date_trunc('day', now()))"
    " FROM s WHERE s.station IS NOT NULL ORDER BY 1");

// Rows of a record page: a keyset on (time, attempt_id).
const int pageRows = 1000;
} // namespace

bool LineStatus::read(PgConnection &db, QJsonObject &status, QString &error)
{
    const PgConnection::Result lists = db.exec(listsQuery);
    const PgConnection::Result counters = db.exec(countersQuery);
    const PgConnection::Result stations = db.exec(stationsQuery);
    for (const PgConnection::Result *result : {&lists, &counters, &stations}) {
        if (!result->ok) {
            error = result->error;
            return false;
        }
    }
    QJsonArray listArray;
    for (const QStringList &row : lists.rows) {
        listArray.append(QJsonObject{{"name", row.at(0)},
                                     {"sha256", row.at(1)},
                                     {"rows", row.at(2).toInt()},
                                     {"handed_out", row.at(3).toInt()},
                                     {"left", row.at(2).toInt() - row.at(3).toInt()},
                                     {"imported", row.at(4)},
                                     {"edited", row.at(5) == QLatin1String("t")}});
    }
    QJsonArray counterArray;
    for (const QStringList &row : counters.rows) {
        counterArray.append(QJsonObject{
            {"name", row.at(0)}, {"next", row.at(1)}, {"width", row.at(2).toInt()}, {"step", row.at(3)}});
    }
    QJsonArray stationArray;
    for (const QStringList &row : stations.rows) {
        stationArray.append(
            QJsonObject{{"station", row.at(0)}, {"last_record", row.at(1)}, {"records_today", row.at(2).toInt()}});
    }
    status.insert(QStringLiteral("lists"), listArray);
    status.insert(QStringLiteral("counters"), counterArray);
    status.insert(QStringLiteral("stations"), stationArray);
    QVector<LineOrders::Order> orders;
    if (!LineOrders::list(db, orders, error))
        return false;
    QJsonArray orderArray;
    for (const LineOrders::Order &order : orders)
        orderArray.append(order.toJson());
    status.insert(QStringLiteral("orders"), orderArray);
    return true;
}

bool LineStatus::streamRecords(PgConnection &db, const QString &from, const QString &to,
                               const std::function<void(const QByteArray &)> &take, QString &error)
{
    RecordCursor cursor;
    QVector<QByteArray> records;
    while (!cursor.atEnd) {
        if (!recordPage(db, from, to, cursor, records, error))
            return false;
        for (const QByteArray &record : records)
            take(record);
    }
    return true;
}

bool LineStatus::recordPage(PgConnection &db, const QString &from, const QString &to, RecordCursor &cursor,
                            QVector<QByteArray> &records, QString &error)
{
    records.clear();
    const PgConnection::Result page = db.exec(
        QStringLiteral("SELECT record::text, time, attempt_id FROM morlank.attempts"
                       " WHERE ($1::timestamptz IS NULL OR time >= $1) AND ($2::timestamptz IS NULL OR time < $2)"
                       " AND ($3::timestamptz IS NULL OR (time, attempt_id) > ($3, $4::uuid))"
                       " ORDER BY time, attempt_id LIMIT $5"),
        {from.isEmpty() ? QString() : from, to.isEmpty() ? QString() : to, cursor.time, cursor.attemptId,
         QString::number(pageRows)});
    if (!page.ok) {
        error = page.error;
        return false;
    }
    for (const QStringList &row : page.rows)
        records << row.at(0).toUtf8();
    cursor.atEnd = page.rows.size() < pageRows;
    if (!page.rows.isEmpty()) {
        cursor.time = page.rows.last().at(1);
        cursor.attemptId = page.rows.last().at(2);
    }
    return true;
}
