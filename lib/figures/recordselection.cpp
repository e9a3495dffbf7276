#include "figures/recordselection.h"

#include <QRegularExpression>

namespace {
bool isHashPrefix(const QString &text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{6,64}$"));
    return hex.match(text).hasMatch();
}

bool fileMatches(const QString &wanted, const Attempt &attempt)
{
    if (wanted == attempt.file || wanted == attempt.file.section(QLatin1Char('/'), -1))
        return true;
    return isHashPrefix(wanted) && attempt.fileSha256.startsWith(wanted, Qt::CaseInsensitive);
}

qint64 startOfDay(const QDate &date, bool untilEnd)
{
    return (untilEnd ? date.addDays(1) : date).startOfDay().toMSecsSinceEpoch();
}
} // namespace

bool RecordSelection::accepts(const Attempt &attempt) const
{
    return (!sinceMs || attempt.endedMs >= *sinceMs) && (!untilMs || attempt.endedMs < *untilMs)
           && (station.isEmpty() || attempt.station == station) && (slot.isEmpty() || attempt.slot == slot)
           && (file.isEmpty() || fileMatches(file, attempt));
}

std::optional<qint64> RecordSelection::parseWhen(const QString &text, const QDateTime &now, bool untilEnd)
{
    const QString when = text.trimmed();
    if (when == QLatin1String("today"))
        return startOfDay(now.date(), untilEnd);
    if (when == QLatin1String("yesterday"))
        return startOfDay(now.date().addDays(-1), untilEnd);
    static const QRegularExpression ago(QStringLiteral("^-(\\d{1,6})([mhd])$"));
    const QRegularExpressionMatch match = ago.match(when);
    if (match.hasMatch()) {
        const qint64 unit = match.captured(2) == QLatin1String("m")   ? 60000
                            : match.captured(2) == QLatin1String("h") ? 3600000
                                                                      : 86400000;
        return now.toMSecsSinceEpoch() - match.captured(1).toLongLong() * unit;
    }
    const QDate date = QDate::fromString(when, QStringLiteral("yyyy-MM-dd"));
    if (date.isValid())
        return startOfDay(date, untilEnd);
    for (const char *format : {"yyyy-MM-dd HH:mm", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm", "yyyy-MM-ddTHH:mm:ss"}) {
        const QDateTime time = QDateTime::fromString(when, QLatin1String(format));
        if (time.isValid())
            return time.toMSecsSinceEpoch();
    }
    const QDateTime withOffset = QDateTime::fromString(when, Qt::ISODateWithMs);
    if (withOffset.isValid() && when.size() > 19)
        return withOffset.toMSecsSinceEpoch();
    return std::nullopt;
}

QString RecordSelection::badWhen(const QString &name, const QString &text)
{
    return QStringLiteral("%1 takes a date (2026-12-07), a date and time (2026-12-07 14:00), today, yesterday or "
                          "a time ago (-8h, -30m, -2d), not '%2'.")
        .arg(name, text);
}
