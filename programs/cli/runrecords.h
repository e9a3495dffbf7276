#ifndef RUNRECORDS_H
#define RUNRECORDS_H

#include "records/recordkeeper.h"

#include <QString>
#include <QStringList>

#include <mutex>

class RecordLog;

// The records of one run of morlank-cli, kept in its log (or spool) as each
// device's attempt ends. Once one cannot be written, none after it is: the
// run says so and fails.
class RunRecords : public RecordKeeper
{
public:
    // Without a log, every record counts as kept.
    explicit RunRecords(RecordLog *log);

    bool keep(const QJsonObject &record, QString &error) override;
    // Why a record could not be written, or empty.
    QString failure() const;
    // What the log had to say (it was moved and opened anew), since the last call.
    QStringList takeNotices();

private:
    RecordLog *const log;
    mutable std::mutex mutex;
    QString failed;
    QStringList notices;
};

#endif // RUNRECORDS_H
