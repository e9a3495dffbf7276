#ifndef STATIONDISPLAY_H
#define STATIONDISPLAY_H

#include "cli/livelines.h"
#include "station/slotview.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <optional>

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
        std::optional<double> perHour; // once the station has run long enough to tell
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
    // An attempt's lines on standard output; on the terminal that shows the
    // slots, above them.
    void print(const QByteArray &bytes);

    // One slot in at most `width` screen columns: its name and state with a
    // progress bar. The bar shortens first, down to none, then the name
    // loses its middle.
    static QString line(const SlotView &slot, int width);
    static QString totalsLine(const Totals &totals);

private:
    const bool quiet;
    const bool terminal;
    const bool sharedTerminal; // standard output and error are one terminal
    QVector<SlotView> logged;
    LiveLines live;
};

#endif // STATIONDISPLAY_H
