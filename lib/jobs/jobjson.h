#ifndef JOBJSON_H
#define JOBJSON_H

#include "jobs/clockwritejob.h"
#include "jobs/downloadjob.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// The results of jobs as JSON, the same wherever they are printed or kept.
namespace JobJson {
// The keys of a failure's entry and of a clock's object: spelled here once,
// for the CLI's JSON and for the attempt records that carry them.
namespace FailureKeys {
inline const QString line = QStringLiteral("line");
inline const QString command = QStringLiteral("command");
inline const QString reason = QStringLiteral("reason");
inline const QString answer = QStringLiteral("answer");
inline const QString lateAnswer = QStringLiteral("late_answer");
} // namespace FailureKeys
namespace ClockKeys {
inline const QString written = QStringLiteral("written");
inline const QString timeAcknowledged = QStringLiteral("time_acknowledged");
inline const QString dateAcknowledged = QStringLiteral("date_acknowledged");
inline const QString verified = QStringLiteral("verified");
inline const QString readBack = QStringLiteral("read_back");
} // namespace ClockKeys

// Line ends go; lines of a longer answer are kept apart by a space.
QString answerText(const QByteArray &answer);
// line, command, reason, answer and, where one came, late_answer.
QJsonArray failures(const QVector<DownloadJob::Failure> &failures);
// written, time_acknowledged, date_acknowledged, verified and, with a
// verify, read_back.
QJsonObject clockWrite(const ClockWriteJob::Result &result);
} // namespace JobJson

#endif // JOBJSON_H
