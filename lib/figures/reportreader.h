#ifndef REPORTREADER_H
#define REPORTREADER_H

#include "figures/recordselection.h"
#include "figures/shiftfigures.h"
#include "records/recordsource.h"

#include <functional>

// Reads every record of a source into the figures, those the selection
// takes; a record that cannot be counted is skipped, kept in the figures'
// list and handed to `skipped` as it is met.
class ReportReader
{
public:
    using SkipHandler = std::function<void(const SkippedRecord &)>;

    ReportReader(const RecordSelection &selection, SkipHandler skipped = {});

    // False when the source failed before its end (see its error()).
    bool read(RecordSource &source, ShiftFigures &figures) const;

private:
    void countRecord(const RecordText &text, bool read, const Attempt &attempt, const QString &reason,
                ShiftFigures &figures) const;

    RecordSelection selection;
    SkipHandler skipped;
};

#endif // REPORTREADER_H
