#include "line/lineroles.h"

#include "line/lineaudit.h"

#include <QJsonObject>
#include <QStringList>

namespace {
const QStringList kinds{QStringLiteral("station"), QStringLiteral("release"), QStringLiteral("reader")};
const QString insufficientPrivilege = QStringLiteral("42501");
} // namespace

bool LineRoles::isKind(const QString &kind)
{
    return kinds.contains(kind);
}

QString LineRoles::groupOf(const QString &kind)
{
    return QStringLiteral("morlank_") + kind;
}

QString LineRoles::needed(const QString &kind)
{
    return QStringLiteral("needs the role %1 (morlank-cli db grant LOGIN %2)").arg(groupOf(kind), kind);
}

bool LineRoles::grant(PgConnection &connection, const QString &login, const QString &kind, QString &error)
{
    const PgConnection::Result found = connection.exec(
        QStringLiteral("SELECT quote_ident(rolname), rolcanlogin FROM pg_roles WHERE rolname = $1"), {login});
    if (!found.ok || found.rows.isEmpty()) {
        error = found.ok ? QStringLiteral("the server has no role %1: create it first (CREATE ROLE %1 LOGIN, "
                                          "or createuser)")
                               .arg(login)
                         : found.error;
        return false;
    }
    if (found.value(0, 1) != QLatin1String("t")) {
        error = QStringLiteral("%1 cannot log in: grant the group role to a login, not to a group").arg(login);
        return false;
    }
    PgConnection::Result result;
    if (!connection.begin()
        || !(result = connection.exec(QStringLiteral("GRANT %1 TO %2").arg(groupOf(kind), found.value()))).ok
        || !LineAudit::write(connection, QStringLiteral("grant"),
                             QJsonObject{{"login", login}, {"role", groupOf(kind)}}, error)
        || !connection.commit()) {
        if (!result.ok)
            error = result.sqlState == insufficientPrivilege
                        ? QStringLiteral("%1; grant roles as the line's owner, which needs CREATEROLE").arg(result.error)
                        : result.error;
        connection.rollback();
        return false;
    }
    return true;
}
