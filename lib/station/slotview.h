#ifndef SLOTVIEW_H
#define SLOTVIEW_H

#include <QJsonObject>
#include <QString>

// What a slot of a station shows at one moment: a value, copied out of the
// slot's thread.
struct SlotView
{
    enum State {
        Empty,        // no port, or nothing answering on it
        Probing,      // a port just appeared and is being asked
        SettingClock, // a unit's clock is being set
        Verifying,    // ... and read back
        Programming,  // the configuration is going out: `done` of `total`
        Ok,
        Failed,
        Gone,         // taken away before its job was done
        Interrupted,  // the station stopped in the middle of its job
        NotRecorded,  // its attempt ended but could not be written to the log
        NotServed     // a unit the station no longer takes (`note` says why)
    };

    QString slot;
    QString port;      // empty while the slot has no port
    State state = Empty;
    QString portState; // while empty: what the port answered, or "absent"
    int done = 0;
    int total = 0;
    int failures = 0;
    int attempt = 0;
    QString unit;      // the adapter's serial number, or the values the unit got
    double seconds = 0;
    bool attached = false; // a unit is in the slot
    QString note;
    QJsonObject record; // the last attempt's

    bool isWorking() const;
    bool isFinished() const;
    bool operator==(const SlotView &other) const;
    bool operator!=(const SlotView &other) const { return !(*this == other); }

    // As an operator reads it: "empty", "setting clock", "failed"...
    static QString stateName(State state);
};

#endif // SLOTVIEW_H
