#ifndef WALLCLOCK_H
#define WALLCLOCK_H

#include <QDate>
#include <QString>
#include <QTime>

// A clock as the device keeps it: a time of day and a date, in no time zone.
// Kept apart from the computer's local time, so that a daylight-saving change
// can neither make a value invalid nor shift it by an hour.
struct WallClock
{
    QTime time;
    QDate date;

    bool isValid() const;
    // Milliseconds on one even count across days, for comparing readings.
    qint64 msecs() const;
    // "hh:mm:ss dd/MM/yyyy".
    QString text() const;

    // The computer's clock, as its local time reads now.
    static WallClock now();
};

#endif // WALLCLOCK_H
