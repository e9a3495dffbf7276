#include "reportreader.h"

#include "recordreader.h"

ReportReader::ReportReader(const RecordSelection &selection, SkipHandler skipped)
    : selection(selection)
    , skipped(std::move(skipped))
{
}

bool ReportReader::read(RecordSource &source, ShiftFigures &figures) const
{
    RecordText text;
    Attempt attempt;
    QString reason;
    while (source.next(text)) {
        // A last line without its line end is whole if it reads whole: an
        // object cut short never closes.
        if (RecordReader::read(text.json, attempt, reason)) {
            if (selection.accepts(attempt))
                figures.add(attempt);
            continue;
        }
        const SkippedRecord record{text.origin, text.line,
                                   text.partial ? QStringLiteral("partial last line") : reason};
        figures.skip(record);
        if (skipped)
            skipped(record);
    }
    return source.error().isEmpty();
}
