#ifndef STATIONDISPLAY_H
#define STATIONDISPLAY_H

#include "livelines.h"
#include "slotview.h"

#include <QString>
#include <QVector>

// The slots of a station on standard error. On a terminal, one line per slot
// and a line of totals, redrawn in place; otherwise one line per change of a
// slot's state.
class StationDisplay
{
public:
    struct Totals
    {
        int ok = 0;
        int failed = 0;
        double perHour = 0;
        QString database; // with --db: what waits for the database, or empty
    };

    explicit StationDisplay(bool quiet);

    bool isLive() const;
    // On a terminal: draws the slots anew.
    void draw(const QVector<SlotView> &views, const Totals &totals);
    // Off a terminal: a line when a slot's state changed.
    void log(const SlotView &slot);
    // A message that stays, above the slots.
    void message(const QString &text);

private:
    const bool quiet;
    const bool terminal;
    QVector<SlotView> logged;
    LiveLines live;
};

// One slot as a line: its name and state, with a progress bar when `live`.
QString slotLine(const SlotView &slot, bool live);

#endif // STATIONDISPLAY_H
