#include "jobs/jobjson.h"

#include <QRegularExpression>

namespace {
QString reasonName(DownloadJob::Failure::Reason reason)
{
    switch (reason) {
    case DownloadJob::Failure::Refused: return QStringLiteral("refused");
    case DownloadJob::Failure::NoAnswer: return QStringLiteral("no answer");
    case DownloadJob::Failure::NotSendable: break;
    }
    return QStringLiteral("not sendable");
}

QJsonObject failure(const DownloadJob::Failure &failure)
{
    QJsonObject entry{{JobJson::FailureKeys::line, failure.line},
                      {JobJson::FailureKeys::command, failure.command},
                      {JobJson::FailureKeys::reason, reasonName(failure.reason)},
                      {JobJson::FailureKeys::answer, failure.reason == DownloadJob::Failure::NotSendable
                                               ? QJsonValue()
                                               : QJsonValue(JobJson::answerText(failure.answer))}};
    if (!failure.lateAnswer.isEmpty())
        entry.insert(JobJson::FailureKeys::lateAnswer, JobJson::answerText(failure.lateAnswer));
    return entry;
}
} // namespace

namespace JobJson {
QString answerText(const QByteArray &answer)
{
    return QString::fromUtf8(answer)
        .split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts)
        .join(QLatin1Char(' '));
}

QJsonArray failures(const QVector<DownloadJob::Failure> &failures)
{
    QJsonArray list;
    for (const DownloadJob::Failure &entry : failures)
        list << failure(entry);
    return list;
}

QJsonObject clockWrite(const ClockWriteJob::Result &r)
{
    QJsonObject clock{{ClockKeys::written, r.written.text()},
                      {ClockKeys::timeAcknowledged, r.timeAcknowledged},
                      {ClockKeys::dateAcknowledged, r.dateAcknowledged},
                      {ClockKeys::verified, r.verified ? QJsonValue(*r.verified) : QJsonValue()}};
    if (r.verified)
        clock.insert(ClockKeys::readBack, r.readBack.isValid() ? QJsonValue(r.readBack.text()) : QJsonValue());
    return clock;
}
} // namespace JobJson
