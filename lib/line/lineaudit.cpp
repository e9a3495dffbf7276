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
