#ifndef JOBJSON_H
#define JOBJSON_H

#include "jobs/clockwritejob.h"
#include "jobs/downloadjob.h"

#include <QJsonArray>
#include <QJsonObject>

// The results of jobs as JSON, the same wherever they are printed or kept.
namespace JobJson {
// Line ends go; lines of a longer answer are kept apart by a space.
QString answerText(const QByteArray &answer);
// line, command, reason, answer and, where one came, late_answer.
QJsonArray failures(const QVector<DownloadJob::Failure> &failures);
// written, time_acknowledged, date_acknowledged, verified and, with a
// verify, read_back.
QJsonObject clockWrite(const ClockWriteJob::Result &result);
} // namespace JobJson

#endif // JOBJSON_H
