#ifndef LINEORDERS_H
#define LINEORDERS_H

#include "line/pgconnection.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QVector>

// The line's work orders: added, listed and closed by a supervisor, each a
// quantity of one released configuration; and the release bytes an order
// runs. Each change is written with its audit row in one transaction.
class LineOrders
{
public:
    struct Order
    {
        QString name;
        QString release; // NAME@REV
        QString releaseName;
        int revision = 0;
        int quantity = 0;
        QString note;
        QString createdAt;
        QString createdBy;
        QString closedAt; // empty while open
        int ok = 0;
        int failed = 0;     // attempts that ended otherwise
        int inProgress = 0; // claims held now
        // First-pass yield: units ok at their first attempt, of the units
        // whose first attempt ended (a retry on the slot is the same unit).
        int firstPassOk = 0;
        int units = 0;

        int remaining() const;
        QJsonObject toJson() const;
    };

    // Why `name` cannot name an order or a release, or empty.
    static QString badName(const QString &what, const QString &name);
    static bool add(PgConnection &db, const QString &name, const QString &releaseSpec, int quantity,
                    const QString &note, QString &error);
    static bool close(PgConnection &db, const QString &name, QString &error);
    static bool list(PgConnection &db, QVector<Order> &orders, QString &error);
    // The open order `name`, with its counts; false, with what exists, when
    // there is none.
    static bool find(PgConnection &db, const QString &name, Order &order, QString &error);

private:
    static QString known(PgConnection &db);
};

#endif // LINEORDERS_H
