#ifndef DATABASERECORDS_H
#define DATABASERECORDS_H

#include "records/recordsource.h"

#include <QString>

#include <memory>
#include <optional>

// The records of a line's database (`--db URL`), as a RecordSource that
// hands over the `record` column's JSON texts one by one; null, with the
// reason, when they cannot be read. Only those whose time (when the attempt
// ended, milliseconds since the epoch) is from `sinceMs` to before
// `untilMs` are read: the server finds them by its index on time, so a day
// of a table of years costs a day.
std::unique_ptr<RecordSource> databaseRecords(const QString &url, std::optional<qint64> sinceMs,
                                              std::optional<qint64> untilMs, QString &error);

#endif // DATABASERECORDS_H
