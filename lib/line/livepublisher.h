#ifndef LIVEPUBLISHER_H
#define LIVEPUBLISHER_H

#include "line/livemailbox.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <QThread>

#include <map>

class PgConnection;
class RecordSender;

// Publishes a station's live state to the line's database from a thread of
// its own with its own connection: each slot as it changes (a change of
// state at once, progress within a unit about once a second at most) and a
// heartbeat every 5 s. Posting never waits: while the database is away only
// each slot's latest state is kept, and it is written once it is back.
class LivePublisher : public QThread
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
    ~LivePublisher() override;

    // From any thread.
    void post(const LiveSlot &slot);
    // Ends the thread once it has written what it can on the connection it
    // holds.
    void end();

protected:
    void run() override;

private:
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
