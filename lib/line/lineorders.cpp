#include "line/lineorders.h"

#include "line/lineaudit.h"

#include <QRegularExpression>

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

bool LineOrders::splitRelease(const QString &spec, QString &name, int &revision, QString &error)
{
    static const QRegularExpression form(QStringLiteral("^(.*?)(?:@([0-9]+))?$"),
                                         QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = form.match(spec);
    name = match.captured(1);
    revision = match.captured(2).isEmpty() ? 0 : match.captured(2).toInt();
    error = badName(QStringLiteral("the release's"), name);
    if (error.isEmpty() && !match.captured(2).isEmpty() && revision < 1)
        error = QStringLiteral("revisions count from 1: '%1' names none.").arg(spec);
    return error.isEmpty();
}

bool LineOrders::add(PgConnection &db, const QString &name, const QString &releaseSpec, int quantity,
                     const QString &note, QString &error)
{
    QString releaseName;
    int revision = 0;
    if (!splitRelease(releaseSpec, releaseName, revision, error))
        return false;
    if (!db.begin()) {
        error = QStringLiteral("cannot start a transaction");
        return false;
    }
    if (!resolveRelease(db, releaseName, revision, error)) {
        db.rollback();
        return false;
    }
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

// Without a revision, the newest one not revoked; a revoked one is refused.
bool LineOrders::resolveRelease(PgConnection &db, const QString &name, int &revision, QString &error)
{
    const PgConnection::Result found = db.exec(
        QStringLiteral("SELECT revision, coalesce(revoked_by, ''), coalesce(revoked_at::text, ''),"
                       " coalesce(revoke_reason, '') FROM morlank.releases WHERE name = $1"
                       " AND ($2 = 0 OR revision = $2) AND ($2 <> 0 OR revoked_at IS NULL)"
                       " ORDER BY revision DESC LIMIT 1"),
        {name, QString::number(revision)});
    if (!found.ok) {
        error = found.error;
        return false;
    }
    if (found.rows.isEmpty()) {
        const PgConnection::Result names = db.exec(QStringLiteral(
            "SELECT string_agg(DISTINCT name || '@' || revision, ', ') FROM morlank.releases WHERE revoked_at IS NULL"));
        error = QStringLiteral("there is no release %1%2 that may run; %3")
                    .arg(name, revision > 0 ? QStringLiteral("@%1").arg(revision) : QString(),
                         names.value().isEmpty() ? QStringLiteral("the line has no release yet.")
                                                 : QStringLiteral("releases: %1.").arg(names.value()));
        return false;
    }
    if (!found.value(0, 1).isEmpty()) {
        error = QStringLiteral("the release %1@%2 was revoked by %3 at %4: %5")
                    .arg(name, found.value(), found.value(0, 1), found.value(0, 2), found.value(0, 3));
        return false;
    }
    revision = found.value().toInt();
    return true;
}

bool LineOrders::releaseBytes(PgConnection &db, const QString &name, int revision, QByteArray &bytes, QString &sha256,
                              QString &error)
{
    if (!resolveRelease(db, name, revision, error))
        return false;
    const PgConnection::Result found =
        db.exec(QStringLiteral("SELECT encode(bytes, 'base64'), sha256 FROM morlank.releases WHERE name = $1 AND "
                               "revision = $2"),
                {name, QString::number(revision)});
    if (!found.ok || found.rows.isEmpty()) {
        error = found.error;
        return false;
    }
    bytes = QByteArray::fromBase64(found.value().toLatin1());
    sha256 = found.value(0, 1);
    return true;
}
