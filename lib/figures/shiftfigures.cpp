#include "figures/shiftfigures.h"

#include "base/naturalorder.h"

#include <QDateTime>

#include <algorithm>

namespace {
// Answers kept per failing line: enough to see what a line answers, bounded
// whatever a device says.
const int answersKept = 20;
const qint64 hourMs = 3600000;
// Empty hours are shown between busy ones up to a month of them.
const qint64 hoursFilled = 31 * 24;

QString key(const QString &a, const QString &b)
{
    return a + QChar(0x1f) + b;
}

void countRate(QHash<QString, Figures::Rate> &rates, const QString &key, const Figures::Rate &names, bool failed)
{
    auto found = rates.find(key);
    if (found == rates.end())
        found = rates.insert(key, names);
    ++found->attempts;
    found->failed += failed;
}

QVector<Figures::Rate> sortedRates(const QHash<QString, Figures::Rate> &rates)
{
    QVector<Figures::Rate> list;
    for (const Figures::Rate &rate : rates)
        list << rate;
    std::sort(list.begin(), list.end(), [](const Figures::Rate &a, const Figures::Rate &b) {
        if (a.station != b.station)
            return naturalLess(a.station, b.station);
        return a.name != b.name ? naturalLess(a.name, b.name) : a.sha256 < b.sha256;
    });
    return list;
}

qint64 hourOf(qint64 ms, int offsetMinutes)
{
    return (ms + offsetMinutes * 60000LL) / hourMs;
}

QString hourText(qint64 hour)
{
    return QDateTime::fromMSecsSinceEpoch(hour * hourMs, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd HH:00"));
}
} // namespace

void ShiftFigures::add(const Attempt &attempt)
{
    if (!attempt.attemptId.isNull() && !addId(attempt.attemptId)) {
        ++duplicates;
        return;
    }
    if (records == 0 || attempt.startedMs < firstStartedMs) {
        firstStartedMs = attempt.startedMs;
        firstOffset = attempt.offsetMinutes;
    }
    if (records == 0 || attempt.endedMs > lastEndedMs) {
        lastEndedMs = attempt.endedMs;
        lastOffset = attempt.offsetMinutes;
    }
    ++records;
    // No device answered: nothing was attached to count.
    if (attempt.result == Attempt::NotFound)
        return;
    addToUnit(attempt);
    const bool failed = attempt.result == Attempt::Failed;
    countRate(slotRates, key(attempt.station, attempt.slot), {attempt.station, attempt.slot, {}, 0, 0}, failed);
    countRate(stationRates, attempt.station, {attempt.station, {}, {}, 0, 0}, failed);
    const QString fileName = attempt.file.section(QLatin1Char('/'), -1);
    countRate(fileRates, key(fileName, attempt.fileSha256), {{}, fileName, attempt.fileSha256, 0, 0}, failed);
    if (attempt.result == Attempt::Ok)
        ++okCycleMs[attempt.milliseconds];
    if (failed)
        addFailures(attempt);
}

bool ShiftFigures::addId(const QUuid &id)
{
    const int before = attemptIds.size();
    attemptIds.insert(id);
    return attemptIds.size() > before;
}

void ShiftFigures::skip(const SkippedRecord &record)
{
    skipped << record;
}

ShiftFigures::UnitState ShiftFigures::unitOf(const Attempt &attempt)
{
    UnitState unit;
    unit.firstStartedMs = attempt.startedMs;
    unit.lastEndedMs = attempt.endedMs;
    unit.offsetMinutes = qint16(attempt.offsetMinutes);
    unit.first = unit.last = quint8(attempt.result);
    unit.firstSeen = attempt.attempt == 1;
    return unit;
}

// A unit with its own adapter is its serial number wherever and whenever it
// comes back; its first and last attempts are the earliest and the latest.
// Any other unit starts with attempt 1 in its slot and takes the retries
// that follow there.
void ShiftFigures::addToUnit(const Attempt &attempt)
{
    if (!attempt.unit.isEmpty()) {
        const auto [found, added] = serialUnits.try_emplace(attempt.unit.toStdString(), unitOf(attempt));
        if (added)
            return;
        UnitState &unit = found->second;
        if (attempt.startedMs < unit.firstStartedMs) {
            unit.firstStartedMs = attempt.startedMs;
            unit.offsetMinutes = qint16(attempt.offsetMinutes);
            unit.first = quint8(attempt.result);
            unit.firstSeen = attempt.attempt == 1;
        }
        if (attempt.endedMs >= unit.lastEndedMs) {
            unit.lastEndedMs = attempt.endedMs;
            unit.last = quint8(attempt.result);
        }
        return;
    }
    const QString slot = key(attempt.station, attempt.slot);
    auto open = slotUnits.find(slot);
    if (open == slotUnits.end() || attempt.attempt == 1) {
        if (open != slotUnits.end())
            countUnit(*open, closed, closedHours);
        slotUnits.insert(slot, unitOf(attempt));
        return;
    }
    open->last = quint8(attempt.result);
    open->lastEndedMs = attempt.endedMs;
}

void ShiftFigures::addFailures(const Attempt &attempt)
{
    QVector<Attempt::Failure> lines = attempt.failures;
    if (lines.isEmpty())
        lines << Attempt::Failure{0, QString(), attempt.error};
    for (const Attempt::Failure &failure : lines) {
        Answers &group = failures[qMakePair(failure.line, failure.command)];
        ++group.count;
        auto seen = group.answers.find(failure.answer);
        if (seen != group.answers.end())
            ++*seen;
        else if (group.answers.size() < answersKept)
            group.answers.insert(failure.answer, 1);
    }
}

void ShiftFigures::countUnit(const UnitState &unit, Figures &figures, QMap<qint64, HourCounts> &hours)
{
    ++figures.units;
    HourCounts &hour = hours[hourOf(unit.firstStartedMs, unit.offsetMinutes)];
    ++hour.units;
    if (unit.firstSeen) {
        figures.pulled += unit.first == Attempt::Gone;
        figures.interrupted += unit.first == Attempt::Interrupted;
        const bool counted = unit.first == Attempt::Ok || unit.first == Attempt::Failed;
        figures.firstPassCounted += counted;
        figures.firstPassOk += unit.first == Attempt::Ok;
        hour.firstPassCounted += counted;
        hour.firstPassOk += unit.first == Attempt::Ok;
    }
    figures.finalCounted += unit.last == Attempt::Ok || unit.last == Attempt::Failed;
    figures.finalOk += unit.last == Attempt::Ok;
}

Figures ShiftFigures::figures() const
{
    Figures result = closed;
    QMap<qint64, HourCounts> hours = closedHours;
    for (const UnitState &unit : slotUnits)
        countUnit(unit, result, hours);
    for (const auto &unit : serialUnits)
        countUnit(unit.second, result, hours);
    result.records = records;
    result.duplicates = duplicates;
    result.firstStartedMs = firstStartedMs;
    result.firstOffsetMinutes = firstOffset;
    result.lastEndedMs = lastEndedMs;
    result.lastOffsetMinutes = lastOffset;
    cycleTimes(result);
    result.failures = failureGroups();
    result.bySlot = sortedRates(slotRates);
    result.byStation = sortedRates(stationRates);
    result.byFile = sortedRates(fileRates);
    if (!hours.isEmpty() && hours.lastKey() - hours.firstKey() < hoursFilled) {
        for (qint64 hour = hours.firstKey(); hour < hours.lastKey(); ++hour)
            hours[hour];
    }
    for (auto hour = hours.cbegin(); hour != hours.cend(); ++hour)
        result.hours << Figures::Hour{hourText(hour.key()), hour->units, hour->firstPassOk, hour->firstPassCounted};
    result.skipped = skipped;
    return result;
}

// The median is the middle time (between the two middle ones for an even
// count); the 90th percentile the shortest time that 90 % of the attempts
// took at most.
void ShiftFigures::cycleTimes(Figures &figures) const
{
    qint64 count = 0;
    for (const auto &time : okCycleMs)
        count += time.second;
    if (count == 0)
        return;
    auto nth = [&](qint64 rank) { // 1-based
        for (const auto &time : okCycleMs) {
            if ((rank -= time.second) <= 0)
                return time.first;
        }
        return okCycleMs.rbegin()->first;
    };
    figures.cycleMedianMs = (nth((count + 1) / 2) + nth(count / 2 + 1)) / 2;
    figures.cycleP90Ms = nth((count * 9 + 9) / 10);
}

QVector<Figures::FailureGroup> ShiftFigures::failureGroups() const
{
    QVector<Figures::FailureGroup> groups;
    for (auto group = failures.cbegin(); group != failures.cend(); ++group) {
        QVector<QPair<qint64, QString>> answers;
        for (auto answer = group->answers.cbegin(); answer != group->answers.cend(); ++answer)
            answers << qMakePair(-answer.value(), answer.key());
        std::sort(answers.begin(), answers.end());
        Figures::FailureGroup entry{group.key().first, group.key().second, {}, group->count};
        for (const auto &answer : answers)
            entry.answers << answer.second;
        groups << entry;
    }
    std::stable_sort(groups.begin(), groups.end(),
                     [](const Figures::FailureGroup &a, const Figures::FailureGroup &b) { return a.count > b.count; });
    return groups;
}
