#ifndef SPOOL_H
#define SPOOL_H

#include <QDateTime>
#include <QJsonArray>
#include <QString>

#include <optional>

// A JSON Lines file of records on their way to the database: a station's
// spool, or a log whose records are sent as well. Where the database has
// confirmed up to is kept beside the file (FILE.sent, "GENERATION OFFSET"),
// so that a record is read again after a crash or a power cut until it is
// confirmed. A spool is emptied once every record in it is confirmed; a log
// is never changed. Writers append under the exclusive FileLock (RecordLog),
// readers read under the shared one, and the mark moves under the exclusive
// one, so several programs may share one file.
class Spool
{
public:
    // The complete lines read past a place, and the records among them
    // (lines without an attempt_id, from before records had one, are passed
    // over).
    struct Batch
    {
        QJsonArray records; // at most the number asked for
        QDateTime oldest; // the oldest waiting record's time
        qint64 start = 0; // the place read from
        qint64 end = 0; // the offset after the last line taken; `start` when none was
        int waiting = 0; // every record past the place, taken or not

        void take(const QByteArray &bytes, qint64 from, int most);
    };

    // A place in the file: an offset in the generation the file was in.
    // The mark is one; a generation passes only once its every record is
    // confirmed.
    struct Place
    {
        qint64 generation = 0;
        qint64 offset = 0;
    };

    // Opens the file, created if missing; `emptiedWhenConfirmed` for a
    // spool, false for a log.
    Spool(const QString &fileName, bool emptiedWhenConfirmed);
    ~Spool();
    Spool(const Spool &) = delete;
    Spool &operator=(const Spool &) = delete;

    // The spool of this computer's user, $XDG_STATE_HOME/morlank/spool.jsonl;
    // its folder is made if missing.
    static QString userPath();
    // Where `fileName` ends now.
    static Place endOf(const QString &fileName);
    // Records written to `fileName` and not yet confirmed, read from the file
    // itself (for `db status`, with no sender running); with `before`, only
    // those written before that place.
    static int waitingIn(const QString &fileName, const std::optional<Place> &before = std::nullopt);

    QString fileName() const;
    // The records from this reader's place to the file's end, at most `most`
    // of them; false when the file could not be opened. A place lost to a
    // spool emptied by another program is taken from the mark again.
    bool readPending(Batch &batch, int most);
    // The records before `upTo` are in the database: the mark moves on, and a
    // spool whose every record is confirmed is emptied.
    void confirm(qint64 upTo);

private:
    const QString file;
    const bool emptied;
    int fd = -1;
    // This reader's own place in the file.
    qint64 cursor = 0;
    qint64 generation = -1;
};

#endif // SPOOL_H
