#ifndef LINESCHEMA_H
#define LINESCHEMA_H

#include "line/pgconnection.h"

#include <QString>

// The schema `morlank` that the stations of a line share: made or brought up
// to date by `db init`, checked by every station before it starts.
class LineSchema
{
public:
    // The schema version this program writes and reads.
    static constexpr int version = 3;

    // Creates or upgrades the schema in one transaction; a schema newer than
    // `version` is left untouched. False, with the reason, on a fault.
    static bool init(PgConnection &connection, QString &error);
    // What a program does with the line, and so what its role must be
    // allowed to do.
    enum Use {
        Releasing,   // releases and orders: the role's own statements say when it may not
        Recording,   // a station's records and its live slots
        TakingValues // as Recording, and per-unit values too
    };
    // Whether the schema is there, of this version, and the role may use it
    // as `use` needs.
    static bool check(PgConnection &connection, Use use, QString &error);
    // check() on a connection of its own to `url`, with the whole message for
    // the operator when it fails: which fault, how to mend it.
    static bool checkUse(const QString &url, Use use, QString &error);
    // The version the database holds: 0 without the schema, -1 on a fault.
    static int installedVersion(PgConnection &connection, QString &error);
    // What to do about a database whose schema is of version `found` (as
    // installedVersion() said, with its `error`); empty for this version.
    static QString versionRemedy(int found, const QString &error);
};

#endif // LINESCHEMA_H
