#include "figures/reportreader.h"

#include "records/recordreader.h"

#include <QVector>

#include <future>

namespace {
// Records parsed together: enough that starting a thread per batch costs
// nothing next to the parsing, few enough to take no memory to speak of.
const int batchSize = 4096;

struct ParsedRecord
{
    RecordText text;
    Attempt attempt;
    QString reason;
    bool read = false;
};

void parse(QVector<ParsedRecord> &batch, int from, int to)
{
    for (int i = from; i < to; ++i) {
        ParsedRecord &record = batch[i];
        record.read = RecordReader::read(record.text.json, record.attempt, record.reason);
    }
}
} // namespace

ReportReader::ReportReader(const RecordSelection &selection, SkipHandler skipped)
    : selection(selection)
    , skipped(std::move(skipped))
{
}

// Parsing is most of the work: each batch is parsed in two halves at once,
// then counted in the order the source gave it, as the units need.
bool ReportReader::read(RecordSource &source, ShiftFigures &figures) const
{
    QVector<ParsedRecord> batch;
    RecordText text;
    for (;;) {
        int count = 0;
        while (count < batchSize && source.next(text)) {
            if (count == batch.size())
                batch.append(ParsedRecord());
            batch[count++].text = text;
        }
        if (count > 1) {
            auto firstHalf = std::async(std::launch::async, parse, std::ref(batch), 0, count / 2);
            parse(batch, count / 2, count);
            firstHalf.get();
        } else {
            parse(batch, 0, count);
        }
        for (int i = 0; i < count; ++i)
            countRecord(batch[i].text, batch[i].read, batch[i].attempt, batch[i].reason, figures);
        if (count < batchSize)
            break;
    }
    return source.error().isEmpty();
}

// A last line without its line end is whole if it reads whole: an object
// cut short never closes.
void ReportReader::countRecord(const RecordText &text, bool read, const Attempt &attempt, const QString &reason,
                          ShiftFigures &figures) const
{
    if (read) {
        if (selection.accepts(attempt))
            figures.add(attempt);
        return;
    }
    const SkippedRecord record{text.origin, text.line, text.partial ? QStringLiteral("partial last line") : reason};
    figures.skip(record);
    if (skipped)
        skipped(record);
}
