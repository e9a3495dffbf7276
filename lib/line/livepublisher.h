#ifndef LIVEPUBLISHER_H
#define LIVEPUBLISHER_H

#include "line/livemailbox.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>

#include <map>
#include <thread>

class PgConnection;
class RecordSender;

// Publishes a station's live state to the line's database from a thread of
// its own with its own connection: each slot as it changes (a change of
// state at once, progress within a unit about once a second at most) and a
// heartbeat every 5 s. Posting never waits: while the database is away only
// each slot's latest state is kept, and it is written once it is back.
class LivePublisher
{
public:
    // Who publishes: the station's name as its records carry it, its host
    // and its program's version.
    struct Identity
    {
        QString station;
        QString host;
        QString version;
    };

    // `sender`, when not null, must outlive the publisher's thread: the
    // heartbeat says how many records wait in it.
    LivePublisher(const QString &url, const Identity &identity, const RecordSender *sender);
    ~LivePublisher();
    LivePublisher(const LivePublisher &) = delete;
    LivePublisher &operator=(const LivePublisher &) = delete;

    void start();
    // From any thread.
    void post(const LiveSlot &slot);
    // Ends the thread once it has written what it can on the connection it
    // holds, and waits for it. A joined std::thread, so that what the thread
    // last touched is ordered before the publisher is freed.
    void end();

private:
    void run();
    int waitMs() const;
    void gather();
    bool mayReconnect(PgConnection &connection);
    void backOff();
    bool publish(PgConnection &connection, bool all);
    bool heartbeat(PgConnection &connection);
    bool write(PgConnection &connection, const QVector<LiveSlot> &ready);
    QVector<LiveSlot> due(bool all) const;

    const QString url;
    const Identity identity;
    const RecordSender *const sender;
    const QDateTime started;
    LiveMailbox mailbox;
    std::thread thread;

    // The publishing thread's own.
    QElapsedTimer clock;
    std::map<QString, LiveSlot> pending;
    std::map<QString, LiveSlot> written;
    std::map<QString, qint64> writtenAtMs;
    qint64 heartbeatDueMs = 0;
    qint64 retryDueMs = 0;
    int retryPauseMs = 0;
    bool starting = true;
};

#endif // LIVEPUBLISHER_H
