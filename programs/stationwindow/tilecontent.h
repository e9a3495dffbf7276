#ifndef TILECONTENT_H
#define TILECONTENT_H

#include "station/slotview.h"

#include <QString>
#include <QStringList>

// What a slot's tile says, in the words an operator reads: the slot's name,
// its state, the progress and the details that matter for that state, most
// important first.
struct TileContent
{
    // The colour family of a state; never the only sign of it.
    enum Tone { Idle, Working, Good, Bad, Warning };

    QString name;
    QString state;
    Tone tone = Idle;
    int done = 0;
    int total = 0; // 0: no progress to show
    QStringList details;

    static TileContent of(const SlotView &view);
};

#endif // TILECONTENT_H
