#include "line/lineaudit.h"

#include <QJsonDocument>
#include <QSysInfo>

#include <pwd.h>
#include <unistd.h>

bool LineAudit::write(PgConnection &connection, const QString &action, const QJsonObject &details, QString &error)
{
    const PgConnection::Result result = connection.exec(
        QStringLiteral("INSERT INTO morlank.audit (action, os_user, host, details) VALUES ($1, $2, $3, $4::jsonb)"),
        {action, osUser(), host(), QString::fromUtf8(QJsonDocument(details).toJson(QJsonDocument::Compact))});
    if (!result.ok)
        error = result.error;
    return result.ok;
}

bool LineAudit::read(PgConnection &connection, const QString &since, QJsonArray &rows, QString &error)
{
    const PgConnection::Result result = connection.exec(
        QStringLiteral("SELECT to_json(time)#>>'{}', action, role, os_user, host, details::text FROM morlank.audit"
                       " WHERE $1::timestamptz IS NULL OR time >= $1 ORDER BY audit_id"),
        {since});
    if (!result.ok) {
        error = result.error;
        return false;
    }
    for (const QStringList &row : result.rows)
        rows.append(QJsonObject{{"time", row.at(0)}, {"action", row.at(1)}, {"role", row.at(2)},
                                {"os_user", row.at(3)}, {"host", row.at(4)},
                                {"details", QJsonDocument::fromJson(row.at(5).toUtf8()).object()}});
    return true;
}

QString LineAudit::osUser()
{
    // The account, not $USER, which anyone may set.
    const passwd *account = ::getpwuid(::geteuid());
    return account ? QString::fromLocal8Bit(account->pw_name) : QString::number(::geteuid());
}

QString LineAudit::host()
{
    return QSysInfo::machineHostName();
}
