#ifndef DATABASEVALUES_H
#define DATABASEVALUES_H

#include "line/pgconnection.h"
#include "values/counteroption.h"
#include "values/valuelist.h"
#include "values/valuereservations.h"

#include <QString>
#include <QThreadStorage>
#include <QVector>

#include <memory>

class CommandTemplate;
class OrderClaims;

// Per-unit values from the database that the stations of a line share: a
// list known by its content's SHA-256 (its rows imported by the first
// station that uses it), counters known by their names. Each reservation is
// one transaction that stations never wait on each other for; a value
// reserved is never handed out again. Each thread that reserves has its own
// connection, made again when the database comes back.
class DatabaseValues : public ValueSource
{
public:
    DatabaseValues(const QString &url, const QString &station);
    ~DatabaseValues() override;

    // Reads the list and the counters, checks that they give every
    // placeholder of `commands` a value, imports the list or finds it, and
    // creates the counters not yet there. False, with the reason and what to
    // do about it, when the station cannot start.
    bool open(const ValueReservations::Sources &sources, const CommandTemplate &commands, QString &error);
    // What the operator should know of the list: imported now, found, or a
    // new list since the file was edited.
    QString notice() const;
    // Each reservation also claims a unit of the order, in its transaction.
    void claimFor(std::shared_ptr<OrderClaims> claims);

    bool isInUse() const override;
    Reservation reserve(const Unit &unit) override;
    Reservation peek() override;
    bool bindsAdapter(const QString &usbSerial) const override;

private:
    bool readSources(const ValueReservations::Sources &sources, const CommandTemplate &commands, QString &error);
    bool importList(PgConnection &connection, QString &error);
    bool createCounters(PgConnection &connection, QString &error);
    PgConnection *connection();
    Reservation reserveIn(PgConnection &connection, const Unit &unit);
    int takeRow(PgConnection &connection, const Unit &unit, const QString &attemptId, Reservation &reservation);

    const QString url;
    const QString station;
    bool hasList = false;
    ValueList list;
    QString listId;
    QString listNotice;
    QVector<CounterOption> counters;
    QThreadStorage<PgConnection *> connections;
    std::shared_ptr<OrderClaims> orderClaims;
};

#endif // DATABASEVALUES_H
