#ifndef RECORDLOG_H
#define RECORDLOG_H

#include <QJsonObject>
#include <QString>

#include <mutex>

// A log of attempts, one JSON object a line (JSON Lines), appended so that a
// power cut loses at most the record being written: each line goes out whole
// in one write and is synced before append() returns. Several programs may
// append to one log; threads of one program may append at once.
class RecordLog
{
public:
    RecordLog() = default;
    ~RecordLog();
    RecordLog(const RecordLog &) = delete;
    RecordLog &operator=(const RecordLog &) = delete;

    // Creates the file if missing; false, with the reason, when it cannot be
    // opened for appending.
    bool open(const QString &fileName, QString &error);
    bool isOpen() const;
    // False, with the reason, when the record is not in the log.
    bool append(const QJsonObject &record, QString &error);

private:
    bool appendLocked(const QByteArray &line, QString &error);

    std::mutex mutex;
    int fd = -1;
};

#endif // RECORDLOG_H
