#ifndef RECORDSENDER_H
#define RECORDSENDER_H

#include "records/spool.h"

#include <QDateTime>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>

// Sends the records of a JSON Lines file (a station's log, or its spool) to
// morlank.attempts, in file order, from a thread of its own with its own
// connection. The file's rules (the confirmed mark beside it, a spool
// emptied once all is confirmed) are the Spool's; each record is stored once,
// by its attempt_id, however often it is sent.
class RecordSender
{
public:
    // What waits for the database: how many records, since when.
    struct Backlog
    {
        int records = 0;
        QDateTime since; // the oldest waiting record's time
        QString error; // why the last sending failed, or empty
    };

    RecordSender(const QString &url, const QString &fileName, bool isSpool);
    ~RecordSender();
    RecordSender(const RecordSender &) = delete;
    RecordSender &operator=(const RecordSender &) = delete;

    void start();

    QString fileName() const;
    Backlog backlog() const;
    // This program writes no more records to the file: from here on
    // hasSentAll() and leftBehind() speak of the records written until now,
    // not of those that other programs sharing the file write later.
    void writingDone();
    // Whether every record now in the file (or written before writingDone())
    // has been confirmed.
    bool hasSentAll() const;
    // Ends the thread once it has made its current attempt and joins it: a
    // join orders what the thread touched before the sender is freed, as
    // Qt's wait() does unseen by the race checker.
    void end();
    // Once ended: how many records are left for the next start, and the
    // last reason a send failed; empty when every record is in.
    QString leftBehind() const;

private:
    void run();
    bool send(class PgConnection &connection, const Spool::Batch &batch, QString &error);
    void publish(const Spool::Batch &batch, const QString &error);
    void pause(int ms);

    const QString url;
    // Read and confirmed by the sending thread alone.
    Spool spool;
    // Where the file ended at writingDone(); the caller's thread's own.
    std::optional<Spool::Place> ownEnd;

    mutable std::mutex mutex;
    std::condition_variable wake;
    Backlog shown;
    bool ending = false;
    std::thread thread;
};

#endif // RECORDSENDER_H
