#include "line/recordsender.h"

#include "line/pgconnection.h"
#include "records/recordkeys.h"

#include <QJsonDocument>

#include <algorithm>

namespace {
// A file that grew is read again within this.
const int lookIntervalMs = 100;
// Reconnecting waits twice as long after each failure, up to this.
const int longestPauseMs = 8000;
// Records sent in one statement.
const int batchSize = 500;

// Without a conflict target, so that a station's role needs INSERT alone
// (naming the key would need SELECT on it as well). The columns are the
// record's own fields, taken out of it.
const QString insertRecords =
    QStringLiteral("INSERT INTO morlank.attempts (attempt_id, time, station, slot, unit, result, file_sha256, "
                   "operator, release, order_name, record) "
                   "SELECT (r->>'%1')::uuid, (r->>'%2')::timestamptz, coalesce(r->>'%3', ''), r->>'%4', "
                   "r->>'%5', coalesce(r->>'%6', ''), r->>'%7', r->>'%8', r->>'%9', r->>'%10', r "
                   "FROM jsonb_array_elements($1::jsonb) AS r ON CONFLICT DO NOTHING")
        .arg(RecordKeys::attemptId, RecordKeys::time, RecordKeys::station, RecordKeys::slot, RecordKeys::unit,
             RecordKeys::result, RecordKeys::fileSha256, RecordKeys::operatorName, RecordKeys::release)
        .arg(RecordKeys::order);
} // namespace

RecordSender::RecordSender(const QString &u, const QString &fileName, bool isSpool)
    : url(u)
    , spool(fileName, isSpool)
{
}

RecordSender::~RecordSender()
{
    end();
}

void RecordSender::start()
{
    thread = std::thread([this] { run(); });
}

QString RecordSender::fileName() const
{
    return spool.fileName();
}

RecordSender::Backlog RecordSender::backlog() const
{
    std::lock_guard<std::mutex> lock(mutex);
    Backlog copy = shown;
    // Text of its own, not a share of the sending thread's: the last owner
    // of shared text frees it inside Qt, where the race checker cannot see
    // the reference count that orders it.
    copy.error = QString(shown.error.constData(), shown.error.size());
    return copy;
}

void RecordSender::writingDone()
{
    ownEnd = Spool::endOf(spool.fileName());
}

bool RecordSender::hasSentAll() const
{
    return Spool::waitingIn(spool.fileName(), ownEnd) == 0;
}

QString RecordSender::leftBehind() const
{
    const int waiting = Spool::waitingIn(spool.fileName(), ownEnd);
    if (waiting == 0)
        return {};
    const QString why = backlog().error;
    return QStringLiteral("%1 records wait for the database in %2%3")
        .arg(waiting)
        .arg(spool.fileName(), why.isEmpty() ? QString() : QStringLiteral(" (last refusal: %1)").arg(why));
}

void RecordSender::end()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        ending = true;
        wake.notify_all();
    }
    if (thread.joinable())
        thread.join();
}

void RecordSender::run()
{
    PgConnection connection;
    int pauseMs = 0;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (ending)
                break;
        }
        Spool::Batch batch;
        if (!spool.readPending(batch, batchSize) || batch.end == batch.start) {
            publish(batch, {});
            pause(lookIntervalMs);
            continue;
        }
        QString error;
        const bool sent = (connection.isOpen() || connection.open(url, error)) && send(connection, batch, error);
        publish(batch, sent ? QString() : error);
        if (sent) {
            spool.confirm(batch.end);
            pauseMs = 0;
            continue;
        }
        connection.close();
        pauseMs = std::min(std::max(pauseMs * 2, 250), longestPauseMs);
        pause(pauseMs);
    }
}

bool RecordSender::send(PgConnection &connection, const Spool::Batch &batch, QString &error)
{
    if (batch.records.isEmpty())
        return true;
    const QString records = QString::fromUtf8(QJsonDocument(batch.records).toJson(QJsonDocument::Compact));
    const PgConnection::Result result = connection.exec(insertRecords, {records});
    error = result.error;
    return result.ok;
}

void RecordSender::publish(const Spool::Batch &batch, const QString &error)
{
    std::lock_guard<std::mutex> lock(mutex);
    shown.records = batch.waiting;
    shown.since = batch.oldest;
    shown.error = error;
}

void RecordSender::pause(int ms)
{
    std::unique_lock<std::mutex> lock(mutex);
    wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return ending; });
}
