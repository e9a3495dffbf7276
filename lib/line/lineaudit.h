#ifndef LINEAUDIT_H
#define LINEAUDIT_H

#include "line/pgconnection.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// The line's audit trail: one row for every change made to what the line
// runs, in the transaction that makes the change.
class LineAudit
{
public:
    // Adds the row for `action` on `connection`, inside the caller's open
    // transaction, with the database role, this computer's user and host.
    static bool write(PgConnection &connection, const QString &action, const QJsonObject &details, QString &error);
    // The rows from `since` (a time the server reads; empty for all), oldest
    // first, each an object of the table's columns.
    static bool read(PgConnection &connection, const QString &since, QJsonArray &rows, QString &error);
    // The user running this program, as the computer names them.
    static QString osUser();
    // This computer's host name.
    static QString host();
};

#endif // LINEAUDIT_H
