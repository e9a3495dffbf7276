#ifndef DATABASERECORDS_H
#define DATABASERECORDS_H

#include "records/recordsource.h"

#include <QString>

#include <memory>

// The records of a line's database (`--db URL`), as a RecordSource that
// hands over the `record` column's JSON texts one by one; null, with the
// reason, when they cannot be read.
std::unique_ptr<RecordSource> databaseRecords(const QString &url, QString &error);

#endif // DATABASERECORDS_H
