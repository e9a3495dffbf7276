#include "line/orderclaims.h"

#include <QSysInfo>

#include <cerrno>
#include <signal.h>
#include <unistd.h>

namespace {
using Reservation = ValueSource::Reservation;

// How often a station says its claims are alive (well inside the 120 s after
// which they are given back), and looks whether its order is complete.
const qint64 touchIntervalMs = 15000;
const qint64 lookIntervalMs = 1000;
const QString okCount = QStringLiteral("SELECT ok_units FROM morlank.orders WHERE name = $1");

bool processGone(const QString &station, const QString &host)
{
    const QString prefix = host + QLatin1Char(':');
    if (!station.startsWith(prefix))
        return false;
    bool isNumber = false;
    const qint64 pid = station.mid(prefix.size()).toLongLong(&isNumber);
    return isNumber && pid != ::getpid() && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}
} // namespace

OrderClaims::OrderClaims(const QString &u, const QString &o, int q)
    : url(u)
    , orderName(o)
    , quantity(q)
    , station(QStringLiteral("%1:%2").arg(QSysInfo::machineHostName()).arg(::getpid()))
{
}

// The connection of the thread that made the claims; QThreadStorage would
// leave it behind.
OrderClaims::~OrderClaims()
{
    if (connections.hasLocalData())
        connections.setLocalData(nullptr);
}

bool OrderClaims::open(QString &error)
{
    PgConnection *db = connection();
    if (!db) {
        error = PgConnection::remedy(PgConnection::Unreachable);
        return false;
    }
    const QString host = QSysInfo::machineHostName();
    const PgConnection::Result held = db->exec(
        QStringLiteral("SELECT DISTINCT station FROM morlank.claims WHERE outcome IS NULL AND starts_with(station, $1)"),
        {host + QLatin1Char(':')});
    if (!held.ok) {
        error = held.error;
        return false;
    }
    for (const QStringList &row : held.rows) {
        if (!processGone(row.at(0), host))
            continue;
        const PgConnection::Result freed = db->exec(QStringLiteral("SELECT morlank.free_claims($1)"), {row.at(0)});
        if (!freed.ok) {
            error = freed.error;
            return false;
        }
    }
    return true;
}

Reservation OrderClaims::claimIn(PgConnection &db, const ValueSource::Unit &unit, bool firstAttempt)
{
    const PgConnection::Result claimed =
        db.exec(QStringLiteral("SELECT morlank.claim_unit($1, $2, $3, $4, $5)"),
                {orderName, unit.attemptId, station, unit.slot.isEmpty() ? unit.port : unit.slot,
                 firstAttempt ? QStringLiteral("t") : QStringLiteral("f")});
    if (!claimed.ok) {
        if (!db.isOpen())
            return Reservation::refused(Reservation::DatabaseAway, QStringLiteral("waits for the database"));
        return Reservation::refused(Reservation::UnitRefused,
                                    QStringLiteral("the database refused the order's claim: %1").arg(claimed.error));
    }
    const QString outcome = claimed.value();
    if (outcome == QLatin1String("claimed"))
        return {};
    if (outcome == QLatin1String("full"))
        return Reservation::refused(Reservation::UnitRefused,
                                    QStringLiteral("order %1 has no unit left to claim while the rest are being "
                                                   "programmed: nothing sent")
                                        .arg(orderName));
    if (outcome == QLatin1String("complete")) {
        noteComplete(db.exec(okCount, {orderName}).value());
        return Reservation::refused(Reservation::UsedUp, completeText());
    }
    return Reservation::refused(Reservation::UsedUp, QStringLiteral("order %1 is %2: nothing sent").arg(orderName, outcome == QLatin1String("closed") ? QStringLiteral("closed") : QStringLiteral("gone")));
}

Reservation OrderClaims::claim(const ValueSource::Unit &unit, bool firstAttempt)
{
    PgConnection *db = connection();
    if (!db || !db->begin())
        return Reservation::refused(Reservation::DatabaseAway, QStringLiteral("waits for the database"));
    const Reservation reservation = claimIn(*db, unit, firstAttempt);
    if (reservation.outcome != Reservation::Assigned || !db->commit()) {
        db->rollback();
        return reservation.outcome != Reservation::Assigned
                   ? reservation
                   : Reservation::refused(Reservation::DatabaseAway, QStringLiteral("waits for the database"));
    }
    return reservation;
}

void OrderClaims::finish(const QString &attemptId, bool ok)
{
    PgConnection *db = connection();
    if (db && finishIn(*db, attemptId, ok))
        return;
    std::lock_guard<std::mutex> lock(mutex);
    (ok ? waitingOk : waitingFailed) << attemptId;
}

bool OrderClaims::finishIn(PgConnection &db, const QString &attemptId, bool ok)
{
    return db.exec(QStringLiteral("SELECT morlank.finish_claim($1, $2)"),
                   {attemptId, ok ? QStringLiteral("t") : QStringLiteral("f")})
        .ok;
}

void OrderClaims::sendFinishes(PgConnection &db)
{
    std::lock_guard<std::mutex> lock(mutex);
    for (QStringList *waiting : {&waitingOk, &waitingFailed}) {
        while (!waiting->isEmpty() && finishIn(db, waiting->first(), waiting == &waitingOk))
            waiting->removeFirst();
    }
}

bool OrderClaims::tick()
{
    if (complete || (lastLook.isValid() && lastLook.elapsed() < lookIntervalMs))
        return complete;
    lastLook.start();
    PgConnection *db = connection();
    if (!db)
        return false;
    sendFinishes(*db);
    if (!lastTouch.isValid() || lastTouch.elapsed() >= touchIntervalMs) {
        if (db->exec(QStringLiteral("SELECT morlank.touch_claims($1)"), {station}).ok)
            lastTouch.start();
    }
    const PgConnection::Result done = db->exec(okCount, {orderName});
    if (done.ok && done.value().toInt() >= quantity)
        noteComplete(done.value());
    return complete;
}

// The count is the order's own, read when it was found complete: a claim
// refused as complete says how many, as the look does.
void OrderClaims::noteComplete(const QString &okUnits)
{
    std::lock_guard<std::mutex> lock(mutex);
    made = okUnits.isEmpty() ? QString::number(quantity) : okUnits;
    complete = true;
}

bool OrderClaims::isComplete() const
{
    return complete;
}

// What the line had made when the order was found complete: read by the
// window's thread, which never waits on the database.
QString OrderClaims::completeText() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return QStringLiteral("order %1 complete: %2 of %3").arg(orderName, made).arg(quantity);
}

const QString &OrderClaims::order() const
{
    return orderName;
}

PgConnection *OrderClaims::connection()
{
    if (!connections.hasLocalData())
        connections.setLocalData(new PgConnection);
    PgConnection *db = connections.localData();
    QString error;
    return db->isOpen() || db->open(url, error) ? db : nullptr;
}
