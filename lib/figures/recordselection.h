#ifndef RECORDSELECTION_H
#define RECORDSELECTION_H

#include "records/attempt.h"

#include <QDateTime>
#include <QString>

#include <optional>

// Which records a report counts: a period of their `time`, a station, a
// slot, a configuration file (its name, path or the start of its SHA-256).
struct RecordSelection
{
    std::optional<qint64> sinceMs; // from, included
    std::optional<qint64> untilMs; // to, left out
    QString station;
    QString slot;
    QString file;

    bool accepts(const Attempt &attempt) const;

    // WHEN as the command line takes it: "2026-12-07", "2026-12-07 14:00",
    // "2026-12-07T14:00:30", "today", "yesterday", "-8h" (also m and d), in
    // the local time of `now`. A day given to --until means its end.
    static std::optional<qint64> parseWhen(const QString &text, const QDateTime &now, bool untilEnd);
    // Why `text`, given as `name`, is not a WHEN.
    static QString badWhen(const QString &name, const QString &text);
};

#endif // RECORDSELECTION_H
