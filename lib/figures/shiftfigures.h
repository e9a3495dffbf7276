#ifndef SHIFTFIGURES_H
#define SHIFTFIGURES_H

#include "figures/figures.h"
#include "records/attempt.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QUuid>

#include <string>
#include <unordered_map>

// Counts attempts into the figures as they stream past, keeping counters
// and never the records: memory grows with the units whose adapter has a
// serial number (a unit may come back at any time), the slots, the
// configuration lines that fail and the distinct cycle times, not with the
// records.
class ShiftFigures
{
public:
    void add(const Attempt &attempt);
    void skip(const SkippedRecord &record);
    // The figures of everything added so far; adding may go on after.
    Figures figures() const;

private:
    struct UnitState
    {
        qint64 firstStartedMs = 0;
        qint64 lastEndedMs = 0;
        qint16 offsetMinutes = 0;
        quint8 first = Attempt::Ok;
        quint8 last = Attempt::Ok;
        bool firstSeen = false; // its first attempt is in the selection
    };
    struct Answers
    {
        qint64 count = 0;
        QHash<QString, qint64> answers;
    };
    struct HourCounts
    {
        qint64 units = 0;
        qint64 firstPassOk = 0;
        qint64 firstPassCounted = 0;
    };

    // False when the record was counted already.
    bool addId(const QUuid &id);
    void addToUnit(const Attempt &attempt);
    void addFailures(const Attempt &attempt);
    static UnitState unitOf(const Attempt &attempt);
    static void countUnit(const UnitState &unit, Figures &figures, QMap<qint64, HourCounts> &hours);
    void cycleTimes(Figures &figures) const;
    QVector<Figures::FailureGroup> failureGroups() const;

    qint64 records = 0;
    // A record given twice (two copies of a log, a log and the database) is
    // counted once; those without an attempt_id cannot be told apart.
    QSet<QUuid> attemptIds;
    qint64 duplicates = 0;
    qint64 firstStartedMs = 0;
    qint64 lastEndedMs = 0;
    int firstOffset = 0;
    int lastOffset = 0;
    // Units known by their adapter's serial number.
    std::unordered_map<std::string, UnitState> serialUnits;
    // Units known by their slot: the one in each slot, still open to retries.
    QHash<QString, UnitState> slotUnits;
    // Units of slots whose next unit has come: counted and forgotten.
    Figures closed;
    QMap<qint64, HourCounts> closedHours;
    QHash<QString, Figures::Rate> slotRates;
    QHash<QString, Figures::Rate> stationRates;
    QHash<QString, Figures::Rate> fileRates;
    QMap<QPair<int, QString>, Answers> failures;
    std::map<qint64, qint64> okCycleMs; // milliseconds: how many
    QVector<SkippedRecord> skipped;
};

#endif // SHIFTFIGURES_H
