#include "line/lineschema.h"

#include "line/databaseurl.h"

#include <cstddef>

namespace {
const char *const schemaVersion0[] = {
    "CREATE SCHEMA IF NOT EXISTS morlank",
    "CREATE TABLE morlank.schema_version (version integer NOT NULL)",
};
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

// Version 2: who did what, what was released, what was ordered. Each
// group of statements belongs to the code that uses its tables.
const char *const lineSettingsV2[] = {
    // Group roles are the cluster's, not the database's: another line's
    // database on the same server may have made them already.
    "DO $$ BEGIN"
    " IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'morlank_station') THEN CREATE ROLE morlank_station NOLOGIN; END IF;"
    " IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'morlank_release') THEN CREATE ROLE morlank_release NOLOGIN; END IF;"
    " IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'morlank_reader') THEN CREATE ROLE morlank_reader NOLOGIN; END IF;"
    " END $$",
    "CREATE TABLE morlank.settings (name text PRIMARY KEY, value text NOT NULL)",
    "INSERT INTO morlank.settings VALUES ('require_release', 'off'), ('require_operator', 'off')",
    "CREATE TABLE morlank.audit ("
    " audit_id bigserial PRIMARY KEY, time timestamptz NOT NULL DEFAULT now(), action text NOT NULL,"
    " role text NOT NULL DEFAULT session_user, os_user text NOT NULL, host text NOT NULL, details jsonb NOT NULL)",
    "CREATE INDEX audit_time ON morlank.audit (time)",
    "ALTER TABLE morlank.attempts ADD COLUMN operator text, ADD COLUMN release text, ADD COLUMN order_name text",
    // A report reads its period a page at a time in (time, attempt_id)
    // order: each page starts where the last ended instead of reading the
    // period's earlier rows again.
    "CREATE INDEX attempts_time_attempt ON morlank.attempts (time, attempt_id)",
    "DROP INDEX morlank.attempts_time",
};
const char *const releasesV2[] = {
    "CREATE TABLE morlank.releases ("
    " name text NOT NULL, revision integer NOT NULL CHECK (revision > 0), sha256 text NOT NULL, bytes bytea NOT NULL,"
    " note text, released_at timestamptz NOT NULL DEFAULT now(), released_by text NOT NULL DEFAULT session_user,"
    " os_user text NOT NULL, host text NOT NULL,"
    " revoked_at timestamptz, revoked_by text, revoke_reason text,"
    " PRIMARY KEY (name, revision), UNIQUE (name, sha256))",
    "CREATE INDEX releases_sha256 ON morlank.releases (sha256)",
};
const char *const ordersV2[] = {
    "CREATE TABLE morlank.orders ("
    " name text PRIMARY KEY, release_name text NOT NULL, revision integer NOT NULL,"
    " quantity integer NOT NULL CHECK (quantity > 0), note text,"
    " created_at timestamptz NOT NULL DEFAULT now(), created_by text NOT NULL DEFAULT session_user,"
    " closed_at timestamptz,"
    // The claims that ended ok and those held now, kept with the order so
    // that a claim costs the same on the last unit as on the first.
    " ok_units integer NOT NULL DEFAULT 0, busy_units integer NOT NULL DEFAULT 0,"
    " FOREIGN KEY (release_name, revision) REFERENCES morlank.releases (name, revision))",
    // A claim's station is "host:pid", so that a station started again on
    // the same computer knows which claims were a dead process's; seen_at is
    // moved on while the station lives.
    "CREATE TABLE morlank.claims ("
    " attempt_id uuid PRIMARY KEY, order_name text NOT NULL REFERENCES morlank.orders, station text NOT NULL,"
    " slot text NOT NULL, claimed_at timestamptz NOT NULL DEFAULT now(), outcome text,"
    " seen_at timestamptz NOT NULL DEFAULT now(), first_attempt boolean NOT NULL DEFAULT true)",
    "CREATE INDEX claims_order ON morlank.claims (order_name, outcome)",
    "CREATE INDEX claims_held ON morlank.claims (order_name, seen_at) WHERE outcome IS NULL",
    // Ok and in-progress claims are counted under the order row's lock, so
    // stations racing for the last units take them one after another. A
    // claim not seen for 120 s is a dead station's and is given back.
    "CREATE FUNCTION morlank.claim_unit(p_order text, p_attempt uuid, p_station text, p_slot text, p_first boolean) RETURNS text"
    " LANGUAGE plpgsql SECURITY DEFINER SET search_path = morlank, pg_temp AS $$"
    " DECLARE wanted integer; closed timestamptz; done integer; busy integer; stale integer; verdict text;"
    " BEGIN"
    "  SELECT quantity, closed_at, ok_units, busy_units INTO wanted, closed, done, busy FROM orders"
    "   WHERE name = p_order FOR UPDATE;"
    "  IF NOT FOUND THEN RETURN 'unknown'; END IF;"
    "  IF closed IS NOT NULL THEN RETURN 'closed'; END IF;"
    "  UPDATE claims SET outcome = 'abandoned'"
    "   WHERE order_name = p_order AND outcome IS NULL AND seen_at < now() - interval '120 seconds';"
    "  GET DIAGNOSTICS stale = ROW_COUNT;"
    "  busy := busy - stale;"
    "  IF done >= wanted THEN verdict := 'complete';"
    "  ELSIF done + busy >= wanted THEN verdict := 'full';"
    "  ELSE"
    "   INSERT INTO claims (attempt_id, order_name, station, slot, first_attempt)"
    "    VALUES (p_attempt, p_order, p_station, p_slot, p_first);"
    "   busy := busy + 1;"
    "   verdict := 'claimed';"
    "  END IF;"
    "  UPDATE orders SET busy_units = busy WHERE name = p_order;"
    "  RETURN verdict;"
    " END $$",
    // The order's row is locked first, as a claim does, so that a finish
    // and a claim never wait on each other. A claim given back for its
    // station's silence no longer counts as busy; if its unit ends ok all the
    // same, that unit was made and is counted, even past the quantity.
    "CREATE FUNCTION morlank.finish_claim(p_attempt uuid, p_ok boolean) RETURNS void"
    " LANGUAGE plpgsql SECURITY DEFINER SET search_path = morlank, pg_temp AS $$"
    " DECLARE held text; was text;"
    " BEGIN"
    "  SELECT order_name INTO held FROM claims WHERE attempt_id = p_attempt;"
    "  PERFORM FROM orders WHERE name = held FOR UPDATE;"
    "  SELECT outcome INTO was FROM claims WHERE attempt_id = p_attempt;"
    "  IF NOT FOUND OR NOT (was IS NULL OR (was = 'abandoned' AND p_ok)) THEN RETURN; END IF;"
    "  UPDATE claims SET outcome = CASE WHEN p_ok THEN 'ok' ELSE 'failed' END WHERE attempt_id = p_attempt;"
    "  UPDATE orders SET busy_units = busy_units - CASE WHEN was IS NULL THEN 1 ELSE 0 END,"
    "   ok_units = ok_units + CASE WHEN p_ok THEN 1 ELSE 0 END WHERE name = held;"
    " END $$",
    "CREATE FUNCTION morlank.touch_claims(p_station text) RETURNS void"
    " LANGUAGE sql SECURITY DEFINER SET search_path = morlank, pg_temp AS $$"
    " UPDATE claims SET seen_at = now() WHERE station = p_station AND outcome IS NULL $$",
    "CREATE FUNCTION morlank.free_claims(p_station text) RETURNS integer"
    " LANGUAGE plpgsql SECURITY DEFINER SET search_path = morlank, pg_temp AS $$"
    " DECLARE freed integer := 0; gone integer; held record;"
    " BEGIN"
    "  FOR held IN SELECT name FROM orders WHERE name IN"
    "   (SELECT order_name FROM claims WHERE station = p_station AND outcome IS NULL) ORDER BY name FOR UPDATE LOOP"
    "   UPDATE claims SET outcome = 'abandoned' WHERE station = p_station AND order_name = held.name"
    "    AND outcome IS NULL;"
    "   GET DIAGNOSTICS gone = ROW_COUNT;"
    "   UPDATE orders SET busy_units = busy_units - gone WHERE name = held.name;"
    "   freed := freed + gone;"
    "  END LOOP;"
    "  RETURN freed;"
    " END $$",
    "REVOKE ALL ON FUNCTION morlank.claim_unit(text, uuid, text, text, boolean), morlank.finish_claim(uuid, boolean),"
    " morlank.touch_claims(text), morlank.free_claims(text) FROM PUBLIC",
    "GRANT EXECUTE ON FUNCTION morlank.claim_unit(text, uuid, text, text, boolean), morlank.finish_claim(uuid, boolean),"
    " morlank.touch_claims(text), morlank.free_claims(text) TO morlank_station",
    "GRANT USAGE ON SCHEMA morlank TO morlank_station, morlank_reader",
    "GRANT SELECT ON morlank.orders, morlank.claims TO morlank_station, morlank_reader",
};

// Each group role gets what its work needs and no more. A station changes
// counters and list rows only through the owner's functions, which hand a
// value out and never take one back; the audit trail is append-only even
// for a grant made by mistake.
const char *const linePrivilegesV2[] = {
    "CREATE FUNCTION morlank.take_counter(text) RETURNS TABLE (taken bigint, digits integer)"
    " LANGUAGE sql SECURITY DEFINER SET search_path = morlank, pg_temp AS"
    " $$ UPDATE morlank.counters SET next = next + step WHERE name = $1 RETURNING next - step, width $$",
    "CREATE FUNCTION morlank.take_free_row(integer, uuid) RETURNS SETOF integer"
    " LANGUAGE sql SECURITY DEFINER SET search_path = morlank, pg_temp AS"
    " $$ UPDATE morlank.list_rows SET attempt_id = $2 WHERE list_id = $1 AND row = ("
    " SELECT row FROM morlank.list_rows WHERE list_id = $1 AND usb_serial = '' AND attempt_id IS NULL"
    " ORDER BY row LIMIT 1 FOR UPDATE SKIP LOCKED) RETURNING row $$",
    "CREATE FUNCTION morlank.take_bound_row(integer, integer, uuid) RETURNS SETOF integer"
    " LANGUAGE sql SECURITY DEFINER SET search_path = morlank, pg_temp AS"
    " $$ UPDATE morlank.list_rows SET attempt_id = $3 WHERE list_id = $1 AND row = $2 AND attempt_id IS NULL"
    " RETURNING row $$",
    // A list is added whole, never changed: a station cannot add rows to one.
    "CREATE FUNCTION morlank.add_list(text, text, jsonb, integer, text, jsonb) RETURNS integer"
    " LANGUAGE sql SECURITY DEFINER SET search_path = morlank, pg_temp AS"
    " $$ WITH list AS (INSERT INTO morlank.lists (sha256, name, columns, row_count, imported_by)"
    " VALUES ($1, $2, $3, $4, $5) RETURNING list_id),"
    " added AS (INSERT INTO morlank.list_rows (list_id, row, line, usb_serial, fields)"
    " SELECT list.list_id, (e->>'row')::int, (e->>'line')::int, e->>'usb_serial', e->'fields'"
    " FROM list, jsonb_array_elements($6) AS e)"
    " SELECT list_id FROM list $$",
    // Only creates: a counter that exists goes on where it is.
    "CREATE FUNCTION morlank.add_counter(text, bigint, bigint, integer) RETURNS void"
    " LANGUAGE sql SECURITY DEFINER SET search_path = morlank, pg_temp AS"
    " $$ INSERT INTO morlank.counters (name, next, step, width) VALUES ($1, $2, $3, $4)"
    " ON CONFLICT (name) DO NOTHING $$",
    "REVOKE ALL ON FUNCTION morlank.take_counter(text), morlank.take_free_row(integer, uuid),"
    " morlank.take_bound_row(integer, integer, uuid), morlank.add_list(text, text, jsonb, integer, text, jsonb),"
    " morlank.add_counter(text, bigint, bigint, integer) FROM PUBLIC",
    "GRANT EXECUTE ON FUNCTION morlank.take_counter(text), morlank.take_free_row(integer, uuid),"
    " morlank.take_bound_row(integer, integer, uuid), morlank.add_list(text, text, jsonb, integer, text, jsonb),"
    " morlank.add_counter(text, bigint, bigint, integer) TO morlank_station",
    "GRANT USAGE ON SCHEMA morlank TO morlank_station, morlank_release, morlank_reader",
    "GRANT SELECT ON morlank.schema_version, morlank.settings, morlank.releases, morlank.orders, morlank.lists,"
    " morlank.list_rows, morlank.counters TO morlank_station",
    "GRANT INSERT ON morlank.attempts, morlank.reservations TO morlank_station",
    "GRANT SELECT ON ALL TABLES IN SCHEMA morlank TO morlank_reader",
    // Who releases reads what a reader reads.
    "GRANT morlank_reader TO morlank_release",
    "GRANT INSERT, UPDATE ON morlank.releases, morlank.orders TO morlank_release",
    "GRANT INSERT ON morlank.audit TO morlank_release",
    "GRANT USAGE ON SEQUENCE morlank.audit_audit_id_seq TO morlank_release",
    "REVOKE UPDATE, DELETE, TRUNCATE ON morlank.audit FROM PUBLIC, morlank_station, morlank_release, morlank_reader",
    "CREATE FUNCTION morlank.audit_append_only() RETURNS trigger LANGUAGE plpgsql AS"
    " $$ BEGIN RAISE EXCEPTION 'the audit trail is append-only: % refused', TG_OP USING ERRCODE = '42501'; END $$",
    "CREATE TRIGGER audit_append_only BEFORE UPDATE OR DELETE OR TRUNCATE ON morlank.audit"
    " FOR EACH STATEMENT EXECUTE FUNCTION morlank.audit_append_only()",
};

// Version 3: what each station and each of its slots shows now, written by
// the station as it changes and read by whoever watches the line. A station
// writes its rows only through the owner's functions, and every change wakes
// the listeners of `morlank_live` with the station's name.
const char *const liveV3[] = {
    "CREATE TABLE morlank.live_stations ("
    " station text PRIMARY KEY, host text NOT NULL, version text NOT NULL, slots integer NOT NULL,"
    " records_waiting integer NOT NULL, started_at timestamptz NOT NULL, last_seen timestamptz NOT NULL)",
    "CREATE TABLE morlank.live_slots ("
    " station text NOT NULL, slot text NOT NULL, state text NOT NULL, unit text, progress integer, total integer,"
    " line text, release text, order_name text, since timestamptz NOT NULL, PRIMARY KEY (station, slot))",
    "CREATE FUNCTION morlank.live_notify() RETURNS trigger LANGUAGE plpgsql SET search_path = morlank, pg_temp AS"
    " $$ BEGIN"
    "  PERFORM pg_notify('morlank_live', CASE WHEN TG_OP = 'DELETE' THEN OLD.station ELSE NEW.station END);"
    "  RETURN NULL;"
    " END $$",
    "CREATE TRIGGER live_stations_notify AFTER INSERT OR UPDATE OR DELETE ON morlank.live_stations"
    " FOR EACH ROW EXECUTE FUNCTION morlank.live_notify()",
    "CREATE TRIGGER live_slots_notify AFTER INSERT OR UPDATE OR DELETE ON morlank.live_slots"
    " FOR EACH ROW EXECUTE FUNCTION morlank.live_notify()",
    // Records that arrive change today's figures: once a statement, with
    // no station named.
    "CREATE FUNCTION morlank.attempts_notify() RETURNS trigger LANGUAGE plpgsql SET search_path = morlank, pg_temp AS"
    " $$ BEGIN PERFORM pg_notify('morlank_live', ''); RETURN NULL; END $$",
    "CREATE TRIGGER attempts_notify AFTER INSERT ON morlank.attempts"
    " FOR EACH STATEMENT EXECUTE FUNCTION morlank.attempts_notify()",
    // The heartbeat; at a station's start its slots of an earlier run go.
    "CREATE FUNCTION morlank.live_station(p_station text, p_host text, p_version text, p_slots integer,"
    " p_waiting integer, p_started timestamptz, p_starting boolean) RETURNS void"
    " LANGUAGE plpgsql SECURITY DEFINER SET search_path = morlank, pg_temp AS $$"
    " BEGIN"
    "  IF p_starting THEN DELETE FROM live_slots WHERE station = p_station; END IF;"
    "  INSERT INTO live_stations (station, host, version, slots, records_waiting, started_at, last_seen)"
    "   VALUES (p_station, p_host, p_version, p_slots, p_waiting, p_started, now())"
    "   ON CONFLICT (station) DO UPDATE SET host = EXCLUDED.host, version = EXCLUDED.version, slots = EXCLUDED.slots,"
    "   records_waiting = EXCLUDED.records_waiting, started_at = EXCLUDED.started_at, last_seen = now();"
    " END $$",
    // Slots as a JSON array of objects keyed as the columns. A station
    // heard from is not silent, heartbeat or not.
    "CREATE FUNCTION morlank.live_slots(p_station text, p_slots jsonb) RETURNS void"
    " LANGUAGE sql SECURITY DEFINER SET search_path = morlank, pg_temp AS $$"
    " UPDATE live_stations SET last_seen = now() WHERE station = p_station;"
    " INSERT INTO live_slots (station, slot, state, unit, progress, total, line, release, order_name, since)"
    " SELECT p_station, s.slot, s.state, s.unit, s.progress, s.total, s.line, s.release, s.order_name, s.since"
    " FROM jsonb_to_recordset(p_slots) AS s (slot text, state text, unit text, progress integer, total integer,"
    " line text, release text, order_name text, since timestamptz)"
    " ON CONFLICT (station, slot) DO UPDATE SET state = EXCLUDED.state, unit = EXCLUDED.unit,"
    " progress = EXCLUDED.progress, total = EXCLUDED.total, line = EXCLUDED.line, release = EXCLUDED.release,"
    " order_name = EXCLUDED.order_name, since = EXCLUDED.since $$",
    "REVOKE ALL ON FUNCTION morlank.live_station(text, text, text, integer, integer, timestamptz, boolean),"
    " morlank.live_slots(text, jsonb) FROM PUBLIC",
    "GRANT EXECUTE ON FUNCTION morlank.live_station(text, text, text, integer, integer, timestamptz, boolean),"
    " morlank.live_slots(text, jsonb) TO morlank_station",
    "GRANT SELECT ON morlank.live_stations, morlank.live_slots TO morlank_reader",
};

// What a station does, table by table, and the functions it takes values
// through.
const char *const stationPrivileges[][2] = {
    {"morlank.attempts", "INSERT"},
    {"morlank.schema_version", "SELECT"},
    {"morlank.settings", "SELECT"},
};
const char *const valuePrivileges[][2] = {
    {"morlank.lists", "SELECT"},
    {"morlank.list_rows", "SELECT"},
    {"morlank.counters", "SELECT"},
    {"morlank.reservations", "INSERT"},
};
const char *const valueFunctions[] = {
    "morlank.take_counter(text)",
    "morlank.take_free_row(integer, uuid)",
    "morlank.take_bound_row(integer, integer, uuid)",
    "morlank.add_list(text, text, jsonb, integer, text, jsonb)",
    "morlank.add_counter(text, bigint, bigint, integer)",
};
const char *const liveFunctions[] = {
    "morlank.live_station(text, text, text, integer, integer, timestamptz, boolean)",
    "morlank.live_slots(text, jsonb)",
};

bool fail(PgConnection &connection, const PgConnection::Result &result, QString &error)
{
    error = result.error;
    connection.rollback();
    return false;
}

// Every statement of one step, in order; the transaction is rolled back on
// the first that fails.
template <std::size_t count>
bool run(PgConnection &connection, const char *const (&statements)[count], QString &error)
{
    for (const char *statement : statements) {
        const PgConnection::Result result = connection.exec(QString::fromLatin1(statement));
        if (!result.ok)
            return fail(connection, result, error);
    }
    return true;
}

// Whether the role may call each of `functions` (their signatures).
template <std::size_t count>
bool mayExecute(PgConnection &connection, const char *const (&functions)[count], QString &error)
{
    for (const char *function : functions) {
        const PgConnection::Result allowed = connection.exec(
            QStringLiteral("SELECT has_function_privilege($1, 'EXECUTE')"), {QString::fromLatin1(function)});
        if (!allowed.ok || allowed.value() != QLatin1String("t")) {
            error = QStringLiteral("%1 (it needs EXECUTE on %2)")
                        .arg(PgConnection::remedy(PgConnection::NoPrivilege), QString::fromLatin1(function));
            return false;
        }
    }
    return true;
}
} // namespace

bool LineSchema::checkUse(const QString &url, Use use, QString &error)
{
    PgConnection db;
    QString why;
    if (!db.open(url, why)) {
        error = QStringLiteral("cannot use the database %1: %2 (the server or libpq said: %3). Nothing was sent.")
                    .arg(DatabaseUrl::masked(url), PgConnection::remedy(db.fault()), why);
        return false;
    }
    if (!check(db, use, why)) {
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

QString LineSchema::versionRemedy(int found, const QString &error)
{
    if (found < 0)
        return error;
    if (found == version)
        return {};
    return PgConnection::remedy(found == 0        ? PgConnection::NoSchema
                                : found < version ? PgConnection::OlderSchema
                                                  : PgConnection::NewerSchema);
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
    if (found < 1 && !run(connection, schemaVersion0, error))
        return false;
    if (found < 1 && !run(connection, schemaVersion1, error))
        return false;
    if (found < 2
        && !(run(connection, lineSettingsV2, error) && run(connection, releasesV2, error) && run(connection, ordersV2, error)
             && run(connection, linePrivilegesV2, error)))
        return false;
    if (found < 3 && !run(connection, liveV3, error))
        return false;
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

bool LineSchema::check(PgConnection &connection, Use use, QString &error)
{
    const int found = installedVersion(connection, error);
    if (found < 0) {
        if (connection.fault() == PgConnection::NoPrivilege)
            error = QStringLiteral("%1 (%2)").arg(PgConnection::remedy(PgConnection::NoPrivilege), error);
        return false;
    }
    if (found != version) {
        error = versionRemedy(found, error);
        return false;
    }
    if (use == Releasing)
        return true;
    QStringList tables;
    QStringList privileges;
    for (const auto &needed : stationPrivileges)
        tables << QString::fromLatin1(needed[0]), privileges << QString::fromLatin1(needed[1]);
    if (use == TakingValues) {
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
    return mayExecute(connection, liveFunctions, error)
           && (use != TakingValues || mayExecute(connection, valueFunctions, error));
}
