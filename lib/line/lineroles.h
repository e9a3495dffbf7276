#ifndef LINEROLES_H
#define LINEROLES_H

#include "line/pgconnection.h"

#include <QString>

// The line's group roles, made by `db init`, and the logins that hold them.
class LineRoles
{
public:
    // "station", "release" or "reader": the group role morlank_<kind>.
    static bool isKind(const QString &kind);
    static QString groupOf(const QString &kind);
    // What a refused statement needed, for its message: "needs the role
    // morlank_release (morlank-cli db grant LOGIN release)".
    static QString needed(const QString &kind);
    // Makes `login` a member of the group of `kind`, with its audit row, in
    // one transaction; false, with why, when the login does not exist or the
    // role running this may not grant it.
    static bool grant(PgConnection &connection, const QString &login, const QString &kind, QString &error);
};

#endif // LINEROLES_H
