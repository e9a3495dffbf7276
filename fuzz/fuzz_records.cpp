// Fuzzes the record reader and the figures behind it.
//
// Input: a log, one record a line. Every line is read as a record; those
// that read are counted. The figures must hold together whatever the
// records say: no more units than records, yields between 0 and 1, the
// median no longer than the 90th percentile, every attempt in one slot;
// the JSON and the page are made from them.

#include "figures/figuresjson.h"
#include "figures/reportpage.h"
#include "figures/reportreader.h"
#include "records/recordsource.h"

#include <QByteArray>
#include <QByteArrayList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
// The log's lines, as LogSource hands them over.
class MemorySource : public RecordSource
{
public:
    explicit MemorySource(const QByteArray &log)
        : lines(log.split('\n'))
        , endsWithLine(log.endsWith('\n'))
    {
        if (endsWithLine)
            lines.removeLast();
    }

    bool next(RecordText &record) override
    {
        if (index >= lines.size())
            return false;
        record.json = lines.at(index);
        record.origin = QStringLiteral("fuzz");
        record.line = ++index;
        record.partial = index == lines.size() && !endsWithLine;
        return true;
    }

    QString error() const override { return {}; }

private:
    QByteArrayList lines;
    bool endsWithLine;
    int index = 0;
};

void check(bool condition)
{
    if (!condition)
        abort();
}

bool fraction(const std::optional<double> &value)
{
    return !value || (*value >= 0 && *value <= 1);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray log(reinterpret_cast<const char *>(data), int(size));
    MemorySource source(log);
    ShiftFigures counted;
    check(ReportReader(RecordSelection()).read(source, counted));
    const Figures figures = counted.figures();
    check(figures.records + figures.skipped.size() <= log.count('\n') + 1);
    check(figures.units <= figures.records);
    check(figures.firstPassOk <= figures.firstPassCounted);
    check(figures.finalOk <= figures.finalCounted && figures.finalCounted <= figures.units);
    check(figures.firstPassCounted + figures.pulled + figures.interrupted <= figures.units);
    check(fraction(figures.firstPassYield()) && fraction(figures.finalYield()));
    check(bool(figures.cycleMedianMs) == bool(figures.cycleP90Ms));
    check(!figures.cycleMedianMs || *figures.cycleMedianMs <= *figures.cycleP90Ms);
    qint64 attempts = 0, units = 0;
    for (const Figures::Rate &slot : figures.bySlot) {
        check(slot.failed <= slot.attempts);
        attempts += slot.attempts;
    }
    for (const Figures::Hour &hour : figures.hours)
        units += hour.units;
    check(attempts <= figures.records && units == figures.units);
    FiguresJson::toJson(figures);
    ReportPage::html(figures, QStringLiteral("fuzz"));
    return 0;
}
