#ifndef RECORDREADER_H
#define RECORDREADER_H

#include "records/attempt.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// Reads one attempt record, a JSON object as the station's log and database
// keep it, into what the figures need. Records written before times had
// milliseconds and before they had an `attempt_id` read the same.
class RecordReader
{
public:
    // False, with why in `reason`, when the record cannot be counted: not
    // JSON, a field a figure needs missing or unreadable, a result this
    // program does not know, or written by a newer major version.
    static bool read(const QByteArray &text, Attempt &attempt, QString &reason);
    static bool read(const QJsonObject &record, Attempt &attempt, QString &reason);

    // An ISO 8601 time with its offset ("2026-12-07T20:59:37.125+01:00"),
    // as milliseconds since the epoch and the offset in minutes.
    static bool readTime(const QString &text, qint64 &msSinceEpoch, int &offsetMinutes);
};

#endif // RECORDREADER_H
