#ifndef RECORDSENDER_H
#define RECORDSENDER_H

#include <QDateTime>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

// Sends the records of a JSON Lines file (a station's log, or its spool) to
// morlank.attempts, in file order, from a thread of its own with its own
// connection. Where the database has confirmed up to is kept beside the file
// (FILE.sent), so that a record is sent again after a crash or a power cut
// until it is confirmed; each is stored once, by its attempt_id. A spool is
// emptied once every record in it is confirmed; a log is never changed.
class RecordSender : public QThread
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
    ~RecordSender() override;

    // The spool of this computer's user, $XDG_STATE_HOME/morlank/spool.jsonl;
    // its folder is made if missing.
    static QString spoolPath();
    // Records written to `fileName` and not yet confirmed, read from the file
    // itself: for `db status`, with no sender running.
    static int waitingIn(const QString &fileName);

    QString fileName() const;
    Backlog backlog() const;
    // Whether every record now in the file has been confirmed.
    bool hasSentAll() const;
    // Ends the thread once it has made its current attempt.
    void end();

protected:
    void run() override;

private:
    struct Batch;

    bool readPending(Batch &batch);
    bool send(class PgConnection &connection, const Batch &batch, QString &error);
    void confirm(qint64 upTo);
    void publish(const Batch &batch, const QString &error);
    void pause(int ms);

    const QString url;
    const QString file;
    const bool spool;
    int fd = -1;
    // The sender thread's own place in the file.
    qint64 cursor = 0;
    qint64 generation = -1;

    mutable std::mutex mutex;
    std::condition_variable wake;
    Backlog shown;
    bool ending = false;
};

#endif // RECORDSENDER_H
