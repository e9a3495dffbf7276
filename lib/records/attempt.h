#ifndef ATTEMPT_H
#define ATTEMPT_H

#include <QString>
#include <QUuid>
#include <QVector>

// What the figures take from one attempt record, whatever its source.
struct Attempt
{
    enum Result { Ok, Failed, Gone, Interrupted, NotFound };

    struct Failure
    {
        int line = 0; // 0: no line of the configuration (a clock that failed)
        QString command;
        QString answer;
    };

    QUuid attemptId; // null in records from before attempt_id existed
    qint64 startedMs = 0; // since the epoch, UTC
    qint64 endedMs = 0;
    int offsetMinutes = 0; // the station's offset from UTC when it started
    QString station;
    QString slot;
    QString unit; // the adapter's serial number when the unit has its own; else empty
    QString file;
    QString fileSha256;
    int attempt = 1;
    Result result = Ok;
    qint64 milliseconds = 0; // the record's `seconds`
    QVector<Failure> failures;
    QString error;
};

#endif // ATTEMPT_H
