#include "cli/runrecords.h"

#include "records/recordlog.h"

RunRecords::RunRecords(RecordLog *l)
    : log(l)
{
}

bool RunRecords::keep(const QJsonObject &record, QString &error)
{
    if (!log)
        return true;
    std::lock_guard<std::mutex> lock(mutex);
    if (failed.isEmpty() && !log->append(record, failed) && failed.isEmpty())
        failed = QStringLiteral("the record was not written");
    const QString notice = log->takeNotice();
    if (!notice.isEmpty())
        notices << notice;
    error = failed;
    return failed.isEmpty();
}

QString RunRecords::failure() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return failed;
}

QStringList RunRecords::takeNotices()
{
    std::lock_guard<std::mutex> lock(mutex);
    QStringList taken;
    taken.swap(notices);
    return taken;
}
