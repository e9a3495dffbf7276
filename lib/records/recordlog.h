#ifndef RECORDLOG_H
#define RECORDLOG_H

#include <QJsonObject>
#include <QString>

#include <mutex>

// A log of attempts, one JSON object a line (JSON Lines), appended so that a
// power cut loses at most the record being written: each line goes out whole
// in one write and is synced before append() returns. Several programs may
// append to one log; threads of one program may append at once. A log moved
// or removed (logrotate) is followed: each record goes to the file that the
// log's path names when it is written.
class RecordLog
{
public:
    RecordLog() = default;
    ~RecordLog();
    RecordLog(const RecordLog &) = delete;
    RecordLog &operator=(const RecordLog &) = delete;

    // Opens the file for appending, creating it if missing, and checks that
    // what is written there can be synced to disk; false, with a message that
    // says why and what to do, when it cannot be kept there.
    bool open(const QString &fileName, QString &error);
    bool isOpen() const;
    // False, with the reason, when the record is not in the file at the
    // log's path.
    bool append(const QJsonObject &record, QString &error);
    // What the user should hear of once: the log was found moved or removed
    // and opened anew at its path. Empty when nothing happened since the last
    // call.
    QString takeNotice();

private:
    bool followPath(QString &error);
    bool appendLocked(const QByteArray &line, QString &error);

    std::mutex mutex;
    QString path;
    int fd = -1;
    QString notice;
};

#endif // RECORDLOG_H
