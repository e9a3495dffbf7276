#ifndef VALUESOURCE_H
#define VALUESOURCE_H

#include "values/assignment.h"

#include <QString>

// Whatever hands out per-unit values to a station's slots: a state file on
// this computer, or a database that the stations of a line share. Safe to
// call from several threads at once.
class ValueSource
{
public:
    // The unit that asks: its USB adapter's serial number (may be empty),
    // its port, the name of its slot (may be empty) and the attempt its
    // values go to (may be empty).
    struct Unit
    {
        QString usbSerial;
        QString port;
        QString slot;
        QString attemptId = {};
    };
    struct Reservation
    {
        enum Outcome {
            Assigned,     // `assignment` is the unit's, and kept
            UnitRefused,  // this unit gets nothing; another one may
            UsedUp,       // the list is handed out, or a counter has run out: no
                          // unit gets values any more
            StateFailed,  // the state file could not be read or written
            DatabaseAway, // the database cannot be reached now: ask again later
        };
        Outcome outcome = Assigned;
        Assignment assignment;
        QString error; // why, unless Assigned

        static Reservation refused(Outcome outcome, const QString &error)
        {
            Reservation reservation;
            reservation.outcome = outcome;
            reservation.error = error;
            return reservation;
        }
    };

    virtual ~ValueSource() = default;

    // Whether units get values: a list or a counter was given.
    virtual bool isInUse() const = 0;
    // The values for `unit`, kept before it returns. An empty assignment
    // when not in use.
    virtual Reservation reserve(const Unit &unit) = 0;
    // What the next unit without a row of its own would get, neither
    // reserved nor kept.
    virtual Reservation peek() = 0;
    // Whether a row of the list is bound to the adapter `usbSerial`.
    virtual bool bindsAdapter(const QString &usbSerial) const = 0;
};

#endif // VALUESOURCE_H
