#include "line/runconfiguration.h"

#include "line/databaseurl.h"
#include "line/linereleases.h"
#include "line/lineschema.h"
#include "line/pgconnection.h"

#include <QFileInfo>

namespace {
bool connect(PgConnection &connection, const QString &url, QString &error)
{
    QString why;
    if (connection.open(url, why))
        return true;
    error = QStringLiteral("cannot use the database %1: %2 (the server or libpq said: %3). Nothing was sent.")
                .arg(DatabaseUrl::masked(url), PgConnection::remedy(connection.fault()), why);
    return false;
}
} // namespace

bool RunConfiguration::load(const QString &database, const QString &fileName, const QString &reference,
                            QString &error)
{
    db = database;
    // The schema and the role are judged first: their messages say what to do.
    if (!db.isEmpty() && !LineSchema::checkUse(db, LineSchema::Recording, error))
        return false;
    if (!reference.isEmpty())
        return loadRelease(reference, error);
    if (!configuration.load(fileName, error))
        return false;
    file = QFileInfo(fileName).absoluteFilePath();
    return db.isEmpty() || checkReleased(error);
}

// The bytes the database gives are the bytes hashed and sent.
bool RunConfiguration::loadRelease(const QString &reference, QString &error)
{
    QString name;
    int revision = 0;
    if (!LineReleases::parseReference(reference, name, revision, error))
        return false;
    PgConnection connection;
    if (!connect(connection, db, error))
        return false;
    LineReleases::Release found;
    if (!LineReleases(connection).find(name, revision, true, found, error)) {
        error = QStringLiteral("--release %1: %2. Nothing was sent.").arg(reference, error);
        return false;
    }
    if (found.isRevoked()) {
        error = QStringLiteral("--release %1: %2; a revoked revision never runs again. Nothing was sent.")
                    .arg(reference, found.revocation());
        return false;
    }
    release = found.label();
    file = release;
    return configuration.read(release, found.bytes, error);
}

bool RunConfiguration::checkReleased(QString &error)
{
    PgConnection connection;
    if (!connect(connection, db, error))
        return false;
    LineReleases releases(connection);
    bool required = false;
    if (!releases.releaseRequired(required, error)) {
        error = QStringLiteral("cannot read the line's settings: %1. Nothing was sent.").arg(error);
        return false;
    }
    if (!required)
        return true;
    LineReleases::Release found;
    if (releases.findBySha256(configuration.sha256, found, error)) {
        release = found.label();
        return true;
    }
    error = QStringLiteral("this line runs released configurations only, and no revision in force holds %1 "
                           "(SHA-256 %2)%3. Release it first: morlank-cli release add %1 --db URL. Nothing was "
                           "sent.")
                .arg(configuration.file, configuration.sha256,
                     error.isEmpty() ? QString() : QStringLiteral("; the database said: ") + error);
    return false;
}
