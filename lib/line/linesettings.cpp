#include "line/linesettings.h"

#include "line/databaseurl.h"
#include "line/lineaudit.h"

#include <QJsonObject>

namespace {
const QString on = QStringLiteral("on");
const QString off = QStringLiteral("off");
} // namespace

QString LineSettings::nameOf(const QString &option)
{
    for (const QString &name : {QStringLiteral("require_release"), QStringLiteral("require_operator")}) {
        if (QString(name).replace(QLatin1Char('_'), QLatin1Char('-')) == option)
            return name;
    }
    return {};
}

bool LineSettings::isOn(PgConnection &connection, const QString &name, bool &enabled, QString &error)
{
    const PgConnection::Result found =
        connection.exec(QStringLiteral("SELECT value FROM morlank.settings WHERE name = $1"), {name});
    if (!found.ok)
        error = found.error;
    enabled = found.value() == on;
    return found.ok;
}

// Only the owner may change a setting: the table grants no UPDATE to any
// role the program makes.
bool LineSettings::set(PgConnection &connection, const QString &name, bool enabled, QString &error)
{
    PgConnection::Result result;
    if (!connection.begin()
        || !(result = connection.exec(QStringLiteral("UPDATE morlank.settings AS s SET value = $2 FROM "
                                                     "(SELECT value FROM morlank.settings WHERE name = $1 FOR UPDATE) "
                                                     "AS was WHERE s.name = $1 RETURNING was.value"),
                                      {name, enabled ? on : off}))
                .ok
        || !LineAudit::write(connection, QStringLiteral("setting"),
                             QJsonObject{{"setting", name}, {"value", enabled ? on : off}, {"was", result.value()}}, error)
        || !connection.commit()) {
        if (!result.ok)
            error = result.sqlState == QLatin1String("42501")
                        ? QStringLiteral("%1; the line's settings are changed by the database's owner alone")
                              .arg(result.error)
                        : result.error;
        connection.rollback();
        return false;
    }
    return true;
}

bool LineSettings::checkOperator(const QString &url, const QString &operatorName, QString &error)
{
    if (!operatorName.isEmpty())
        return true;
    PgConnection db;
    bool required = false;
    QString why;
    if (!db.open(url, why) || !isOn(db, QStringLiteral("require_operator"), required, why)) {
        error = QStringLiteral("cannot read the line's settings from %1: %2. Nothing was sent.")
                    .arg(DatabaseUrl::masked(url), why);
        return false;
    }
    if (required)
        error = QStringLiteral("the line %1 requires an operator: give --operator NAME (the setting "
                               "require-operator is on). Nothing was sent.")
                    .arg(DatabaseUrl::masked(url));
    return !required;
}
