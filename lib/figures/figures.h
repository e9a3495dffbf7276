#ifndef FIGURES_H
#define FIGURES_H

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// A record that was not counted, and why.
struct SkippedRecord
{
    QString origin;
    qint64 line = 0;
    QString reason;
};

// What a supervisor reads about a selection of records: the figures of a
// report, worked out, in the order they are shown.
struct Figures
{
    struct Rate
    {
        QString station; // slots and stations
        QString name;    // the slot, or the configuration file's name
        QString sha256;  // files
        qint64 attempts = 0;
        qint64 failed = 0;
        double failureRate() const { return attempts ? double(failed) / attempts : 0; }
    };
    struct FailureGroup
    {
        int line = 0; // 0: not a line of the configuration
        QString command;
        QStringList answers; // most seen first
        qint64 count = 0;
    };
    struct Hour
    {
        QString hour; // the station's local hour, "2026-12-07 14:00"
        qint64 units = 0;
        qint64 firstPassOk = 0;
        qint64 firstPassCounted = 0;
        std::optional<double> firstPassYield() const;
    };

    qint64 records = 0;
    qint64 duplicates = 0; // records given again under an attempt_id already counted
    qint64 units = 0;
    qint64 pulled = 0;
    qint64 interrupted = 0;
    qint64 firstPassOk = 0;
    qint64 firstPassCounted = 0; // first attempt ok or failed
    qint64 finalOk = 0;
    qint64 finalCounted = 0; // last attempt ok or failed
    qint64 firstStartedMs = 0;
    int firstOffsetMinutes = 0;
    qint64 lastEndedMs = 0;
    int lastOffsetMinutes = 0;
    std::optional<qint64> cycleMedianMs;
    std::optional<qint64> cycleP90Ms;
    QVector<FailureGroup> failures;
    QVector<Rate> bySlot;
    QVector<Rate> byStation;
    QVector<Rate> byFile;
    QVector<Hour> hours;
    QVector<SkippedRecord> skipped;

    std::optional<double> firstPassYield() const;
    std::optional<double> finalYield() const;
    // Units per hour over the span from the first start to the last end:
    // none below rateSpanMs, where a few units would read as hundreds an
    // hour (the station window waits a minute of running for the same
    // reason). rateMissing() then says why in words.
    static const qint64 rateSpanMs = 5 * 60000;
    std::optional<double> unitsPerHour() const;
    QString rateMissing() const;
};

#endif // FIGURES_H
