#ifndef ORDERCLAIMS_H
#define ORDERCLAIMS_H

#include "line/pgconnection.h"
#include "values/valuesource.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QThreadStorage>

#include <atomic>
#include <mutex>

// A station's claims on the units of one work order. A unit is programmed
// only while it holds a claim, one of the order's quantity, taken under a
// lock on the order's row so that racing stations never claim more than
// remain; the claim ends ok or failed with the unit's attempt. A claim names
// this process ("host:pid"): a station started again frees the claims of a
// dead one on its computer, and a claim not kept alive for 120 s is given
// back by the next claim of the order. Safe to use from several threads,
// each on a connection of its own.
class OrderClaims
{
public:
    OrderClaims(const QString &url, const QString &order, int quantity);
    ~OrderClaims();

    // Frees the claims of stations of this computer that are gone. False,
    // with why, when the database refuses.
    bool open(QString &error);
    // One claim for `unit` (its attempt id and slot) inside the caller's
    // open transaction on `db`: Assigned when held; UnitRefused while the
    // rest are being programmed elsewhere; UsedUp once the order is complete
    // or closed. `firstAttempt` is false for a retry of the same unit.
    ValueSource::Reservation claimIn(PgConnection &db, const ValueSource::Unit &unit, bool firstAttempt);
    // The same, in a transaction of its own on this thread's connection.
    ValueSource::Reservation claim(const ValueSource::Unit &unit, bool firstAttempt);
    // The unit's attempt is over; a finish the database did not take is
    // tried again by tick(), and the claim stays held until then.
    void finish(const QString &attemptId, bool ok);
    // Called often from one thread: keeps this station's claims alive, ends
    // the finishes that wait, and looks whether the order is complete.
    // True once it is.
    bool tick();
    bool isComplete() const;
    // "order W42 complete: 500 of 500", once tick() found it complete.
    QString completeText() const;
    const QString &order() const;
    // This thread's connection to the line, made when missing; null while
    // the database cannot be reached. The unit's values are reserved on it
    // too, so that a unit's thread logs in once.
    PgConnection *connection();

private:
    bool finishIn(PgConnection &db, const QString &attemptId, bool ok);
    void sendFinishes(PgConnection &db);
    void noteComplete(const QString &okUnits);

    const QString url;
    const QString orderName;
    const int quantity;
    const QString station;
    QThreadStorage<PgConnection *> connections;

    mutable std::mutex mutex;
    QStringList waitingOk;
    QStringList waitingFailed;
    std::atomic<bool> complete{false};
    QString made; // the units ok when found complete
    QElapsedTimer lastTouch;
    QElapsedTimer lastLook;
};

#endif // ORDERCLAIMS_H
