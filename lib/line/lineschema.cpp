#include "line/lineschema.h"

#include "line/databaseurl.h"

namespace {
// Version 1: the records, the values lists and their rows, the counters and
// every reservation made.
const char *const schemaVersion1[] = {
    "CREATE TABLE morlank.attempts ("
    " attempt_id uuid PRIMARY KEY, time timestamptz NOT NULL, station text NOT NULL, slot text, unit text,"
    " result text NOT NULL, file_sha256 text, record jsonb NOT NULL)",
    "CREATE INDEX attempts_station_time ON morlank.attempts (station, time)",
    "CREATE INDEX attempts_time ON morlank.attempts (time)",
    "CREATE TABLE morlank.lists ("
    " list_id serial PRIMARY KEY, sha256 text NOT NULL UNIQUE, name text NOT NULL, columns jsonb NOT NULL,"
    " row_count integer NOT NULL, imported_at timestamptz NOT NULL DEFAULT now(), imported_by text NOT NULL)",
    "CREATE TABLE morlank.list_rows ("
    " list_id integer NOT NULL REFERENCES morlank.lists, row integer NOT NULL, line integer NOT NULL,"
    " usb_serial text NOT NULL DEFAULT '', fields jsonb NOT NULL, attempt_id uuid,"
    " PRIMARY KEY (list_id, row))",
    "CREATE INDEX list_rows_free ON morlank.list_rows (list_id, usb_serial, row) WHERE attempt_id IS NULL",
    "CREATE TABLE morlank.counters ("
    " name text PRIMARY KEY, next bigint NOT NULL, step bigint NOT NULL, width integer NOT NULL,"
    " created_at timestamptz NOT NULL DEFAULT now())",
    "CREATE TABLE morlank.reservations ("
    " attempt_id uuid PRIMARY KEY, station text NOT NULL, slot text NOT NULL, port text NOT NULL,"
    " reserved_at timestamptz NOT NULL DEFAULT now(), list_id integer REFERENCES morlank.lists, row integer,"
    " counters jsonb NOT NULL DEFAULT '{}')",
};

// What a station does, table by table.
const char *const stationPrivileges[][2] = {
    {"morlank.attempts", "INSERT"},
    {"morlank.schema_version", "SELECT"},
};
const char *const valuePrivileges[][2] = {
    {"morlank.lists", "SELECT,INSERT"},
    {"morlank.list_rows", "SELECT,INSERT,UPDATE"},
    {"morlank.counters", "SELECT,INSERT,UPDATE"},
    {"morlank.reservations", "INSERT"},
};

bool fail(PgConnection &connection, const PgConnection::Result &result, QString &error)
{
    error = result.error;
    connection.rollback();
    return false;
}
} // namespace

bool LineSchema::checkUse(const QString &url, bool valuesToo, QString &error)
{
    PgConnection db;
    QString why;
    if (!db.open(url, why)) {
        error = QStringLiteral("cannot use the database %1: %2 (the server or libpq said: %3). Nothing was sent.")
                    .arg(DatabaseUrl::masked(url), PgConnection::remedy(db.fault()), why);
        return false;
    }
    if (!check(db, valuesToo, why)) {
        error = QStringLiteral("cannot use the database %1: %2. Nothing was sent.").arg(DatabaseUrl::masked(url), why);
        return false;
    }
    return true;
}

int LineSchema::installedVersion(PgConnection &connection, QString &error)
{
    const PgConnection::Result table =
        connection.exec(QStringLiteral("SELECT to_regclass('morlank.schema_version') IS NOT NULL"));
    if (!table.ok) {
        error = table.error;
        return -1;
    }
    if (table.value() != QLatin1String("t"))
        return 0;
    const PgConnection::Result found = connection.exec(QStringLiteral("SELECT max(version) FROM morlank.schema_version"));
    if (!found.ok) {
        error = found.error;
        return -1;
    }
    return found.value().toInt();
}

bool LineSchema::init(PgConnection &connection, QString &error)
{
    if (!connection.begin()) {
        error = QStringLiteral("cannot start a transaction");
        return false;
    }
    // Two `db init` at once wait for each other rather than both creating.
    PgConnection::Result result = connection.exec(QStringLiteral("SELECT pg_advisory_xact_lock(7402519)"));
    if (!result.ok)
        return fail(connection, result, error);
    const int found = installedVersion(connection, error);
    if (found < 0) {
        connection.rollback();
        return false;
    }
    if (found > version) {
        connection.rollback();
        error = QStringLiteral("the schema morlank is of version %1, newer than this program's %2; nothing was "
                               "changed")
                    .arg(found)
                    .arg(version);
        return false;
    }
    if (found == version) {
        connection.rollback();
        return true;
    }
    for (const char *statement : {"CREATE SCHEMA IF NOT EXISTS morlank",
                                  "CREATE TABLE morlank.schema_version (version integer NOT NULL)"}) {
        if (!(result = connection.exec(QString::fromLatin1(statement))).ok)
            return fail(connection, result, error);
    }
    for (const char *statement : schemaVersion1) {
        if (!(result = connection.exec(QString::fromLatin1(statement))).ok)
            return fail(connection, result, error);
    }
    result = connection.exec(QStringLiteral("INSERT INTO morlank.schema_version VALUES ($1)"),
                             {QString::number(version)});
    if (!result.ok)
        return fail(connection, result, error);
    if (!connection.commit()) {
        error = QStringLiteral("the schema could not be committed");
        return false;
    }
    return true;
}

bool LineSchema::check(PgConnection &connection, bool valuesToo, QString &error)
{
    const int found = installedVersion(connection, error);
    if (found < 0) {
        if (connection.fault() == PgConnection::NoPrivilege)
            error = QStringLiteral("%1 (%2)").arg(PgConnection::remedy(PgConnection::NoPrivilege), error);
        return false;
    }
    if (found != version) {
        error = PgConnection::remedy(found == 0        ? PgConnection::NoSchema
                                     : found < version ? PgConnection::OlderSchema
                                                       : PgConnection::NewerSchema);
        return false;
    }
    QStringList tables;
    QStringList privileges;
    for (const auto &needed : stationPrivileges)
        tables << QString::fromLatin1(needed[0]), privileges << QString::fromLatin1(needed[1]);
    if (valuesToo) {
        for (const auto &needed : valuePrivileges)
            tables << QString::fromLatin1(needed[0]), privileges << QString::fromLatin1(needed[1]);
    }
    // has_table_privilege() with several privileges asks for any one of them.
    for (int i = 0; i < tables.size(); ++i) {
        QString missing;
        for (const QString &privilege : privileges.at(i).split(QLatin1Char(','))) {
            const PgConnection::Result allowed = connection.exec(
                QStringLiteral("SELECT has_schema_privilege('morlank', 'USAGE') AND has_table_privilege($1, $2)"),
                {tables.at(i), privilege});
            if (!allowed.ok || allowed.value() != QLatin1String("t"))
                missing = privilege;
        }
        if (!missing.isEmpty()) {
            error = QStringLiteral("%1 (it needs %2 on %3)")
                        .arg(PgConnection::remedy(PgConnection::NoPrivilege), missing, tables.at(i));
            return false;
        }
    }
    return true;
}
