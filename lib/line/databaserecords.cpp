#include "line/databaserecords.h"

#include "line/databaseurl.h"
#include "line/lineschema.h"
#include "line/linestatus.h"
#include "line/pgconnection.h"

#include <QDateTime>
#include <QVector>

namespace {
// The rows of morlank.attempts in time order, a page at a time, so that a
// table of millions of records is never held whole.
class DatabaseRecords : public RecordSource
{
public:
    DatabaseRecords(std::optional<qint64> sinceMs, std::optional<qint64> untilMs)
        : from(timeText(sinceMs))
        , to(timeText(untilMs))
    {
    }

    bool open(const QString &url, QString &error)
    {
        if (!connection.open(url, error)) {
            error = QStringLiteral("--db: cannot use the database %1: %2 (the server or libpq said: %3).")
                        .arg(DatabaseUrl::masked(url), PgConnection::remedy(connection.fault()), error);
            return false;
        }
        if (LineSchema::installedVersion(connection, error) <= 0) {
            error = QStringLiteral("--db: the database %1 holds no records of a line: %2")
                        .arg(DatabaseUrl::masked(url), error.isEmpty() ? PgConnection::remedy(PgConnection::NoSchema)
                                                                        : error);
            return false;
        }
        return true;
    }

    bool next(RecordText &record) override
    {
        while (position == page.size()) {
            if (cursor.atEnd || !LineStatus::recordPage(connection, from, to, cursor, page, failure))
                return false;
            position = 0;
        }
        record.json = page.at(position++);
        record.origin = QStringLiteral("morlank.attempts");
        record.line = ++count;
        record.partial = false;
        return true;
    }

    QString error() const override { return failure; }

private:
    static QString timeText(std::optional<qint64> ms)
    {
        return ms ? QDateTime::fromMSecsSinceEpoch(*ms, Qt::UTC).toString(Qt::ISODateWithMs) : QString();
    }

    const QString from;
    const QString to;
    PgConnection connection;
    LineStatus::RecordCursor cursor;
    QVector<QByteArray> page;
    int position = 0;
    qint64 count = 0;
    QString failure;
};
} // namespace

std::unique_ptr<RecordSource> databaseRecords(const QString &url, std::optional<qint64> sinceMs,
                                              std::optional<qint64> untilMs, QString &error)
{
    auto records = std::make_unique<DatabaseRecords>(sinceMs, untilMs);
    if (!records->open(url, error))
        return nullptr;
    return records;
}
