#include "cli/ordercommand.h"

#include "line/databaseurl.h"
#include "line/lineschema.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

#include <cstdio>

namespace {
void print(FILE *stream, const QString &text)
{
    QTextStream(stream) << text << Qt::flush;
}

int failed(const QString &message)
{
    print(stderr, QStringLiteral("morlank-cli: %1\n").arg(message));
    return 2;
}
} // namespace

OrderCommand::OrderCommand(const Request &r)
    : request(r)
{
}

int OrderCommand::run()
{
    PgConnection db;
    QString error;
    if (!db.open(request.db, error))
        return failed(QStringLiteral("cannot use the database %1: %2 (the server or libpq said: %3).")
                          .arg(DatabaseUrl::masked(request.db), PgConnection::remedy(db.fault()), error));
    if (LineSchema::installedVersion(db, error) != LineSchema::version)
        return failed(QStringLiteral("the database %1 has no schema of version %2 for orders; run db init.")
                          .arg(DatabaseUrl::masked(request.db))
                          .arg(LineSchema::version));
    if (request.command == Request::OrderList)
        return list(db);
    if (request.command == Request::OrderAdd) {
        if (!LineOrders::add(db, request.order, request.release, request.quantity, request.note, error))
            return failed(QStringLiteral("order add: %1").arg(error));
        print(stdout, QStringLiteral("Order %1 added: %2 units.\n").arg(request.order).arg(request.quantity));
        return 0;
    }
    if (!LineOrders::close(db, request.order, error))
        return failed(QStringLiteral("order close: %1").arg(error));
    print(stdout, QStringLiteral("Order %1 closed.\n").arg(request.order));
    return 0;
}

int OrderCommand::list(PgConnection &db)
{
    QVector<LineOrders::Order> orders;
    QString error;
    if (!LineOrders::list(db, orders, error))
        return failed(QStringLiteral("order list: %1").arg(error));
    QJsonArray array;
    QString text = orders.isEmpty() ? QStringLiteral("  no order\n") : QString();
    for (const LineOrders::Order &order : orders) {
        array.append(order.toJson());
        text += orderLine(order.toJson());
    }
    print(stdout, request.json ? QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)) : text);
    return 0;
}

QString OrderCommand::orderLine(const QJsonObject &order)
{
    const QJsonValue yield = order.value(QStringLiteral("first_pass_yield"));
    return QStringLiteral("  %1  release %2  ordered %3, ok %4, failed %5, in progress %6, remaining %7, "
                          "first-pass yield %8%9\n")
        .arg(order.value(QStringLiteral("name")).toString(), order.value(QStringLiteral("release")).toString())
        .arg(order.value(QStringLiteral("ordered")).toInt())
        .arg(order.value(QStringLiteral("ok")).toInt())
        .arg(order.value(QStringLiteral("failed")).toInt())
        .arg(order.value(QStringLiteral("in_progress")).toInt())
        .arg(order.value(QStringLiteral("remaining")).toInt())
        .arg(yield.isNull() ? QStringLiteral("-") : QString::number(yield.toDouble() * 100, 'f', 1) + '%',
             order.value(QStringLiteral("closed_at")).isNull()
                 ? QString()
                 : QStringLiteral("  (closed %1)").arg(order.value(QStringLiteral("closed_at")).toString()));
}
