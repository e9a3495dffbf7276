#include "line/databasevalues.h"

#include "line/databaseurl.h"
#include "line/orderclaims.h"
#include "values/commandtemplate.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <algorithm>

namespace {
using Reservation = ValueSource::Reservation;

QString jsonText(const QJsonValue &value)
{
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// The statement that failed on `connection`: the unit waits when the
// database went away, else it is refused with the database's words.
Reservation failure(PgConnection &connection, const PgConnection::Result &result)
{
    connection.rollback();
    if (!connection.isOpen())
        return Reservation::refused(Reservation::DatabaseAway, QStringLiteral("waits for the database"));
    return Reservation::refused(Reservation::UnitRefused, QStringLiteral("the database refused the reservation: %1").arg(result.error));
}

// Through the owner's functions: a station takes a row or a counter's next
// value, and can never free a row or set a counter back.
const QString takeFreeRow = QStringLiteral("SELECT * FROM morlank.take_free_row($1, $2)");
const QString takeBoundRow = QStringLiteral("SELECT * FROM morlank.take_bound_row($1, $2, $3)");
const QString countFree = QStringLiteral(
    "SELECT count(*), count(*) FILTER (WHERE usb_serial = '') FROM morlank.list_rows "
    "WHERE list_id = $1 AND attempt_id IS NULL");
const QString takeCounter = QStringLiteral("SELECT * FROM morlank.take_counter($1)");
const QString keepReservation = QStringLiteral(
    "INSERT INTO morlank.reservations (attempt_id, station, slot, port, list_id, row, counters) "
    "VALUES ($1, $2, $3, $4, $5, $6, $7::jsonb)");
} // namespace

DatabaseValues::DatabaseValues(const QString &u, const QString &s)
    : url(u)
    , station(s)
{
}

// The connection of the thread that made the values (the others went with
// their threads); QThreadStorage would leave it behind.
DatabaseValues::~DatabaseValues()
{
    if (connections.hasLocalData())
        connections.setLocalData(nullptr);
}

bool DatabaseValues::open(const ValueReservations::Sources &sources, const CommandTemplate &commands, QString &error)
{
    if (!readSources(sources, commands, error))
        return false;
    if (!isInUse())
        return true;
    PgConnection *db = connection();
    QString why;
    if (db && importList(*db, why) && createCounters(*db, why))
        return true;
    error = QStringLiteral("cannot take values from the database %1: %2 (%3). Nothing was sent.")
                .arg(DatabaseUrl::masked(url),
                     PgConnection::remedy(db ? db->fault() : PgConnection::Unreachable), why);
    return false;
}

bool DatabaseValues::readSources(const ValueReservations::Sources &sources, const CommandTemplate &commands,
                                 QString &error)
{
    hasList = !sources.list.isEmpty();
    if (hasList && !list.load(sources.list, error))
        return false;
    QStringList names = hasList ? list.columns() : QStringList();
    for (const QString &option : sources.counters) {
        CounterOption counter;
        if (!counter.parse(option, error))
            return false;
        if (names.contains(counter.name()) || counter.name() == ValueList::usbSerialColumn) {
            error = QStringLiteral("counter %1 is given twice or has the name of a column of the list; each value "
                                   "needs one source")
                        .arg(counter.name());
            return false;
        }
        names << counter.name();
        counters << counter;
    }
    const auto missing = commands.withoutValue(names);
    if (!missing.isEmpty()) {
        error = isInUse() ? QStringLiteral("the configuration needs values for %1, which no column of the list "
                                           "and no counter gives")
                                .arg(CommandTemplate::describe(missing))
                          : QStringLiteral("the configuration needs values for %1, from a list or counters")
                                .arg(CommandTemplate::describe(commands.placeholders()));
        return false;
    }
    return true;
}

// In one transaction, under a lock on the list's digest: the first station
// imports every row, the others find them.
bool DatabaseValues::importList(PgConnection &db, QString &error)
{
    if (!hasList)
        return true;
    const QString sha = list.sha256();
    PgConnection::Result result;
    const auto failed = [&] {
        error = result.error;
        db.rollback();
        return false;
    };
    if (!db.begin() || !(result = db.exec(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext($1))"), {sha})).ok
        || !(result = db.exec(QStringLiteral("SELECT list_id FROM morlank.lists WHERE sha256 = $1"), {sha})).ok)
        return failed();
    if (!result.rows.isEmpty()) {
        listId = result.value();
        listNotice = QStringLiteral("the list %1 is shared with the line (SHA-256 %2)").arg(list.name(), sha);
        db.rollback();
        return true;
    }
    // Known by its file's name, not its path: each station has a path of its own.
    const QString name = QFileInfo(list.name()).fileName();
    const PgConnection::Result older = db.exec(
        QStringLiteral("SELECT sha256 FROM morlank.lists WHERE name = $1 ORDER BY imported_at DESC LIMIT 1"),
        {name});
    QJsonArray rows;
    for (int row = 1; row <= list.rowCount(); ++row) {
        const Assignment values = list.assignmentOf(row);
        const QString *serial = values.value(ValueList::usbSerialColumn);
        rows.append(QJsonObject{{"row", row}, {"line", list.lineOf(row)},
                                {"usb_serial", serial ? *serial : QString()},
                                {"fields", values.toJson().value(QStringLiteral("fields"))}});
    }
    // The list and its rows together, through the owner's function.
    if (!(result = db.exec(QStringLiteral("SELECT morlank.add_list($1, $2, $3::jsonb, $4, $5, $6::jsonb)"),
                           {sha, name, jsonText(QJsonArray::fromStringList(list.columns())),
                            QString::number(list.rowCount()), station, jsonText(rows)}))
             .ok
        || !db.commit())
        return failed();
    listId = result.value();
    listNotice = older.ok && !older.rows.isEmpty()
                     ? QStringLiteral("the list %1 differs from the one of that name imported before (SHA-256 %2): "
                                      "an edited file is a new list, imported now with its %3 rows (SHA-256 %4)")
                           .arg(list.name(), older.value())
                           .arg(list.rowCount())
                           .arg(sha)
                     : QStringLiteral("the list %1 was imported: %2 rows (SHA-256 %3)")
                           .arg(list.name())
                           .arg(list.rowCount())
                           .arg(sha);
    return true;
}

// START only creates a counter; one that exists goes on where it is.
bool DatabaseValues::createCounters(PgConnection &db, QString &error)
{
    for (const CounterOption &counter : counters) {
        const PgConnection::Result result =
            db.exec(QStringLiteral("SELECT morlank.add_counter($1, $2, $3, $4)"),
                    {counter.name(), QString::number(counter.start()), QString::number(counter.step()),
                     QString::number(counter.width())});
        if (!result.ok) {
            error = result.error;
            return false;
        }
    }
    return true;
}

QString DatabaseValues::notice() const
{
    return listNotice;
}

void DatabaseValues::claimFor(std::shared_ptr<OrderClaims> claims)
{
    orderClaims = std::move(claims);
}

bool DatabaseValues::isInUse() const
{
    return hasList || !counters.isEmpty();
}

// This thread's connection, made when missing; null while the database
// cannot be reached. With an order, the one its claims are made on.
PgConnection *DatabaseValues::connection()
{
    if (orderClaims)
        return orderClaims->connection();
    if (!connections.hasLocalData())
        connections.setLocalData(new PgConnection);
    PgConnection *db = connections.localData();
    QString error;
    return db->isOpen() || db->open(url, error) ? db : nullptr;
}

Reservation DatabaseValues::reserve(const Unit &unit)
{
    if (!isInUse())
        return {};
    PgConnection *db = connection();
    if (!db)
        return Reservation::refused(Reservation::DatabaseAway, QStringLiteral("waits for the database"));
    return reserveIn(*db, unit);
}

// The row and every counter in one transaction, with the reservation row
// that names where they went.
Reservation DatabaseValues::reserveIn(PgConnection &db, const Unit &unit)
{
    const QString attemptId =
        unit.attemptId.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : unit.attemptId;
    if (!db.begin())
        return failure(db, {});
    Reservation reservation =
        orderClaims ? orderClaims->claimIn(db, {unit.usbSerial, unit.port, unit.slot, attemptId}, true) : Reservation();
    if (reservation.outcome != Reservation::Assigned) {
        db.rollback();
        return reservation;
    }
    const int row = takeRow(db, unit, attemptId, reservation);
    if (reservation.outcome != Reservation::Assigned) {
        db.rollback();
        return reservation;
    }
    if (row > 0)
        reservation.assignment = list.assignmentOf(row);
    QJsonObject given;
    for (const CounterOption &counter : counters) {
        const PgConnection::Result taken = db.exec(takeCounter, {counter.name()});
        if (!taken.ok || taken.rows.isEmpty())
            return failure(db, taken);
        QString value;
        if (!CounterOption::format(taken.value().toULongLong(), taken.value(0, 1).toInt(), value)) {
            db.rollback();
            return Reservation::refused(Reservation::UnitRefused,
                           QStringLiteral("counter %1 has run out: its next value, %2, has more digits than it may")
                               .arg(counter.name(), taken.value()));
        }
        reservation.assignment.addCounter(counter.name(), value);
        given.insert(counter.name(), value);
    }
    const PgConnection::Result kept =
        db.exec(keepReservation, {attemptId, station, unit.slot.isEmpty() ? unit.port : unit.slot, unit.port,
                                  row > 0 ? listId : QString(),
                                  row > 0 ? QString::number(row) : QString(), jsonText(given)});
    if (!kept.ok || !db.commit())
        return failure(db, kept);
    return reservation;
}

// The unit's own row when the list binds its adapter, else the first free
// row bound to no adapter that no other station holds; 0 without a list.
int DatabaseValues::takeRow(PgConnection &db, const Unit &unit, const QString &attemptId, Reservation &reservation)
{
    if (!hasList)
        return 0;
    const int bound = list.rowBoundTo(unit.usbSerial);
    const PgConnection::Result taken = bound > 0
                                           ? db.exec(takeBoundRow, {listId, QString::number(bound), attemptId})
                                           : db.exec(takeFreeRow, {listId, attemptId});
    if (!taken.ok) {
        reservation = failure(db, taken);
        return 0;
    }
    if (!taken.rows.isEmpty())
        return taken.value().toInt();
    if (bound > 0) {
        reservation = Reservation::refused(Reservation::UnitRefused,
                              QStringLiteral("row %1 of %2, bound to the adapter %3, was handed out before")
                                  .arg(bound)
                                  .arg(list.name(), unit.usbSerial));
        return 0;
    }
    const PgConnection::Result free = db.exec(countFree, {listId});
    if (!free.ok) {
        reservation = failure(db, free);
        return 0;
    }
    reservation = free.value().toInt() == 0
                      ? Reservation::refused(Reservation::UsedUp, QStringLiteral("the list %1 is used up: all %2 rows handed out")
                                                         .arg(list.name())
                                                         .arg(list.rowCount()))
                      : Reservation::refused(Reservation::UnitRefused,
                                QStringLiteral("no row of %1 is free for a unit without a row of its own: the %2 "
                                               "rows left are bound to other adapters or being taken")
                                    .arg(list.name(), free.value()));
    return 0;
}

bool DatabaseValues::bindsAdapter(const QString &usbSerial) const
{
    return hasList && !usbSerial.isEmpty() && list.rowBoundTo(usbSerial) > 0;
}

// The next free row and each counter's next value, nothing taken.
Reservation DatabaseValues::peek()
{
    if (!isInUse())
        return {};
    PgConnection *db = connection();
    if (!db)
        return Reservation::refused(Reservation::DatabaseAway, PgConnection::remedy(PgConnection::Unreachable));
    Reservation reservation;
    if (hasList) {
        const PgConnection::Result next = db->exec(
            QStringLiteral("SELECT min(row) FROM morlank.list_rows WHERE list_id = $1 AND usb_serial = '' "
                           "AND attempt_id IS NULL"),
            {listId});
        if (!next.ok || next.value().isNull())
            return Reservation::refused(Reservation::UsedUp, QStringLiteral("the list %1 is used up").arg(list.name()));
        reservation.assignment = list.assignmentOf(next.value().toInt());
    }
    for (const CounterOption &counter : counters) {
        const PgConnection::Result next =
            db->exec(QStringLiteral("SELECT next, width FROM morlank.counters WHERE name = $1"), {counter.name()});
        QString value;
        if (!next.ok || next.rows.isEmpty()
            || !CounterOption::format(next.value().toULongLong(), next.value(0, 1).toInt(), value))
            return Reservation::refused(Reservation::UnitRefused, QStringLiteral("counter %1 has run out").arg(counter.name()));
        reservation.assignment.addCounter(counter.name(), value);
    }
    return reservation;
}
