#ifndef LOGSOURCE_H
#define LOGSOURCE_H

#include "records/recordsource.h"

#include <QFile>
#include <QStringList>

// The records of JSON Lines logs, one file after the other ("-" is standard
// input), read a block at a time so that a log of any size takes the same
// memory.
class LogSource : public RecordSource
{
public:
    explicit LogSource(const QStringList &fileNames);

    // False, with the reason, when a log cannot be read; checked before any
    // record is, so that a mistyped name is not half a report.
    bool check(QString &error) const;
    bool next(RecordText &record) override;
    QString error() const override;

private:
    bool openNext();
    bool fillBuffer();

    QStringList fileNames;
    int current = -1;
    QFile file;
    QByteArray buffer;
    int position = 0;
    qint64 lineNumber = 0;
    QString failure;
};

#endif // LOGSOURCE_H
