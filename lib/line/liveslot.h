#ifndef LIVESLOT_H
#define LIVESLOT_H

#include <QDateTime>
#include <QJsonObject>
#include <QString>

// What one slot of a station shows now, as the line's database keeps it in
// morlank.live_slots.
struct LiveSlot
{
    QString slot;
    QString state;   // as an operator reads it: "programming", "ok", "waits for the database"...
    QString unit;
    int progress = 0; // commands done
    int total = 0;
    QString line;    // the first failing line of a failed unit: "line 3: ZEL#B=2"
    QString release; // NAME@REV
    QString order;
    QDateTime since; // when the slot came to this state

    // Whether `other` is this slot further on in the same state: only its
    // progress differs.
    bool isProgressOf(const LiveSlot &other) const;
    // A copy that shares no text with this one, to hand to another thread.
    LiveSlot detached() const;
    // The object morlank.live_slots() takes.
    QJsonObject toJson() const;
};

#endif // LIVESLOT_H
