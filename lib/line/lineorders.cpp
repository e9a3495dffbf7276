#include "line/lineorders.h"

#include "line/lineaudit.h"
#include "line/linereleases.h"


#include <algorithm>

namespace {
// Long enough for any order number a customer prints; short enough for a
// terminal's line.
const int longestName = 64;

const QString ordersQuery = QStringLiteral(
    "SELECT o.name, o.release_name, o.revision, o.quantity, coalesce(o.note, ''), o.created_at, o.created_by,"
    " coalesce(o.closed_at::text, ''),"
    " count(c.*) FILTER (WHERE c.outcome = 'ok'), count(c.*) FILTER (WHERE c.outcome = 'failed'),"
    " count(c.*) FILTER (WHERE c.attempt_id IS NOT NULL AND c.outcome IS NULL),"
    " count(c.*) FILTER (WHERE c.outcome = 'ok' AND c.first_attempt),"
    " count(c.*) FILTER (WHERE c.outcome IN ('ok', 'failed') AND c.first_attempt)"
    " FROM morlank.orders o LEFT JOIN morlank.claims c ON c.order_name = o.name"
    " WHERE $1::text IS NULL OR o.name = $1 GROUP BY o.name ORDER BY o.created_at, o.name");

bool failed(PgConnection &db, const PgConnection::Result &result, QString &error)
{
    error = result.error;
    db.rollback();
    return false;
}

LineOrders::Order orderOf(const QStringList &row)
{
    LineOrders::Order order;
    order.name = row.at(0);
    order.releaseName = row.at(1);
    order.revision = row.at(2).toInt();
    order.release = QStringLiteral("%1@%2").arg(order.releaseName).arg(order.revision);
    order.quantity = row.at(3).toInt();
    order.note = row.at(4);
    order.createdAt = row.at(5);
    order.createdBy = row.at(6);
    order.closedAt = row.at(7);
    order.ok = row.at(8).toInt();
    order.failed = row.at(9).toInt();
    order.inProgress = row.at(10).toInt();
    order.firstPassOk = row.at(11).toInt();
    order.units = row.at(12).toInt();
    return order;
}
} // namespace

int LineOrders::Order::remaining() const
{
    return std::max(0, quantity - ok);
}

QJsonObject LineOrders::Order::toJson() const
{
    QJsonObject json{{"name", name}, {"release", release}, {"ordered", quantity}, {"ok", ok},
                     {"failed", failed}, {"in_progress", inProgress}, {"remaining", remaining()},
                     {"note", note}, {"created_at", createdAt}, {"created_by", createdBy},
                     {"closed_at", closedAt.isEmpty() ? QJsonValue() : QJsonValue(closedAt)}};
    json.insert(QStringLiteral("first_pass_yield"), units > 0 ? QJsonValue(double(firstPassOk) / units) : QJsonValue());
    return json;
}

QString LineOrders::badName(const QString &what, const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("%1 name is empty.").arg(what);
    if (name.size() > longestName)
        return QStringLiteral("%1 name is %2 characters long; at most %3 are taken.").arg(what).arg(name.size()).arg(longestName);
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return QStringLiteral("%1 name holds a control character (U+%2); names are shown as they are, so they "
                                  "must be plain text.")
                .arg(what, QString::number(c.unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0')));
    }
    return {};
}

bool LineOrders::add(PgConnection &db, const QString &name, const QString &releaseSpec, int quantity,
                     const QString &note, QString &error)
{
    QString releaseName;
    int revision = 0;
    if (!LineReleases::parseReference(releaseSpec, releaseName, revision, error))
        return false;
    if (!db.begin()) {
        error = QStringLiteral("cannot start a transaction");
        return false;
    }
    // Without a revision, the newest in force; a revoked one is refused.
    LineReleases::Release release;
    if (!LineReleases(db).find(releaseName, revision, false, release, error) || release.isRevoked()) {
        if (release.isRevoked())
            error = QStringLiteral("the release ") + release.revocation();
        db.rollback();
        return false;
    }
    revision = release.revision;
    const PgConnection::Result inserted = db.exec(
        QStringLiteral("INSERT INTO morlank.orders (name, release_name, revision, quantity, note) VALUES ($1, $2, $3, $4,"
                       " $5) ON CONFLICT (name) DO NOTHING"),
        {name, releaseName, QString::number(revision), QString::number(quantity), note.isEmpty() ? QString() : note});
    if (!inserted.ok)
        return failed(db, inserted, error);
    if (inserted.affected == 0) {
        db.rollback();
        error = QStringLiteral("there is an order %1 already; an order's name is never used twice.").arg(name);
        return false;
    }
    const QJsonObject details{{"order", name}, {"release", QStringLiteral("%1@%2").arg(releaseName).arg(revision)},
                              {"quantity", quantity}, {"note", note}};
    if (!LineAudit::write(db, QStringLiteral("order add"), details, error) || !db.commit()) {
        db.rollback();
        return false;
    }
    return true;
}

bool LineOrders::close(PgConnection &db, const QString &name, QString &error)
{
    if (!db.begin()) {
        error = QStringLiteral("cannot start a transaction");
        return false;
    }
    const PgConnection::Result closed = db.exec(
        QStringLiteral("UPDATE morlank.orders SET closed_at = now() WHERE name = $1 AND closed_at IS NULL"), {name});
    if (!closed.ok)
        return failed(db, closed, error);
    if (closed.affected == 0) {
        db.rollback();
        Order order;
        error = find(db, name, order, error) ? QStringLiteral("the order %1 is closed already.").arg(name) : error;
        return false;
    }
    if (!LineAudit::write(db, QStringLiteral("order close"), QJsonObject{{"order", name}}, error) || !db.commit()) {
        db.rollback();
        return false;
    }
    return true;
}

bool LineOrders::list(PgConnection &db, QVector<Order> &orders, QString &error)
{
    const PgConnection::Result result = db.exec(ordersQuery, {QString()});
    if (!result.ok) {
        error = result.error;
        return false;
    }
    for (const QStringList &row : result.rows)
        orders << orderOf(row);
    return true;
}

bool LineOrders::find(PgConnection &db, const QString &name, Order &order, QString &error)
{
    const PgConnection::Result result = db.exec(ordersQuery, {name});
    if (!result.ok) {
        error = result.error;
        return false;
    }
    if (result.rows.isEmpty()) {
        error = QStringLiteral("there is no order %1; %2").arg(name, known(db));
        return false;
    }
    order = orderOf(result.rows.first());
    return true;
}

QString LineOrders::known(PgConnection &db)
{
    const PgConnection::Result names =
        db.exec(QStringLiteral("SELECT string_agg(name, ', ' ORDER BY name) FROM morlank.orders"));
    return names.value().isEmpty() ? QStringLiteral("the line has no order yet.")
                                   : QStringLiteral("the line's orders: %1.").arg(names.value());
}

