#include "line/linereleases.h"

#include "line/lineaudit.h"

#include <QCryptographicHash>

namespace {
// Times as UTC text, the same on every computer of the line.
QString utc(const char *column)
{
    return QStringLiteral("to_char(%1 AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"')")
        .arg(QLatin1String(column));
}

QString columns(bool withBytes)
{
    return QStringLiteral("name, revision, sha256, octet_length(bytes), note, %1, released_by, os_user, host, %2, "
                          "revoked_by, revoke_reason%3")
        .arg(utc("released_at"), utc("revoked_at"),
             withBytes ? QStringLiteral(", encode(bytes, 'hex')") : QString());
}

LineReleases::Release releaseOf(const QStringList &row)
{
    LineReleases::Release r;
    r.name = row.value(0);
    r.revision = row.value(1).toInt();
    r.sha256 = row.value(2);
    r.size = row.value(3).toLongLong();
    r.note = row.value(4);
    r.releasedAt = row.value(5);
    r.releasedBy = row.value(6);
    r.osUser = row.value(7);
    r.host = row.value(8);
    r.revokedAt = row.value(9);
    r.revokedBy = row.value(10);
    r.revokeReason = row.value(11);
    r.bytes = QByteArray::fromHex(row.value(12).toLatin1());
    return r;
}

// Two `release add` of one name at once take turns, so that no revision is
// given twice; other names go on.
const char lockOfName[] = "SELECT pg_advisory_xact_lock(7402520, hashtext($1))";
} // namespace

QString LineReleases::Release::label() const
{
    return QStringLiteral("%1@%2").arg(name).arg(revision);
}

QString LineReleases::Release::revocation() const
{
    return QStringLiteral("%1 was revoked by %2 at %3: %4").arg(label(), revokedBy, revokedAt, revokeReason);
}

QJsonObject LineReleases::Release::toJson() const
{
    QJsonObject json{{"name", name},         {"revision", revision}, {"release", label()},
                     {"sha256", sha256},     {"bytes", size},        {"note", note.isNull() ? QJsonValue() : QJsonValue(note)},
                     {"released_at", releasedAt}, {"released_by", releasedBy}, {"os_user", osUser},
                     {"host", host}};
    if (isRevoked())
        json.insert("revoked", QJsonObject{{"at", revokedAt}, {"by", revokedBy}, {"reason", revokeReason}});
    return json;
}

LineReleases::LineReleases(PgConnection &connection)
    : db(connection)
{
}

bool LineReleases::checkName(const QString &name, QString &error)
{
    if (name.isEmpty() || name.size() > maxNameLength) {
        error = QStringLiteral("a release's name is 1 to %1 characters long, not %2.").arg(maxNameLength).arg(name.size());
        return false;
    }
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format || c == QLatin1Char('@')) {
            error = QStringLiteral("a release's name is plain text without '@': it holds U+%1.")
                        .arg(QString::number(c.unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0')));
            return false;
        }
    }
    return true;
}

bool LineReleases::parseReference(const QString &reference, QString &name, int &revision, QString &error)
{
    const int at = reference.lastIndexOf(QLatin1Char('@'));
    name = at < 0 ? reference : reference.left(at);
    revision = 0;
    if (at >= 0) {
        bool number = false;
        revision = reference.mid(at + 1).toInt(&number);
        if (!number || revision < 1) {
            error = QStringLiteral("a release is NAME or NAME@REV, REV a revision from 1, not '%1'.")
                        .arg(reference.left(maxNameLength + 20));
            return false;
        }
    }
    return checkName(name, error);
}

bool LineReleases::fail(const PgConnection::Result &result, QString &error)
{
    error = result.error;
    db.rollback();
    return false;
}

bool LineReleases::add(const QString &name, const QByteArray &bytes, const QString &note, Release &release,
                       bool &added, QString &error)
{
    const QString sha256 = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    if (!db.begin()) {
        error = QStringLiteral("cannot start a transaction");
        return false;
    }
    PgConnection::Result result = db.exec(QLatin1String(lockOfName), {name});
    if (!result.ok)
        return fail(result, error);
    QVector<Release> found;
    if (!select(QStringLiteral("name = $1 AND sha256 = $2"), {name, sha256}, false, found, error)) {
        db.rollback();
        return false;
    }
    added = found.isEmpty();
    if (!added) {
        db.rollback();
        release = found.first();
        return true;
    }
    result = db.exec(QStringLiteral("INSERT INTO morlank.releases (name, revision, sha256, bytes, note, os_user, host) "
                                    "SELECT $1, coalesce(max(revision), 0) + 1, $2, decode($3, 'hex'), $4, $5, $6 "
                                    "FROM morlank.releases WHERE name = $1 RETURNING ")
                         + columns(false),
                     {name, sha256, QString::fromLatin1(bytes.toHex()), note, LineAudit::osUser(), LineAudit::host()});
    if (!result.ok)
        return fail(result, error);
    release = releaseOf(result.rows.value(0));
    QJsonObject details{{"release", release.label()}, {"sha256", sha256}, {"bytes", bytes.size()}};
    if (!note.isNull())
        details.insert("note", note);
    if (!LineAudit::write(db, QStringLiteral("release add"), details, error)) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        error = QStringLiteral("the release could not be committed");
        return false;
    }
    return true;
}

bool LineReleases::select(const QString &where, const QStringList &parameters, bool withBytes,
                          QVector<Release> &releases, QString &error)
{
    const PgConnection::Result result =
        db.exec(QStringLiteral("SELECT %1 FROM morlank.releases WHERE %2 ORDER BY name, revision")
                    .arg(columns(withBytes), where),
                parameters);
    if (!result.ok) {
        error = result.error;
        return false;
    }
    releases.clear();
    for (const QStringList &row : result.rows)
        releases << releaseOf(row);
    return true;
}

bool LineReleases::list(QVector<Release> &releases, QString &error)
{
    return select(QStringLiteral("true"), {}, false, releases, error);
}

// The names there are, or the revisions of `name`, for a message.
QString LineReleases::whatExists(const QString &name)
{
    QVector<Release> all;
    QString ignored;
    if (!list(all, ignored))
        return {};
    QStringList names;
    QStringList revisions;
    for (const Release &release : all) {
        if (!names.contains(release.name))
            names << release.name;
        if (release.name == name)
            revisions << release.label() + (release.isRevoked() ? QStringLiteral(" (revoked)") : QString());
    }
    if (!revisions.isEmpty())
        return QStringLiteral("its revisions are %1").arg(revisions.join(QStringLiteral(", ")));
    return names.isEmpty() ? QStringLiteral("the line has no release yet")
                           : QStringLiteral("the releases are %1").arg(names.join(QStringLiteral(", ")));
}

bool LineReleases::find(const QString &name, int revision, bool withBytes, Release &release, QString &error)
{
    QVector<Release> found;
    const bool read = revision > 0
                          ? select(QStringLiteral("name = $1 AND revision = $2"), {name, QString::number(revision)},
                                   withBytes, found, error)
                          : select(QStringLiteral("name = $1 AND revision = (SELECT max(revision) FROM "
                                                  "morlank.releases WHERE name = $1 AND revoked_at IS NULL)"),
                                   {name}, withBytes, found, error);
    if (!read)
        return false;
    if (!found.isEmpty()) {
        release = found.first();
        return true;
    }
    const QString wanted = revision > 0 ? QStringLiteral("%1@%2").arg(name).arg(revision) : name;
    const QString exists = whatExists(name);
    error = revision == 0 && exists.startsWith(QLatin1String("its"))
                ? QStringLiteral("every revision of the release %1 is revoked; %2").arg(name, exists)
                : QStringLiteral("there is no release %1; %2").arg(wanted, exists);
    return false;
}

bool LineReleases::findBySha256(const QString &sha256, Release &release, QString &error)
{
    QVector<Release> found;
    if (!select(QStringLiteral("sha256 = $1 AND revoked_at IS NULL"), {sha256}, false, found, error))
        return false;
    error.clear();
    if (found.isEmpty())
        return false;
    release = found.last();
    return true;
}

bool LineReleases::revoke(const QString &name, int revision, const QString &reason, Release &release,
                          QString &error)
{
    if (!db.begin()) {
        error = QStringLiteral("cannot start a transaction");
        return false;
    }
    const PgConnection::Result result =
        db.exec(QStringLiteral("UPDATE morlank.releases SET revoked_at = now(), revoked_by = session_user, "
                               "revoke_reason = $3 WHERE name = $1 AND revision = $2 AND revoked_at IS NULL "
                               "RETURNING ")
                    + columns(false),
                {name, QString::number(revision), reason});
    if (!result.ok)
        return fail(result, error);
    if (result.rows.isEmpty()) {
        db.rollback();
        // Revoked already, or not there: find() says which.
        if (find(name, revision, false, release, error))
            error = release.revocation();
        return false;
    }
    release = releaseOf(result.rows.first());
    if (!LineAudit::write(db, QStringLiteral("release revoke"), {{"release", release.label()}, {"reason", reason}},
                          error)) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        error = QStringLiteral("the revocation could not be committed");
        return false;
    }
    return true;
}

bool LineReleases::releaseRequired(bool &required, QString &error)
{
    const PgConnection::Result result =
        db.exec(QStringLiteral("SELECT value FROM morlank.settings WHERE name = 'require_release'"));
    if (!result.ok) {
        error = result.error;
        return false;
    }
    required = result.value() == QLatin1String("on");
    return true;
}
