#include "line/livepublisher.h"

#include "line/pgconnection.h"
#include "line/recordsender.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace {
const int heartbeatIntervalMs = 5000;
// Progress within a unit is written at most this often per slot.
const int progressIntervalMs = 1000;
// The box is looked at this often even when no change of state wakes the
// thread, so that progress is written about once a second.
const int lookIntervalMs = 1000;
// Connecting again waits twice as long after each failure, up to this.
const int longestPauseMs = 4000;
} // namespace

LivePublisher::LivePublisher(const QString &u, const Identity &i, const RecordSender *s)
    : url(u)
    , identity(i)
    , sender(s)
    , started(QDateTime::currentDateTimeUtc())
{
}

LivePublisher::~LivePublisher()
{
    end();
}

void LivePublisher::start()
{
    thread = std::thread([this] { run(); });
}

void LivePublisher::post(const LiveSlot &slot)
{
    mailbox.post(slot);
}

void LivePublisher::end()
{
    mailbox.end();
    if (thread.joinable())
        thread.join();
}

void LivePublisher::run()
{
    PgConnection connection;
    clock.start();
    while (mailbox.wait(waitMs())) {
        gather();
        if (!mayReconnect(connection))
            continue;
        if (!publish(connection, false)) {
            connection.close();
            backOff();
        }
    }
    // The last states, on the connection there is: an ending station never
    // waits for a server that is away.
    gather();
    if (connection.isOpen())
        publish(connection, true);
}

int LivePublisher::waitMs() const
{
    const qint64 now = clock.elapsed();
    qint64 next = std::min(now + lookIntervalMs, heartbeatDueMs);
    for (const auto &slot : pending) {
        const auto at = writtenAtMs.find(slot.first);
        next = std::min(next, at == writtenAtMs.end() ? now : at->second + progressIntervalMs);
    }
    return int(std::max<qint64>(std::max(next, retryDueMs) - now, 0));
}

void LivePublisher::gather()
{
    for (const LiveSlot &slot : mailbox.take())
        pending[slot.slot] = slot;
}

bool LivePublisher::mayReconnect(PgConnection &connection)
{
    if (connection.isOpen())
        return true;
    if (clock.elapsed() < retryDueMs)
        return false;
    QString error;
    if (connection.open(url, error)) {
        retryPauseMs = 0;
        return true;
    }
    backOff();
    return false;
}

void LivePublisher::backOff()
{
    retryPauseMs = std::min(std::max(retryPauseMs * 2, 250), longestPauseMs);
    retryDueMs = clock.elapsed() + retryPauseMs;
}

// The heartbeat when due, then the slots due; what failed stays pending.
bool LivePublisher::publish(PgConnection &connection, bool all)
{
    const qint64 now = clock.elapsed();
    if (starting || now >= heartbeatDueMs) {
        if (!heartbeat(connection))
            return false;
        starting = false;
        heartbeatDueMs = now + heartbeatIntervalMs;
    }
    const QVector<LiveSlot> ready = due(all);
    if (ready.isEmpty())
        return true;
    if (!write(connection, ready))
        return false;
    for (const LiveSlot &slot : ready) {
        pending.erase(slot.slot);
        written[slot.slot] = slot;
        writtenAtMs[slot.slot] = now;
    }
    return true;
}

bool LivePublisher::heartbeat(PgConnection &connection)
{
    const int waiting = sender ? sender->backlog().records : 0;
    return connection
        .exec(QStringLiteral("SELECT morlank.live_station($1, $2, $3, $4, $5, $6, $7)"),
              {identity.station, identity.host, identity.version, QString::number(mailbox.slotCount()),
               QString::number(waiting), started.toString(Qt::ISODateWithMs),
               starting ? QStringLiteral("true") : QStringLiteral("false")})
        .ok;
}

bool LivePublisher::write(PgConnection &connection, const QVector<LiveSlot> &ready)
{
    QJsonArray array;
    for (const LiveSlot &slot : ready)
        array << slot.toJson();
    const QString json = QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
    return connection.exec(QStringLiteral("SELECT morlank.live_slots($1, $2::jsonb)"), {identity.station, json}).ok;
}

// A change of state is due at once; progress once its slot's last write is
// a second old.
QVector<LiveSlot> LivePublisher::due(bool all) const
{
    const qint64 now = clock.elapsed();
    QVector<LiveSlot> ready;
    for (const auto &slot : pending) {
        const auto before = written.find(slot.first);
        const bool stateChanged = before == written.end() || !slot.second.isProgressOf(before->second);
        if (all || stateChanged || now >= writtenAtMs.at(slot.first) + progressIntervalMs)
            ready << slot.second;
    }
    return ready;
}
