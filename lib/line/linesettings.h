#ifndef LINESETTINGS_H
#define LINESETTINGS_H

#include "line/pgconnection.h"

#include <QString>

// The line's settings (require_release, require_operator: on or off), read
// by every station and changed by the database's owner alone.
class LineSettings
{
public:
    // The name a setting has in morlank.settings ("require_operator") for
    // the name the command line gives it ("require-operator"); empty for
    // none.
    static QString nameOf(const QString &option);
    static bool isOn(PgConnection &connection, const QString &name, bool &enabled, QString &error);
    // Sets `name` to "on" or "off" with its audit row, in one transaction.
    static bool set(PgConnection &connection, const QString &name, bool enabled, QString &error);
    // False, with what to do, when the line requires an operator and none is
    // given; on a connection of its own to `url`.
    static bool checkOperator(const QString &url, const QString &operatorName, QString &error);
};

#endif // LINESETTINGS_H
