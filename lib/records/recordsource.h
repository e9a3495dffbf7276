#ifndef RECORDSOURCE_H
#define RECORDSOURCE_H

#include <QByteArray>
#include <QString>

// One record as a source hands it over: its JSON text and where it was.
struct RecordText
{
    QByteArray json;
    QString origin; // a log's name, or where the database keeps it
    qint64 line = 0;
    bool partial = false; // a last line cut short, by a crash or a writer still at work
};

// A stream of attempt records, one JSON text each. The figures read every
// source alike, so the same records give the same figures wherever they are
// kept.
class RecordSource
{
public:
    virtual ~RecordSource() = default;
    // False at the end, or when the source failed (see error()).
    virtual bool next(RecordText &record) = 0;
    // Why the source stopped before its end; empty when it did not.
    virtual QString error() const = 0;
};

#endif // RECORDSOURCE_H
